// The permission-driver wrapper against the stand-in service manager and qziopm device.
#include "port_test_env.h"

#include "port/qziopm.h"

namespace tapster::test {
namespace {

namespace standin = win::standin;

class DriverTest : public PortLayerTest {
  protected:
    // A driver with the service installed and running and its device open.
    void Ready() {
        ASSERT_EQ(driver.ConnectManager(), 0);
        ASSERT_EQ(driver.InstallDriver(), 0);
        ASSERT_EQ(driver.StartDriver(), 0);
        ASSERT_EQ(driver.OpenDevice(), 0);
        standin::ClearCalls();
    }

    TQZIOPM_Driver driver;
};

TEST_F(DriverTest, ConstructionTakesTheProgramDirectoryAndServiceName) {
    EXPECT_FALSE(driver.ManagerConnected());
    EXPECT_FALSE(driver.DeviceOpen());
    EXPECT_EQ(driver.ServiceName(), "qziopm");
    ASSERT_FALSE(driver.ProgramDirectory().empty());
    EXPECT_EQ(driver.ProgramDirectory().back(), '/');
    // The driver file is taken from beside the program.
    ASSERT_EQ(driver.ConnectManager(), 0);
    ASSERT_EQ(driver.InstallDriver(), 0);
    EXPECT_EQ(driver.DriverDirectory(), driver.ProgramDirectory());
    EXPECT_EQ(driver.DriverFilePath(), driver.ProgramDirectory() + "qziopm.sys");
    EXPECT_EQ(standin::ServiceBinaryPath(), driver.DriverFilePath());
}

TEST_F(DriverTest, ServiceLifeCycleGivesTheWindowsCodes) {
    ASSERT_EQ(driver.ConnectManager(), 0);
    EXPECT_EQ(driver.StartDriver(), 1060); // not installed yet
    EXPECT_EQ(driver.InstallDriver(), 0);
    EXPECT_EQ(driver.InstallDriver(), 1073);
    EXPECT_EQ(driver.StopDriver(), 1062); // installed, not started
    EXPECT_EQ(driver.StartDriver(), 0);
    EXPECT_EQ(driver.StartDriver(), 1056);
    EXPECT_TRUE(standin::ServiceRunning());
    EXPECT_EQ(driver.StopDriver(), 0);
    EXPECT_FALSE(standin::ServiceRunning());
    // RemoveDriver stops once more (1062, ignored) and deletes.
    EXPECT_EQ(driver.RemoveDriver(), 0);
    EXPECT_FALSE(standin::ServiceInstalled());
    EXPECT_EQ(driver.RemoveDriver(), 1060);
    EXPECT_EQ(driver.DisconnectManager(), 0);
    // Every service handle the operations opened was closed again.
    EXPECT_EQ(standin::OpenHandleCount(), 0);
}

TEST_F(DriverTest, RemoveDriverStopsARunningServiceFirst) {
    Ready();
    ASSERT_EQ(driver.CloseDevice(), 0);
    standin::ClearCalls();
    EXPECT_EQ(driver.RemoveDriver(), 0);
    EXPECT_EQ(standin::CallNames(),
              (std::vector<std::string>{"OpenServiceA", "ControlService", "CloseServiceHandle",
                                        "OpenServiceA", "DeleteService", "CloseServiceHandle"}));
    EXPECT_FALSE(standin::ServiceInstalled());
}

TEST_F(DriverTest, ServiceManagerRefusedGives9998AndLaterCallsFailOnTheNullHandle) {
    standin::FailCall("OpenSCManagerA", 5);
    EXPECT_EQ(driver.ConnectManager(), 9998);
    EXPECT_FALSE(driver.ManagerConnected());
    EXPECT_EQ(driver.InstallDriver(), 6);
    EXPECT_EQ(driver.StartDriver(), 6);
    EXPECT_FALSE(standin::ServiceInstalled());
}

TEST_F(DriverTest, ReconnectingKeepsOnlyTheNewestManagerHandle) {
    ASSERT_EQ(driver.ConnectManager(), 0);
    ASSERT_EQ(driver.ConnectManager(), 0);
    EXPECT_EQ(standin::OpenHandleCount(), 1);
    EXPECT_EQ(driver.DisconnectManager(), 0);
    EXPECT_EQ(standin::OpenHandleCount(), 0);
}

TEST_F(DriverTest, ClosingWhatIsNotOpenSucceeds) {
    EXPECT_EQ(driver.DisconnectManager(), 0);
    EXPECT_EQ(driver.CloseDevice(), 0);
    EXPECT_FALSE(driver.DeviceOpen());
    // Nothing was open, so no handle is closed.
    for (const auto& name : standin::CallNames())
        EXPECT_NE(name, "CloseHandle");
}

TEST_F(DriverTest, OpenDeviceTwiceClosesTheFirstHandle) {
    Ready();
    EXPECT_EQ(driver.OpenDevice(), 0);
    EXPECT_EQ(standin::CallNames(), (std::vector<std::string>{"CloseHandle", "CreateFileA"}));
    EXPECT_EQ(standin::Calls().back().text, "\\\\.\\qziopm");
    EXPECT_EQ(standin::OpenHandleCount(), 2); // the manager and one device handle
    EXPECT_EQ(driver.CloseDevice(), 0);
    EXPECT_EQ(standin::OpenHandleCount(), 1);
}

TEST_F(DriverTest, OpenDeviceFailsWhileTheDriverIsNotLoaded) {
    ASSERT_EQ(driver.ConnectManager(), 0);
    ASSERT_EQ(driver.InstallDriver(), 0);
    EXPECT_EQ(driver.OpenDevice(), 2);
    EXPECT_FALSE(driver.DeviceOpen());
}

TEST_F(DriverTest, MapRequestsWithoutADeviceGive9997AndSendNothing) {
    uint8_t value = 0;
    uint32_t word = 7;
    EXPECT_EQ(driver.GetMapByte(111, value), 9997);
    EXPECT_EQ(driver.SetMapByte(111, 0), 9997);
    EXPECT_EQ(driver.ActivateMap(), 9997);
    EXPECT_EQ(driver.DriverQuery(kFunctionActivateMap, word), 9997);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(driver.SetPortRangeAccess(888, 890, true), 9997);
    EXPECT_TRUE(IoControls().empty());
}

TEST_F(DriverTest, MapBytesReadBackAsWritten) {
    Ready();
    uint8_t value = 0;
    EXPECT_EQ(driver.GetMapByte(5, value), 0);
    EXPECT_EQ(value, 0xFF); // a freshly loaded driver forbids every port
    EXPECT_EQ(driver.SetMapByte(5, 0x3C), 0);
    EXPECT_EQ(driver.GetMapByte(5, value), 0);
    EXPECT_EQ(value, 0x3C);
    EXPECT_EQ(Requests(),
              (std::vector<Request>{
                  {0xF1002448u, 5, 0}, {0xF1002444u, 5, 0x3C}, {0xF1002448u, 5, 0xFF}}));
    // The driver's own failure comes back as its code.
    EXPECT_EQ(driver.GetMapByte(8192, value), 87);
}

TEST_F(DriverTest, ActivateMapSendsTwelveZeroBytes) {
    Ready();
    EXPECT_EQ(driver.ActivateMap(), 0);
    EXPECT_EQ(Requests(), (std::vector<Request>{{0xF1002480u, 0, 0}}));
    standin::FailCall("DeviceIoControl", 31);
    EXPECT_EQ(driver.ActivateMap(), 31);
}

TEST_F(DriverTest, RangeInsideOneByteReadsAndWritesItOnce) {
    Ready();
    standin::SetMapByteDirect(111, 0xA5);
    EXPECT_EQ(driver.SetPortRangeAccess(888, 890, true), 0);
    // Bits 0-2 cleared, the rest as the driver had them.
    EXPECT_EQ(Requests(), (std::vector<Request>{{IOCTL_GET_MAP_BYTE, 111, 0xFF},
                                                {IOCTL_SET_MAP_BYTE, 111, 0xA0}}));
    EXPECT_EQ(standin::MapByte(111), 0xA0);

    standin::ClearCalls();
    standin::SetMapByteDirect(111, 0x40);
    EXPECT_EQ(driver.SetPortRangeAccess(888, 890, false), 0);
    EXPECT_EQ(IoControls().size(), 2u);
    EXPECT_EQ(standin::MapByte(111), 0x47);
}

TEST_F(DriverTest, RangeAcrossBytesReadsAtTheFirstBitAndWritesAtTheLast) {
    Ready();
    EXPECT_EQ(driver.SetPortRangeAccess(1020, 1030, true), 0);
    // Ports 1020..1023 are bits 4-7 of byte 127, ports 1024..1030 bits 0-6 of byte 128.
    EXPECT_EQ(Requests(), (std::vector<Request>{{IOCTL_GET_MAP_BYTE, 127, 0xFF},
                                                {IOCTL_SET_MAP_BYTE, 127, 0x0F},
                                                {IOCTL_GET_MAP_BYTE, 128, 0x0F},
                                                {IOCTL_SET_MAP_BYTE, 128, 0x80}}));
}

TEST_F(DriverTest, EmptyRangeSendsNothing) {
    Ready();
    EXPECT_EQ(driver.SetPortRangeAccess(890, 888, true), 0);
    EXPECT_TRUE(IoControls().empty());
}

TEST_F(DriverTest, RangeEndingAtTheLastPortEnds) {
    Ready();
    EXPECT_EQ(driver.SetPortRangeAccess(65534, 65535, true), 0);
    auto io = IoControls();
    ASSERT_EQ(io.size(), 2u);
    EXPECT_EQ(io[1].word0, 8191u);
    EXPECT_EQ(io[1].word1, 0x3Fu);
}

TEST_F(DriverTest, RangeStopsAtTheFirstFailingRequest) {
    Ready();
    standin::FailCall("DeviceIoControl", 1);
    EXPECT_EQ(driver.SetPortRangeAccess(1020, 1030, true), 1);
    EXPECT_EQ(IoControls().size(), 1u);
}

TEST(ErrorMessages, TableOrderAndLookup) {
    ASSERT_EQ(ErrorMessages.size(), 30u);
    EXPECT_EQ(ErrorMessages.front().code, 0);
    EXPECT_STREQ(ErrorMessages.front().text, "Operation was successful");
    EXPECT_EQ(ErrorMessages[3].code, 1059);
    EXPECT_EQ(ErrorMessages[26].code, 9997);
    EXPECT_STREQ(ErrorMessages[26].text, "Buffer too small");
    EXPECT_STREQ(ErrorMessages.back().text, "An unexpected error occured");
    EXPECT_STREQ(ErrorMessageText(1073), "Service already exists");
    EXPECT_STREQ(ErrorMessageText(9997), "No device handle");
    EXPECT_STREQ(ErrorMessageText(9998), "Can't connect to Service Control Manager");
    EXPECT_STREQ(ErrorMessageText(12345), "An unexpected error occured");
}

} // namespace
} // namespace tapster::test
