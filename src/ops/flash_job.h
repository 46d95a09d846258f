// The flash job: one call that checks the cable, starts the agent that suits the chip, erases
// what the image needs, programs, reads back and compares, as technicians know it from
// programmer tools. The CLI's program/verify/dump and the window's "Program and verify..." run
// it; each step writes the log lines of its button, the job adds its verdict.
#pragma once

#include "ops/flash_chips.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tapster {

enum class FlashJobKind {
    Program, // erase as asked, program, then read back and compare (unless verify is off)
    Verify,  // read back and compare only
    Dump,    // read `length` bytes at `at` into `dumpPath`
};

enum class EraseMode {
    Auto, // the sectors the image covers, from the chip table's map, skipping blank ones
    Chip, // the whole chip
    None, // nothing: the flash is known to be blank
};

struct FlashJobRequest {
    FlashJobKind kind = FlashJobKind::Program;
    std::string imagePath;  // Program, Verify: the image file
    std::string dumpPath;   // Dump: the file to write
    uint32_t flashBase = 0; // the window's lstFlashBase
    uint32_t at = 0;        // where the image goes (or where the dump starts)
    uint32_t length = 0;    // Dump: bytes to read
    EraseMode erase = EraseMode::Auto;
    bool verify = true; // Program: read back and compare
    uint32_t trapAddress = 0x80000800;
    // Folders searched, in order, for the agent images the chip table names; empty `agentPath`
    // means: search them. A set `agentPath` is loaded whatever the chip.
    std::vector<std::string> agentFolders;
    std::string agentPath;
};

enum class FlashJobPhase { Check, Agent, Identify, Erase, Program, Verify, Dump };

struct FlashJobProgress {
    FlashJobPhase phase = FlashJobPhase::Check;
    uint32_t done = 0;  // bytes of this phase done
    uint32_t total = 0; // bytes of this phase (0 for the phases without a size)
};
using FlashJobProgressFn = std::function<void(const FlashJobProgress&)>;

// The speed a phase's progress shows, and the time it has left at that speed.
struct PhaseRate {
    double kibPerSecond = 0;
    double secondsLeft = 0;
};
// Nothing until the phase has run half a second and done a block: before that a rate is 0, or
// one fast block taken for the whole phase.
std::optional<PhaseRate> RateOfPhase(uint32_t done, uint32_t total, double seconds);

struct FlashJobOutcome {
    bool ok = false;
    // False when the job stopped before it touched the target (a bad file, no agent image):
    // usage faults rather than target faults.
    bool reachedTarget = false;
    // One line: "VERIFIED: 2 MiB at 7FE00000 in 71 s, 29 KiB/s", "Verification FAILED at
    // 7FE01234: wrote 5A, read 00", "Dumped 64 KiB from 7FE00000 to x.bin in 2 s, 32 KiB/s",
    // or why the job failed, the agent's reason in words.
    std::string verdict;
    // The chip found ("Found Am29LV160DB (AMD/JEDEC, 2 MiB, bottom boot)"), empty before.
    std::string chipLine;
    const FlashChip* chip = nullptr;
    uint32_t bytes = 0; // bytes programmed, compared or dumped
    double seconds = 0; // the job's wall time
};

// Runs the job on frmMain's session. The progress callback may be empty. Every failure travels
// in the outcome; nothing throws.
FlashJobOutcome RunFlashJob(const FlashJobRequest& request, const FlashJobProgressFn& progress);

// The folders the agent images are looked for in, in this order: share/tapster beside the
// program's folder (an installed program), the program's folder, the start directory.
std::vector<std::string> AgentFolders(const std::string& programFolder,
                                      const std::string& startFolder);

// The phase's name for a progress line ("program", "verify", ...).
const char* PhaseName(FlashJobPhase phase);

} // namespace tapster
