#include "port/qziopm.h"

namespace tapster {

const std::array<TErrorMsg, 30> ErrorMessages = {{
    {0, "Operation was successful"},
    {1, "Invalid Function"},
    {5, "Access denied"},
    {1059, "Circular dependency"},
    {1065, "Database doesn't exist"},
    {1051, "Dependent services running"},
    {52, "Display name already exists"},
    {6, "Invalid handle"},
    {123, "Invalid service name"},
    {87, "Invalid Parameter"},
    {1057, "User account doesn't exist"},
    {1052, "Invalid service control code"},
    {3, "Path not found"},
    {1056, "Service already running"},
    {1061, "Service can't accept control"},
    {1055, "The database is locked"},
    {1075, "Depends on nonexistant service"},
    {1068, "Depends on service that failed"},
    {1058, "Service has been disabled"},
    {1060, "Service doesn't exist"},
    {1073, "Service already exists"},
    {1069, "Service couldn't be logged on"},
    {1072, "Service marked for deletion"},
    {1054, "Couldn't create thread"},
    {1062, "Service hasn't been started"},
    {1053, "Service timed out"},
    {9997, "Buffer too small"},
    {9997, "No device handle"},
    {9998, "Can't connect to Service Control Manager"},
    {9999, "An unexpected error occured"},
}};

const char* ErrorMessageText(int32_t code) {
    // The last row with the code wins, so that 9997 reads as the missing device it stands for.
    const char* text = nullptr;
    for (const TErrorMsg& row : ErrorMessages)
        if (row.code == code) text = row.text;
    return text != nullptr ? text : ErrorMessages.back().text;
}

namespace {

int32_t LastError() {
    return static_cast<int32_t>(win::GetLastError());
}

void PutWord(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string DirectoryOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

const char* const kServiceName = "qziopm";
const char* const kDeviceName = "\\\\.\\qziopm";

} // namespace

TQZIOPM_Driver::TQZIOPM_Driver()
    : programDirectory_(DirectoryOf(win::ProgramFilePath())), serviceName_(kServiceName),
      manager_(nullptr), device_(win::InvalidHandle()) {}

int32_t TQZIOPM_Driver::ConnectManager() {
    // Only the newest connection is kept; an older one is closed rather than leaked.
    if (manager_ != nullptr) win::CloseServiceHandle(manager_);
    manager_ = win::OpenSCManagerA(nullptr, nullptr, win::kScManagerAllAccess);
    return manager_ != nullptr ? 0 : kResultNoManager;
}

int32_t TQZIOPM_Driver::DisconnectManager() {
    win::CloseServiceHandle(manager_);
    manager_ = nullptr;
    return 0;
}

int32_t TQZIOPM_Driver::InstallDriver() {
    driverDirectory_ = programDirectory_;
    serviceName_ = kServiceName;
    driverFilePath_ = driverDirectory_ + serviceName_ + ".sys";
    win::ScHandle service = win::CreateServiceA(
        manager_, serviceName_.c_str(), serviceName_.c_str(), win::kServiceAllAccess,
        win::kServiceKernelDriver, win::kServiceDemandStart, win::kServiceErrorNormal,
        driverFilePath_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service == nullptr) return LastError();
    win::CloseServiceHandle(service);
    return 0;
}

template <typename Action> int32_t TQZIOPM_Driver::WithService(Action action) {
    win::ScHandle service =
        win::OpenServiceA(manager_, serviceName_.c_str(), win::kServiceAllAccess);
    if (service == nullptr) return LastError();
    int32_t result = action(service) ? 0 : LastError();
    win::CloseServiceHandle(service);
    return result;
}

int32_t TQZIOPM_Driver::StartDriver() {
    return WithService([](win::ScHandle s) { return win::StartServiceA(s, 0, nullptr); });
}

int32_t TQZIOPM_Driver::StopDriver() {
    return WithService([](win::ScHandle s) {
        win::ServiceStatus status;
        return win::ControlService(s, win::kServiceControlStop, &status);
    });
}

int32_t TQZIOPM_Driver::RemoveDriver() {
    StopDriver(); // usually stopped already; the deletion goes ahead regardless
    return WithService([](win::ScHandle s) { return win::DeleteService(s); });
}

int32_t TQZIOPM_Driver::OpenDevice() {
    if (DeviceOpen()) CloseDevice();
    device_ = win::CreateFileA(kDeviceName, win::kGenericReadWrite, 0, nullptr, win::kOpenExisting,
                               win::kFileAttributeNormal, nullptr);
    return DeviceOpen() ? 0 : LastError();
}

int32_t TQZIOPM_Driver::CloseDevice() {
    if (DeviceOpen()) win::CloseHandle(device_);
    device_ = win::InvalidHandle();
    return 0;
}

int32_t TQZIOPM_Driver::DriverQuery(uint32_t function, uint32_t& word) {
    word = 0;
    if (!DeviceOpen()) return kResultNoDevice;
    uint8_t request[12] = {};
    uint8_t answer[12] = {};
    uint32_t returned = 0;
    if (!win::DeviceIoControl(device_, QziopmCtlCode(function), request, sizeof request, answer,
                              sizeof answer, &returned, nullptr))
        return LastError();
    word = Word(answer);
    return 0;
}

int32_t TQZIOPM_Driver::MapByteRequest(uint16_t index, uint8_t& value, uint32_t function) {
    if (!DeviceOpen()) return kResultNoDevice;
    uint8_t request[12] = {};
    uint8_t answer[12] = {};
    PutWord(request, index);
    PutWord(request + 4, value);
    uint32_t returned = 0;
    if (!win::DeviceIoControl(device_, QziopmCtlCode(function), request, sizeof request, answer,
                              sizeof answer, &returned, nullptr))
        return LastError();
    value = static_cast<uint8_t>(Word(answer + 4));
    return 0;
}

int32_t TQZIOPM_Driver::SetMapByte(uint16_t index, uint8_t value) {
    return MapByteRequest(index, value, kFunctionSetMapByte);
}

int32_t TQZIOPM_Driver::GetMapByte(uint16_t index, uint8_t& value) {
    return MapByteRequest(index, value, kFunctionGetMapByte);
}

int32_t TQZIOPM_Driver::ActivateMap() {
    uint32_t ignored = 0;
    return DriverQuery(kFunctionActivateMap, ignored);
}

int32_t TQZIOPM_Driver::SetPortRangeAccess(uint16_t first, uint16_t last, bool allow) {
    if (last < first) return 0;
    uint8_t working = 0xFF;
    // A wide counter, so that a range ending at port 65535 ends.
    for (uint32_t p = first; p <= last; ++p) {
        auto index = static_cast<uint16_t>(p / 8);
        uint32_t bit = p % 8;
        auto mask = static_cast<uint8_t>(1u << bit);
        if (p == first || bit == 0)
            if (int32_t r = GetMapByte(index, working); r != 0) return r;
        working =
            allow ? static_cast<uint8_t>(working & ~mask) : static_cast<uint8_t>(working | mask);
        if (p == last || bit == 7)
            if (int32_t r = SetMapByte(index, working); r != 0) return r;
    }
    return 0;
}

TQZIOPM_Driver& QZIOPMDriver() {
    static TQZIOPM_Driver driver;
    return driver;
}

namespace {
// Creates the driver object when the program starts, before any window exists.
[[maybe_unused]] TQZIOPM_Driver& createdAtStart = QZIOPMDriver();
} // namespace

} // namespace tapster
