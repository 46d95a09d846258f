// Break conditions armed through the DCU, and traps taken into slots that point at a routine
// the host loaded: the agent then serves the mailbox at the slot's workspace.
#include "board/agent.h"
#include "board/cpu_host_writes.h"
#include "board/dcu_map.h"
#include "dcu_test_bus.h"

#include <gtest/gtest.h>

namespace tapster::board {
namespace {

using test::kFillByte;
using test::Rig;

constexpr uint32_t kTrap = 0x80000800;
constexpr uint32_t kMailbox = kTrap + 0x200;
constexpr uint32_t kFillWord = 0xA5A5A5A5;

struct Condition {
    const char* name;
    uint32_t armRegister;
    uint32_t armValue;
    uint32_t slotBase;
    BreakCause cause;
};

const Condition kConditions[] = {
    {"interrupt", kDcuControl, 0x20000000, 0x80000040, BreakCause::Interrupt},
    {"next_flow", kDcuControl, 0x10000000, 0x80000060, BreakCause::NextFlow},
    {"watchpoint", kDcuWpControl, 0x000A0000, 0x80000080, BreakCause::Watchpoint},
    {"breakpoint", kDcuBpControl, 0x000A0000, 0x800000A0, BreakCause::Breakpoint},
};

uint32_t Cause(const Condition& c) {
    return static_cast<uint32_t>(c.cause);
}

// Identify through the mailbox; false if the agent never released within the bound.
bool Identify(Rig& rig, uint32_t mailbox, uint32_t& manufacturer, uint32_t& device) {
    rig.HostWriteWord(mailbox + 16, 0x7FE00000);
    rig.HostWriteWord(mailbox, kAgentCmdReadId);
    for (int poll = 0; poll < 50; ++poll) {
        if (rig.HostReadWord(mailbox) & kAgentStReleased) {
            device = rig.HostReadWord(mailbox + 24);
            manufacturer = rig.HostReadWord(mailbox + 20);
            return true;
        }
    }
    return false;
}

class TrapTaken : public ::testing::TestWithParam<Condition> {};

TEST_P(TrapTaken, IntoALoadedSlotStartsTheAgentAtItsWorkspace) {
    const Condition& c = GetParam();
    Rig rig;
    rig.LoadRoutine(kTrap);
    rig.InstallSlot(c.slotBase, kTrap);

    rig.HostWriteWord(c.armRegister, c.armValue);
    EXPECT_FALSE(rig.parts.GetCpu().Trapped()); // not in the arming transaction itself
    const uint32_t status = rig.HostReadWord(kDcuStatus);
    EXPECT_EQ(status, kStRunning | kStTrapped | Cause(c) << kStCauseShift);
    EXPECT_EQ(rig.HostReadWord(c.slotBase + kSlotTrappedStatus), kTrappedFlag | Cause(c));
    for (const TrapSlot& slot : kTrapSlots) { // no other slot was entered
        if (slot.base != c.slotBase) {
            EXPECT_EQ(rig.HostReadWord(slot.base + kSlotTrappedStatus), kFillWord) << slot.name;
        }
    }
    // The CPU now loops inside the routine.
    const uint32_t iptr = rig.HostReadWord(kDcuJumpTraceIptr);
    EXPECT_GE(iptr, kTrap);
    EXPECT_LT(iptr, kTrap + kTrapRoutineSize);
    EXPECT_EQ(rig.HostReadWord(kDcuWpAddress), kMailbox);

    uint32_t manufacturer = 0;
    uint32_t device = 0;
    ASSERT_TRUE(Identify(rig, kMailbox, manufacturer, device));
    EXPECT_EQ(manufacturer, 0x0001u);
    EXPECT_EQ(device, 0x2249u);
}

TEST_P(TrapTaken, NotIntoUnloadedMemory) {
    const Condition& c = GetParam();
    Rig rig;
    rig.InstallSlot(c.slotBase, kTrap); // slot installed, routine never loaded
    rig.HostWriteWord(c.armRegister, c.armValue);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
    EXPECT_EQ(rig.HostReadWord(c.slotBase + kSlotTrappedStatus), kFillWord);
    EXPECT_FALSE(rig.parts.GetAgent().Running());
    uint32_t manufacturer = 0;
    uint32_t device = 0;
    EXPECT_FALSE(Identify(rig, kMailbox, manufacturer, device));
    EXPECT_EQ(rig.HostReadWord(kMailbox), kAgentCmdReadId); // nobody answered
}

INSTANTIATE_TEST_SUITE_P(Conditions, TrapTaken, ::testing::ValuesIn(kConditions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TrapRoutineLoaded, NeedsEveryByteInRam) {
    Rig rig;
    rig.InstallSlot(0x80000040, kTrap);
    rig.HostWrite(kTrap, std::vector<uint8_t>(252, 0x11)); // first block only
    rig.HostWriteWord(kDcuControl, 0x20000000);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus) & kStTrapped, 0u);

