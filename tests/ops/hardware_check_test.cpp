// The CPU-speed measurement, the delay slider and the "Check" button.
#include "board_session.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/lpt.h"
#include "port/platform.h"
#include "process_state.h"
#include "test_form.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace tapster {
namespace {

TEST(NominalCpuSpeed, MapsMeasuredSpeedsToNominalOnes) {
    const std::pair<int32_t, uint32_t> cases[] = {
        {2394, 2400}, {2340, 2333}, {1995, 2000}, {866, 866}, {745, 750}, {133, 133}, {93, 90},
        {40, 60},     {55, 60},     {99, 100},    {186, 200}, {100, 100}, {110, 100}, {111, 120},
        {125, 120},   {126, 133},   {141, 150},   {156, 166}, {171, 180}, {185, 180}, {96, 100},
        {95, 90},     {84, 90},     {83, 75},     {71, 75},   {70, 66},   {64, 66},   {63, 60},
        {0, 60},      {-5, 0}}; // a negative measurement is a failure
    for (const auto& [measured, nominal] : cases)
        EXPECT_EQ(NominalCpuSpeed(measured), nominal) << measured;
}

class CalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ResetProcessState();
        // 10 MHz performance counter advancing 1000 us between the two readings.
        form.clock.frequency = 10000000;
        form.clock.counterStep = 10000;
    }
    void TearDown() override { test::ResetProcessState(); }

    // Cycles the time-stamp counter advances between its two readings for `mhz`.
    void Measure(uint32_t mhz) { form.clock.timeStampStep = mhz * 1000; }

    test::TestForm form;
};

TEST_F(CalibrationTest, MeasurementTruncatesAndMapsToNominal) {
    Measure(2394);
    EXPECT_EQ(MeasureCpuSpeed(), 2400u);
    form.clock.timeStampStep = 2394999; // 2394.999 MHz truncates to 2394
    EXPECT_EQ(MeasureCpuSpeed(), 2400u);
    form.clock.timeStampStep = 185999; // 185.999 truncates to 185: 180, not 200
    EXPECT_EQ(MeasureCpuSpeed(), 180u);
}

TEST_F(CalibrationTest, TimeStampWrapBetweenReadingsStillMeasures) {
    form.clock.timeStamp = 0xFFFFF000u;
    Measure(866);
    EXPECT_EQ(MeasureCpuSpeed(), 866u);
}

// Counters that are not there, and readings that would divide by zero or give a negative
// speed, fail the measurement.
TEST_F(CalibrationTest, UnavailableCountersAndDegenerateReadingsFailTheMeasurement) {
    using C = test::VirtualClock;
    const struct {
        const char* name;
        void (*spoil)(C&);
    } cases[] = {
        {"no performance frequency", [](C& c) { c.frequencyOk = false; }},
        {"no performance counter", [](C& c) { c.counterOk = false; }},
        {"no time elapsed", [](C& c) { c.counterStep = 0; }},
        {"0.5 us truncates to 0", [](C& c) { c.counterStep = 5; }},
        {"counter ran backwards", [](C& c) { c.counterStep = -10000; }},
        {"frequency 0", [](C& c) { c.frequency = 0; }},
        {"time-stamp counter stood still", [](C& c) { c.timeStampStep = 0; }},
        {"a negative cycle count", [](C& c) { c.timeStampStep = 0x90000000u; }},
    };
    for (const auto& c : cases) {
        form.clock = C{};
        SetUp();
        Measure(2394);
        c.spoil(form.clock);
        EXPECT_EQ(MeasureCpuSpeed(), 0u) << c.name;
    }
}

TEST_F(CalibrationTest, FormCreateSizesTheSliderFromTheMeasurement) {
    Measure(2394);
    form.SetVisible("ProgressBar1", true);
    FormCreate();
    EXPECT_EQ(CpuSpeedMHz, 2400u);
    EXPECT_EQ(form.Text("lblSpeed"), "2400");
    EXPECT_EQ(form.Minimum("trkDelay"), 0);
    EXPECT_EQ(form.Maximum("trkDelay"), 2378);
    EXPECT_EQ(form.TickInterval("trkDelay"), 118);
    EXPECT_EQ(TapClockMHz, 109u);
    EXPECT_EQ(form.Text("lblJtagClk"), "109");
    EXPECT_EQ(form.Text("lblDelay"), "0");
    EXPECT_FALSE(form.Visible("ProgressBar1"));
    EXPECT_EQ(StartDirectory, std::filesystem::current_path().string());
}

