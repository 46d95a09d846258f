#include "jtag/jtag_init.h"

#include "fake_target.h"
#include "jtag_fixture.h"

#include <string>
#include <vector>

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;

class JtagInitTest : public JtagTest {
  protected:
    void SetUp() override {
        JtagTest::SetUp();
        Use(target);
    }
    // Back to a fresh target and engine, for the next row of a table; returns the log's length.
    size_t Fresh() {
        JtagTest::SetUp();
        target = FakeTarget{};
        Use(target);
        return form.LogLines().size();
    }
    FakeTarget target;
};

const Lines kInitLines = {"Initializing JTAG ...", "Reseting TAP ... Done.",
                          "Setting TAP on Run-Test/Idle state ...", "Done"};

Lines IdentifyLines(const std::string& last) {
    Lines l = kInitLines;
    l.push_back("Reseting TAP ... Done.");
    l.push_back(last);
    return l;
}

TEST_F(JtagInitTest, InitHoldsControlLineLowThenHighBeforeTheReset) {
    form.clock.ticks = 2000;
    InitJtag();
    EXPECT_EQ(form.LogLines(), kInitLines);
    EXPECT_EQ(form.clock.ticks, 2000u + 3 * 101);
    EXPECT_TRUE(ControlLineHigh);
    EXPECT_FALSE(TapReady);
    // The line goes low at once, high 101 ms later, and stays high through the reset.
    ASSERT_EQ(target.lineChanges.size(), 2u);
    EXPECT_FALSE(target.lineChanges[0].high);
    EXPECT_EQ(target.lineChanges[0].tick, 2000u);
    EXPECT_TRUE(target.lineChanges[1].high);
    EXPECT_EQ(target.lineChanges[1].tick, 2101u);
    for (const auto& e : target.edges)
        if (e.tms) {
            EXPECT_TRUE(e.control);
        }
}

// The identification logs what it read and releases the cable whatever the answer.
TEST_F(JtagInitTest, IdentifiesTheCpuAndReleasesTheCable) {
    const struct {
        uint32_t idcode; // 0: TDO stuck high
        const char* line;
    } cases[] = {{kIdSti5510, "CPU type: STi5510"},
                 {kIdSti5512, "CPU type: STi5512"},
                 {0x0ABC0041, "CPU IDCODE: 0ABC0041"}, // an unknown code, with eight digits
                 {0, "Check JTAG hardware !!!"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const size_t mark = Fresh();
        target.idcode = c.idcode;
        if (c.idcode == 0) target.tdoMode = FakeTarget::TdoMode::StuckHigh;
        IdentifyCpu();
        EXPECT_EQ(form.LogFrom(mark), IdentifyLines(c.line));
        EXPECT_FALSE(ControlLineHigh);
        EXPECT_FALSE(target.lineChanges.back().high);
        EXPECT_FALSE(TapReady);
    }
}

TEST_F(JtagInitTest, ReadIdCodeTakesBitsLsbFirst) {
    target.idcode = 0x80000001;
    EXPECT_EQ(ReadIdCode(), 0x80000001u);
    target.idcode = 0x12345678;
    EXPECT_EQ(ReadIdCode(), 0x12345678u);
    EXPECT_FALSE(TapReady);
}

TEST_F(JtagInitTest, LoopbackPassesThroughBypassAndResetsTwice) {
    EXPECT_TRUE(LoopbackTest(10000));
    EXPECT_EQ(ResetLines(), 2);
    EXPECT_TRUE(ControlLineHigh);
    // TDI alternates 0, 1, 0, ... on the compared clocks, after the 1 that loads the register.
    const size_t compared = target.edges.size() - 6 - 10000;
    EXPECT_TRUE(target.edges[compared - 1].tdi);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(target.edges[compared + i].tdi, i % 2 == 1);
}

TEST_F(JtagInitTest, LoopbackCountZeroComparesNothing) {
    target.tdoMode = FakeTarget::TdoMode::StuckLow; // would fail any comparison
    EXPECT_TRUE(LoopbackTest(0));
    EXPECT_EQ(ResetLines(), 2);
}

TEST_F(JtagInitTest, LoopbackDrivesControlLineHighWithTheNextChangedLevels) {
    SetControlLine(false);
    target.lineChanges.clear();
    LoopbackTest(0);
    ASSERT_FALSE(target.lineChanges.empty());
    EXPECT_TRUE(target.lineChanges.front().high);
}

TEST_F(JtagInitTest, LoopbackTakesTdoTogglingInPhaseForABypassRegister) {
    // One clock earlier the same toggling TDO is the inverse of every TDI sent: a limit of the
    // alternating pattern, not of the engine.
    target.tdoMode = FakeTarget::TdoMode::Toggling;
    TmsClock(true);
    EXPECT_TRUE(LoopbackTest(1000));
}

// A bad TDO fails at the comparison it first spoils, after one reset. The fake's toggling TDO
// follows its own clock count; from a fresh target it equals the TDI of the compared clocks, so
// the first comparison fails. (A TDO toggling in the opposite phase looks exactly like a working
// bypass register to this test.)
TEST_F(JtagInitTest, LoopbackFailsOnABadTdo) {
    using Mode = FakeTarget::TdoMode;
    const struct {
        Mode mode;
        size_t edges; // reset 6, IR 10, to Shift-DR 3, the loading clock, the compared clocks
    } cases[] = {{Mode::StuckLow, 21}, {Mode::StuckHigh, 22}, {Mode::Toggling, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Fresh();
        const int resets = ResetLines();
        target.tdoMode = c.mode;
        EXPECT_FALSE(LoopbackTest(1000));
        EXPECT_EQ(ResetLines() - resets, 1);
        if (c.edges != 0) {
            EXPECT_EQ(target.edges.size(), c.edges);
        }
    }
}

} // namespace
} // namespace tapster::test
