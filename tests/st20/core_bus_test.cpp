// What reaches the bus: dev* accesses as device accesses of the right size (even to RAM), normal
// accesses of 1, 2 and 4 bytes at aligned addresses where there is no direct window, stores to
// read-only memory through the bus, fetches; and what the debug unit's observer and the trace
// see of a run.
#include "core_test_machine.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace tapster::st20::test {
namespace {

using Call = TestBus::Call;

struct Access1 {
    const char* name;
    std::vector<uint8_t> code;
    uint32_t a, b;
    Call call;
    uint32_t aAfter;
};
void PrintTo(const Access1& c, std::ostream* os) {
    *os << c.name;
}

class BusAccess : public ::testing::TestWithParam<Access1> {};

TEST_P(BusAccess, ReachesTheBusOnceWithItsKindAndSize) {
    const Access1& t = GetParam();
    Machine m;
    m.bus.SetWord(kData, 0x44332211);
    m.Code(t.code);
    m.S().areg = t.a;
    m.S().breg = t.b;
    m.S().creg = 0x77;
    m.core.Step();
    ASSERT_EQ(m.bus.calls.size(), 1u);
    EXPECT_EQ(m.bus.calls[0], t.call);
    EXPECT_EQ(m.S().areg, t.aAfter);
}

constexpr Access D = Access::Device;
constexpr Access N = Access::Data;

INSTANTIATE_TEST_SUITE_P(
    Core, BusAccess,
    ::testing::Values(
        Access1{"devlb", {0x2F, 0xF0}, kDevice + 1, 0, {false, kDevice + 1, 1, 0xD4, D}, 0xD4},
        Access1{"devls", {0x2F, 0xF2}, kDevice + 2, 0, {false, kDevice + 2, 2, 0xC3D4, D}, 0xC3D4},
        Access1{
            "devlw", {0x2F, 0xF4}, kDevice, 0, {false, kDevice, 4, kDeviceValue, D}, kDeviceValue},
        Access1{"devsb", {0x2F, 0xF1}, kDevice + 3, 0x1FF, {true, kDevice + 3, 1, 0xFF, D}, 0x77},
        Access1{
            "devss", {0x2F, 0xF3}, kDevice + 2, 0x12345, {true, kDevice + 2, 2, 0x2345, D}, 0x77},
        Access1{
            "devsw", {0x2F, 0xF5}, kDevice, 0xCAFEF00D, {true, kDevice, 4, 0xCAFEF00D, D}, 0x77},
        Access1{
            "devlw_on_ram", {0x2F, 0xF4}, kData, 0, {false, kData, 4, 0x44332211, D}, 0x44332211},
        Access1{"devsb_on_ram", {0x2F, 0xF1}, kData + 1, 0x99, {true, kData + 1, 1, 0x99, D}, 0x77},
        Access1{"ldnl_unaligned",
                {0x30},
                kDevice + 3,
                0,
                {false, kDevice, 4, kDeviceValue, N},
                kDeviceValue},
        Access1{"ls", {0x2C, 0xFA}, kDevice + 3, 0, {false, kDevice + 2, 2, 0xC3D4, N}, 0xC3D4},
        Access1{"lb", {0xF1}, kDevice + 3, 0, {false, kDevice + 3, 1, 0xD4, N}, 0xD4},
        Access1{"sb", {0x23, 0xFB}, kDevice + 1, 0x1AB, {true, kDevice + 1, 1, 0xAB, N}, 0x77},
        Access1{"ss", {0x2C, 0xF8}, kDevice + 2, 0x12345, {true, kDevice + 2, 2, 0x2345, N}, 0x77},
        Access1{"stnl_to_rom", {0xE0}, kRom + 8, 0x1234, {true, kRom + 8, 4, 0x1234, N}, 0x77}),
    [](const ::testing::TestParamInfo<Access1>& info) { return std::string(info.param.name); });

TEST(CoreBus, DeviceStoreToRamLandsThroughTheBusAndReadOnlyMemoryStaysUnchanged) {
    Machine m;
    m.Code({0x2F, 0xF5, 0xE0}); // devsw; stnl 0
    m.S().areg = kData;
    m.S().breg = 0x5566;
    m.core.Step();
    EXPECT_EQ(m.bus.Word(kData), 0x5566u);
    m.S().areg = kRom;
    m.S().breg = 1;
    m.core.Step();
    EXPECT_EQ(m.bus.Word(kRom), 0x5A5A5A5Au);
}

TEST(CoreBus, WithoutWindowsFetchesAreSingleBytesOfKindFetch) {
    Machine m;
    m.bus.direct = false;
    m.bus.logFetches = true;
    m.Code({0x23, 0x45}); // ldc 0x35
    m.core.Step();
    EXPECT_EQ(m.bus.calls, (std::vector<Call>{{false, kCode, 1, 0x23, Access::Fetch},
                                              {false, kCode + 1, 1, 0x45, Access::Fetch}}));
}

TEST(CoreBus, LongMoveIsSpreadOverStepsAndCopiesEveryByte) {
    for (bool direct : {true, false}) {
        Machine m;
        m.bus.direct = direct;
        for (uint32_t i = 0; i < 10000; ++i)
            m.bus.SetBytes(kData + i, {static_cast<uint8_t>(i * 7)});
        m.Code({0x24, 0xFA}); // move
        m.S().areg = 10000;
        m.S().breg = kData + 0x3000;
        m.S().creg = kData;
        m.core.Step();
        EXPECT_EQ(m.S().iptr, kCode); // still on the move
        EXPECT_EQ(m.S().areg, 10000u - 4096);
        EXPECT_EQ(m.S().breg, kData + 0x3000 + 4096);
        m.core.Run(Budget{2, UINT64_MAX});
        EXPECT_EQ(m.S().iptr, kCode + 2);
        EXPECT_EQ(m.S().areg, kPoison);
        bool same = true;
        for (uint32_t i = 0; i < 10000; i += 4)
            same = same && m.bus.Word(kData + 0x3000 + i) == m.bus.Word(kData + i);
        EXPECT_TRUE(same);
        EXPECT_EQ(m.bus.Word(kData + 0x3000 + 10000), 0u);
    }
}

// --- observer and trace -----------------------------------------------------------------------

struct Recorder : CoreObserver, CoreTrace {
    bool BeforeInstruction(uint32_t iptr) override {
        starts.push_back(iptr);
        return iptr != stopAt;
    }
    void DataAccess(uint32_t address, uint32_t size, bool write) override {
        data.push_back({write, address, size, 0, Access::Data});
        if (stopOnData && core) core->RequestStop();
    }
    void Jump(uint32_t from, uint32_t to) override { jumps.push_back({from, to}); }
    void Executed(const TraceRecord& r) override { trace.push_back(r); }

