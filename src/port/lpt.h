// Unit LPT: the platform family and the port claim that makes the parallel-port registers legal
// to use on the NT family (and, outside Windows, makes the port backend usable).
#pragma once

#include <cstdint>
#include <string>

namespace tapster {

constexpr const char* kFamilyNt = "Windows NT o superior";
constexpr const char* kFamily9x = "Windows ME, 98 o 95";

// "Windows NT o superior", "Windows ME, 98 o 95", or "" for any other platform or a failed
// version query.
std::string GetWindowsFamily();

// Installs and starts the permission driver, permits first..first+2 and second..second+2 and
// activates the map. Every step runs even after one has failed; true when all succeeded (a
// service that already exists or already runs counts as success).
bool ClaimPort(uint16_t first, uint16_t second);

// Revokes second..second+2 then first..first+2, activates the map, closes the device, stops and
// removes the driver and disconnects. Every step runs; true when all succeeded.
bool ReleasePort(uint16_t first, uint16_t second);

// Why the last ClaimPort failed, for a line after "The parallel port could not be opened": the
// port backend's own message (a missing device, no permission, no server) or the first failing
// step with its result text. Empty after a claim that succeeded.
std::string LastPortClaimHint();

} // namespace tapster
