#include "jtag/tap_engine.h"

#include "jtag_fixture.h"
#include "scripted_port.h"

#include <string>
#include <vector>

namespace tapster::test {
namespace {

using Access = ScriptedPort::Access;

class TapEngineTest : public JtagTest {
  protected:
    void SetUp() override {
        JtagTest::SetUp();
        Use(port);
    }
    std::vector<uint8_t> DataWrites(size_t from = 0) const {
        std::vector<uint8_t> v;
        for (size_t i = from; i < port.accesses.size(); ++i) {
            if (!port.accesses[i].read) {
                EXPECT_EQ(port.accesses[i].port, kDataPort);
                v.push_back(port.accesses[i].value);
            }
        }
        return v;
    }
    ScriptedPort port;
};

TEST_F(TapEngineTest, ClockWritesLevelsOnlyWhenTheyChange) {
    TapClock(true, true, false);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x05, 0x07, 0x05}));
    EXPECT_EQ(LastDataByte, 0x05);

    port.Clear();
    TapClock(true, true, false); // same levels: TCK high and low only
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x07, 0x05}));

    port.Clear();
    TapClock(false, true, false);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x04, 0x06, 0x04}));
    EXPECT_EQ(port.reads, 0u);
}

TEST_F(TapEngineTest, SampleReadsStatusBeforeAnyWriteAndLooksOnlyAtBit4) {
    port.otherStatusBits = 0xEF; // every other status bit set
    port.tdo = [](uint64_t n) { return n == 1; };
    EXPECT_FALSE(TapClock(false, false, true));
    ASSERT_FALSE(port.accesses.empty());
    EXPECT_TRUE(port.accesses[0].read);
    EXPECT_EQ(port.accesses[0].port, kStatusPort);

    port.Clear();
    EXPECT_TRUE(TapClock(false, false, true));
    EXPECT_TRUE(port.accesses[0].read);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x02, 0x00}));

    port.otherStatusBits = 0x00;
    EXPECT_FALSE(TapClock(false, false, true));
}

TEST_F(TapEngineTest, ControlLineIsDrivenOnEveryClockAndAtOnceWhenSet) {
    SetControlLine(true);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x08, 0x0A, 0x08}));
    port.Clear();
    TapClock(true, false, false);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x09, 0x0B, 0x09}));
}

TEST_F(TapEngineTest, FirstClockAfterSetControlLineWritesLevelsEvenWhenUnchanged) {
    // LastDataByte is 0 and the levels stay 0, yet the level byte is written again.
    SetControlLine(false);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x00, 0x02, 0x00}));
    EXPECT_EQ(LastDataByte, 0x00);
    port.Clear();
    TapClock(false, false, false);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x02, 0x00}));
}

TEST_F(TapEngineTest, SetControlLineClearsTapReady) {
    TapReady = true;
    SetControlLine(true);
    EXPECT_FALSE(TapReady);
}

TEST_F(TapEngineTest, NegativeDelayStillClocks) {
    JtagDelay = -5;
    TapClock(false, true, false);
    EXPECT_EQ(DataWrites(), (std::vector<uint8_t>{0x04, 0x06, 0x04}));
}

TEST_F(TapEngineTest, ResetClocksFiveHighOneLowAndLogs) {
    TapReady = true;
    TapReset();
    EXPECT_EQ(port.TmsFrom(0), (std::vector<int>{1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(port.TdiFrom(0), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(port.reads, 0u);
    EXPECT_FALSE(TapReady);
    EXPECT_EQ(form.LogLines(), (std::vector<std::string>{"Reseting TAP ... Done."}));
}

TEST_F(TapEngineTest, ShiftIrPutsInstructionLsbFirstWithTmsOnLastBit) {
    ShiftIR(5, 0x10);
    ASSERT_EQ(port.edges.size(), 10u);
    EXPECT_EQ(port.TmsFrom(0), (std::vector<int>{1, 1, 0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(port.TdiFrom(0), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
    for (size_t i = 0; i < port.edges.size(); ++i)
        EXPECT_EQ(port.edges[i].sampled, i >= 4 && i < 9) << "edge " << i;
}

TEST_F(TapEngineTest, EnterLinkScanRunsOnceUntilTheNextReset) {
    EnterLinkScan();
    EXPECT_TRUE(TapReady);
    // reset (6), IR shift (10), Select-DR, Capture-DR, Shift-DR (3)
    EXPECT_EQ(port.TmsFrom(0),
              (std::vector<int>{1, 1, 1, 1, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(ResetLines(), 1);

    port.Clear();
    EnterLinkScan();
    EXPECT_TRUE(port.edges.empty());

    TapReset();
    EXPECT_FALSE(TapReady);
    port.Clear();
    EnterLinkScan();
    EXPECT_EQ(port.edges.size(), 19u);
    EXPECT_EQ(ResetLines(), 3); // the explicit reset and the one EnterLinkScan ran again
    EXPECT_TRUE(TapReady);
}

TEST_F(TapEngineTest, DelayEndsOnFirstTickPastStartPlusMs) {
    form.clock.ticks = 5000;
    DelayMs(100);
    EXPECT_EQ(form.clock.ticks, 5101u);
    EXPECT_EQ(form.events, 101);

    form.msPerEvent = 7;
    form.clock.ticks = 5000;
    DelayMs(100);
    EXPECT_EQ(form.clock.ticks, 5105u); // first reading above 5100
}

TEST_F(TapEngineTest, DelaySurvivesTickCountWrap) {
    form.clock.ticks = 0xFFFFFFF0u;
    DelayMs(100);
    EXPECT_EQ(form.clock.ticks, 0x55u); // 101 ms later, across the wrap
    EXPECT_EQ(form.events, 101);

    form.events = 0;
    form.clock.ticks = 0xFFFFFF9Bu; // start + ms is exactly 0xFFFFFFFF
    DelayMs(100);
    EXPECT_EQ(form.events, 101);
}

TEST_F(TapEngineTest, DelayZeroStillWaitsForTheNextTick) {
    DelayMs(0);
    EXPECT_EQ(form.events, 1);
}

} // namespace
} // namespace tapster::test
