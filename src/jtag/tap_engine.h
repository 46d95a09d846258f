// The TAP bit engine: one TCK period at a time on the parallel-port cable.
// Data register 0x378: D0 TMS, D1 TCK, D2 TDI, D3 control line. Status 0x379 bit 0x10: TDO.
#pragma once

#include <cstdint>

namespace tapster {

constexpr uint16_t kDataPort = 0x378;
constexpr uint16_t kStatusPort = 0x379;

extern int32_t JtagDelay;    // busy-loop count stretching the TCK high phase (the slider)
extern uint8_t LastDataByte; // last byte written with TCK low
extern bool ControlLineHigh; // level driven on D3
extern bool TapReady;        // TAP known to sit in Shift-DR with the link instruction

// One full TCK period; returns TDO (sampled before the rising edge) when sample is true. Takes
// its own sample at once, so no sample of IssueClock may be waiting.
bool TapClock(bool tms, bool tdi, bool sample);
// The same clock on the wire, with its TDO read queued: TakeSample hands the samples back in the
// order of their clocks. A remote cable then clocks on while the answers travel; a cable at hand
// reads at once, so its port accesses are exactly those of TapClock.
void IssueClock(bool tms, bool tdi, bool sample);
bool TakeSample();
void DiscardSamples();
uint32_t SamplesPending();
// How many samples the port lets wait unread (1 for a cable at hand: no clock runs ahead).
uint32_t SampleQueueSize();
void TmsClock(bool tms);
// Test-Logic-Reset then Run-Test/Idle; clears TapReady; logs "Reseting TAP ... Done.".
void TapReset();
void SetControlLine(bool high);
// From Run-Test/Idle: loads count instruction bits of value (LSB first), ends in Update-IR.
void ShiftIR(int count, uint32_t value);
// Shift-DR with instruction 0x10 selected, unless TapReady.
void EnterLinkScan();
// Waits at least ms milliseconds while the window processes its events.
void DelayMs(uint32_t ms);

// Puts the engine's process-wide values back to their start values (tests).
void ResetTapEngineState();

} // namespace tapster
