// The platform family and the port claim and release, through the driver object and the
// stand-in service manager down to the port backend, and directly without a driver.
#include "port_test_env.h"

#include "port/lpt.h"
#include "standin/port_permission.h"

#include <algorithm>

namespace tapster::test {
namespace {

namespace standin = win::standin;
using Names = std::vector<std::string>;

const Names kClaimCalls = {"OpenSCManagerA",  "CreateServiceA",  "CloseServiceHandle",
                           "OpenServiceA",    "StartServiceA",   "CloseServiceHandle",
                           "CreateFileA",     "DeviceIoControl", "DeviceIoControl",
                           "DeviceIoControl", "DeviceIoControl", "DeviceIoControl"};

class LptTest : public PortLayerTest {
  protected:
    void SetUp() override {
        PortLayerTest::SetUp();
        SetPortBackend(&backend);
    }
    RecordingBackend backend;
};

TEST_F(LptTest, FamilyTextFollowsThePlatformId) {
    platform::SetPlatformIdQuery([](uint32_t& id) {
        id = 2;
        return true;
    });
    EXPECT_EQ(GetWindowsFamily(), "Windows NT o superior");
    platform::SetPlatformIdQuery([](uint32_t& id) {
        id = 1;
        return true;
    });
    EXPECT_EQ(GetWindowsFamily(), "Windows ME, 98 o 95");
    for (uint32_t other : {0u, 3u, 0xFFFFFFFFu}) {
        static uint32_t answer;
        answer = other;
        platform::SetPlatformIdQuery([](uint32_t& id) {
            id = answer;
            return true;
        });
        EXPECT_EQ(GetWindowsFamily(), "") << other;
    }
    platform::SetPlatformIdQuery([](uint32_t& id) {
        id = 2; // whatever the record holds, a failed query counts for nothing
        return false;
    });
    EXPECT_EQ(GetWindowsFamily(), "");
    // Outside Windows the kernel must grant port access first, as on NT.
    platform::SetPlatformIdQuery(nullptr);
    EXPECT_EQ(GetWindowsFamily(), "Windows NT o superior");
}

TEST_F(LptTest, ClaimRunsTheSevenStepsAndPermitsBothRanges) {
    EXPECT_TRUE(ClaimPort(888, 1912));
    EXPECT_EQ(standin::CallNames(), kClaimCalls);
    EXPECT_EQ(Requests(), (std::vector<Request>{{IOCTL_GET_MAP_BYTE, 111, 0xFF},
                                                {IOCTL_SET_MAP_BYTE, 111, 0xF8},
                                                {IOCTL_GET_MAP_BYTE, 239, 0xFF},
                                                {IOCTL_SET_MAP_BYTE, 239, 0xF8},
                                                {IOCTL_ACTIVATE_MAP, 0, 0}}));
    // Inclusive ranges of three, nothing beside them.
    for (uint16_t p : {888, 889, 890, 1912, 1913, 1914})
        EXPECT_TRUE(PortPermitted(p)) << p;
    for (uint16_t p : {887, 891, 1911, 1915, 0})
        EXPECT_FALSE(PortPermitted(p)) << p;
    EXPECT_EQ(standin::MapByte(111), 0xF8);
    EXPECT_EQ(standin::MapByte(239), 0xF8);
    EXPECT_EQ(backend.acquired, 1);
    EXPECT_EQ(LastPortClaimHint(), "");
}

TEST_F(LptTest, SecondClaimAcceptsAnExistingRunningService) {
    ASSERT_TRUE(ClaimPort(888, 1912));
    standin::ClearCalls();
    EXPECT_TRUE(ClaimPort(888, 1912));
    // The service answers "exists" and "already running"; the device is opened afresh.
    Names names = standin::CallNames();
    EXPECT_EQ(names, (Names{"CloseServiceHandle", "OpenSCManagerA", "CreateServiceA",
                            "OpenServiceA", "StartServiceA", "CloseServiceHandle", "CloseHandle",
                            "CreateFileA", "DeviceIoControl", "DeviceIoControl", "DeviceIoControl",
                            "DeviceIoControl", "DeviceIoControl"}));
    EXPECT_EQ(standin::OpenHandleCount(), 2); // one manager, one device
    EXPECT_EQ(backend.acquired, 1);           // the port stays held, not acquired twice
    EXPECT_TRUE(PortPermitted(889));
}

TEST_F(LptTest, ManagerAccessDeniedFailsTheClaimButEveryStepRuns) {
    standin::FailCall("OpenSCManagerA", 5);
    EXPECT_FALSE(ClaimPort(888, 1912));
    // Steps 2 to 4 still reach Windows; 5 to 7 find no device and send nothing.
    EXPECT_EQ(standin::CallNames(),
              (Names{"OpenSCManagerA", "CreateServiceA", "OpenServiceA", "CreateFileA"}));
    EXPECT_FALSE(PortPermitted(888));
    EXPECT_EQ(backend.acquired, 0);
    EXPECT_EQ(LastPortClaimHint(), "Connecting to the service manager failed: Can't connect to "
                                   "Service Control Manager (9998)");
}

TEST_F(LptTest, FailingMiddleStepFailsTheClaimWhileLaterStepsStillRun) {
    // A service that installs but will not start: the device then cannot be opened either.
    standin::FailCall("StartServiceA", 1058);
    EXPECT_FALSE(ClaimPort(888, 1912));
    Names names = standin::CallNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "CreateFileA"), names.end());
    EXPECT_EQ(LastPortClaimHint(), "Starting the qziopm driver failed: Service has been disabled "
                                   "(1058)");

