// Unit LPT: the platform family and the port claim that makes the parallel-port registers usable:
// through a permission driver where port instructions need one (the NT family), otherwise by the
// port backend acquiring the port itself.
#pragma once

#include <cstdint>
#include <string>

namespace tapster {

class PortBackend;

constexpr const char* kFamilyNt = "Windows NT o superior";
constexpr const char* kFamily9x = "Windows ME, 98 o 95";

// "Windows NT o superior", "Windows ME, 98 o 95", or "" for any other platform or a failed
// version query.
std::string GetWindowsFamily();

// What grants a process the port ranges first..first+2 and second..second+2 (qziopm_claim.h).
class PortPermissionDriver {
  public:
    virtual ~PortPermissionDriver() = default;
    // True when the claim of `backend` (null: port instructions in place) needs the driver.
    virtual bool Needed(const PortBackend* backend) const = 0;
    // False with a hint for the user when the ranges could not be granted.
    virtual bool Claim(uint16_t first, uint16_t second, std::string& hint) = 0;
    virtual bool Release(uint16_t first, uint16_t second) = 0;
};

// The driver claims go through: the qziopm driver on Windows, none elsewhere (every backend is
// acquired directly). Null for none.
void SetPortPermissionDriver(PortPermissionDriver* driver);

// Through the permission driver when the active backend needs it (a service that already exists
// or already runs counts as success), otherwise by acquiring the backend. True when the port is
// usable.
bool ClaimPort(uint16_t first, uint16_t second);

// Undoes the claim: the driver's release (every step runs; true when all succeeded), or the
// backend gives the port back.
bool ReleasePort(uint16_t first, uint16_t second);

// Why the last ClaimPort failed, for a line after "The parallel port could not be opened": the
// port backend's own message (a missing device, no permission, no server) or the first failing
// step with its result text. Empty after a claim that succeeded.
std::string LastPortClaimHint();

} // namespace tapster
