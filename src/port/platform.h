// The platform facade: everything the port-access, timing and measurement code needs from the
// operating system. Under _WIN32 these are the real calls; elsewhere a stand-in.
#pragma once

#include <cstdint>

namespace tapster::platform {

// Time sources. Tests replace them with a virtual clock that advances while events are
// processed, so waits of hundreds of milliseconds cost no real time.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual uint32_t TickCount() = 0; // milliseconds, wraps at 2^32
    virtual bool PerformanceFrequency(int64_t& frequency) = 0;
    virtual bool PerformanceCounter(int64_t& counter) = 0;
    virtual uint32_t TimeStampLow() = 0; // low 32 bits of the time-stamp counter
};

// nullptr restores the real clock.
void SetClock(Clock* clock);

uint32_t GetTickCount();
bool QueryPerformanceFrequency(int64_t& frequency);
bool QueryPerformanceCounter(int64_t& counter);
uint32_t ReadTimeStampLow();

// Process and thread priority for the CPU-speed measurement: raised to real-time/time-critical
// and back to normal.
void RaisePriority();
void RestorePriority();

// The Windows platform id of the version query (2 = NT family, 1 = 95/98/ME); false when the
// query fails. Outside Windows the stand-in reports the NT family, since like NT the kernel has
// to grant port access first.
bool GetPlatformId(uint32_t& platformId);

// Tests answer the version query themselves (any id, or a failing query); nullptr restores the
// real one.
using PlatformIdQuery = bool (*)(uint32_t& platformId);
void SetPlatformIdQuery(PlatformIdQuery query);

} // namespace tapster::platform
