// Control of the stand-in service manager and qziopm device outside Windows, for tests: a log of
// every facade call in order, failures to inject, and a look at the service and the map.
#pragma once

#ifndef _WIN32

#include <cstdint>
#include <string>
#include <vector>

namespace tapster::win::standin {

struct Call {
    std::string name;   // the facade function, e.g. "DeviceIoControl"
    std::string text;   // service name, binary path or device name where the call takes one
    uint32_t code = 0;  // DeviceIoControl: the I/O-control code; ControlService: the control
    uint32_t word0 = 0; // DeviceIoControl: request words 0 and 1
    uint32_t word1 = 0;
};

// Back to program start on the NT family: no service, no open handles, the map all forbidden, no
// failures injected, an empty log, no port permitted and no backend acquired; every port claim
// goes through the qziopm driver wrapper against this stand-in, and every port access is checked
// against the permission it grants. A backend acquired before is forgotten, not relinquished
// (tests own their backends).
void Reset();

const std::vector<Call>& Calls();
// The names of the logged calls; GetLastError is left out unless asked for.
std::vector<std::string> CallNames(bool withGetLastError = false);
void ClearCalls();

// From now on every call of the named facade function fails with `error` (GetLastError).
void FailCall(const std::string& name, uint32_t error);
void ClearFailures();

bool ServiceInstalled();
bool ServiceRunning();
std::string ServiceBinaryPath();
int OpenHandleCount();

// The device's permission map, as the driver holds it.
uint8_t MapByte(uint16_t index);
void SetMapByteDirect(uint16_t index, uint8_t value);

// True while the device has the active port backend acquired.
bool BackendAcquired();

} // namespace tapster::win::standin

#endif
