// Hardware check and clock calibration: the CPU-speed measurement behind the delay slider, the
// slider's meaning, and the "Check" button that searches upward for a delay the cable passes at.
#include "core/main_form.h"
#include "core/widget_table.h"
#include "jtag/jtag_init.h"
#include "jtag/tap_engine.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "ops/target_session.h"
#include "port/lpt.h"
#include "port/platform.h"

#include <climits>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>

namespace tapster {

HardwareCheckState hardwareCheckState;

namespace {

// The delay-independent part of a TAP clock period, in CPU cycles per busy-loop pass; also what
// the slider's maximum leaves over so that the maximum is a 1 MHz TAP clock.
constexpr int32_t kClockOverhead = 22;
constexpr uint32_t kShortTest = 10;
constexpr uint32_t kLongTest = 1000000;
constexpr uint32_t kMeasureLoops = 100000;

// Real-time priority for the measurement, back to normal on every way out.
class RaisedPriority {
  public:
    RaisedPriority() { platform::RaisePriority(); }
    ~RaisedPriority() { platform::RestorePriority(); }
    RaisedPriority(const RaisedPriority&) = delete;
    RaisedPriority& operator=(const RaisedPriority&) = delete;
};

// The measuring stick: 100000 passes of a decrement and a branch. The empty asm statement makes
// the counter opaque to the optimiser, so the loop is neither removed nor shortened.
void CountDown() {
#if defined(__GNUC__) || defined(__clang__)
    for (uint32_t n = kMeasureLoops; n != 0; --n)
        __asm__ volatile("" : "+r"(n));
#else
    volatile uint32_t n = kMeasureLoops;
    while (n != 0)
        n = n - 1;
#endif
}

uint32_t TapClockFor(int32_t delay) {
    const int64_t divisor = static_cast<int64_t>(delay) + kClockOverhead;
    if (divisor <= 0) return 0;
    return static_cast<uint32_t>(std::trunc(static_cast<double>(CpuSpeedMHz) / divisor));
}

} // namespace

uint32_t NominalCpuSpeed(int32_t measuredMHz) {
    if (measuredMHz < 0) return 0;
    const int32_t hundreds = static_cast<int32_t>(std::trunc(measuredMHz / 100.0));
    const int32_t rest = measuredMHz - 100 * hundreds;
    int32_t nominal;
    if (hundreds >= 1) {
        if (rest > 85)
            nominal = 100 * (hundreds + 1);
        else if (rest > 70)
            nominal = 100 * hundreds + 80;
        else if (rest > 55)
            nominal = 100 * hundreds + 66;
        else if (rest > 40)
            nominal = 100 * hundreds + 50;
        else if (rest > 25)
            nominal = 100 * hundreds + 33;
        else if (rest > 10)
            nominal = 100 * hundreds + 20;
        else
            nominal = 100 * hundreds;
    } else {
        if (rest > 95)
            nominal = 100;
        else if (rest > 83)
            nominal = 90;
        else if (rest > 70)
            nominal = 75;
        else if (rest > 63)
            nominal = 66;
        else
            nominal = 60;
    }
    return static_cast<uint32_t>(nominal);
}

uint32_t MeasureCpuSpeed() {
    int64_t frequency = 0;
    if (!platform::QueryPerformanceFrequency(frequency) || frequency <= 0) return 0;

    int64_t counterStart = 0;
    int64_t counterEnd = 0;
    uint32_t stampStart = 0;
    uint32_t stampEnd = 0;
    {
        RaisedPriority priority;
        if (!platform::QueryPerformanceCounter(counterStart)) return 0;
        stampStart = platform::ReadTimeStampLow();
        CountDown();
        if (!platform::QueryPerformanceCounter(counterEnd)) return 0;
        stampEnd = platform::ReadTimeStampLow();
    }

    // A counter that stood still or ran backwards, or a time-stamp counter that did, is a failed
    // measurement: no division by zero and no negative speed.
    const int64_t ticks = counterEnd - counterStart;
    if (ticks <= 0 || ticks > INT64_MAX / 1000000) return 0;
    const int64_t elapsedUs = static_cast<int64_t>(
        std::trunc(static_cast<double>(ticks * 1000000) / static_cast<double>(frequency)));
    const auto cycles = static_cast<int32_t>(stampEnd - stampStart);
    if (elapsedUs <= 0 || cycles <= 0) return 0;
    const auto mhz = static_cast<int32_t>(
        std::trunc(static_cast<double>(cycles) / static_cast<double>(elapsedUs)));
    return NominalCpuSpeed(mhz);
}

void FormCreate() {
    std::error_code error;
    StartDirectory = std::filesystem::current_path(error).string();
    frmMain->SetVisible(w::ProgressBar1, false);

    CpuSpeedMHz = MeasureCpuSpeed();
    // After a failed measurement the maximum would fall below the minimum: keep the initial one.
    const int64_t maximum = static_cast<int64_t>(CpuSpeedMHz) - kClockOverhead;
    if (maximum >= frmMain->Minimum(w::trkDelay))
        frmMain->SetRange(w::trkDelay, frmMain->Minimum(w::trkDelay),
                          maximum > INT_MAX ? INT_MAX : static_cast<int>(maximum));
    frmMain->SetTickInterval(w::trkDelay, frmMain->Maximum(w::trkDelay) / 20);
    frmMain->SetText(w::lblSpeed, std::to_string(CpuSpeedMHz));

    TapClockMHz = TapClockFor(JtagDelay);
    frmMain->SetText(w::lblJtagClk, std::to_string(TapClockMHz));
    frmMain->SetText(w::lblDelay, std::to_string(frmMain->Position(w::trkDelay)));
}

void trkDelayChange() {
    const int position = frmMain->Position(w::trkDelay);
    JtagDelay = position;
    TapClockMHz = TapClockFor(JtagDelay);
    frmMain->SetText(w::lblJtagClk, std::to_string(TapClockMHz));
    frmMain->SetText(w::lblDelay, std::to_string(position));
}

void cmdDelayClick() {
    TargetSession session(BusyOrder::Never);
    if (!session.Claimed()) return;
    session.Start(Chain::InitOnly);
    Log("-------------------");
    Log("Checking JTAG hardware ...");
    Log("-------------------");

    int position = frmMain->Position(w::trkDelay);
    uint32_t length = kShortTest;
    // Every failed test moves the position up by at least one, so the search ends at the
    // slider's maximum whatever its range.
    for (;;) {
        frmMain->SetPosition(w::trkDelay, position);
        trkDelayChange();
        Log("TAP clock " + std::to_string(TapClockMHz) + " MHz");
        const bool passed = LoopbackTest(length);
        Log(std::string(length == kLongTest ? "Long test result - " : "Short test result - ") +
            (passed ? "-1" : "0"));

        const int maximum = frmMain->Maximum(w::trkDelay);
        if (!passed) {
            const int step = maximum / 20 > 0 ? maximum / 20 : 1;
            const int64_t next = static_cast<int64_t>(position) + step;
            if (maximum > next) {
                position = static_cast<int>(next);
                continue;
            }
            LogFailure("Check Your hardware !!! ");
            return;
        }
        if (length == kShortTest) {
            length = kLongTest;
            if (position < maximum) continue;
        }
        break;
    }

    if (!IdentifyCpu()) ReportCommandFailure();
    if (GetWindowsFamily() == kFamilyNt) ReleasePort(kLptFirstBase, kLptSecondBase);
}

} // namespace tapster
