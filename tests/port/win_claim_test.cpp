// The port claim against the real Windows service manager. Where the permission driver cannot be
// started (no qziopm.sys beside the program, a file that is no driver, or wine, which runs no
// kernel driver) the claim must fail with a hint for the user, leave no device open, and its
// release must take the service away again, so that the next claim starts from scratch.
#ifdef _WIN32

#include "port/lpt.h"
#include "port/port_backend.h"
#include "port/qziopm.h"
#include "port/win_api.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace tapster::test {
namespace {

constexpr uint16_t kFirst = 888;   // the port's registers
constexpr uint16_t kSecond = 1912; // its extended-capability block

// What the real service manager knows of the driver's service: 0 when it is installed,
// otherwise the error of opening it (1060 when there is none).
uint32_t ServiceState() {
    win::ScHandle manager = win::OpenSCManagerA(nullptr, nullptr, win::kScManagerAllAccess);
    if (manager == nullptr) return win::GetLastError();
    win::ScHandle service = win::OpenServiceA(manager, "qziopm", win::kServiceAllAccess);
    uint32_t state = service != nullptr ? 0 : win::GetLastError();
    if (service != nullptr) win::CloseServiceHandle(service);
    win::CloseServiceHandle(manager);
    return state;
}

bool StartsWithAStep(const std::string& hint) {
    for (const char* step : {"Connecting to the service manager", "Installing the qziopm driver",
                             "Starting the qziopm driver", "Opening the qziopm device",
                             "Permitting the port", "Activating the permission map"})
        if (hint.rfind(step, 0) == 0) return true;
    return false;
}

class WinClaimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QZIOPMDriver() = TQZIOPM_Driver();
        driverFile = QZIOPMDriver().ProgramDirectory() + "qziopm.sys";
        if (std::FILE* f = std::fopen(driverFile.c_str(), "rb")) {
            std::fclose(f);
            GTEST_SKIP() << "a qziopm.sys lies beside the test program";
        }
        ASSERT_EQ(ServiceState(), win::kErrorServiceDoesNotExist)
            << "a qziopm service is left over";
    }
    void TearDown() override {
        ReleasePort(kFirst, kSecond); // whatever a failed check left behind
        if (wroteDriverFile) std::remove(driverFile.c_str());
        QZIOPMDriver() = TQZIOPM_Driver();
    }

    // One claim and its release; checks what must hold whether or not the claim succeeded.
    bool ClaimAndRelease(std::string& hint) {
        bool claimed = ClaimPort(kFirst, kSecond);
        hint = LastPortClaimHint();
        TQZIOPM_Driver& driver = QZIOPMDriver();
        EXPECT_EQ(driver.DriverFilePath(), driverFile);
        if (claimed) {
            // Then the driver really runs: the claimed ranges must be allowed in its map.
            EXPECT_TRUE(hint.empty());
            EXPECT_TRUE(driver.DeviceOpen());
            uint8_t first = 0xFF, second = 0xFF;
            EXPECT_EQ(driver.GetMapByte(kFirst / 8, first), 0);
            EXPECT_EQ(driver.GetMapByte(kSecond / 8, second), 0);
            EXPECT_EQ(first & 0x07, 0);
            EXPECT_EQ(second & 0x07, 0);
        } else {
            EXPECT_TRUE(StartsWithAStep(hint)) << hint;
            EXPECT_FALSE(driver.DeviceOpen());
            // Without a device the map cannot be touched, and says so rather than crashing.
            uint8_t value = 0;
            EXPECT_EQ(driver.GetMapByte(kFirst / 8, value), kResultNoDevice);
        }
        ReleasePort(kFirst, kSecond);
        EXPECT_FALSE(driver.DeviceOpen());
        EXPECT_FALSE(driver.ManagerConnected());
        EXPECT_EQ(ServiceState(), win::kErrorServiceDoesNotExist) << "the release left the service";
        return claimed;
    }

    std::string driverFile;
    bool wroteDriverFile = false;
};

TEST_F(WinClaimTest, WithoutTheDriverFileTheClaimFailsAtTheDriverStart) {
    std::string hint;
    bool claimed = ClaimAndRelease(hint);
    EXPECT_FALSE(claimed);
    // The service can be installed; it is the start of a driver that is not there that fails.
    EXPECT_EQ(hint.rfind("Starting the qziopm driver failed: ", 0), 0u) << hint;
}

TEST_F(WinClaimTest, AFileThatIsNoDriverIsNotStarted) {
    std::FILE* f = std::fopen(driverFile.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    wroteDriverFile = true;
    std::fputs("not a driver\n", f);
    std::fclose(f);
    std::string hint;
    EXPECT_FALSE(ClaimAndRelease(hint));
}

TEST_F(WinClaimTest, AFailedClaimCanBeRepeatedAndReleasedOnce) {
    // A second claim finds the service the first one installed (which counts as installed) and
    // fails the same way; the single release still removes it.
    EXPECT_FALSE(ClaimPort(kFirst, kSecond));
    std::string first = LastPortClaimHint();
    EXPECT_FALSE(ClaimPort(kFirst, kSecond));
    EXPECT_EQ(LastPortClaimHint(), first);
    EXPECT_EQ(ServiceState(), 0u);
    ReleasePort(kFirst, kSecond);
    EXPECT_EQ(ServiceState(), win::kErrorServiceDoesNotExist);
}

TEST_F(WinClaimTest, ReleaseWithoutAClaimFailsHarmlessly) {
    EXPECT_FALSE(ReleasePort(kFirst, kSecond));
    EXPECT_FALSE(QZIOPMDriver().DeviceOpen());
    EXPECT_FALSE(QZIOPMDriver().ManagerConnected());
}

// A backend that executes no port instructions (the simulated board, a remote server) is claimed
// without the permission driver: the claim works without administrator rights and under wine.
class CountingBackend : public PortBackend {
  public:
    void WriteRegister(uint16_t, uint8_t) override {}
    uint8_t ReadRegister(uint16_t) override { return 0; }
    bool Acquire(std::string&) override {
        ++acquired;
        return true;
    }
    void Relinquish() override { ++relinquished; }
    std::string Name() const override { return "test"; }
    int acquired = 0;
    int relinquished = 0;
};

TEST_F(WinClaimTest, ABackendWithoutPortInstructionsNeedsNoDriver) {
    CountingBackend backend;
    SetPortBackend(&backend);
    EXPECT_TRUE(ClaimPort(kFirst, kSecond));
    EXPECT_EQ(backend.acquired, 1);
    EXPECT_EQ(ServiceState(), win::kErrorServiceDoesNotExist);
    EXPECT_TRUE(ReleasePort(kFirst, kSecond));
    EXPECT_EQ(backend.relinquished, 1);
    SetPortBackend(nullptr);
}

} // namespace
} // namespace tapster::test

#endif
