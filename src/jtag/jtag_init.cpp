#include "jtag/jtag_init.h"

#include "core/hex.h"
#include "core/main_form.h"
#include "jtag/tap_engine.h"

namespace tapster {

namespace {
constexpr uint32_t kIrIdcode = 0x02;
constexpr uint32_t kIrBypass = 0x1F;
} // namespace

void InitJtag() {
    // Control line low for at least 100 ms, then high for at least 100 ms before the reset.
    SetControlLine(false);
    DelayMs(100);
    SetControlLine(true);
    Log("Initializing JTAG ...");
    DelayMs(100);
    TapReset();
    Log("Setting TAP on Run-Test/Idle state ...");
    DelayMs(100);
    Log("Done");
}

uint32_t ReadIdCode() {
    TapReset();
    ShiftIR(5, kIrIdcode);
    TmsClock(true);  // Select-DR-Scan
    TmsClock(false); // Capture-DR
    TmsClock(false); // Shift-DR
    uint32_t code = 0;
    for (int k = 0; k < 32; ++k) {
        if (TapClock(k == 31, false, true)) code |= 1u << k;
    }
    TmsClock(true); // Update-DR
    return code;
}

bool IdentifyCpu() {
    InitJtag();
    const uint32_t code = ReadIdCode();
    if (code == 0xFFFFFFFFu)
        Log("Check JTAG hardware !!!");
    else if (code == kIdSti5510)
        Log("CPU type: STi5510");
    else if (code == kIdSti5512)
        Log("CPU type: STi5512");
    else
        Log("CPU IDCODE: " + Hex8(code));
    ReleaseJtag();
    return IsIdCode(code);
}

bool IsIdCode(uint32_t code) {
    // Every JTAG IDCODE ends in a 1 bit: a line stuck low reads 0 there. All ones is a line that
    // floats high (no target); a line that changes with every clock reads 0101...
    return (code & 1u) != 0 && code != 0xFFFFFFFFu && code != 0x55555555u;
}

void ReleaseJtag() {
    SetControlLine(false);
}

bool LoopbackTest(uint32_t count) {
    TapReset();
    ControlLineHigh = true; // driven by the next clock whose levels differ
    DelayMs(100);
    ShiftIR(5, kIrBypass);
    TmsClock(true);              // Select-DR-Scan
    TmsClock(false);             // Capture-DR
    TmsClock(false);             // Shift-DR
    TapClock(false, true, true); // loads a 1 into the bypass register; the sample is not used
    // Each sample shows the previous TDI, so it must be the inverse of the TDI sent now. The TDI
    // pattern is fixed, so on a cable that queues its samples the clocks run ahead of the
    // comparisons, as far as its buffer allows; a cable at hand compares clock by clock.
    const uint32_t room = SampleQueueSize();
    uint32_t issued = 0;
    for (uint32_t checked = 0; checked < count; ++checked) {
        while (issued < count && (issued == checked || SamplesPending() < room)) {
            IssueClock(false, (issued & 1u) != 0, true);
            ++issued;
        }
        if (TakeSample() == ((checked & 1u) != 0)) {
            DiscardSamples(); // clocks run ahead of a failed comparison are not looked at
            return false;
        }
    }
    TapReset();
    return true;
}

} // namespace tapster
