// The platform facade outside Windows: monotonic clock for ticks and the performance counter,
// the processor's time-stamp counter where there is one, and scheduling priority.
#ifndef _WIN32

#include "port/platform.h"

#include <chrono>
#include <sys/resource.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace tapster::platform {

namespace {

Clock* clockOverride = nullptr;
PlatformIdQuery platformIdOverride = nullptr;
int savedNice = 0;
bool raised = false;

int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void SetClock(Clock* clock) {
    clockOverride = clock;
}

uint32_t GetTickCount() {
    if (clockOverride != nullptr) return clockOverride->TickCount();
    return static_cast<uint32_t>(MonotonicNs() / 1000000);
}

bool QueryPerformanceFrequency(int64_t& frequency) {
    if (clockOverride != nullptr) return clockOverride->PerformanceFrequency(frequency);
    frequency = 1000000000;
    return true;
}

bool QueryPerformanceCounter(int64_t& counter) {
    if (clockOverride != nullptr) return clockOverride->PerformanceCounter(counter);
    counter = MonotonicNs();
    return true;
}

uint32_t ReadTimeStampLow() {
    if (clockOverride != nullptr) return clockOverride->TimeStampLow();
#if defined(__x86_64__) || defined(__i386__)
    return static_cast<uint32_t>(__rdtsc());
#else
    // No time-stamp counter: nanoseconds stand in, which measures as a 1000 MHz processor.
    return static_cast<uint32_t>(MonotonicNs());
#endif
}

void RaisePriority() {
    // The highest priority an unprivileged process may take; real-time classes need root.
    savedNice = getpriority(PRIO_PROCESS, 0);
    raised = setpriority(PRIO_PROCESS, 0, -20) == 0;
}

void RestorePriority() {
    if (raised) setpriority(PRIO_PROCESS, 0, savedNice);
    raised = false;
}

void SetPlatformIdQuery(PlatformIdQuery query) {
    platformIdOverride = query;
}

bool GetPlatformId(uint32_t& platformId) {
    if (platformIdOverride != nullptr) return platformIdOverride(platformId);
    platformId = 2;
    return true;
}

} // namespace tapster::platform

#endif
