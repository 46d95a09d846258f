// Checked arithmetic, illegal opcodes, trap entry and tret, j 0 and the debug unit's trap taken
// in place of an instruction: the words written to the trapped-process structure, the Enables
// AND, the handler's state and the resumption, all worked out by hand.
#include "core_test_machine.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tapster::st20::test {
namespace {

constexpr uint32_t P = kPoison;
constexpr uint32_t kHandlerCode = 0x80001800; // holds tret (60 FB)
constexpr uint32_t kHandlerWs = 0x80002800;
constexpr uint32_t kHandlerMask = 0x00F0FFF0; // the handlers' Enables word

// Every group's handler installed at the machine's priority, each starting at a tret.
void InstallHandlers(Machine& m, uint32_t priority = 1) {
    m.Code({0x60, 0xFB}, kHandlerCode);
    for (auto g :
         {TrapGroup::Breakpoint, TrapGroup::Error, TrapGroup::System, TrapGroup::Scheduler})
        m.Handler(priority, g, kHandlerMask, 0, kHandlerWs, kHandlerCode);
}

struct Trapped {
    uint32_t enables, status, wptr, iptr;
};
Trapped TrappedWords(Machine& m, uint32_t address) {
    return {m.bus.Word(address), m.bus.Word(address + 4), m.bus.Word(address + 8),
            m.bus.Word(address + 12)};
}

// --- checked arithmetic -----------------------------------------------------------------------

struct Checked {
    const char* name;
    std::vector<uint8_t> code;
    uint32_t a, b, c;
    uint32_t result;
    bool overflow;
};
void PrintTo(const Checked& c, std::ostream* os) {
    *os << c.name;
}

class CheckedArithmetic : public ::testing::TestWithParam<Checked> {};

TEST_P(CheckedArithmetic, OverflowSetsTheErrorFlagAndKeepsTheWrappedResult) {
    const Checked& t = GetParam();
    Machine m;
    m.Code(t.code);
    m.S().areg = t.a;
    m.S().breg = t.b;
    m.S().creg = t.c;
    m.core.Step();
    EXPECT_EQ(m.S().areg, t.result);
    EXPECT_EQ(m.S().errorFlag, t.overflow);
}

INSTANTIATE_TEST_SUITE_P(
    Core, CheckedArithmetic,
    ::testing::Values(
        Checked{"adc_over", {0x81}, 0x7FFFFFFF, 0, 0, 0x80000000, true},
        Checked{"adc_fits", {0x81}, 0x7FFFFFFE, 0, 0, 0x7FFFFFFF, false},
        Checked{"add_over", {0xF5}, 1, 0x7FFFFFFF, 0, 0x80000000, true},
        Checked{"add_under", {0xF5}, 0xFFFFFFFF, 0x80000000, 0, 0x7FFFFFFF, true},
        Checked{"sub_under", {0xFC}, 1, 0x80000000, 0, 0x7FFFFFFF, true},
        Checked{"sub_fits", {0xFC}, 1, 0, 0, 0xFFFFFFFF, false},
        Checked{"mul_over", {0x25, 0xF3}, 2, 0x40000000, 0, 0x80000000, true},
        Checked{"mul_minus_one_by_mint", {0x25, 0xF3}, 0xFFFFFFFF, 0x80000000, 0, 0x80000000, true},
        Checked{"mul_fits_mint", {0x25, 0xF3}, 0xFFFFFFFE, 0x40000000, 0, 0x80000000, false},
        Checked{"ladd_carry_over", {0x21, 0xF6}, 0x7FFFFFFF, 0, 1, 0x80000000, true},
        Checked{"ladd_carry_fits", {0x21, 0xF6}, 0x7FFFFFFE, 0, 1, 0x7FFFFFFF, false},
        Checked{"lsub_borrow_under", {0x23, 0xF8}, 0, 0x80000000, 1, 0x7FFFFFFF, true},
        Checked{"lsub_borrow_fits", {0x23, 0xF8}, 0, 0x80000001, 1, 0x80000000, false}),
    [](const ::testing::TestParamInfo<Checked>& info) { return std::string(info.param.name); });

// adc overflowing (A = 0x7FFFFFFF, adc 1), then nop: with and without the Error trap enabled and
// HaltOnError.
struct OverflowMode {
    bool trapEnabled, haltOnError;
};

class OverflowHandling : public ::testing::TestWithParam<OverflowMode> {};

TEST_P(OverflowHandling, TrapWhenEnabledElseErrorFlagAndOptionalHalt) {
    const OverflowMode mode = GetParam();
    Machine m;
    InstallHandlers(m);
    m.Code({0x81, 0x63, 0xF0});
    CoreState& s = m.S();
    s.areg = 0x7FFFFFFF;
    s.breg = 2;
    s.creg = 3;
    s.haltOnError = mode.haltOnError;
    if (mode.trapEnabled) s.enables[1] = 0x00FF0004;

    RunResult r = m.core.Run(Budget{2, UINT64_MAX});
    if (mode.trapEnabled) {
        EXPECT_EQ(r.instructions, 1u);
        EXPECT_EQ(r.traps, 1u);
        EXPECT_FALSE(s.errorFlag);
        const Trapped t = TrappedWords(m, 0x800000F0);
        EXPECT_EQ(t.enables, 0x00FF0004u);
        EXPECT_EQ(t.status, 0x80000004u); // valid, IntegerOverflow
        EXPECT_EQ(t.wptr, kWs);
        EXPECT_EQ(t.iptr, kCode + 1); // after the adc
        EXPECT_EQ(s.iptr, kHandlerCode);
        EXPECT_EQ(s.wptr, kHandlerWs);
        EXPECT_EQ(s.enables[1], 0x00F00004u & kHandlerMask);
        EXPECT_EQ(s.status[1], 1u << 18); // the Error group while the handler runs
        EXPECT_EQ(s.areg, 0x80000000u);   // A, B, C untouched by the entry
        EXPECT_EQ(s.breg, 2u);
        EXPECT_EQ(s.creg, 3u);
        // tret: back after the adc with the process's Enables and a clean Status.
        r = m.core.Step();
        EXPECT_EQ(r.instructions, 1u);
        EXPECT_EQ(s.iptr, kCode + 1);
        EXPECT_EQ(s.wptr, kWs);
        EXPECT_EQ(s.enables[1], 0x00FF0004u);
        EXPECT_EQ(s.status[1], 0u);
        EXPECT_EQ(s.areg, 0x80000000u);
        m.core.Step();
        EXPECT_EQ(s.iptr, kCode + 3);
        EXPECT_FALSE(m.core.Stop().has_value());
    } else if (mode.haltOnError) {
        EXPECT_EQ(r.instructions, 1u);
        EXPECT_EQ(r.reason, StopReason::HaltedOnError);
        EXPECT_TRUE(s.errorFlag);
        EXPECT_EQ(s.iptr, kCode + 1);
        r = m.core.Run(Budget{});
        EXPECT_EQ(r.reason, StopReason::HaltedOnError);
        EXPECT_EQ(r.instructions, 0u);
        EXPECT_EQ(m.core.Stop(), StopReason::HaltedOnError);
        // The debug unit's trap takes the halted processor over.
        m.core.RequestTrap(TrapGroup::Breakpoint, trap_cause::kBreakpoint);
        r = m.core.Step();
        EXPECT_EQ(r.traps, 1u);
        EXPECT_FALSE(m.core.Stop().has_value());
        EXPECT_EQ(m.bus.Word(0x800000DC), kCode + 1);
    } else {
        EXPECT_EQ(r.instructions, 2u);
        EXPECT_EQ(r.traps, 0u);
        EXPECT_TRUE(s.errorFlag);
        EXPECT_EQ(s.iptr, kCode + 3);
        EXPECT_EQ(m.bus.Word(0x800000FC), 0u); // no trapped process written
    }
}

INSTANTIATE_TEST_SUITE_P(Core, OverflowHandling,
                         ::testing::Values(OverflowMode{false, false}, OverflowMode{false, true},
                                           OverflowMode{true, false}, OverflowMode{true, true}),
                         [](const ::testing::TestParamInfo<OverflowMode>& info) {
                             return std::string(info.param.trapEnabled ? "trap" : "notrap") +
                                    (info.param.haltOnError ? "_halt" : "_nohalt");
                         });

TEST(CoreTraps, EnabledTrapWithNullHandlerFallsBackToTheErrorFlag) {
    Machine m;
    InstallHandlers(m);
    m.Handler(1, TrapGroup::Error, kHandlerMask, 0, 0, kHandlerCode); // Wptr 0: not installed
    m.Code({0x81});
    m.S().areg = 0x7FFFFFFF;
    m.S().enables[1] = 0x00FF0004;
    const RunResult r = m.core.Run(Budget{2, UINT64_MAX});
    EXPECT_EQ(r.traps, 0u);
    EXPECT_TRUE(m.S().errorFlag);
}

TEST(CoreTraps, HighPriorityUsesTheHighPrioritySlots) {
    Machine m(0);
    InstallHandlers(m, 0);
    m.Code({0x81});
    m.S().areg = 0x7FFFFFFF;
    m.S().enables[0] = 0x00FF0004;
    const RunResult r = m.core.Run(Budget{2, UINT64_MAX});
    EXPECT_EQ(r.traps, 1u);
    EXPECT_EQ(m.bus.Word(0x80000074), 0x80000004u);
    EXPECT_EQ(m.bus.Word(0x8000007C), kCode + 1);
    EXPECT_EQ(m.S().enables[0], 0x00F00004u & kHandlerMask);
}

// --- illegal opcodes --------------------------------------------------------------------------

class IllegalOpcode : public ::testing::TestWithParam<std::vector<uint8_t>> {};

TEST_P(IllegalOpcode, StopsInFrontOfItWithoutTheTrapAndTrapsAfterItWithIt) {
    const std::vector<uint8_t>& code = GetParam();
    for (bool trap : {false, true}) {
        SCOPED_TRACE(trap ? "trap enabled" : "trap disabled");
        Machine m;
        InstallHandlers(m);
        m.Code(code);
        if (trap) m.S().enables[1] = 0x00FF0008;
        RunResult r = m.core.Run(Budget{2, UINT64_MAX});
        if (!trap) {
            EXPECT_EQ(r.reason, StopReason::IllegalOpcode);
            EXPECT_EQ(m.S().iptr, kCode);
            EXPECT_EQ(m.core.Stop(), StopReason::IllegalOpcode);
            r = m.core.Run(Budget{});
            EXPECT_EQ(r.reason, StopReason::IllegalOpcode);
            EXPECT_EQ(r.instructions, 0u);
            EXPECT_EQ(m.S().iptr, kCode);
            // The debug unit's trap resumes it, with the illegal instruction as trapped Iptr.
            m.core.RequestTrap(TrapGroup::Breakpoint, trap_cause::kBreakpoint);
            r = m.core.Step();
            EXPECT_EQ(r.traps, 1u);
            EXPECT_EQ(m.bus.Word(0x800000DC), kCode);
            EXPECT_EQ(m.S().iptr, kHandlerCode);
        } else {
            EXPECT_EQ(r.traps, 1u);
            EXPECT_EQ(m.bus.Word(0x80000114), 0x80000008u);         // valid, IllegalOpcode
            EXPECT_EQ(m.bus.Word(0x8000011C), kCode + code.size()); // after the instruction
            EXPECT_EQ(m.S().iptr, kHandlerCode);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Core, IllegalOpcode,
                         ::testing::Values(std::vector<uint8_t>{0xF3},             // opr 3
                                           std::vector<uint8_t>{0x60, 0xF1},       // opr -15
                                           std::vector<uint8_t>{0x2F, 0x2F, 0xF0}, // opr 0xFF0
                                           std::vector<uint8_t>{0x27, 0xFB},       // opr 0x7B
                                           std::vector<uint8_t>{0x60, 0xF0},       // swapqueue
                                           std::vector<uint8_t>{0x61, 0xFF}));     // iret

// --- j 0 --------------------------------------------------------------------------------------

TEST(CoreTraps, JZeroTrapsAfterItselfWhenEnabledAndIsAPlainJumpOtherwise) {
    for (bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "Breakpoint enabled" : "Breakpoint disabled");
        Machine m;
        InstallHandlers(m);
        m.Code({0x41, 0x42, 0x43, 0x00, 0x63, 0xF0}); // ldc 1; ldc 2; ldc 3; j 0; nop
        if (enabled) m.S().enables[1] = 0x00FF0001;
        RunResult r = m.core.Run(Budget{5, UINT64_MAX});
        if (enabled) {
            EXPECT_EQ(r.instructions, 4u);
            EXPECT_EQ(r.traps, 1u);
            const Trapped t = TrappedWords(m, 0x800000D0);
            EXPECT_EQ(t.status, 0x80000001u);
            EXPECT_EQ(t.iptr, kCode + 4);
            EXPECT_EQ(t.enables, 0x00FF0001u);
            EXPECT_EQ(m.S().areg, 3u);
            EXPECT_EQ(m.S().breg, 2u);
            EXPECT_EQ(m.S().creg, 1u);
            m.core.Step(); // tret
            EXPECT_EQ(m.S().iptr, kCode + 4);
            m.core.Step(); // the nop, not the j 0 again
            EXPECT_EQ(m.S().iptr, kCode + 6);
        } else {
            EXPECT_EQ(r.instructions, 5u);
            EXPECT_EQ(r.traps, 0u);
            EXPECT_EQ(m.S().iptr, kCode + 6);
            EXPECT_EQ(m.S().areg, P);
            EXPECT_EQ(m.S().breg, P);
            EXPECT_EQ(m.S().creg, P);
        }
    }
}

// --- the debug unit's trap ---------------------------------------------------------------------

struct Request {
    TrapGroup group;
    uint32_t cause;
    uint32_t trapped; // structure address at low priority
    uint32_t status;
};

class DebugUnitTrap : public ::testing::TestWithParam<Request> {};

TEST_P(DebugUnitTrap, TakenInPlaceOfTheInstructionWhichRunsAfterTret) {
    const Request q = GetParam();
    Machine m;
    InstallHandlers(m);
    m.Code({0x45, 0x46, 0xF5, 0x63, 0xF0}); // ldc 5; ldc 6; add; nop
    m.S().enables[1] = 0x00FF0000;          // no trap enabled: the request is forced
    m.core.Step();
    m.core.RequestTrap(q.group, q.cause);
    EXPECT_TRUE(m.core.TrapRequested());
    RunResult r = m.core.Step();
    EXPECT_EQ(r.traps, 1u);
    EXPECT_EQ(r.instructions, 0u);
    const Trapped t = TrappedWords(m, q.trapped);
    EXPECT_EQ(t.iptr, kCode + 1); // ldc 6 did not start
    EXPECT_EQ(t.status, q.status);
    EXPECT_EQ(t.wptr, kWs);
    EXPECT_EQ(t.enables, 0x00FF0000u);
    EXPECT_EQ(m.S().status[1], static_cast<uint32_t>(q.group) << 18);
    r = m.core.Run(Budget{3, UINT64_MAX}); // tret; ldc 6; add
    EXPECT_EQ(r.instructions, 3u);
    EXPECT_EQ(m.S().areg, 11u);
    EXPECT_EQ(m.S().iptr, kCode + 3);
    EXPECT_EQ(m.S().status[1], 0u);
}

std::string RequestName(const ::testing::TestParamInfo<Request>& info) {
    static const char* const kGroups[] = {"Breakpoint", "Error", "System", "Scheduler"};
    return kGroups[info.index];
}

INSTANTIATE_TEST_SUITE_P(
    Core, DebugUnitTrap,
    ::testing::Values(Request{TrapGroup::Breakpoint, 0, 0x800000D0, 0x80000001},
                      Request{TrapGroup::Error, 2, 0x800000F0, 0x80000004},
                      Request{TrapGroup::System, 3, 0x80000110, 0x80000008},
                      Request{TrapGroup::Scheduler, 12, 0x80000130, 0x80001000}),
    RequestName);

// A breakpoint address matched before the instruction: the trap replaces it, once.
class BreakAt : public CoreObserver {
  public:
    BreakAt(Core& core, uint32_t address) : core_(core), address_(address) {}
    bool BeforeInstruction(uint32_t iptr) override {
        seen.push_back(iptr);
        if (iptr == address_ && !fired_) {
            fired_ = true;
            core_.RequestTrap(TrapGroup::Breakpoint, trap_cause::kBreakpoint);
        }
        return true;
    }
    std::vector<uint32_t> seen;

  private:
    Core& core_;
    uint32_t address_;
    bool fired_ = false;
};

TEST(CoreTraps, ObserverBreakpointTrapsInPlaceOfTheMatchedInstruction) {
    Machine m;
    InstallHandlers(m);
    m.Code({0x45, 0x23, 0x46, 0xF5}); // ldc 5; ldc 0x36; add
    BreakAt observer(m.core, kCode + 1);
    m.core.SetObserver(&observer, kObserveInstructions);
    RunResult r = m.core.Run(Budget{5, UINT64_MAX}); // ldc, trap, tret, ldc, add
    EXPECT_EQ(r.instructions, 4u);
    EXPECT_EQ(r.traps, 1u);
    EXPECT_EQ(m.bus.Word(0x800000DC), kCode + 1);
    EXPECT_EQ(m.S().areg, 0x3Bu);
    EXPECT_EQ(observer.seen,
              (std::vector<uint32_t>{kCode, kCode + 1, kHandlerCode, kCode + 1, kCode + 3}));
}

TEST(CoreTraps, RequestIntoAnUninstalledHandlerIsDropped) {
    Machine m;
    m.Code({0x45, 0x46});
    m.core.RequestTrap(TrapGroup::Breakpoint, 0);
    const RunResult r = m.core.Run(Budget{2, UINT64_MAX});
    EXPECT_EQ(r.traps, 0u);
    EXPECT_EQ(r.instructions, 2u);
    EXPECT_FALSE(m.core.TrapRequested());
}

// --- instructions that raise traps --------------------------------------------------------------

TEST(CoreTraps, CauseErrorRaisesTheTrapFlaggedAsCaused) {
    for (bool enabled : {true, false}) {
        Machine m;
        InstallHandlers(m);
        m.Code({0x62, 0xFF}); // causeerror
        m.S().areg = 4;       // IntegerOverflow
        if (enabled) m.S().enables[1] = 0x00FF0004;
        const RunResult r = m.core.Run(Budget{2, UINT64_MAX});
        EXPECT_EQ(r.traps, enabled ? 1u : 0u);
        EXPECT_EQ(m.bus.Word(0x800000F4), enabled ? 0x80008004u : 0u);
        EXPECT_FALSE(m.S().errorFlag);
    }
}

TEST(CoreTraps, LoadTrapEnabledTrapsInsteadOfWritingTheHandler) {
    Machine m;
    InstallHandlers(m);
    m.Code({0x26, 0xFE}); // ldtraph
    m.bus.SetWord(kData, 0x11);
    m.S().areg = 1; // Error group
    m.S().breg = kData;
    m.S().creg = 1;
    m.S().enables[1] = 0x00FF0010;
    const RunResult r = m.core.Run(Budget{2, UINT64_MAX});
    EXPECT_EQ(r.traps, 1u);
    EXPECT_EQ(m.bus.Word(0x80000114), 0x80000010u);
    EXPECT_EQ(m.bus.Word(0x800000E0), kHandlerMask); // unchanged
}

// A raised trap and a debug-unit request at the same boundary: the request goes first; the
// raised trap, masked by the breakpoint handler's Enables, waits and is taken after tret.
// An overflow inside the handler, where the trap is masked, only sets ErrorFlag.
TEST(CoreTraps, RaisedTrapWaitsBehindARequestUntilEnabledAgain) {
    Machine m;
    InstallHandlers(m);
    m.Code({0x81, 0x60, 0xFB}, 0x80001900); // adc 1; tret
    m.Handler(1, TrapGroup::Breakpoint, kHandlerMask, 0, kHandlerWs, 0x80001900);
    m.Code({0x81, 0x63, 0xF0}); // adc 1; nop
    m.S().enables[1] = 0x00FF0004;
    m.S().areg = 0x7FFFFFFF;
    m.core.Step(); // adc overflows: the Error trap is raised
    m.core.RequestTrap(TrapGroup::Breakpoint, trap_cause::kBreakpoint);
    RunResult r = m.core.Step();
    EXPECT_EQ(r.traps, 1u);
    EXPECT_EQ(m.bus.Word(0x800000DC), kCode + 1);
    EXPECT_EQ(m.S().enables[1], 0x00F00000u);
    m.S().areg = 0x7FFFFFFF;
    r = m.core.Run(Budget{2, UINT64_MAX}); // the handler's adc (masked), its tret
    EXPECT_EQ(r.instructions, 2u);
    EXPECT_EQ(r.traps, 0u);
    EXPECT_TRUE(m.S().errorFlag);
    m.S().errorFlag = false;
    r = m.core.Step(); // the waiting Error trap, before the nop
    EXPECT_EQ(r.traps, 1u);
    EXPECT_EQ(m.bus.Word(0x800000FC), kCode + 1);
    EXPECT_EQ(m.bus.Word(0x800000F4), 0x80000004u);
    EXPECT_FALSE(m.S().errorFlag);
}

} // namespace
} // namespace tapster::st20::test
