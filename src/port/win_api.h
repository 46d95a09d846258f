// The few Windows calls the permission-driver wrapper makes: the service control manager, the
// driver's device and its I/O controls. Under _WIN32 they are the real API; elsewhere an
// in-process stand-in plays the service manager and the qziopm device (win_standin.h), so the
// wrapper and the port claim run unchanged on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace tapster::win {

using ScHandle = void*; // SC_HANDLE; null when not connected
using Handle = void*;   // HANDLE

// INVALID_HANDLE_VALUE: all bits set.
inline Handle InvalidHandle() {
    return reinterpret_cast<Handle>(~static_cast<uintptr_t>(0));
}

// Access rights, service kinds and flags, with the values the Windows headers give them.
constexpr uint32_t kScManagerAllAccess = 0xF003F;
constexpr uint32_t kServiceAllAccess = 0xF01FF;
constexpr uint32_t kServiceKernelDriver = 1;
constexpr uint32_t kServiceDemandStart = 3;
constexpr uint32_t kServiceErrorNormal = 1;
constexpr uint32_t kServiceControlStop = 1;
constexpr uint32_t kGenericReadWrite = 0xC0000000;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kFileAttributeNormal = 0x80;

// Windows system error codes that the service manager and the device give.
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidServiceControl = 1052;
constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
constexpr uint32_t kErrorServiceDoesNotExist = 1060;
constexpr uint32_t kErrorServiceNotActive = 1062;
constexpr uint32_t kErrorServiceMarkedForDelete = 1072;
constexpr uint32_t kErrorServiceExists = 1073;

// SERVICE_STATUS.
struct ServiceStatus {
    uint32_t serviceType = 0;
    uint32_t currentState = 0;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

ScHandle OpenSCManagerA(const char* machine, const char* database, uint32_t access);
ScHandle CreateServiceA(ScHandle manager, const char* serviceName, const char* displayName,
                        uint32_t access, uint32_t serviceType, uint32_t startType,
                        uint32_t errorControl, const char* binaryPath, const char* loadOrderGroup,
                        uint32_t* tagId, const char* dependencies, const char* account,
                        const char* password);
ScHandle OpenServiceA(ScHandle manager, const char* serviceName, uint32_t access);
bool StartServiceA(ScHandle service, uint32_t argc, const char** argv);
bool ControlService(ScHandle service, uint32_t control, ServiceStatus* status);
bool DeleteService(ScHandle service);
bool CloseServiceHandle(ScHandle handle);
Handle CreateFileA(const char* name, uint32_t access, uint32_t shareMode, void* security,
                   uint32_t disposition, uint32_t flags, Handle templateFile);
bool DeviceIoControl(Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* bytesReturned, void* overlapped);
bool CloseHandle(Handle handle);
uint32_t GetLastError();

// The full path of the running program's own file ("" when it cannot be found).
std::string ProgramFilePath();

// Why the device last refused to make the port usable, for the user (the stand-in's port
// backend could not be had: a missing /dev/parport0, no permission, no server). Empty when
// there is nothing to add to the Windows error code.
std::string DeviceMessage();

} // namespace tapster::win