    // With the driver running from an earlier claim, a failing start still lets the device and
    // map steps do their work, but the claim reports the failure.
    standin::ClearFailures();
    ASSERT_TRUE(ClaimPort(888, 1912));
    ASSERT_TRUE(ReleasePort(888, 1912) && ClaimPort(888, 1912));
    standin::FailCall("StartServiceA", 1058);
    standin::ClearCalls();
    EXPECT_FALSE(ClaimPort(888, 1912));
    EXPECT_EQ(IoControls().size(), 5u);
    EXPECT_TRUE(PortPermitted(888));
}

TEST_F(LptTest, ReleaseRevokesTheSecondRangeFirstAndRemovesTheService) {
    ASSERT_TRUE(ClaimPort(888, 1912));
    standin::ClearCalls();
    EXPECT_TRUE(ReleasePort(888, 1912));
    EXPECT_EQ(Requests(), (std::vector<Request>{{IOCTL_GET_MAP_BYTE, 239, 0xFF},
                                                {IOCTL_SET_MAP_BYTE, 239, 0xFF},
                                                {IOCTL_GET_MAP_BYTE, 111, 0xFF},
                                                {IOCTL_SET_MAP_BYTE, 111, 0xFF},
                                                {IOCTL_ACTIVATE_MAP, 0, 0}}));
    Names names = standin::CallNames();
    Names tail(names.begin() + 5, names.end());
    EXPECT_EQ(tail, (Names{"CloseHandle", "OpenServiceA", "ControlService", "CloseServiceHandle",
                           "OpenServiceA", "ControlService", "CloseServiceHandle", "OpenServiceA",
                           "DeleteService", "CloseServiceHandle", "CloseServiceHandle"}));
    EXPECT_FALSE(standin::ServiceInstalled());
    EXPECT_EQ(standin::OpenHandleCount(), 0);
    EXPECT_FALSE(PortPermitted(888));
    EXPECT_FALSE(PortPermitted(1912));
    EXPECT_EQ(backend.relinquished, 1);

    // The next command installs and starts the driver again.
    EXPECT_TRUE(ClaimPort(888, 1912));
    EXPECT_TRUE(standin::ServiceRunning());
    EXPECT_EQ(backend.acquired, 2);
}

