#include "jtag/tap_engine.h"

#include "core/main_form.h"
#include "port/platform.h"
#include "port/qzportio.h"

#include <deque>

namespace tapster {

TapEngineState tapEngineState;

namespace {

// The calibrated TCK high phase: passes count-down steps, nothing else. The barrier makes the
// compiler keep every pass (it may not fold or shorten a loop whose counter it cannot see).
inline void HighPhaseDelay(uint32_t passes) {
#if defined(__GNUC__) || defined(__clang__)
    do {
        __asm__ __volatile__("" : "+r"(passes));
    } while (--passes != 0);
#else
    volatile uint32_t n = passes;
    while (--n != 0) {
    }
#endif
}

// Samples queued at the port and not yet read back, and those read back early because the port's
// buffer was full (oldest first).
uint32_t inPort = 0;
std::deque<bool> early;

void WriteClock(bool tms, bool tdi) {
    uint8_t level = static_cast<uint8_t>((tdi ? kPinTdi : 0) | (tms ? kPinTms : 0) |
                                         (ControlLineHigh ? kPinControl : 0));
    if (level != LastDataByte) {
        WritePortByte(kDataPort, level);
        LastDataByte = level;
    }
    WritePortByte(kDataPort, static_cast<uint8_t>(level | kPinTck));
    if (JtagDelay >= 0) HighPhaseDelay(static_cast<uint32_t>(JtagDelay) + 1);
    WritePortByte(kDataPort, level);
}

} // namespace

void IssueClock(bool tms, bool tdi, bool sample) {
    // TDO first: the bit the target presented after the previous falling edge.
    if (sample) {
        if (inPort >= PortSampleBufferSize()) {
            early.push_back((ReadPortSample() & kPinTdo) != 0);
            --inPort;
        }
        QueuePortSample(kStatusPort);
        ++inPort;
    }
    WriteClock(tms, tdi);
}

bool TakeSample() {
    if (!early.empty()) {
        const bool tdo = early.front();
        early.pop_front();
        return tdo;
    }
    if (inPort == 0) return false; // nothing queued
    --inPort;
    return (ReadPortSample() & kPinTdo) != 0;
}

void DiscardSamples() {
    while (SamplesPending() > 0)
        TakeSample();
}

uint32_t SamplesPending() {
    return inPort + static_cast<uint32_t>(early.size());
}

uint32_t SampleQueueSize() {
    return static_cast<uint32_t>(PortSampleBufferSize());
}

bool TapClock(bool tms, bool tdi, bool sample) {
    IssueClock(tms, tdi, sample);
    return sample && TakeSample();
}

void TmsClock(bool tms) {
    TapClock(tms, false, false);
}

void TapReset() {
    for (int i = 0; i < 5; ++i)
        TmsClock(true);
    TmsClock(false);
    TapReady = false;
    FlushPort(); // the end of a command's target work: nothing stays buffered on its way
    Log("Reseting TAP ... Done.");
}

void SetControlLine(bool high) {
    ControlLineHigh = high;
    LastDataByte = 255; // no level byte equals it, so the next clock drives the new level
    TapClock(false, false, false);
    FlushPort(); // the level is meant to reach the cable now
    TapReady = false;
}

void ShiftIR(int count, uint32_t value) {
    TmsClock(true);  // Select-DR-Scan
    TmsClock(true);  // Select-IR-Scan
    TmsClock(false); // Capture-IR
    TmsClock(false); // Shift-IR
    for (int i = 0; i < count; ++i) {
        TapClock(i == count - 1, (value & 1) != 0, true);
        value >>= 1;
    }
    TmsClock(true); // Update-IR
}

void EnterLinkScan() {
    if (TapReady) return;
    TapReset();
    ShiftIR(5, 0x10);
    TmsClock(true);  // Select-DR-Scan
    TmsClock(false); // Capture-DR
    TmsClock(false); // Shift-DR
    TapReady = true;
}

void DelayMs(uint32_t ms) {
    // Elapsed time rather than a deadline, so a tick count wrapping past 2^32 during the wait
    // cannot end it early; it still ends on the first reading more than ms after the start.
    FlushPort(); // what the cable is to do before the wait reaches it before the wait
    const uint32_t start = platform::GetTickCount();
    uint32_t now = start;
    while (now - start <= ms) {
        if (frmMain != nullptr) frmMain->ProcessEvents();
        now = platform::GetTickCount();
    }
}

void ResetTapEngineState() {
    tapEngineState = {};
    inPort = 0;
    early.clear();
    ForgetPortSamples();
}

} // namespace tapster