    rig.HostWrite(kTrap + 252, std::vector<uint8_t>(231, 0x22)); // one byte short
    rig.HostWriteWord(kDcuControl, 0x20000000);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus) & kStTrapped, 0u);

    rig.HostWrite(kTrap + 483, {0x33}); // now complete
    rig.HostWriteWord(kDcuControl, 0x20000000);
    EXPECT_NE(rig.HostReadWord(kDcuStatus) & kStTrapped, 0u);
}

TEST(TrapRoutineLoaded, NotOutsideRamEvenIfWritten) {
    Rig rig;
    const uint32_t flash = 0x7FE00000; // the host can write there, but it is no RAM
    rig.HostWrite(flash, std::vector<uint8_t>(484, 0x00));
    rig.InstallSlot(0x80000040, flash);
    rig.HostWriteWord(kDcuControl, 0x20000000);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus) & kStTrapped, 0u);
    // A routine straddling the end of SRAM does not fit either.
    const uint32_t edge = 0x80010000 - 100;
    rig.HostWrite(edge, std::vector<uint8_t>(100, 0));
    rig.HostWrite(0x80010000, std::vector<uint8_t>(384, 0));
    rig.InstallSlot(0x80000040, edge);
    rig.HostWriteWord(kDcuControl, 0x20000000);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus) & kStTrapped, 0u);
}

TEST(TrapConditions, WaitWhileStalledOrInhibited) {
    Rig rig;
    rig.LoadRoutine(kTrap);
    rig.InstallSlot(0x80000080, kTrap);
    rig.HostWriteWord(kDcuControl, kCtlStallCpu);
    rig.HostWriteWord(kDcuWpControl, 0x000A0000);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStStalled | kStBreakArmed);
    rig.HostWriteWord(kDcuControl, kCtlInhibitTrap); // running, traps inhibited
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning | kStBreakArmed);
    rig.HostWriteWord(kDcuControl, 0);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning | kStTrapped |
                                                static_cast<uint32_t>(BreakCause::Watchpoint)
                                                    << kStCauseShift);
}

TEST(TrapConditions, AWriteWithoutTheArmingBitsDisarms) {
    Rig rig;
    rig.LoadRoutine(kTrap);
    rig.InstallSlot(0x800000A0, kTrap);
    rig.HostWriteWord(kDcuControl, kCtlStallCpu);
    rig.HostWriteWord(kDcuBpControl, 0x000A0000);
    rig.HostWriteWord(kDcuBpControl, 0x00010000);
    rig.HostWriteWord(kDcuControl, 0);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
}

