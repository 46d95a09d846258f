// The direct-I/O backend's permission handling. No port instruction is executed here: the test
// machine has no parallel port and the permission is faked.
#include "port/direct_backend.h"

#ifdef TAPSTER_HAVE_DIRECT_BACKEND

#include <cerrno>
#include <gtest/gtest.h>
#include <vector>

namespace tapster {
namespace {

struct IopermCall {
    unsigned long from, num;
    int on;
};
std::vector<IopermCall> iopermCalls;
int iopermResult = 0;

int FakeIoperm(unsigned long from, unsigned long num, int on) {
    iopermCalls.push_back({from, num, on});
    if (iopermResult != 0) errno = EPERM;
    return iopermResult;
}

TEST(DirectBackend, RefusedPermissionFailsWithAHintAndTouchesNoPort) {
    iopermCalls.clear();
    iopermResult = -1;
    DirectBackend port(FakeIoperm);
    std::string error;
    EXPECT_FALSE(port.Acquire(error));
    EXPECT_NE(error.find("CAP_SYS_RAWIO"), std::string::npos) << error;
    EXPECT_NE(error.find("root"), std::string::npos) << error;
    // Without the permission a register access is skipped rather than faulting the process.
    EXPECT_EQ(port.ReadRegister(0x379), 0xFF);
    port.WriteRegister(0x378, 0);
    port.Relinquish();
    ASSERT_EQ(iopermCalls.size(), 1u);
    EXPECT_EQ(iopermCalls[0].from, 0x378u);
    EXPECT_EQ(iopermCalls[0].num, 3u);
    EXPECT_EQ(iopermCalls[0].on, 1);
}

TEST(DirectBackend, RelinquishDropsThePermission) {
    iopermCalls.clear();
    iopermResult = 0;
    {
        DirectBackend port(FakeIoperm);
        EXPECT_EQ(port.Name(), "direct");
        std::string error;
        ASSERT_TRUE(port.Acquire(error));
        ASSERT_TRUE(port.Acquire(error)); // held already: no second request
        port.Relinquish();
    }
    ASSERT_EQ(iopermCalls.size(), 2u);
    EXPECT_EQ(iopermCalls[1].from, 0x378u);
    EXPECT_EQ(iopermCalls[1].on, 0);
}

} // namespace
} // namespace tapster

#endif
