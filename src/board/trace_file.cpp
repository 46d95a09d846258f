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

TraceFile::TraceFile(std::string path, uint64_t limitBytes, MemoryMap* memory, bool replaces)
    : path_(std::move(path)), limit_(limitBytes), memory_(memory), replaces_(replaces) {}

TraceFile::~TraceFile() {
    std::string ignored;
    if (file_ != nullptr) writer_.Commit(ignored);
}

namespace {
Existing TraceTarget(bool replaces) {
    return replaces ? Existing::kReplaceFile : Existing::kRefuse;
}
} // namespace

bool TraceFile::Open() {
    // Put in place at once: the trace grows as the CPU runs, and a board ended by a signal keeps
    // what it wrote. It never writes through a link, and a preset's trace never replaces a file.
    std::string reason;
    if (!writer_.Open(path_, TraceTarget(replaces_), reason) || !writer_.Publish(reason)) {
        std::fprintf(stderr, "simulated board: cannot create the trace file %s: %s\n",
                     path_.c_str(), reason.c_str());
        cut_ = true;
        return false;
    }
    file_ = writer_.File();
    return true;
}

std::string TraceFile::Refused(const CoreSettings& core) {
    if (core.trace.empty()) return {};
    SafeFileWriter probe; // a temporary file beside it, deleted again
    std::string reason;
    if (probe.Open(core.trace, TraceTarget(core.traceReplaces), reason)) return {};
    const bool exists = reason == RefusedTarget(core.trace, Existing::kRefuse);
    return "cannot create the trace file " + core.trace + ": " + reason +
           (exists && !core.traceReplaces ? " (a preset's trace is always a new file)" : "");
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
        std::string ignored;
        writer_.Commit(ignored);
        file_ = nullptr;
        cut_ = true;
        return;
    }
    std::fputs(line.c_str(), file_);
    written_ += line.size();
    ++lines_;
}

} // namespace tapster::board