TEST_F(CalibrationTest, FormCreateAfterAFailedMeasurementKeepsTheInitialRange) {
    form.clock.frequencyOk = false;
    FormCreate();
    EXPECT_EQ(CpuSpeedMHz, 0u);
    EXPECT_EQ(form.Text("lblSpeed"), "0");
    EXPECT_EQ(form.Text("lblJtagClk"), "0");
    EXPECT_EQ(form.Minimum("trkDelay"), 0);
    EXPECT_EQ(form.Maximum("trkDelay"), 1000);
    EXPECT_EQ(form.TickInterval("trkDelay"), 50);
}

TEST_F(CalibrationTest, SliderChangeSetsTheDelayAndTheClockLabel) {
    CpuSpeedMHz = 2400;
    form.SetRange("trkDelay", 0, 2378);
    const std::pair<int, std::string> cases[] = {{0, "109"}, {218, "10"}, {2378, "1"}, {100, "19"}};
    for (const auto& [position, clock] : cases) {
        form.SetPosition("trkDelay", position);
        trkDelayChange();
        EXPECT_EQ(JtagDelay, position);
        EXPECT_EQ(form.Text("lblJtagClk"), clock);
        EXPECT_EQ(form.Text("lblDelay"), std::to_string(position));
    }
}

using Lines = std::vector<std::string>;

const Lines kInitLines = {"Initializing JTAG ...", "Reseting TAP ... Done.",
                          "Setting TAP on Run-Test/Idle state ...", "Done"};
const Lines kBanner = {"-------------------", "Checking JTAG hardware ...", "-------------------"};

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// One loop-back test as the log shows it: a passed test resets the TAP twice, a failed one once.
Lines TestLines(int tapClock, bool longTest, bool passed) {
    Lines lines = {"TAP clock " + std::to_string(tapClock) + " MHz", "Reseting TAP ... Done."};
    if (passed) lines.push_back("Reseting TAP ... Done.");
    lines.push_back(std::string(longTest ? "Long test result - " : "Short test result - ") +
                    (passed ? "-1" : "0"));
    return lines;
}

bool NinetyFiveFamily(uint32_t& id) {
    id = 1;
    return true;
}

// The "Check" button on a 2400 MHz PC (slider 0 to 2378, ticks of 118) and the simulated board.
class HardwareCheckTest : public test::BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        SetSpeed(2400);
        // The window tells the board the delay whenever it moves; the loop-back test's wait
        // processes events before it clocks, so the board always knows the delay in force.
        form.onEvent = [this](int) {
            if (board) board->NoteHostDelay(JtagDelay);
        };
    }
    void TearDown() override {
        platform::SetPlatformIdQuery(nullptr);
        BoardTest::TearDown();
    }

    void SetSpeed(uint32_t mhz) {
        CpuSpeedMHz = mhz;
        form.SetRange("trkDelay", 0, static_cast<int>(mhz) - 22);
        form.SetTickInterval("trkDelay", (static_cast<int>(mhz) - 22) / 20);
        form.SetPosition("trkDelay", 0);
    }

    Lines Identification() const {
        return Join({kInitLines, {"Reseting TAP ... Done.", "CPU type: STi5510"}});
    }
};

TEST_F(HardwareCheckTest, GoodCablePassesAtTheUsersDelayAndReleasesThePort) {
    StartBoard();
    cmdDelayClick();
    EXPECT_EQ(form.LogLines(), Join({kInitLines, kBanner, TestLines(109, false, true),
                                     TestLines(109, true, true), Identification()}));
    EXPECT_EQ(form.Position("trkDelay"), 0);
    EXPECT_EQ(form.Text("lblJtagClk"), "109");
    EXPECT_TRUE(form.errorBoxes.empty());
    // The only release in the program: the driver is gone until the next claim.
    EXPECT_FALSE(win::standin::ServiceInstalled());
}

TEST_F(HardwareCheckTest, CableThatNeedsALongerDelayIsFoundByClimbing) {
    board::BoardConfig config;
    config.faults.minWorkingDelay = 300;
    StartBoard(config);
    cmdDelayClick();
    EXPECT_EQ(form.LogLines(),
              Join({kInitLines, kBanner, TestLines(109, false, false), TestLines(17, false, false),
                    TestLines(9, false, false), TestLines(6, false, true), TestLines(6, true, true),
                    Identification()}));
    // The delay that passed stays for every later command.
    EXPECT_EQ(form.Position("trkDelay"), 354);
    EXPECT_EQ(JtagDelay, 354);
    EXPECT_EQ(form.Text("lblDelay"), "354");
    EXPECT_EQ(form.Text("lblJtagClk"), "6");
}

