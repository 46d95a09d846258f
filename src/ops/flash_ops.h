// The flash and memory operations as functions: a typed request in, an outcome with its reason
// out. Each runs its whole target session (claim, busy mode, JTAG, the agent, the TAP reset) and
// writes the log lines of its button; the buttons read their widgets, ask their questions and
// call these, and so do tapcheck-cli's aliases and the flash job.
#pragma once

#include "ops/flash_chips.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tapster {

struct OpOutcome {
    bool ok = false;
    // Why it failed, in words ("" when ok); also what a released call left undone (a chip erase
    // that skipped protected sectors is not ok, and says so here).
    std::string reason;
};

struct IdentifyOutcome : OpOutcome {
    uint32_t manufacturer = 0;
    uint32_t device = 0;
    const FlashChip* chip = nullptr; // null for a chip the host's table does not know
};
IdentifyOutcome IdentifyFlash(uint32_t flashBase);

OpOutcome EraseChip(uint32_t flashBase);
OpOutcome EraseSector(uint32_t blockAddress, uint32_t flashBase);

struct ProtectOutcome : OpOutcome {
    uint32_t status = 0;
};
ProtectOutcome ReadProtection(uint32_t blockAddress, uint32_t flashBase);

// Bytes done so far of the operation's total.
using ProgressFn = std::function<void(uint32_t done)>;

struct ProgramRequest {
    uint32_t flashBase = 0;
    uint32_t from = 0;
    // What to program; padded with zeros to whole agent chunks on the way.
    std::span<const uint8_t> data;
    ProgressFn progress; // may be empty
};
struct ProgramOutcome : OpOutcome {
    uint32_t failedAt = 0; // the flash address of the chunk that failed
};
// "Write from File" after its questions: the agent chunks, "Done." or the failure lines.
ProgramOutcome ProgramFlash(const ProgramRequest& request);

struct ReadRequest {
    uint32_t from = 0;
    uint32_t length = 0;
    // Read each 256-byte block twice and re-read until two reads agree (at most three reads).
    bool readTwice = false;
    ProgressFn progress;
};
struct ReadOutcome : OpOutcome {
    std::vector<uint8_t> bytes; // exactly `length` bytes when ok
};
// Reads target memory over the link in 256-byte blocks, in its own session.
ReadOutcome ReadTargetMemory(const ReadRequest& request);

// Reads the 256-byte block at `address` again and compares it with `block`; on a difference a
// third read decides (the block then holds the two that agree). False, said on the status line,
// when no two reads agree or a read fails.
bool ConfirmBlock(uint32_t address, uint8_t* block);

// One 256-byte block read, twice and compared when `twice` (a third read decides a
// disagreement). The bytes received, 0 for a failed read or reads that never agreed.
uint32_t ReadBlockChecked(uint32_t address, uint8_t* block, bool twice);

// "Read to File": the scan in dump mode, then the file cut to exactly `length` bytes.
struct DumpRequest {
    uint32_t from = 0;
    uint32_t length = 0;
    std::string path;
};
struct DumpOutcome : OpOutcome {
    bool notCreated = false;  // nothing was read: the file could not be made
    bool writeFailed = false; // the file could not be written to its end
};
DumpOutcome DumpToFile(const DumpRequest& request);

// Reads the file for programming: its first `length` bytes. False with a reason.
bool ReadImageFile(const std::string& path, uint32_t length, std::vector<uint8_t>& data,
                   std::string& reason);

} // namespace tapster