TEST(TrapConditions, HostTakeSequenceForTheWatchpoint) {
    // The host's Take Trap: its report writes DCU_WP_CONTROL right after reading the status,
    // so the trap must already be in by the first read after the arming write.
    Rig rig;
    rig.LoadRoutine(kTrap);
    rig.InstallSlot(0x80000080, kTrap);
    const uint32_t mailbox = rig.HostReadWord(0x80000088);
    rig.HostWriteWord(mailbox + 20, 0); // OP_TEMP
    rig.HostWriteWord(kDcuJumpTraceControl, 0x00010000);
    rig.HostWriteWord(kDcuWpControl, 0x00010000);
    rig.HostWriteWord(kDcuWpControl, 0x000A0000);
    EXPECT_NE(rig.HostReadWord(kDcuStatus) & kStTrapped, 0u);
    rig.HostReadWord(kDcuControl);
    rig.HostWriteWord(kDcuJumpTraceControl, 0x00010000);
    rig.HostWriteWord(kDcuWpControl, 0x00010000);
    EXPECT_EQ(rig.HostReadWord(mailbox + 20), 0u); // the agent leaves OP_TEMP alone
    uint32_t manufacturer = 0;
    uint32_t device = 0;
    ASSERT_TRUE(Identify(rig, mailbox, manufacturer, device));
    EXPECT_EQ(device, 0x2249u);
}

TEST(TrapConditions, ResetEndsTheRoutineAndALaterTrapMovesTheMailbox) {
    Rig rig;
    rig.LoadRoutine(kTrap);
    rig.InstallSlot(0x80000040, kTrap);
    const uint32_t other = 0x40080000;
    rig.LoadRoutine(other);
    rig.InstallSlot(0x80000060, other);

    rig.HostWriteWord(kDcuControl, 0x20000000);
    rig.HostReadWord(kDcuStatus);
    EXPECT_EQ(rig.parts.GetAgent().Mailbox(), kMailbox);
    rig.HostWriteWord(kDcuControl, 0x10000000);
    rig.HostReadWord(kDcuStatus);
    EXPECT_EQ(rig.parts.GetAgent().Mailbox(), other + 0x200);
    uint32_t manufacturer = 0;
    uint32_t device = 0;
    EXPECT_TRUE(Identify(rig, other + 0x200, manufacturer, device));

    rig.HostWriteWord(kDcuControl, kCtlResetCpu);
    rig.HostWriteWord(kDcuControl, 0);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
    EXPECT_FALSE(rig.parts.GetAgent().Running());
    EXPECT_FALSE(Identify(rig, other + 0x200, manufacturer, device));
    // RAM survives the CPU reset: the routine is still loaded and can be entered again.
    rig.HostWriteWord(kDcuControl, 0x20000000);
    EXPECT_NE(rig.HostReadWord(kDcuStatus) & kStTrapped, 0u);
}

TEST(TrapConditions, StalledAgentCountsNoPolls) {
    BoardConfig config;
    config.agent.identifyPolls = 0;
    Rig rig(config);
    rig.LoadRoutine(kTrap);
    rig.InstallSlot(0x80000040, kTrap);
    rig.HostWriteWord(kDcuControl, 0x20000000);
    rig.HostReadWord(kDcuStatus);
    rig.HostWriteWord(kDcuControl, kCtlStallCpu);
    rig.HostWriteWord(kMailbox + 16, 0x7FE00000);
    rig.HostWriteWord(kMailbox, kAgentCmdReadId);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rig.HostReadWord(kMailbox), kAgentCmdReadId);
    rig.HostWriteWord(kDcuControl, 0); // the agent runs again and sees the command
    EXPECT_EQ(rig.HostReadWord(kMailbox), kAgentCmdReadId | kAgentStReleased);
}

TEST(HostWrites, MergesAndCoversAcrossTheTop) {
    HostWrites w;
    w.Add(100, 10);
    w.Add(120, 10);
    EXPECT_FALSE(w.Covers(100, 30));
    w.Add(110, 10); // fills the gap: one span
    EXPECT_EQ(w.SpanCount(), 1u);
    EXPECT_TRUE(w.Covers(100, 30));
    EXPECT_FALSE(w.Covers(99, 2));
    EXPECT_FALSE(w.Covers(129, 2));
    w.Add(0xFFFFFFF0, 0x20); // wraps to 0..0x10
    EXPECT_TRUE(w.Covers(0xFFFFFFF8, 0x10));
    EXPECT_FALSE(w.Covers(0xFFFFFFF8, 0x20));
    EXPECT_TRUE(w.Covers(5, 0));
    w.Clear();
    EXPECT_FALSE(w.Covers(100, 1));
}

} // namespace
} // namespace tapster::board