TEST_F(HardwareCheckTest, CableThatNeverPassesEndsAtTheTopOfTheRange) {
    board::BoardConfig config;
    config.faults.tdoStuckLow = true;
    StartBoard(config);
    cmdDelayClick();
    Lines expected = Join({kInitLines, kBanner});
    for (int position = 0; position <= 2360; position += 118)
        expected =
            Join({expected, TestLines(static_cast<int>(2400 / (position + 22)), false, false)});
    expected.push_back("Check Your hardware !!! ");
    EXPECT_EQ(form.LogLines(), expected);
    EXPECT_EQ(form.Position("trkDelay"), 2360);
    // No identification, and the port stays claimed.
    EXPECT_TRUE(win::standin::ServiceRunning());
}

TEST_F(HardwareCheckTest, LongTestFailingAfterAShortPassGoesOnWithLongTests) {
    board::BoardConfig config;
    config.faults.flipEveryBits =
        50000; // a flaky bit now and then: ten bits pass, a million do not
    StartBoard(config);
    cmdDelayClick();
    const Lines& log = form.LogLines();
    const Lines start = Join({kInitLines, kBanner, TestLines(109, false, true),
                              TestLines(109, true, false), TestLines(17, true, false)});
    ASSERT_GE(log.size(), start.size());
    EXPECT_EQ(Lines(log.begin(), log.begin() + static_cast<long>(start.size())), start);
    EXPECT_EQ(log.back(), "Check Your hardware !!! ");
    EXPECT_FALSE(form.Logged("Short test result - 0"));
}

TEST_F(HardwareCheckTest, ShortPassAtTheMaximumSkipsTheLongTest) {
    StartBoard();
    SetSpeed(60); // slider 0 to 38
    form.SetPosition("trkDelay", 38);
    cmdDelayClick();
    EXPECT_EQ(form.LogLines(),
              Join({kInitLines, kBanner, TestLines(1, false, true), Identification()}));
}

TEST_F(HardwareCheckTest, FailedClaimMovesNothing) {
    StartBoard();
    win::standin::FailCall("OpenSCManagerA", 5);
    form.SetPosition("trkDelay", 100);
    cmdDelayClick();
    EXPECT_EQ(form.errorBoxes, (Lines{"The parallel port could not be opened"}));
    EXPECT_EQ(form.Position("trkDelay"), 100);
    EXPECT_EQ(JtagDelay, 0);
    EXPECT_TRUE(form.LogLines().empty()); // the box alone reports it
    EXPECT_EQ(board->TckCount(), 0u);
}

TEST_F(HardwareCheckTest, NoDriverOnThe95FamilyNeitherAtTheStartNorAtTheEnd) {
    StartBoard();
    platform::SetPlatformIdQuery(NinetyFiveFamily);
    PermitAllPorts(true);
    win::standin::ClearCalls();
    cmdDelayClick();
    EXPECT_TRUE(form.Logged("CPU type: STi5510"));
    EXPECT_TRUE(win::standin::Calls().empty());
}

TEST_F(HardwareCheckTest, RunsWithoutBusyModeOrProgressDisplay) {
    StartBoard();
    form.SetVisible("ProgressBar1", false); // as start-up leaves it
    int busyEvents = 0;
    int progressEvents = 0;
    form.onEvent = [&](int) {
        board->NoteHostDelay(JtagDelay);
        busyEvents += (form.Visible("cmdCancel") || !form.Enabled("Panel1")) ? 1 : 0;
        progressEvents += form.Visible("ProgressBar1") ? 1 : 0;
    };
    cmdDelayClick();
    ASSERT_TRUE(form.Logged("CPU type: STi5510"));
    EXPECT_GT(form.events, 0);
    EXPECT_EQ(busyEvents, 0);
    EXPECT_EQ(progressEvents, 0);
}

TEST_F(HardwareCheckTest, SliderRangeBelowTwentyStillClimbsToItsEnd) {
    // Maximum 8: a twentieth of it truncates to 0, yet every failed test must move the delay.
    board::BoardConfig config;
    config.faults.tdoStuckLow = true;
    StartBoard(config);
    SetSpeed(30);
    form.onEvent = [this](int events) {
        if (events == 100000) { // a climb that stands still: end it by shrinking the range
            ADD_FAILURE() << "the climb does not end";
            form.SetRange("trkDelay", 0, 0);
        }
    };
    cmdDelayClick();
    const Lines& log = form.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Short test result - 0"), 8); // positions 0 to 7
    EXPECT_EQ(log.back(), "Check Your hardware !!! ");
    EXPECT_EQ(form.Position("trkDelay"), 7);
}

} // namespace
} // namespace tapster
