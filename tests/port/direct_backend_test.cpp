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
int iopermErrno = EPERM;

int FakeIoperm(unsigned long from, unsigned long num, int on) {
    iopermCalls.push_back({from, num, on});
    if (iopermResult != 0) errno = iopermErrno;
    return iopermResult;
}

// The hint fits the cause: a missing privilege (EPERM) asks for root or the capability; a
// system without port instructions (ENOSYS) says so and does not ask for root.
TEST(DirectBackend, RefusedPermissionFailsWithAHintByCause) {
    const struct {
        int err;
        const char* hint;
        const char* notHint;
    } cases[] = {{EPERM, "CAP_SYS_RAWIO", "not available"},
                 {ENOSYS, "not available on this system", "root"}};
    for (const auto& c : cases) {
        iopermResult = -1;
        iopermErrno = c.err;
        DirectBackend port(FakeIoperm);
        std::string error;
        EXPECT_FALSE(port.Acquire(error));
        EXPECT_NE(error.find(c.hint), std::string::npos) << error;
        EXPECT_EQ(error.find(c.notHint), std::string::npos) << error;
        EXPECT_NE(error.find("ppdev"), std::string::npos) << "the way out: " << error;
    }
    iopermErrno = EPERM;
}

TEST(DirectBackend, RefusedPermissionTouchesNoPort) {
    iopermCalls.clear();
    iopermResult = -1;
    DirectBackend port(FakeIoperm);
    std::string error;
    EXPECT_FALSE(port.Acquire(error));
    // Without the permission a register access is skipped rather than faulting the process.
    EXPECT_EQ(port.ReadRegister(0x379), 0xFF);
    port.WriteRegister(0x378, 0);
    port.Relinquish();
    ASSERT_EQ(iopermCalls.size(), 1u);
    EXPECT_EQ(iopermCalls[0].from, 0x378u);
    EXPECT_EQ(iopermCalls[0].num, 3u);
    EXPECT_EQ(iopermCalls[0].on, 1);
}

// A card at another address (PCI, PCIe): the registers follow its data register.
TEST(DirectBackend, APortElsewhereMovesEveryRegister) {
    iopermCalls.clear();
    iopermResult = 0;
    DirectBackend port(FakeIoperm, 0xD010);
    EXPECT_EQ(port.Name(), "direct:0xD010");
    EXPECT_EQ(port.IoAddress(0x37A), 0xD012);
    std::string error;
    ASSERT_TRUE(port.Acquire(error));
    ASSERT_EQ(iopermCalls.size(), 1u);
    EXPECT_EQ(iopermCalls[0].from, 0xD010u);
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
