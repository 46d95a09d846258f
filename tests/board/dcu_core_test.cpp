// The DCU acting on the executing CPU: each break condition the host arms traps the resident
// program into the Breakpoint slot with the trapped process saved, a routine the host loaded
// runs there and returns with tret; stall, reset and run follow the control register; the jump
// trace and the watchpoint address show what the CPU executes; idle time is skipped bit for bit.
#include "board/dcu_map.h"
#include "board/memory_map.h"
#include "board/trace_file.h"
#include "board_rom.h"
#include "dcu_test_bus.h"
#include "routine_halt_on_error.h"
#include "routine_illegal.h"
#include "routine_reset_self.h"
#include "routine_wait_then_return.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <span>
#include <string>

namespace tapster::board {
namespace {

using test::Rig;

constexpr uint32_t kTrap = 0x80000800;
constexpr uint32_t kMailbox = kTrap + 0x200;
constexpr uint32_t kBrkHigh = 0x80000040;
constexpr uint32_t kTrappedBrkHigh = kBrkHigh + 0x10;
// The resident program's workspace words (firmware/rom.s).
constexpr uint32_t kIdleWorkspaceLow = 0x800003E0;
constexpr uint32_t kIdleWorkspaceTop = 0x80000400;

BoardConfig Executing() {
    return BoardConfig{}; // the board executes what the host loads
}

std::vector<uint8_t> Image(std::span<const uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

// The idle loop's steps in the ROM: each starts with ajw -1; ldlp 0; stl 0 (60 BF 10 D0).
std::set<uint32_t> IdleSteps() {
    std::set<uint32_t> steps;
    const std::span<const uint8_t> rom = kBoardRomBytes();
    const uint8_t step[] = {0x60, 0xBF, 0x10, 0xD0};
    for (auto it = rom.begin(); (it = std::search(it, rom.end(), step, step + 4)) != rom.end();
         ++it)
        steps.insert(kRomBase + static_cast<uint32_t>(it - rom.begin()));
    return steps;
}

bool InIdleLoop(uint32_t iptr) {
    const std::set<uint32_t> steps = IdleSteps();
    return !steps.empty() && iptr >= *steps.begin() && iptr < *steps.rbegin() + 16;
}

uint32_t Read(Rig& rig, uint32_t address) {
    return rig.HostReadWord(address);
}
uint32_t JumpIptr(Rig& rig) {
    rig.HostWriteWord(kDcuJumpTraceControl, 0x00010000);
    return Read(rig, kDcuJumpTraceIptr);
}
// DCU_JUMPTRACE_IPTR and DCU_JUMPTRACE_FROM of one moment: one block read of both.
std::pair<uint32_t, uint32_t> JumpPair(Rig& rig) {
    rig.HostWriteWord(kDcuJumpTraceControl, 0x00010000);
    const std::vector<uint8_t> b = rig.HostRead(kDcuJumpTraceIptr, 8);
    auto word = [&](size_t i) {
        return static_cast<uint32_t>(b[i]) | static_cast<uint32_t>(b[i + 1]) << 8 |
               static_cast<uint32_t>(b[i + 2]) << 16 | static_cast<uint32_t>(b[i + 3]) << 24;
    };
    return {word(0), word(4)};
}
uint32_t WatchAddress(Rig& rig) {
    rig.HostWriteWord(kDcuWpControl, 0x00010000);
    return Read(rig, kDcuWpAddress);
}

struct Condition {
    const char* name;
    uint32_t armRegister;
    uint32_t armValue;
    BreakCause cause;
};

const Condition kConditions[] = {
    {"interrupt", kDcuControl, 0x20000000, BreakCause::Interrupt},
    {"next_instruction", kDcuControl, 0x10000000, BreakCause::NextFlow},
    {"watchpoint", kDcuWpControl, 0x000A0000, BreakCause::Watchpoint},
    {"breakpoint", kDcuBpControl, 0x000A0000, BreakCause::Breakpoint},
};

class BreakCondition : public ::testing::TestWithParam<Condition> {};

TEST_P(BreakCondition, TrapsIntoTheBreakpointSlotAndResumesAfterTret) {
    const Condition& c = GetParam();
    Rig rig(Executing());
    rig.LoadRoutine(kTrap, Image(test::k_wait_then_returnBytes()));
    rig.InstallSlot(kBrkHigh, kTrap);
    // Stalled, the trace registers hold still: they show what the arming write matches.
    rig.HostWriteWord(kDcuControl, kCtlStallCpu);
    const uint32_t watched = WatchAddress(rig);
    const uint32_t target = JumpIptr(rig);
    if (c.armRegister == kDcuControl) {
        rig.HostWriteWord(kDcuControl, c.armValue); // arms and lets the CPU run
    } else {
        rig.HostWriteWord(c.armRegister, c.armValue);
        rig.HostWriteWord(kDcuControl, 0);
    }
    const uint32_t cause = static_cast<uint32_t>(c.cause);
    EXPECT_EQ(Read(rig, kDcuStatus), kStRunning | kStTrapped | cause << kStCauseShift);
    // The trapped process: the idle loop at high priority, with Status valid and the cause.
    const uint32_t enables = Read(rig, kTrappedBrkHigh + 0x0);
    const uint32_t status = Read(rig, kTrappedBrkHigh + 0x4);
    const uint32_t wptr = Read(rig, kTrappedBrkHigh + 0x8);
    const uint32_t iptr = Read(rig, kTrappedBrkHigh + 0xC);
    EXPECT_EQ(enables, 0x00FF0000u);
    EXPECT_EQ(status, 0x80000001u);
    EXPECT_GE(wptr, kIdleWorkspaceLow);
    EXPECT_LE(wptr, kIdleWorkspaceTop);
    EXPECT_TRUE(InIdleLoop(iptr)) << std::hex << iptr;
    switch (c.cause) {
    case BreakCause::Breakpoint: // in place of the matched instruction
        EXPECT_EQ(iptr, target);
        break;
    case BreakCause::Watchpoint: // after the stl 0 that stored to the watched word
        EXPECT_EQ(wptr, watched);
        break;
    case BreakCause::Interrupt: // where a j led
        EXPECT_EQ(IdleSteps().count(iptr), 1u) << std::hex << iptr;
        break;
    default:
        break;
    }
    // The handler runs on its workspace; no other slot took a trap.
    EXPECT_EQ(Read(rig, kMailbox + 20), 0u);
    for (const TrapSlot& slot : kTrapSlots) {
        if (slot.base == kBrkHigh) continue;
        EXPECT_EQ(Read(rig, slot.base + 0x14), 0u) << slot.name;
    }

    rig.HostWriteWord(kMailbox, 1); // let the handler return
    EXPECT_EQ(Read(rig, kMailbox + 20), 0x600Du);
    EXPECT_EQ(Read(rig, kDcuStatus), kStRunning | cause << kStCauseShift);
    EXPECT_TRUE(InIdleLoop(JumpIptr(rig)));
    EXPECT_EQ(Read(rig, kDcuStatus) & kStBreakArmed, 0u) << "a condition fires once";
}

TEST_P(BreakCondition, WaitsWhileStalledOrInhibitedAndPassesWithoutAHandler) {
    const Condition& c = GetParam();
    Rig rig(Executing());
    rig.LoadRoutine(kTrap, Image(test::k_wait_then_returnBytes()));
    rig.InstallSlot(kBrkHigh, kTrap);
    rig.HostWriteWord(kDcuControl, kCtlStallCpu | kCtlInhibitTrap |
                                       (c.armRegister == kDcuControl ? c.armValue : 0));
    if (c.armRegister != kDcuControl) rig.HostWriteWord(c.armRegister, c.armValue);
    EXPECT_EQ(Read(rig, kDcuStatus), kStStalled | kStBreakArmed);
    rig.HostWriteWord(kDcuControl,
                      kCtlInhibitTrap | (c.armRegister == kDcuControl ? c.armValue : 0));
    EXPECT_EQ(Read(rig, kDcuStatus), kStRunning | kStBreakArmed);
    rig.HostWriteWord(kDcuControl, c.armRegister == kDcuControl ? c.armValue : 0);
    EXPECT_NE(Read(rig, kDcuStatus) & kStTrapped, 0u);

    // With the slot's WPTR null the condition passes: no trap, and it is spent.
    Rig bare(Executing());
    bare.HostWriteWord(c.armRegister, c.armValue);
    EXPECT_EQ(Read(bare, kDcuStatus), kStRunning);
    EXPECT_EQ(Read(bare, kTrappedBrkHigh + 0x4), 0u);
}

INSTANTIATE_TEST_SUITE_P(Conditions, BreakCondition, ::testing::ValuesIn(kConditions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CpuControl, StallResetAndRunFollowTheControlRegister) {
    struct Row {
        uint32_t control;
        uint32_t status;
        bool moves; // the jump trace changes between two reads
    };
    const Row rows[] = {
        {0, kStRunning, true},
        {kCtlStallCpu, kStStalled, false},
        {kCtlResetCpu, kStInReset, false},
        {kCtlStallCpu | kCtlStallAtDeschedule | kCtlResetCpu, kStStalled | kStInReset, false},
        {kCtlStallAtDeschedule, kStStalled, false}, // at the loop's next jump
        {0, kStRunning, true},
    };
    Rig rig(Executing());
    for (const Row& row : rows) {
        rig.HostWriteWord(kDcuControl, row.control);
        EXPECT_EQ(Read(rig, kDcuStatus), row.status) << std::hex << row.control;
        EXPECT_EQ(Read(rig, kDcuControl), row.control);
        const uint32_t first = JumpIptr(rig);
        const uint32_t from = Read(rig, kDcuJumpTraceFrom);
        bool moved = false;
        for (int i = 0; i < 8 && !moved; ++i)
            moved = JumpIptr(rig) != first || Read(rig, kDcuJumpTraceFrom) != from;
        EXPECT_EQ(moved, row.moves) << std::hex << row.control;
        if (row.control == kCtlResetCpu) {
            EXPECT_EQ(first, 0x7FFFFFFEu); // held at the reset address
        }
    }
    // Only complete word writes act; the status register ignores writes.
    rig.HostWrite(kDcuControl + 1, {0x00, 0x00, 0x80});
    EXPECT_EQ(Read(rig, kDcuStatus), kStRunning);
    rig.HostWriteWord(kDcuStatus, 0xFFFFFFFF);
    EXPECT_EQ(Read(rig, kDcuStatus) & ~kStStalled, kStRunning & ~kStStalled);
}

TEST(CpuControl, ResetRebootsTheSameCourseAsPowerUp) {
    auto trace = [](Rig& rig) {
        std::vector<uint32_t> values;
        for (int i = 0; i < 6; ++i) {
            values.push_back(JumpIptr(rig));
            values.push_back(WatchAddress(rig));
        }
        return values;
    };
    Rig a(Executing());
    Rig b(Executing());
    const std::vector<uint32_t> first = trace(a);
    EXPECT_EQ(first, trace(b));
    // Released from reset, the CPU takes the course it took after power-up, clock for clock.
    a.HostWriteWord(kDcuControl, kCtlResetCpu);
    a.HostWriteWord(kDcuControl, 0);
    EXPECT_EQ(trace(a), first);
}

TEST(CpuControl, StopsAreShownInTheStatus) {
    struct Row {
        const char* name;
        std::span<const uint8_t> image;
        uint32_t bit;
    };
    const Row rows[] = {
        {"illegal opcode", test::k_illegalBytes(), kStIllegalOpcode},
        {"halted on error", test::k_halt_on_errorBytes(), kStHaltedOnError},
    };
    for (const Row& row : rows) {
        Rig rig(Executing());
        rig.LoadRoutine(kTrap, Image(row.image));
        rig.InstallSlot(kBrkHigh, kTrap);
        rig.HostWriteWord(kDcuControl, kCtlTrapAtNextInstruction);
        EXPECT_EQ(Read(rig, kDcuStatus), kStTrapped | row.bit |
                                             static_cast<uint32_t>(BreakCause::NextFlow)
                                                 << kStCauseShift)
            << row.name;
        // A reset brings it back to the resident program.
        rig.HostWriteWord(kDcuControl, kCtlResetCpu);
        rig.HostWriteWord(kDcuControl, 0);
        EXPECT_EQ(Read(rig, kDcuStatus), kStRunning) << row.name;
    }
}

// The CPU's own device store to DCU_CONTROL acts as the host's write does: here a reset, which
// holds the CPU at the reset address until the bit is cleared.
TEST(CpuControl, TheCpusOwnStoreToTheControlRegisterActs) {
    Rig rig(Executing());
    rig.LoadRoutine(kTrap, Image(test::k_reset_selfBytes()));
    rig.InstallSlot(kBrkHigh, kTrap);
    rig.HostWriteWord(kDcuControl, kCtlTrapAtNextInstruction);
    EXPECT_EQ(Read(rig, kDcuControl), kCtlResetCpu);
    EXPECT_EQ(Read(rig, kDcuStatus), kStInReset);
    EXPECT_EQ(JumpIptr(rig), 0x7FFFFFFEu);
    rig.HostWriteWord(kDcuControl, 0);
    EXPECT_EQ(Read(rig, kDcuStatus), kStRunning);
    EXPECT_TRUE(InIdleLoop(JumpIptr(rig)));
}

TEST(ResidentProgram, TraceRegistersShowItsJumpsAndStores) {
    Rig rig(Executing());
    const std::set<uint32_t> steps = IdleSteps();
    ASSERT_EQ(steps.size(), 8u);
    std::set<uint32_t> targets, watched;
    for (int i = 0; i < 40; ++i) {
        const auto [to, from] = JumpPair(rig);
        targets.insert(to);
        EXPECT_EQ(steps.count(to), 1u) << std::hex << to;
        // The jump: a one-byte j (function 0) at `from` whose offset leads to `to`, or the
        // pass's last jump back to the first step (nfix, j).
        const uint8_t j = RomByte(from - kRomBase);
        if (to == *steps.begin()) {
            EXPECT_EQ(j >> 4, 0x6) << std::hex << from;
        } else {
            EXPECT_EQ(j >> 4, 0x0) << std::hex << from;
            EXPECT_EQ(from + 1 + (j & 0xFu), to);
        }
        const uint32_t wp = WatchAddress(rig);
        watched.insert(wp);
        EXPECT_GE(wp, kIdleWorkspaceLow);
        EXPECT_LT(wp, kIdleWorkspaceTop);
        EXPECT_EQ(Read(rig, wp), wp) << "each workspace word holds its own address";
    }
    EXPECT_GT(targets.size(), 3u) << "the monitor sees the loop move";
    EXPECT_GT(watched.size(), 3u);
    // Nothing outside its workspace changed: the trap structures and the default trap area.
    for (uint32_t a = kBrkHigh; a < 0x80000140; a += 4)
        ASSERT_EQ(Read(rig, a), 0u) << std::hex << a;
    EXPECT_EQ(Read(rig, kTrap), 0u);
}

// The same transactions with idle skipping and with every instruction run (a trace switches
// skipping off) end in the same state, cycle for cycle.
TEST(IdleSkipping, GivesWhatRunningGives) {
    struct Discard final : st20::CoreTrace {
        void Executed(const st20::TraceRecord&) override { ++count; }
        uint64_t count = 0;
    } discard;
    Rig skipping(Executing());
    Rig running(Executing());
    running.parts.GetCpu().SetTrace(&discard);
    for (Rig* rig : {&skipping, &running}) {
        rig->LoadRoutine(kTrap, Image(test::k_wait_then_returnBytes()));
        rig->InstallSlot(kBrkHigh, kTrap);
    }
    auto session = [](Rig& rig) {
        std::vector<uint32_t> seen;
        for (int i = 0; i < 30; ++i) {
            rig.tck += 997 * static_cast<uint64_t>(i); // long gaps, as a block transfer makes
            const auto [to, from] = JumpPair(rig);
            seen.push_back(to);
            seen.push_back(from);
            seen.push_back(WatchAddress(rig));
            if (i == 10) rig.HostWriteWord(kDcuControl, kCtlTrapAtInterrupt);
            if (i == 20) rig.HostWriteWord(kMailbox, 1);
        }
        seen.push_back(Read(rig, kTrappedBrkHigh + 0xC));
        return seen;
    };
    EXPECT_EQ(session(skipping), session(running));
    const st20::CoreState& a = skipping.parts.GetCpu().Core().State();
    const st20::CoreState& b = running.parts.GetCpu().Core().State();
    EXPECT_EQ(a.cycles, b.cycles);
    EXPECT_EQ(a.iptr, b.iptr);
    EXPECT_EQ(a.wptr, b.wptr);
    EXPECT_EQ(a.areg, b.areg);
    EXPECT_GT(skipping.parts.GetCpu().SkippedCycles(), a.cycles / 2);
    EXPECT_EQ(running.parts.GetCpu().SkippedCycles(), 0u);
    EXPECT_GT(discard.count, 0u);
}

TEST(TraceFile, EveryInstructionUntilTheLimitThenALastLine) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "tapster-board-trace.txt").string();
    BoardConfig config = Executing();
    config.core.trace = path;
    config.core.traceLimitBytes = 4000;
    {
        Rig rig(config);
        for (int i = 0; i < 20; ++i)
            Read(rig, kDcuStatus);
    }
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    in.close(); // Windows cannot remove a file that is still open
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    ASSERT_GT(lines.size(), 10u);
    size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size() + 1;
    EXPECT_LE(bytes, 4000u);
    // The first instruction is the jump at the reset address; the boot code follows.
    EXPECT_EQ(lines[0].substr(0, 10), "7FFFFFFE  ");
    EXPECT_NE(lines[0].find(" j "), std::string::npos) << lines[0];
    EXPECT_NE(lines[3].find("gajw"), std::string::npos) << lines[3];
    EXPECT_NE(lines[3].find("W=80000400"), std::string::npos) << lines[3];
    EXPECT_EQ(lines.back().rfind("trace cut after ", 0), 0u) << lines.back();
}

} // namespace
} // namespace tapster::board
