// The Windows calls outside Windows, for tests: an in-process service manager that knows one kind
// of service, and the qziopm device honouring the three permission-map I/O controls. Activating
// the map grants or revokes port instructions for this process (port_permission.h) and acquires
// or relinquishes the active port backend, so that a claim makes the port usable.
#ifndef _WIN32

#include "port/lpt_registers.h"
#include "port/port_backend.h"
#include "port/qziopm.h"
#include "port/qziopm_claim.h"
#include "port/win_api.h"
#include "standin/port_permission.h"
#include "standin/win_standin.h"

#include <array>
#include <climits>
#include <cstring>
#include <map>
#include <unistd.h>

namespace tapster::win {

namespace {

enum class Kind { Manager, Service, Device };

struct Service {
    bool installed = false;
    bool running = false;
    bool markedForDelete = false;
    std::string name;
    std::string binaryPath;
};

struct State {
    std::vector<standin::Call> calls;
    std::map<std::string, uint32_t> failures;
    std::map<uintptr_t, Kind> handles;
    uintptr_t nextHandle = 0x1000;
    uint32_t lastError = 0;
    Service service;
    std::array<uint8_t, kPermissionMapBytes> map{};
    bool acquired = false;
    std::string deviceMessage;

    State() { map.fill(0xFF); }
};

State& S() {
    static State state;
    return state;
}

const char* const kDeviceName = "\\\\.\\qziopm";
constexpr uint16_t kPortFirst = kLptDataPort; // the registers the port backend stands behind
constexpr uint16_t kPortLast = kLptControlPort;

void Log(const char* name, const std::string& text = "", uint32_t code = 0, uint32_t w0 = 0,
         uint32_t w1 = 0) {
    S().calls.push_back({name, text, code, w0, w1});
}

// True (and GetLastError set) when the test made this call fail.
bool Injected(const char* name) {
    auto it = S().failures.find(name);
    if (it == S().failures.end()) return false;
    S().lastError = it->second;
    return true;
}

bool Fail(uint32_t error) {
    S().lastError = error;
    return false;
}

ScHandle NoHandle(uint32_t error) {
    S().lastError = error;
    return nullptr;
}

Handle BadHandle(uint32_t error) {
    S().lastError = error;
    return InvalidHandle();
}

void* NewHandle(Kind kind) {
    uintptr_t value = S().nextHandle;
    S().nextHandle += 4;
    S().handles[value] = kind;
    return reinterpret_cast<void*>(value);
}

bool IsHandle(void* handle, Kind kind) {
    auto it = S().handles.find(reinterpret_cast<uintptr_t>(handle));
    return it != S().handles.end() && it->second == kind;
}

int ServiceHandlesOpen() {
    int n = 0;
    for (const auto& [value, kind] : S().handles)
        if (kind == Kind::Service) ++n;
    return n;
}

// A service marked for deletion goes once it is stopped and no handle refers to it.
void CompleteDeletion() {
    Service& svc = S().service;
    if (svc.installed && svc.markedForDelete && !svc.running && ServiceHandlesOpen() == 0)
        svc = Service{};
}

uint32_t Word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutWord(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool MapPermitsPortRegisters(const std::array<uint8_t, kPermissionMapBytes>& map) {
    for (uint16_t p = kPortFirst; p <= kPortLast; ++p)
        if ((map[p / 8] >> (p % 8)) & 1) return false;
    return true;
}

// Applies the map to the process, and makes the port backend usable with it or gives it back.
bool ActivateMap() {
    State& s = S();
    s.deviceMessage.clear();
    PortBackend* backend = GetPortBackend();
    bool permit = MapPermitsPortRegisters(s.map);
    if (permit && !s.acquired) {
        std::string error;
        if (backend != nullptr && !backend->Acquire(error)) {
            // The port cannot be had: grant the rest of the map but not its registers, so that
            // a command going on regardless faults instead of talking to nothing.
            auto withheld = s.map;
            for (uint16_t p = kPortFirst; p <= kPortLast; ++p)
                withheld[p / 8] = static_cast<uint8_t>(withheld[p / 8] | (1u << (p % 8)));
            ApplyPermissionMap(withheld.data());
            s.deviceMessage = error.empty() ? "the port could not be opened" : error;
            return Fail(kErrorGenFailure);
        }
        s.acquired = true;
    }
    ApplyPermissionMap(s.map.data());
    if (!permit && s.acquired) {
        if (backend != nullptr) backend->Relinquish();
        s.acquired = false;
    }
    return true;
}

} // namespace

ScHandle OpenSCManagerA(const char* machine, const char* database, uint32_t access) {
    Log("OpenSCManagerA");
    if (Injected("OpenSCManagerA")) return nullptr;
    if (machine != nullptr || database != nullptr || access == 0)
        return NoHandle(kErrorInvalidParameter);
    return NewHandle(Kind::Manager);
}

ScHandle CreateServiceA(ScHandle manager, const char* serviceName, const char* displayName,
                        uint32_t access, uint32_t serviceType, uint32_t startType,
                        uint32_t errorControl, const char* binaryPath, const char*, uint32_t*,
                        const char*, const char*, const char*) {
    Log("CreateServiceA", binaryPath != nullptr ? binaryPath : "");
    if (Injected("CreateServiceA")) return nullptr;
    if (!IsHandle(manager, Kind::Manager)) return NoHandle(kErrorInvalidHandle);
    if (serviceName == nullptr || binaryPath == nullptr || displayName == nullptr || access == 0 ||
        serviceType != kServiceKernelDriver || startType > 4 || errorControl > 3)
        return NoHandle(kErrorInvalidParameter);
    Service& svc = S().service;
    if (svc.installed)
        return NoHandle(svc.markedForDelete ? kErrorServiceMarkedForDelete : kErrorServiceExists);
    svc.installed = true;
    svc.name = serviceName;
    svc.binaryPath = binaryPath;
    return NewHandle(Kind::Service);
}

ScHandle OpenServiceA(ScHandle manager, const char* serviceName, uint32_t) {
    Log("OpenServiceA", serviceName != nullptr ? serviceName : "");
    if (Injected("OpenServiceA")) return nullptr;
    if (!IsHandle(manager, Kind::Manager)) return NoHandle(kErrorInvalidHandle);
    const Service& svc = S().service;
    if (serviceName == nullptr || !svc.installed || svc.name != serviceName)
        return NoHandle(kErrorServiceDoesNotExist);
    return NewHandle(Kind::Service);
}

bool StartServiceA(ScHandle service, uint32_t, const char**) {
    Log("StartServiceA");
    if (Injected("StartServiceA")) return false;
    if (!IsHandle(service, Kind::Service)) return Fail(kErrorInvalidHandle);
    Service& svc = S().service;
    if (svc.markedForDelete) return Fail(kErrorServiceMarkedForDelete);
    if (svc.running) return Fail(kErrorServiceAlreadyRunning);
    svc.running = true;
    S().map.fill(0xFF); // a freshly loaded driver forbids every port
    return true;
}

bool ControlService(ScHandle service, uint32_t control, ServiceStatus* status) {
    Log("ControlService", "", control);
    if (Injected("ControlService")) return false;
    if (!IsHandle(service, Kind::Service)) return Fail(kErrorInvalidHandle);
    if (control != kServiceControlStop) return Fail(kErrorInvalidServiceControl);
    Service& svc = S().service;
    if (!svc.running) return Fail(kErrorServiceNotActive);
    svc.running = false;
    if (status != nullptr) {
        *status = ServiceStatus{};
        status->serviceType = kServiceKernelDriver;
        status->currentState = 1; // SERVICE_STOPPED
    }
    return true;
}

bool DeleteService(ScHandle service) {
    Log("DeleteService");
    if (Injected("DeleteService")) return false;
    if (!IsHandle(service, Kind::Service)) return Fail(kErrorInvalidHandle);
    Service& svc = S().service;
    if (svc.markedForDelete) return Fail(kErrorServiceMarkedForDelete);
    svc.markedForDelete = true;
    return true;
}

bool CloseServiceHandle(ScHandle handle) {
    Log("CloseServiceHandle");
    if (Injected("CloseServiceHandle")) return false;
    if (!IsHandle(handle, Kind::Manager) && !IsHandle(handle, Kind::Service))
        return Fail(kErrorInvalidHandle);
    S().handles.erase(reinterpret_cast<uintptr_t>(handle));
    CompleteDeletion();
    return true;
}

Handle CreateFileA(const char* name, uint32_t access, uint32_t shareMode, void*,
                   uint32_t disposition, uint32_t, Handle) {
    Log("CreateFileA", name != nullptr ? name : "");
    if (Injected("CreateFileA")) return InvalidHandle();
    // The device exists while the driver is loaded.
    if (name == nullptr || std::strcmp(name, kDeviceName) != 0 || !S().service.running)
        return BadHandle(kErrorFileNotFound);
    if (access != kGenericReadWrite || shareMode != 0 || disposition != kOpenExisting)
        return BadHandle(kErrorInvalidParameter);
    return NewHandle(Kind::Device);
}

bool DeviceIoControl(Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* bytesReturned, void*) {
    const auto* request = static_cast<const uint8_t*>(in);
    bool whole = request != nullptr && inSize >= 12;
    Log("DeviceIoControl", "", code, whole ? Word(request) : 0, whole ? Word(request + 4) : 0);
    if (bytesReturned != nullptr) *bytesReturned = 0;
    if (Injected("DeviceIoControl")) return false;
    if (!IsHandle(device, Kind::Device)) return Fail(kErrorInvalidHandle);
    if (!whole || out == nullptr || inSize != 12) return Fail(kErrorInvalidParameter);
    if (outSize < 12) return Fail(kErrorInsufficientBuffer);
    uint8_t answer[12] = {};
    uint32_t index = Word(request);
    switch (code) {
    case IOCTL_SET_MAP_BYTE:
        if (index >= kPermissionMapBytes) return Fail(kErrorInvalidParameter);
        S().map[index] = static_cast<uint8_t>(Word(request + 4));
        PutWord(answer, index);
        PutWord(answer + 4, S().map[index]);
        break;
    case IOCTL_GET_MAP_BYTE:
        if (index >= kPermissionMapBytes) return Fail(kErrorInvalidParameter);
        PutWord(answer, index);
        PutWord(answer + 4, S().map[index]);
        break;
    case IOCTL_ACTIVATE_MAP:
        if (!ActivateMap()) return false;
        break;
    default:
        return Fail(kErrorInvalidFunction);
    }
    std::memcpy(out, answer, sizeof answer);
    if (bytesReturned != nullptr) *bytesReturned = 12;
    return true;
}

bool CloseHandle(Handle handle) {
    Log("CloseHandle");
    if (Injected("CloseHandle")) return false;
    if (!IsHandle(handle, Kind::Device)) return Fail(kErrorInvalidHandle);
    S().handles.erase(reinterpret_cast<uintptr_t>(handle));
    return true;
}

uint32_t GetLastError() {
    Log("GetLastError");
    return S().lastError;
}

std::string ProgramFilePath() {
#ifdef __linux__
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) return std::string(path, static_cast<size_t>(n));
#endif
    return "";
}

std::string DeviceMessage() {
    return S().deviceMessage;
}

namespace standin {

namespace {
// On the NT family only backends with port instructions need the driver; the stand-in device
// acquires whatever backend is active, so every claim goes through it.
class StandinClaim final : public QziopmClaim {
  public:
    bool Needed(const PortBackend*) const override { return true; }
};
StandinClaim standinClaim;
} // namespace

void Reset() {
    S() = State{};
    PermitAllPorts(false);
    SetPortPermissionDriver(&standinClaim);
    GuardPortAccesses(true);
}

const std::vector<Call>& Calls() {
    return S().calls;
}

std::vector<std::string> CallNames(bool withGetLastError) {
    std::vector<std::string> names;
    for (const Call& c : S().calls)
        if (withGetLastError || c.name != "GetLastError") names.push_back(c.name);
    return names;
}

void ClearCalls() {
    S().calls.clear();
}

void FailCall(const std::string& name, uint32_t error) {
    S().failures[name] = error;
}
void ClearFailures() {
    S().failures.clear();
}

bool ServiceInstalled() {
    return S().service.installed;
}
bool ServiceRunning() {
    return S().service.running;
}
std::string ServiceBinaryPath() {
    return S().service.binaryPath;
}
int OpenHandleCount() {
    return static_cast<int>(S().handles.size());
}

uint8_t MapByte(uint16_t index) {
    return index < kPermissionMapBytes ? S().map[index] : 0xFF;
}
void SetMapByteDirect(uint16_t index, uint8_t value) {
    if (index < kPermissionMapBytes) S().map[index] = value;
}

bool BackendAcquired() {
    return S().acquired;
}

} // namespace standin

} // namespace tapster::win

#endif
