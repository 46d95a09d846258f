#include "port/qziopm_claim.h"

#include "port/port_backend.h"
#include "port/qziopm.h"

namespace tapster {

namespace {

// The last port of a three-port range, kept inside the 16-bit port space.
uint16_t RangeEnd(uint16_t base) {
    return base > 0xFFFD ? 0xFFFF : static_cast<uint16_t>(base + 2);
}

// Folds one step's result into the claim's: the first failure names the hint.
void Step(bool& ok, std::string& hint, int32_t result, const char* step) {
    if (result == 0) return;
    if (ok)
        hint = std::string(step) + " failed: " + ErrorMessageText(result) + " (" +
               std::to_string(result) + ")";
    ok = false;
}

} // namespace

bool QziopmClaim::Needed(const PortBackend* backend) const {
    return backend == nullptr || backend->UsesPortInstructions();
}

bool QziopmClaim::Claim(uint16_t first, uint16_t second, std::string& hint) {
    TQZIOPM_Driver& driver = QZIOPMDriver();
    bool ok = true;
    Step(ok, hint, driver.ConnectManager(), "Connecting to the service manager");
    int32_t r = driver.InstallDriver();
    Step(ok, hint, r == win::kErrorServiceExists ? 0 : r, "Installing the qziopm driver");
    r = driver.StartDriver();
    Step(ok, hint, r == win::kErrorServiceAlreadyRunning ? 0 : r, "Starting the qziopm driver");
    Step(ok, hint, driver.OpenDevice(), "Opening the qziopm device");
    Step(ok, hint, driver.SetPortRangeAccess(first, RangeEnd(first), true), "Permitting the port");
    Step(ok, hint, driver.SetPortRangeAccess(second, RangeEnd(second), true),
         "Permitting the port");
    r = driver.ActivateMap();
    Step(ok, hint, r, "Activating the permission map");
    // The device's own account of a port it could not make usable says more than the code.
    if (r != 0) {
        std::string message = win::DeviceMessage();
        if (!message.empty()) hint = message;
    }
    return ok;
}

bool QziopmClaim::Release(uint16_t first, uint16_t second) {
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

} // namespace tapster
