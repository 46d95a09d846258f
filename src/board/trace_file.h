// A text trace of every instruction the board's CPU executes, one line each: address, the
// instruction as the disassembler shows it, and Areg, Breg, Creg and Wptr after it ran. The file is
// bounded: the line that would pass the limit is replaced by a last line saying the trace was cut
// there.
#pragma once

#include "board/board_config.h"
#include "board/memory_map.h"
#include "core/safe_file.h"
#include "st20/core.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace tapster::board {

class TraceFile final : public st20::CoreTrace {
  public:
    // `memory` gives the instruction bytes to disassemble (plain memory only; nullptr: the
    // instruction is shown from the record alone).
    TraceFile(std::string path, uint64_t limitBytes, MemoryMap* memory = nullptr,
              bool replaces = true);
    ~TraceFile() override;
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // False (with a message on stderr) when the file cannot be created.
    bool Open();
    // Why the trace that `core` asks for cannot be written (empty when it can, or when none is
    // asked for): checked when a board is set up, before anything runs.
    static std::string Refused(const CoreSettings& core);
    void Executed(const st20::TraceRecord& record) override;
    // Hands what was written so far to the file (a server stopped by a signal keeps it).
    void Flush();
    // True once the limit was reached and the last line written.
    bool Cut() const { return cut_; }
    uint64_t Lines() const { return lines_; }

    // One trace line without its newline (for tests and tools).
    static std::string Format(const st20::TraceRecord& record, MemoryMap* memory = nullptr);

  private:
    std::string path_;
    uint64_t limit_;
    MemoryMap* memory_;
    bool replaces_;
    SafeFileWriter writer_;
    std::FILE* file_ = nullptr;
    uint64_t written_ = 0;
    uint64_t lines_ = 0;
    bool cut_ = false;
};

} // namespace tapster::board
