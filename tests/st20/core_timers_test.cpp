// The clocks follow the cycle count (high priority every 1 us, low priority every 64 us at the
// configured frequency), the clock instructions, and tin's wait: reported, skipped bit-exactly,
// consumed by a cycle budget, and resumed after a trap that interrupted it.
#include "core_test_machine.h"

#include <gtest/gtest.h>
#include <string>

namespace tapster::st20::test {
namespace {

struct Tick {
    uint64_t hz;
    uint32_t clock;
    uint64_t cycles;
    uint32_t value;
};

class ClockTicks : public ::testing::TestWithParam<Tick> {};

TEST_P(ClockTicks, FollowTheCycleCount) {
    const Tick t = GetParam();
    Machine m(1, t.hz);
    m.S().cycles = t.cycles;
    EXPECT_EQ(m.core.ClockReg(t.clock), t.value);
}

INSTANTIATE_TEST_SUITE_P(Core, ClockTicks,
                         ::testing::Values(Tick{40'000'000, 0, 39, 0}, Tick{40'000'000, 0, 40, 1},
                                           Tick{40'000'000, 0, 4000, 100},
                                           Tick{40'000'000, 1, 2559, 0},
                                           Tick{40'000'000, 1, 2560, 1}, Tick{27'000'000, 0, 26, 0},
                                           Tick{27'000'000, 0, 27, 1}, Tick{27'000'000, 1, 1727, 0},
                                           Tick{27'000'000, 1, 1728, 1}, Tick{33'333'333, 0, 33, 0},
                                           Tick{33'333'333, 0, 34, 1},
                                           Tick{33'333'333, 0, 3'333'334, 100'000},
                                           // after ten simulated days the count is still exact
                                           Tick{40'000'000, 0, 34'560'000'000'000, 0x2A69C000}),
                         [](const auto& info) {
                             const Tick& t = info.param;
                             return "Hz" + std::to_string(t.hz) + "_Clock" +
                                    std::to_string(t.clock) + "_Cycle" + std::to_string(t.cycles);
                         });

struct Wait {
    uint8_t priority;
    uint64_t wake; // cycle at which the clock is after 100
};

class TinWait : public ::testing::TestWithParam<Wait> {};

// ldc 100; tin; ldc 7; stl 0; j -2 (to itself)
void TinProgram(Machine& m) {
    m.Code({0x26, 0x44, 0x22, 0xFB, 0x47, 0xD0, 0x60, 0x0E});
}

TEST_P(TinWait, ReportsWaitingAndSkipsToTheWakeCycle) {
    const Wait w = GetParam();
    Machine m(w.priority);
    TinProgram(m);
    RunResult r = m.core.Run(Budget{});
    EXPECT_EQ(r.reason, StopReason::Waiting);
    EXPECT_EQ(r.instructions, 2u);
    EXPECT_TRUE(m.core.Waiting());
    EXPECT_EQ(m.core.WakeCycle(), w.wake);
    EXPECT_EQ(m.bus.Word(kWs - 20), 100u);        // pw.Time
    EXPECT_EQ(m.bus.Word(kWs - 12), 0x80000002u); // pw.State
    EXPECT_EQ(m.S().iptr, kCode + 4);
    // Without a cycle budget time does not move on by itself.
    r = m.core.Run(Budget{});
    EXPECT_EQ(r.reason, StopReason::Waiting);
    EXPECT_EQ(r.cycles, 0u);
    ASSERT_TRUE(m.core.SkipToWake());
    EXPECT_EQ(m.S().cycles, w.wake);
    EXPECT_EQ(m.core.ClockReg(w.priority), 101u);
    m.core.Run(Budget{2, UINT64_MAX});
    EXPECT_EQ(m.bus.Word(kWs), 7u);
}

TEST_P(TinWait, CycleBudgetRunsThroughTheWait) {
    const Wait w = GetParam();
    Machine m(w.priority);
    TinProgram(m);
    RunResult r = m.core.Run(Budget{UINT64_MAX, w.wake - 10});
    EXPECT_EQ(r.reason, StopReason::Waiting);
    EXPECT_EQ(m.S().cycles, w.wake - 10);
    EXPECT_EQ(m.bus.Word(kWs), 0u);
    r = m.core.Run(Budget{UINT64_MAX, 100});
    EXPECT_EQ(r.reason, StopReason::Budget);
    EXPECT_EQ(m.bus.Word(kWs), 7u);
    EXPECT_FALSE(m.core.Waiting());
}

TEST_P(TinWait, TrapDuringTheWaitResumesItAfterTret) {
    const Wait w = GetParam();
    Machine m(w.priority);
    TinProgram(m);
    m.Code({0x60, 0xFB}, 0x80001800); // tret
    m.Handler(w.priority, TrapGroup::Breakpoint, 0x00F0FFF0, 0, 0x80002800, 0x80001800);
    m.core.Run(Budget{});
    m.core.RequestTrap(TrapGroup::Breakpoint, trap_cause::kBreakpoint);
    RunResult r = m.core.Step();
    EXPECT_EQ(r.traps, 1u);
    EXPECT_FALSE(m.core.Waiting());
    const uint32_t trapped = TrappedProcessAddress(w.priority, TrapGroup::Breakpoint);
    EXPECT_EQ(m.bus.Word(trapped + 4), 0xA0000001u); // valid, interrupted tin, Breakpoint
    EXPECT_EQ(m.bus.Word(trapped + 12), kCode + 4);
    r = m.core.Run(Budget{});
    EXPECT_EQ(r.instructions, 1u); // tret
    EXPECT_EQ(r.reason, StopReason::Waiting);
    EXPECT_EQ(m.core.WakeCycle(), w.wake);
    EXPECT_EQ(m.S().status[w.priority], 0u);
    m.core.SkipToWake();
    m.core.Run(Budget{2, UINT64_MAX});
    EXPECT_EQ(m.bus.Word(kWs), 7u);
}

INSTANTIATE_TEST_SUITE_P(Core, TinWait, ::testing::Values(Wait{0, 101 * 40}, Wait{1, 101 * 2560}),
                         [](const auto& info) {
                             return info.param.priority == 0 ? "High" : "Low";
                         });

TEST(CoreTimers, TinWithThePastTimeDoesNotWait) {
    Machine m;
    m.Code({0x60, 0x4F, 0x22, 0xFB, 0x47}); // ldc -1; tin; ldc 7
    const RunResult r = m.core.Run(Budget{3, UINT64_MAX});
    EXPECT_EQ(r.reason, StopReason::Budget);
    EXPECT_EQ(m.S().areg, 7u);
}

TEST(CoreTimers, ClockInstructions) {
    Machine m;
    // stclock (HP := 0x1000); ldclock 1; clockdis 2; clockenb 2; ldtimer
    m.Code({0x64, 0xFC, 0x64, 0xFD, 0x64, 0xFE, 0x64, 0xFF, 0x22, 0xF2});
    CoreState& s = m.S();
    s.areg = 0;
    s.breg = 0x1000;
    s.creg = 9;
    m.core.Step();
    EXPECT_EQ(m.core.ClockReg(0), 0x1000u);
    EXPECT_EQ(s.areg, 9u);
    s.cycles = 2560 * 3;
    s.areg = 1;
    m.core.Step();
    EXPECT_EQ(s.areg, 3u);
    EXPECT_EQ(m.core.ClockReg(0), 0x1000u + 2560 * 3 / 40);
    s.areg = 2;
    m.core.Step(); // the low-priority clock stops
    EXPECT_EQ(s.areg, 3u);
    EXPECT_EQ(s.clockEnables, 1u);
    s.cycles += 2560 * 4;
    EXPECT_EQ(m.core.ClockReg(1), 3u);
    s.areg = 2;
    m.core.Step(); // and runs again from where it stopped
    EXPECT_EQ(s.areg, 1u);
    s.cycles += 2560;
    m.core.Step();
    EXPECT_EQ(s.areg, 4u);
}

TEST(CoreTimers, TinWithTheClockStoppedHasNoWakeCycle) {
    Machine m;
    m.Code({0x42, 0x64, 0xFE, 0x26, 0x44, 0x22, 0xFB}); // ldc 2; clockdis; ldc 100; tin
    const RunResult r = m.core.Run(Budget{UINT64_MAX, 1'000'000});
    EXPECT_EQ(r.reason, StopReason::Waiting);
    EXPECT_TRUE(m.core.Waiting());
    EXPECT_FALSE(m.core.WakeCycle().has_value());
    EXPECT_FALSE(m.core.SkipToWake());
    EXPECT_EQ(m.S().cycles, 1'000'000u);
}

} // namespace
} // namespace tapster::st20::test