TEST_F(LptTest, ReleaseWithoutAClaimFailsQuietlyAfterEveryStep) {
    EXPECT_FALSE(ReleasePort(888, 1912));
    // No device: the map steps send nothing; the service steps still ask Windows.
    EXPECT_TRUE(IoControls().empty());
    EXPECT_EQ(standin::CallNames(),
              (Names{"OpenServiceA", "OpenServiceA", "OpenServiceA", "CloseServiceHandle"}));
    EXPECT_EQ(backend.relinquished, 0);
}

TEST_F(LptTest, PortAccessFaultsWithoutAClaimAndReachesTheBackendWithOne) {
    EXPECT_EQ(ReadPortByte(0x379), 0xFF);
    WritePortByte(0x378, 0x0A);
    ASSERT_EQ(PortFaults().size(), 2u);
    EXPECT_EQ(PortFaults()[0].port, 0x379);
    EXPECT_FALSE(PortFaults()[0].write);
    EXPECT_TRUE(PortFaults()[1].write);
    EXPECT_TRUE(backend.reads.empty());
    EXPECT_TRUE(backend.writes.empty());

    ASSERT_TRUE(ClaimPort(888, 1912));
    PortFaults().clear();
    WritePortByte(0x378, 0x0A);
    EXPECT_EQ(ReadPortByte(0x379), 0x5A);
    EXPECT_TRUE(PortFaults().empty());
    ASSERT_EQ(backend.writes.size(), 1u);
    EXPECT_EQ(backend.writes[0].port, 0x378);
    EXPECT_EQ(backend.writes[0].value, 0x0A);
    EXPECT_EQ(backend.reads, std::vector<uint16_t>{0x379});

    ReleasePort(888, 1912);
    ReadPortByte(0x379);
    EXPECT_EQ(PortFaults().size(), 1u);
}

TEST_F(LptTest, BackendThatCannotBeHadFailsTheClaimWithItsMessage) {
    backend.acquireOk = false;
    backend.acquireError = "Cannot open /dev/parport0: No such file or directory.";
    EXPECT_FALSE(ClaimPort(888, 1912));
    EXPECT_EQ(LastPortClaimHint(), backend.acquireError);
    // The registers stay forbidden, so a command going on regardless faults.
    ReadPortByte(0x379);
    EXPECT_EQ(PortFaults().size(), 1u);
    EXPECT_TRUE(PortPermitted(1912));

    // Once the port can be had, the next claim works and clears the hint.
    backend.acquireOk = true;
    EXPECT_TRUE(ClaimPort(888, 1912));
    EXPECT_EQ(LastPortClaimHint(), "");
    EXPECT_TRUE(PortPermitted(0x378));
    EXPECT_EQ(backend.acquired, 2);
}

TEST_F(LptTest, ClaimWithoutABackendStillSucceeds) {
    SetPortBackend(nullptr);
    EXPECT_TRUE(ClaimPort(888, 1912));
    EXPECT_EQ(ReadPortByte(0x379), 0xFF);
    EXPECT_TRUE(PortFaults().empty());
}

// Without a permission driver (outside Windows) the claim is the backend's own acquisition.
TEST_F(LptTest, WithoutAPermissionDriverTheBackendIsAcquiredDirectly) {
    SetPortPermissionDriver(nullptr);
    GuardPortAccesses(false);
    backend.acquireOk = false;
    EXPECT_FALSE(ClaimPort(888, 1912));
    EXPECT_EQ(LastPortClaimHint(), "the port could not be opened");
    backend.acquireError = "Cannot open /dev/parport0: No such file or directory.";
    EXPECT_FALSE(ClaimPort(888, 1912));
    EXPECT_EQ(LastPortClaimHint(), backend.acquireError);
    backend.acquireOk = true;
    EXPECT_TRUE(ClaimPort(888, 1912));
    EXPECT_EQ(LastPortClaimHint(), "");
    EXPECT_EQ(ReadPortByte(0x379), 0x5A);
    EXPECT_TRUE(ReleasePort(888, 1912));
    EXPECT_EQ(backend.acquired, 3);
    EXPECT_EQ(backend.relinquished, 1);
    EXPECT_TRUE(standin::Calls().empty());
}

} // namespace
} // namespace tapster::test
