// The ppdev backend's requests, through replaced system calls.
#include "port/ppdev_backend.h"

#ifdef __linux__

#include "port_test_env.h"

#include "port/lpt.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

namespace tapster::test {
namespace {

struct FakeParport {
    struct Request {
        unsigned long request;
        int value; // the byte or mode passed in, -1 without an argument
    };
    std::string openedPath;
    int openFlags = -1;
    int openErrno = 0;
    unsigned long failRequest = 0;
    int failErrno = 0;
    std::vector<Request> requests;
    std::vector<int> closed;
    uint8_t status = 0x87;
    uint8_t control = 0x0C;
};

FakeParport fake;
constexpr int kFd = 42;

int FakeOpen(const char* path, int flags) {
    fake.openedPath = path;
    fake.openFlags = flags;
    if (fake.openErrno != 0) {
        errno = fake.openErrno;
        return -1;
    }
    return kFd;
}

int FakeClose(int fd) {
    fake.closed.push_back(fd);
    return 0;
}

int FakeIoctl(int fd, unsigned long request, void* arg) {
    if (fd != kFd) {
        errno = EBADF;
        return -1;
    }
    int value = -1;
    if (request == PPWDATA || request == PPWCONTROL)
        value = *static_cast<uint8_t*>(arg);
    else if (request == PPSETMODE)
        value = *static_cast<int*>(arg);
    fake.requests.push_back({request, value});
    if (request == fake.failRequest) {
        errno = fake.failErrno;
        return -1;
    }
    if (request == PPRSTATUS) *static_cast<uint8_t*>(arg) = fake.status;
    if (request == PPRCONTROL) *static_cast<uint8_t*>(arg) = fake.control;
    return 0;
}

const PpdevCalls kFakeCalls = {FakeOpen, FakeClose, FakeIoctl};

class PpdevTest : public PortLayerTest {
  protected:
    void SetUp() override {
        PortLayerTest::SetUp();
        fake = FakeParport{};
    }
    std::vector<unsigned long> RequestCodes() const {
        std::vector<unsigned long> out;
        for (const auto& r : fake.requests)
            out.push_back(r.request);
        return out;
    }
};

TEST_F(PpdevTest, AcquireOpensClaimsExclusivelyInCompatibilityMode) {
    PpdevBackend port("/dev/parport1", kFakeCalls);
    EXPECT_EQ(port.Name(), "ppdev:/dev/parport1");
    std::string error;
    ASSERT_TRUE(port.Acquire(error));
    EXPECT_EQ(fake.openedPath, "/dev/parport1");
    EXPECT_EQ(fake.openFlags & O_ACCMODE, O_RDWR);
    EXPECT_EQ(RequestCodes(), (std::vector<unsigned long>{PPEXCL, PPCLAIM, PPSETMODE}));
    EXPECT_EQ(fake.requests[2].value, IEEE1284_MODE_COMPAT);
    // Acquiring again keeps the claim.
    EXPECT_TRUE(port.Acquire(error));
    EXPECT_EQ(fake.requests.size(), 3u);
}

TEST_F(PpdevTest, RegistersMapToTheirRequests) {
    PpdevBackend port("/dev/parport0", kFakeCalls);
    std::string error;
    ASSERT_TRUE(port.Acquire(error));
    fake.requests.clear();
    port.WriteRegister(0x378, 0xA5);
    EXPECT_EQ(port.ReadRegister(0x379), 0x87); // as the port shows it, BUSY not inverted
    port.WriteRegister(0x37A, 0x04);
    EXPECT_EQ(port.ReadRegister(0x37A), 0x0C);
    port.ReadRegister(0x378);
    ASSERT_EQ(RequestCodes(),
              (std::vector<unsigned long>{PPWDATA, PPRSTATUS, PPWCONTROL, PPRCONTROL, PPRDATA}));
    EXPECT_EQ(fake.requests[0].value, 0xA5);
    EXPECT_EQ(fake.requests[2].value, 0x04);
    // Ports outside the register block reach nothing.
    port.WriteRegister(0x778, 1);
    EXPECT_EQ(port.ReadRegister(0x779), 0xFF);
    EXPECT_EQ(fake.requests.size(), 5u);
}

TEST_F(PpdevTest, NothingReachesThePortBeforeAcquireOrAfterRelinquish) {
    PpdevBackend port("/dev/parport0", kFakeCalls);
    port.WriteRegister(0x378, 1);
    EXPECT_EQ(port.ReadRegister(0x379), 0xFF);
    EXPECT_TRUE(fake.requests.empty());
    std::string error;
    ASSERT_TRUE(port.Acquire(error));
    fake.requests.clear();
    port.Relinquish();
    EXPECT_EQ(RequestCodes(), (std::vector<unsigned long>{PPRELEASE}));
    EXPECT_EQ(fake.closed, (std::vector<int>{kFd}));
    port.Relinquish();
    port.WriteRegister(0x378, 1);
    EXPECT_EQ(fake.requests.size(), 1u);
    EXPECT_EQ(fake.closed.size(), 1u);
}

TEST_F(PpdevTest, DestroyingAClaimedPortGivesItBack) {
    {
        PpdevBackend port("/dev/parport0", kFakeCalls);
        std::string error;
        ASSERT_TRUE(port.Acquire(error));
    }
    EXPECT_EQ(fake.requests.back().request, static_cast<unsigned long>(PPRELEASE));
    EXPECT_EQ(fake.closed.size(), 1u);
}

TEST_F(PpdevTest, OpenFailureExplainsDeviceGroupAndModule) {
    for (int err : {EACCES, ENOENT}) {
        fake = FakeParport{};
        fake.openErrno = err;
        PpdevBackend port("/dev/parport0", kFakeCalls);
        std::string error;
        EXPECT_FALSE(port.Acquire(error));
        EXPECT_FALSE(port.Claimed());
        EXPECT_NE(error.find("/dev/parport0"), std::string::npos) << error;
        EXPECT_NE(error.find("lp group"), std::string::npos) << error;
        EXPECT_NE(error.find("modprobe ppdev"), std::string::npos) << error;
        EXPECT_TRUE(fake.requests.empty());
    }
}

// A refused claim closes the device and its advice fits the cause: a file that is no parallel
// port (ENOTTY, EINVAL) is told apart from a port held by another driver or program.
TEST_F(PpdevTest, RefusedClaimClosesTheDeviceAndAdvisesByCause) {
    const struct {
        unsigned long failing;
        int err;
        const char* advice;    // in the message
        const char* notAdvice; // never in it
    } cases[] = {
        {PPEXCL, EBUSY, "rmmod lp", "not a parallel port"},
        {PPCLAIM, EBUSY, "busy", "not a parallel port"},
        {PPCLAIM, ENXIO, "rmmod lp", "not a parallel port"},
        {PPEXCL, ENOTTY, "not a parallel port device", "rmmod"},
        {PPCLAIM, EINVAL, "not a parallel port device", "rmmod"},
    };
    for (const auto& c : cases) {
        const unsigned long failing = c.failing;
        SCOPED_TRACE(std::string(failing == PPEXCL ? "PPEXCL " : "PPCLAIM ") +
                     std::to_string(c.err));
        fake = FakeParport{};
        fake.failRequest = failing;
        fake.failErrno = c.err;
        PpdevBackend port("/dev/parport0", kFakeCalls);
        std::string error;
        EXPECT_FALSE(port.Acquire(error));
        EXPECT_FALSE(port.Claimed());
        EXPECT_EQ(fake.closed, (std::vector<int>{kFd}));
        EXPECT_NE(error.find("/dev/parport0"), std::string::npos) << error;
        EXPECT_NE(error.find(failing == PPEXCL ? "PPEXCL" : "PPCLAIM"), std::string::npos);
        EXPECT_NE(error.find(c.advice), std::string::npos) << error;
        EXPECT_EQ(error.find(c.notAdvice), std::string::npos) << error;
        // A failed claim leaves nothing to give back.
        port.Relinquish();
        EXPECT_EQ(fake.closed.size(), 1u);
    }
}

TEST_F(PpdevTest, ThePortClaimOpensAndReleasesTheDevice) {
    PpdevBackend port("/dev/parport0", kFakeCalls);
    SetPortBackend(&port);
    ASSERT_TRUE(ClaimPort(888, 1912));
    EXPECT_TRUE(port.Claimed());
    fake.requests.clear();
    WritePortByte(0x378, 0x03);
    EXPECT_EQ(ReadPortByte(0x379), 0x87);
    EXPECT_EQ(RequestCodes(), (std::vector<unsigned long>{PPWDATA, PPRSTATUS}));
    EXPECT_TRUE(ReleasePort(888, 1912));
    EXPECT_FALSE(port.Claimed());
    EXPECT_EQ(fake.requests.back().request, static_cast<unsigned long>(PPRELEASE));

    // A port that cannot be opened fails the claim with the backend's hint.
    fake.openErrno = EACCES;
    EXPECT_FALSE(ClaimPort(888, 1912));
    EXPECT_NE(LastPortClaimHint().find("lp group"), std::string::npos);
    SetPortBackend(nullptr);
}

} // namespace
} // namespace tapster::test

#endif
