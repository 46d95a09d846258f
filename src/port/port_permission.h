// The permission for port instructions that the running process holds. Outside Windows the
// stand-in permission driver sets it when its map is activated; ReadPortByte/WritePortByte check
// it.
#pragma once

#include <cstdint>

namespace tapster {

constexpr int kPermissionMapBytes = 8192;

// Applies an I/O permission map (x86 layout: port p is bit p%8 of byte p/8; a clear bit allows).
void ApplyPermissionMap(const uint8_t* map);
// Allows every port (tests of code below the claim) or none (start of the process).
void PermitAllPorts(bool permit);
bool PortPermitted(uint16_t port);

} // namespace tapster
