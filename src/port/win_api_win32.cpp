// The Windows calls of the permission-driver wrapper: the real service control manager and
// device I/O.
#ifdef _WIN32

#include "port/win_api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tapster::win {

namespace {
SC_HANDLE Sc(ScHandle h) {
    return static_cast<SC_HANDLE>(h);
}
} // namespace

ScHandle OpenSCManagerA(const char* machine, const char* database, uint32_t access) {
    return ::OpenSCManagerA(machine, database, access);
}

ScHandle CreateServiceA(ScHandle manager, const char* serviceName, const char* displayName,
                        uint32_t access, uint32_t serviceType, uint32_t startType,
                        uint32_t errorControl, const char* binaryPath, const char* loadOrderGroup,
                        uint32_t* tagId, const char* dependencies, const char* account,
                        const char* password) {
    DWORD tag = 0;
    SC_HANDLE service =
        ::CreateServiceA(Sc(manager), serviceName, displayName, access, serviceType, startType,
                         errorControl, binaryPath, loadOrderGroup,
                         tagId != nullptr ? &tag : nullptr, dependencies, account, password);
    if (tagId != nullptr) *tagId = tag;
    return service;
}

ScHandle OpenServiceA(ScHandle manager, const char* serviceName, uint32_t access) {
    return ::OpenServiceA(Sc(manager), serviceName, access);
}

bool StartServiceA(ScHandle service, uint32_t argc, const char** argv) {
    return ::StartServiceA(Sc(service), argc, argv) != FALSE;
}

bool ControlService(ScHandle service, uint32_t control, ServiceStatus* status) {
    SERVICE_STATUS raw{};
    bool ok = ::ControlService(Sc(service), control, &raw) != FALSE;
    if (status != nullptr) {
        status->serviceType = raw.dwServiceType;
        status->currentState = raw.dwCurrentState;
        status->controlsAccepted = raw.dwControlsAccepted;
        status->win32ExitCode = raw.dwWin32ExitCode;
        status->serviceSpecificExitCode = raw.dwServiceSpecificExitCode;
        status->checkPoint = raw.dwCheckPoint;
        status->waitHint = raw.dwWaitHint;
    }
    return ok;
}

bool DeleteService(ScHandle service) {
    return ::DeleteService(Sc(service)) != FALSE;
}

bool CloseServiceHandle(ScHandle handle) {
    return ::CloseServiceHandle(Sc(handle)) != FALSE;
}

Handle CreateFileA(const char* name, uint32_t access, uint32_t shareMode, void* security,
                   uint32_t disposition, uint32_t flags, Handle templateFile) {
    return ::CreateFileA(name, access, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(security),
                         disposition, flags, templateFile);
}

bool DeviceIoControl(Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* bytesReturned, void* overlapped) {
    DWORD returned = 0;
    bool ok = ::DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize,
                                &returned, static_cast<LPOVERLAPPED>(overlapped)) != FALSE;
    if (bytesReturned != nullptr) *bytesReturned = returned;
    return ok;
}

bool CloseHandle(Handle handle) {
    return ::CloseHandle(handle) != FALSE;
}

uint32_t GetLastError() {
    return ::GetLastError();
}

std::string ProgramFilePath() {
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "";
    return std::string(path, n);
}

// The real driver gives nothing beyond its error code.
std::string DeviceMessage() {
    return "";
}

} // namespace tapster::win

#endif