    std::vector<uint32_t> starts;
    std::vector<Call> data;
    std::vector<std::pair<uint32_t, uint32_t>> jumps;
    std::vector<TraceRecord> trace;
    uint32_t stopAt = 0;
    bool stopOnData = false;
    Core* core = nullptr;
};

// ldl 1; stl 2; ldc 0; cj +1 (taken); [skipped]; ldc 1; cj 5 (not taken); j 2; [2 skipped]; nop
void ObservedProgram(Machine& m) {
    m.Code({0x71, 0xD2, 0x40, 0xA1, 0x00, 0x41, 0xA5, 0x02, 0x00, 0x00, 0x63, 0xF0});
    m.bus.SetWord(kWs + 4, 0x77);
}

TEST(CoreObserver, SeesInstructionStartsDataAccessesAndTakenJumps) {
    Machine m;
    ObservedProgram(m);
    Recorder rec;
    m.core.SetObserver(&rec, kObserveInstructions | kObserveData | kObserveJumps);
    m.core.SetTrace(&rec);
    const RunResult r = m.core.Run(Budget{8, UINT64_MAX});
    EXPECT_EQ(r.instructions, 8u);
    EXPECT_EQ(rec.starts, (std::vector<uint32_t>{kCode, kCode + 1, kCode + 2, kCode + 3, kCode + 5,
                                                 kCode + 6, kCode + 7, kCode + 10}));
    EXPECT_EQ(rec.data, (std::vector<Call>{{false, kWs + 4, 4, 0, Access::Data},
                                           {true, kWs + 8, 4, 0, Access::Data}}));
    EXPECT_EQ(rec.jumps, (std::vector<std::pair<uint32_t, uint32_t>>{{kCode + 3, kCode + 5},
                                                                     {kCode + 7, kCode + 10}}));
    ASSERT_EQ(rec.trace.size(), 8u);
    const TraceRecord& first = rec.trace[0];
    EXPECT_EQ(first.iptr, kCode);
    EXPECT_EQ(first.op, Op::ldl);
    EXPECT_EQ(first.operand, 1);
    EXPECT_EQ(first.areg, 0x77u);
    EXPECT_EQ(first.wptr, kWs);
    EXPECT_EQ(rec.trace[3].op, Op::cj);
    EXPECT_EQ(rec.trace[3].areg, 0u); // registers after: cj taken keeps A
    EXPECT_EQ(rec.trace[7].op, Op::nop);
    EXPECT_EQ(rec.trace[7].operand, -64);
    EXPECT_EQ(rec.trace[7].iptr, kCode + 10);
    EXPECT_EQ(m.bus.Word(kWs + 8), 0x77u);
}

TEST(CoreObserver, OnlyTheSelectedKindsAreCalled) {
    Machine m;
    ObservedProgram(m);
    Recorder rec;
    m.core.SetObserver(&rec, kObserveJumps);
    m.core.Run(Budget{8, UINT64_MAX});
    EXPECT_TRUE(rec.starts.empty());
    EXPECT_TRUE(rec.data.empty());
    EXPECT_TRUE(rec.trace.empty());
    EXPECT_EQ(rec.jumps.size(), 2u);
    m.core.SetObserver(nullptr, kObserveJumps);
    rec.jumps.clear();
    m.core.Reset(BootState{kCode, kWs, 1});
    m.core.Run(Budget{8, UINT64_MAX});
    EXPECT_TRUE(rec.jumps.empty());
}

TEST(CoreObserver, StopsInFrontOfAnInstructionOrAfterTheOneThatAskedForIt) {
    Machine m;
    ObservedProgram(m);
    Recorder rec;
    rec.stopAt = kCode + 5;
    m.core.SetObserver(&rec, kObserveInstructions);
    RunResult r = m.core.Run(Budget{});
    EXPECT_EQ(r.reason, StopReason::Stopped);
    EXPECT_EQ(r.instructions, 4u);
    EXPECT_EQ(m.S().iptr, kCode + 5);

    Machine n;
    ObservedProgram(n);
    Recorder onData;
    onData.stopOnData = true;
    onData.core = &n.core;
    n.core.SetObserver(&onData, kObserveData);
    r = n.core.Run(Budget{});
    EXPECT_EQ(r.reason, StopReason::Stopped);
    EXPECT_EQ(r.instructions, 1u);
    EXPECT_EQ(n.S().iptr, kCode + 1);
}

TEST(CoreControl, StallHoldsExecutionAndResetReturnsToTheBootState) {
    Machine m;
    ObservedProgram(m);
    m.core.SetStalled(true);
    RunResult r = m.core.Run(Budget{});
    EXPECT_EQ(r.reason, StopReason::Stalled);
    EXPECT_EQ(r.instructions, 0u);
    m.core.SetStalled(false);
    m.core.Run(Budget{3, UINT64_MAX});
    m.S().errorFlag = true;
    m.S().enables[1] = 0x00FF0001;
    const uint64_t cycles = m.S().cycles;
    m.core.Reset(BootState{kCode + 2, kWs + 0x40, 0});
    EXPECT_EQ(m.S().iptr, kCode + 2);
    EXPECT_EQ(m.S().wptr, kWs + 0x40);
    EXPECT_EQ(m.S().priority, 0u);
    EXPECT_FALSE(m.S().errorFlag);
    EXPECT_EQ(m.S().enables[1], 0x00FF0000u);
    EXPECT_EQ(m.S().cycles, cycles); // time does not go back
    EXPECT_EQ(m.core.ClockReg(0), 0u);
}

} // namespace
} // namespace tapster::st20::test
