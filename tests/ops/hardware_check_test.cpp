// The CPU-speed measurement, the delay slider and the "Check" button.
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "test_form.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tapster {
namespace {

TEST(NominalCpuSpeed, MapsMeasuredSpeedsToNominalOnes) {
    const std::pair<int32_t, uint32_t> cases[] = {
        {2394, 2400}, {2340, 2333}, {1995, 2000}, {866, 866}, {745, 750}, {133, 133},
        {93, 90},     {40, 60},     {55, 60},     {99, 100},  {186, 200}, {100, 100},
        {110, 100},   {111, 120},   {125, 120},   {126, 133}, {141, 150}, {156, 166},
        {171, 180},   {185, 180},   {96, 100},    {95, 90},   {84, 90},   {83, 75},
        {71, 75},     {70, 66},     {64, 66},     {63, 60},   {0, 60}};
    for (const auto& [measured, nominal] : cases)
        EXPECT_EQ(NominalCpuSpeed(measured), nominal) << measured;
}

TEST(NominalCpuSpeed, NegativeMeasurementIsAFailure) {
    EXPECT_EQ(NominalCpuSpeed(-5), 0u);
}

class CalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetCommandState();
        // 10 MHz performance counter advancing 1000 us between the two readings.
        form.clock.frequency = 10000000;
        form.clock.counterStep = 10000;
    }
    void TearDown() override { ResetCommandState(); }

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

TEST_F(CalibrationTest, UnavailableCountersFailTheMeasurement) {
    Measure(2394);
    form.clock.frequencyOk = false;
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
    form.clock.frequencyOk = true;
    form.clock.counterOk = false;
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
}

TEST_F(CalibrationTest, DegenerateReadingsFailInsteadOfDividing) {
    Measure(2394);
    form.clock.counterStep = 0; // no time elapsed
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
    form.clock.counterStep = 5; // 0.5 us truncates to 0
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
    form.clock.counterStep = -10000; // counter ran backwards
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
    form.clock.counterStep = 10000;
    form.clock.frequency = 0;
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
    form.clock.frequency = 10000000;
    form.clock.timeStampStep = 0; // time-stamp counter stood still
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
    form.clock.timeStampStep = 0x90000000u; // reads as a negative cycle count
    EXPECT_EQ(MeasureCpuSpeed(), 0u);
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

} // namespace
} // namespace tapster
