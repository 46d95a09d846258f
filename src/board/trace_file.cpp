#include "board/trace_file.h"

#include "st20/decoder.h"
#include "st20/disassembler.h"
#include "st20/instruction_table.h"

#include <algorithm>
#include <cinttypes>
#include <span>
#include <utility>

namespace tapster::board {

namespace {
// Room kept for the closing line.
constexpr uint64_t kClosingRoom = 96;
} // namespace

TraceFile::TraceFile(std::string path, uint64_t limitBytes, MemoryMap* memory)
    : path_(std::move(path)), limit_(limitBytes), memory_(memory) {}

TraceFile::~TraceFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool TraceFile::Open() {
    file_ = std::fopen(path_.c_str(), "w");
    if (file_ == nullptr) {
        std::fprintf(stderr, "simulated board: cannot create the trace file %s\n", path_.c_str());
        cut_ = true;
        return false;
    }
    return true;
}

namespace {
// The instruction decoded from the memory it ran from, when that is plain memory.
std::string Disassembled(MemoryMap* memory, uint32_t iptr) {
    if (memory == nullptr) return {};
    const MemoryMap::Span span = memory->DirectSpan(iptr);
    if (span.size == 0) return {};
    const uint32_t offset = iptr - span.base;
    const std::span<const uint8_t> bytes(span.data + offset,
                                         std::min<uint32_t>(span.size - offset, 16));
    const st20::DecodedInstruction decoded = st20::Decode(bytes, iptr);
    if (decoded.kind == st20::DecodeKind::Truncated) return {};
    return st20::FormatInstruction(decoded);
}
} // namespace

std::string TraceFile::Format(const st20::TraceRecord& r, MemoryMap* memory) {
    char text[200];
    const st20::InstructionInfo& info = st20::Info(r.op);
    char instruction[64];
    const std::string shown = Disassembled(memory, r.iptr);
    if (!shown.empty())
        std::snprintf(instruction, sizeof instruction, "%s", shown.c_str());
    else if (r.op == st20::Op::opr)
        std::snprintf(instruction, sizeof instruction, "opr 0x%" PRIX32,
                      static_cast<uint32_t>(r.operand));
    else if (info.form == st20::Form::Primary)
        std::snprintf(instruction, sizeof instruction, "%.*s %" PRId32,
                      static_cast<int>(info.mnemonic.size()), info.mnemonic.data(), r.operand);
    else
        std::snprintf(instruction, sizeof instruction, "%.*s",
                      static_cast<int>(info.mnemonic.size()), info.mnemonic.data());
    std::snprintf(text, sizeof text,
                  "%08" PRIX32 "  %-22s A=%08" PRIX32 " B=%08" PRIX32 " C=%08" PRIX32
                  " W=%08" PRIX32,
                  r.iptr, instruction, r.areg, r.breg, r.creg, r.wptr);
    return text;
}

void TraceFile::Flush() {
    if (file_ != nullptr) std::fflush(file_);
}

void TraceFile::Executed(const st20::TraceRecord& record) {
    if (cut_ || file_ == nullptr) return;
    const std::string line = Format(record, memory_) + "\n";
    if (written_ + line.size() + kClosingRoom > limit_) {
        std::fprintf(file_,
                     "trace cut after %" PRIu64 " instructions: the %" PRIu64
                     "-byte limit was reached\n",
                     lines_, limit_);
        std::fclose(file_);
        file_ = nullptr;
        cut_ = true;
        return;
    }
    std::fputs(line.c_str(), file_);
    written_ += line.size();
    ++lines_;
}

} // namespace tapster::board
