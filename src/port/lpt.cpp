#include "port/lpt.h"

#include "port/platform.h"
#include "port/port_backend.h"

#ifdef _WIN32
#include "port/qziopm_claim.h"
#endif

namespace tapster {

namespace {

std::string claimHint;

#ifdef _WIN32
QziopmClaim qziopmClaim;
PortPermissionDriver* permissionDriver = &qziopmClaim;
#else
PortPermissionDriver* permissionDriver = nullptr;
#endif

bool DriverNeeded() {
    return permissionDriver != nullptr && permissionDriver->Needed(GetPortBackend());
}

} // namespace

void SetPortPermissionDriver(PortPermissionDriver* driver) {
    permissionDriver = driver;
}

std::string GetWindowsFamily() {
    uint32_t platformId = 0;
    if (!platform::GetPlatformId(platformId)) return "";
    if (platformId == 2) return kFamilyNt;
    if (platformId == 1) return kFamily9x;
    return "";
}

// Where the claim's ports stand on the chosen port.
uint16_t At(uint16_t port) {
    const PortBackend* backend = GetPortBackend();
    return backend != nullptr ? backend->IoAddress(port) : port;
}

bool ClaimPort(uint16_t first, uint16_t second) {
    claimHint.clear();
    if (DriverNeeded()) return permissionDriver->Claim(At(first), At(second), claimHint);
    PortBackend* backend = GetPortBackend();
    std::string error;
    if (backend == nullptr || backend->Acquire(error)) return true;
    claimHint = error.empty() ? "the port could not be opened" : error;
    return false;
}

bool ReleasePort(uint16_t first, uint16_t second) {
    if (DriverNeeded()) return permissionDriver->Release(At(first), At(second));
    if (PortBackend* backend = GetPortBackend()) backend->Relinquish();
    return true;
}

std::string LastPortClaimHint() {
    return claimHint;
}

} // namespace tapster
