// The platform facade on Windows: the system's tick count and performance counter, the
// processor's time-stamp counter, process and thread priority, and the version query.
#ifdef _WIN32

#include "port/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <intrin.h>

namespace tapster::platform {

namespace {
Clock* clockOverride = nullptr;
PlatformIdQuery platformIdOverride = nullptr;
} // namespace

void SetClock(Clock* clock) {
    clockOverride = clock;
}

uint32_t GetTickCount() {
    if (clockOverride != nullptr) return clockOverride->TickCount();
    return static_cast<uint32_t>(::GetTickCount());
}

bool QueryPerformanceFrequency(int64_t& frequency) {
    if (clockOverride != nullptr) return clockOverride->PerformanceFrequency(frequency);
    LARGE_INTEGER value;
    if (!::QueryPerformanceFrequency(&value)) return false;
    frequency = value.QuadPart;
    return true;
}

bool QueryPerformanceCounter(int64_t& counter) {
    if (clockOverride != nullptr) return clockOverride->PerformanceCounter(counter);
    LARGE_INTEGER value;
    if (!::QueryPerformanceCounter(&value)) return false;
    counter = value.QuadPart;
    return true;
}

uint32_t ReadTimeStampLow() {
    if (clockOverride != nullptr) return clockOverride->TimeStampLow();
#if defined(_M_IX86) || defined(_M_X64) || defined(__i386__) || defined(__x86_64__)
    return static_cast<uint32_t>(__rdtsc());
#else
    LARGE_INTEGER value;
    ::QueryPerformanceCounter(&value);
    return static_cast<uint32_t>(value.QuadPart);
#endif
}

void RaisePriority() {
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    // Made twice, as the measurement always has.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

void RestorePriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

void SetPlatformIdQuery(PlatformIdQuery query) {
    platformIdOverride = query;
}

bool GetPlatformId(uint32_t& platformId) {
    if (platformIdOverride != nullptr) return platformIdOverride(platformId);
    static_assert(sizeof(OSVERSIONINFOA) == 148);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 148;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // deprecated, but the platform id is all that is asked
#endif
    if (!GetVersionExA(&info)) return false;
    platformId = info.dwPlatformId;
    return true;
}

} // namespace tapster::platform

#endif
