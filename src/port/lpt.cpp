#include "port/lpt.h"

#include "port/platform.h"
#include "port/port_backend.h"
#include "port/qziopm.h"

namespace tapster {

namespace {

std::string claimHint;

// The last port of a three-port range, kept inside the 16-bit port space.
uint16_t RangeEnd(uint16_t base) {
    return base > 0xFFFD ? 0xFFFF : static_cast<uint16_t>(base + 2);
}

// Folds one step's result into the claim's: the first failure names the hint.
void Step(bool& ok, int32_t result, const char* step) {
    if (result == 0) return;
    if (ok)
        claimHint = std::string(step) + " failed: " + ErrorMessageText(result) + " (" +
                    std::to_string(result) + ")";
    ok = false;
}

#ifdef _WIN32
// On Windows only a backend that executes port instructions needs the permission driver; the
// simulated board and a remote server are made usable directly, so they work without the driver
// and without administrator rights.
bool NeedsPermissionDriver() {
    const PortBackend* backend = GetPortBackend();
    return backend == nullptr || backend->UsesPortInstructions();
}
#endif

} // namespace

std::string GetWindowsFamily() {
    uint32_t platformId = 0;
    if (!platform::GetPlatformId(platformId)) return "";
    if (platformId == 2) return kFamilyNt;
    if (platformId == 1) return kFamily9x;
    return "";
}

bool ClaimPort(uint16_t first, uint16_t second) {
    claimHint.clear();
#ifdef _WIN32
    if (!NeedsPermissionDriver()) {
        std::string error;
        if (GetPortBackend()->Acquire(error)) return true;
        claimHint = error;
        return false;
    }
#endif
    TQZIOPM_Driver& driver = QZIOPMDriver();
    bool ok = true;
    Step(ok, driver.ConnectManager(), "Connecting to the service manager");
    int32_t r = driver.InstallDriver();
    Step(ok, r == win::kErrorServiceExists ? 0 : r, "Installing the qziopm driver");
    r = driver.StartDriver();
    Step(ok, r == win::kErrorServiceAlreadyRunning ? 0 : r, "Starting the qziopm driver");
    Step(ok, driver.OpenDevice(), "Opening the qziopm device");
    Step(ok, driver.SetPortRangeAccess(first, RangeEnd(first), true), "Permitting the port");
    Step(ok, driver.SetPortRangeAccess(second, RangeEnd(second), true), "Permitting the port");
    r = driver.ActivateMap();
    Step(ok, r, "Activating the permission map");
    // The device's own account of a port it could not make usable says more than the code.
    if (r != 0) {
        std::string message = win::DeviceMessage();
        if (!message.empty()) claimHint = message;
    }
    return ok;
}

bool ReleasePort(uint16_t first, uint16_t second) {
#ifdef _WIN32
    if (!NeedsPermissionDriver()) {
        GetPortBackend()->Relinquish();
        return true;
    }
#endif
    TQZIOPM_Driver& driver = QZIOPMDriver();
    bool ok = true;
    ok = driver.SetPortRangeAccess(second, RangeEnd(second), false) == 0 && ok;
    ok = driver.SetPortRangeAccess(first, RangeEnd(first), false) == 0 && ok;
    ok = driver.ActivateMap() == 0 && ok;
    ok = driver.CloseDevice() == 0 && ok;
    ok = driver.StopDriver() == 0 && ok;
    ok = driver.RemoveDriver() == 0 && ok;
    ok = driver.DisconnectManager() == 0 && ok;
    return ok;
}

std::string LastPortClaimHint() {
    return claimHint;
}

} // namespace tapster
