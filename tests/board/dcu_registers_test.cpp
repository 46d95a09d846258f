// The DCU registers and the simulated CPU as a polling monitor sees them.
#include "board/dcu_map.h"
#include "dcu_test_bus.h"

#include <gtest/gtest.h>

namespace tapster::board {
namespace {

using test::Rig;

TEST(DcuRegisters, ControlReadsBackWhatWasWritten) {
    Rig rig;
    EXPECT_EQ(rig.HostReadWord(kDcuControl), 0u);
    rig.HostWriteWord(kDcuControl, 0x00240000);
    EXPECT_EQ(rig.HostReadWord(kDcuControl), 0x00240000u);
    rig.HostWriteWord(kDcuJumpTraceControl, 0x00010000);
    EXPECT_EQ(rig.HostReadWord(kDcuJumpTraceControl), 0x00010000u);
    // A block read across the window gives the same words.
    const std::vector<uint8_t> block = rig.HostRead(kDcuBase, 8);
    EXPECT_EQ(block[4], 0x00);
    EXPECT_EQ(block[6], 0x24);
}

TEST(DcuRegisters, StatusShowsRunningStalledAndReset) {
    Rig rig;
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
    rig.HostWriteWord(kDcuControl, kCtlStallCpu);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStStalled);
    rig.HostWriteWord(kDcuControl, kCtlStallCpu | kCtlStallAtDeschedule | kCtlResetCpu);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStStalled | kStInReset);
    rig.HostWriteWord(kDcuControl, kCtlResetCpu);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStInReset);
    rig.HostWriteWord(kDcuControl, 0);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
    // The status register ignores writes.
    rig.HostWriteWord(kDcuStatus, 0xFFFFFFFF);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
}

TEST(DcuRegisters, StallAtDescheduleTakesEffectOnTheNextStep) {
    Rig rig;
    rig.HostWriteWord(kDcuControl, kCtlStallAtDeschedule);
    // The write itself was the last step before the stall took hold.
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStStalled);
    rig.HostWriteWord(kDcuControl, 0);
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
}

TEST(DcuRegisters, TraceMovesWhileRunningAndFreezesWhileStalled) {
    Rig rig;
    const uint32_t iptr1 = rig.HostReadWord(kDcuJumpTraceIptr);
    const uint32_t from1 = rig.HostReadWord(kDcuJumpTraceFrom);
    const uint32_t wp1 = rig.HostReadWord(kDcuWpAddress);
    const uint32_t iptr2 = rig.HostReadWord(kDcuJumpTraceIptr);
    const uint32_t from2 = rig.HostReadWord(kDcuJumpTraceFrom);
    const uint32_t wp2 = rig.HostReadWord(kDcuWpAddress);
    EXPECT_NE(iptr1, iptr2);
    EXPECT_NE(from1, from2);
    EXPECT_NE(wp1, wp2);

    rig.HostWriteWord(kDcuControl, kCtlStallCpu);
    const uint32_t iptr3 = rig.HostReadWord(kDcuJumpTraceIptr);
    const uint32_t from3 = rig.HostReadWord(kDcuJumpTraceFrom);
    const uint32_t wp3 = rig.HostReadWord(kDcuWpAddress);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rig.HostReadWord(kDcuJumpTraceIptr), iptr3);
        EXPECT_EQ(rig.HostReadWord(kDcuJumpTraceFrom), from3);
        EXPECT_EQ(rig.HostReadWord(kDcuWpAddress), wp3);
    }
}

TEST(DcuRegisters, RunIsDeterministicAndResetRestartsIt) {
    auto trace = [](Rig& rig) {
        std::vector<uint32_t> values;
        for (int i = 0; i < 6; ++i)
            values.push_back(rig.HostReadWord(kDcuJumpTraceIptr));
        return values;
    };
    Rig a;
    Rig b;
    const std::vector<uint32_t> first = trace(a);
    EXPECT_EQ(first, trace(b));
    a.HostWriteWord(kDcuControl, kCtlResetCpu);
    EXPECT_EQ(a.HostReadWord(kDcuJumpTraceIptr), 0x7FFFFFFEu); // held at the reset address
    a.HostWriteWord(kDcuControl, 0);
    // Released from reset, the program runs the same course as after power-up.
    EXPECT_EQ(trace(a), first);
}

TEST(DcuRegisters, OnlyCompleteWordWritesAct) {
    Rig rig;
    // Three bytes of the stall bit's word: stored, but no action.
    rig.HostWrite(kDcuControl + 1, {0x00, 0x00, 0x80});
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStRunning);
    EXPECT_EQ(rig.HostReadWord(kDcuControl), 0x80000000u);
    // A block write covering the whole word acts.
    rig.HostWrite(kDcuStatus, {0, 0, 0, 0, 0, 0, 0, 0x80});
    EXPECT_EQ(rig.HostReadWord(kDcuStatus), kStStalled);
}

} // namespace
} // namespace tapster::board
