// Unit qziopm: the wrapper of the port-permission kernel driver `qziopm`. It installs the driver
// file beside the program as a kernel-driver service, starts, stops and removes it, opens its
// device and edits and applies the driver's I/O permission map with three I/O controls.
#pragma once

#include "port/win_api.h"

#include <array>
#include <cstdint>
#include <string>

namespace tapster {

// I/O-control codes: device type 0xF100, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr uint32_t QziopmCtlCode(uint32_t function) {
    return 0xF1000000u | (function << 2);
}
constexpr uint32_t kFunctionSetMapByte = 0x911;
constexpr uint32_t kFunctionGetMapByte = 0x912;
constexpr uint32_t kFunctionActivateMap = 0x920;
constexpr uint32_t IOCTL_SET_MAP_BYTE = QziopmCtlCode(kFunctionSetMapByte);
constexpr uint32_t IOCTL_GET_MAP_BYTE = QziopmCtlCode(kFunctionGetMapByte);
constexpr uint32_t IOCTL_ACTIVATE_MAP = QziopmCtlCode(kFunctionActivateMap);
static_assert(IOCTL_SET_MAP_BYTE == 0xF1002444 && IOCTL_GET_MAP_BYTE == 0xF1002448 &&
              IOCTL_ACTIVATE_MAP == 0xF1002480);

// Result codes besides 0 (success) and the Windows system error codes.
constexpr int32_t kResultNoDevice = 9997;
constexpr int32_t kResultNoManager = 9998;

struct TErrorMsg {
    int32_t code;
    const char* text;
};
extern const std::array<TErrorMsg, 30> ErrorMessages;
// The text of a result code. 9997 reads "No device handle" (the meaning it has here, although an
// older row gives the code to "Buffer too small"); an unknown code reads as the 9999 row.
const char* ErrorMessageText(int32_t code);

class TQZIOPM_Driver {
  public:
    TQZIOPM_Driver();

    int32_t ConnectManager();
    int32_t DisconnectManager();
    int32_t InstallDriver();
    int32_t StartDriver();
    int32_t StopDriver();
    int32_t RemoveDriver();
    int32_t OpenDevice();
    int32_t CloseDevice();
    int32_t DriverQuery(uint32_t function, uint32_t& word);
    int32_t MapByteRequest(uint16_t index, uint8_t& value, uint32_t function);
    int32_t SetMapByte(uint16_t index, uint8_t value);
    int32_t GetMapByte(uint16_t index, uint8_t& value);
    int32_t ActivateMap();
    // Allows (or forbids) ports first to last inclusive; each touched map byte is read once
    // before its first change and written once after its last.
    int32_t SetPortRangeAccess(uint16_t first, uint16_t last, bool allow);

    const std::string& ProgramDirectory() const { return programDirectory_; }
    const std::string& DriverDirectory() const { return driverDirectory_; }
    const std::string& ServiceName() const { return serviceName_; }
    const std::string& DriverFilePath() const { return driverFilePath_; }
    bool ManagerConnected() const { return manager_ != nullptr; }
    bool DeviceOpen() const { return device_ != win::InvalidHandle(); }

  private:
    // Opens the service, runs `action` on it, closes it; the first failing call's error.
    template <typename Action> int32_t WithService(Action action);

    std::string programDirectory_;
    std::string driverDirectory_;
    std::string serviceName_;
    std::string driverFilePath_;
    win::ScHandle manager_;
    win::Handle device_;
};

// The driver object: created when the program starts and never destroyed. The port claim's
// state lives in it.
TQZIOPM_Driver& QZIOPMDriver();

} // namespace tapster
