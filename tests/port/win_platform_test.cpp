// The platform facade on Windows: the real version query, clocks, priorities and the program's
// own path, which the CPU-speed measurement and the driver installation rely on.
#ifdef _WIN32

#include "port/lpt.h"
#include "port/platform.h"
#include "port/qziopm.h"
#include "port/win_api.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tapster::test {
namespace {

TEST(WinPlatform, VersionQueryReportsTheNtFamilyUnlessReplaced) {
    uint32_t id = 0;
    ASSERT_TRUE(platform::GetPlatformId(id));
    EXPECT_EQ(id, 2u);
    EXPECT_EQ(GetWindowsFamily(), kFamilyNt);

    platform::SetPlatformIdQuery([](uint32_t& platformId) {
        platformId = 1;
        return true;
    });
    EXPECT_EQ(GetWindowsFamily(), kFamily9x);
    platform::SetPlatformIdQuery([](uint32_t&) { return false; });
    EXPECT_EQ(GetWindowsFamily(), "");
    platform::SetPlatformIdQuery(nullptr);
    EXPECT_EQ(GetWindowsFamily(), kFamilyNt);
}

TEST(WinPlatform, ClocksRunForward) {
    int64_t frequency = 0;
    ASSERT_TRUE(platform::QueryPerformanceFrequency(frequency));
    EXPECT_GT(frequency, 0);

    int64_t before = 0, after = 0;
    ASSERT_TRUE(platform::QueryPerformanceCounter(before));
    uint32_t ticksBefore = platform::GetTickCount();
    uint32_t stampBefore = platform::ReadTimeStampLow();
    // Spin until the time-stamp counter moves; bounded so that a stuck counter fails, not hangs.
    uint32_t stampAfter = stampBefore;
    for (int i = 0; i < 1000000 && stampAfter == stampBefore; ++i)
        stampAfter = platform::ReadTimeStampLow();
    ASSERT_TRUE(platform::QueryPerformanceCounter(after));
    EXPECT_NE(stampAfter, stampBefore);
    EXPECT_GE(after, before);
    // Unsigned difference: right across the tick count's wrap too.
    EXPECT_LT(static_cast<uint32_t>(platform::GetTickCount() - ticksBefore), 60000u);
}

TEST(WinPlatform, PriorityIsRaisedForTheMeasurementAndRestoredAfter) {
    platform::RaisePriority();
    DWORD raisedClass = GetPriorityClass(GetCurrentProcess());
    // Without the privilege for real-time, Windows grants high priority instead.
    EXPECT_TRUE(raisedClass == REALTIME_PRIORITY_CLASS || raisedClass == HIGH_PRIORITY_CLASS)
        << raisedClass;
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
    platform::RestorePriority();
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
}

TEST(WinPlatform, DriverFileIsLookedForBesideTheProgram) {
    std::string program = win::ProgramFilePath();
    ASSERT_GT(program.size(), 4u);
    EXPECT_EQ(program.substr(program.size() - 4), ".exe");
    TQZIOPM_Driver driver;
    const std::string& directory = driver.ProgramDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '\\');
    EXPECT_EQ(program.rfind(directory, 0), 0u);
    EXPECT_EQ(program.find('\\', directory.size()), std::string::npos);
}

} // namespace
} // namespace tapster::test

#endif
