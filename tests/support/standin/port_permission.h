// The permission for port instructions that the running process holds, as the operating system
// would enforce it: the stand-in permission driver sets it when its map is activated, and the
// port guard checks every access against it on its way to the port backend.
#pragma once

#include <cstdint>

namespace tapster {

constexpr int kPermissionMapBytes = 8192;

// Applies an I/O permission map (x86 layout: port p is bit p%8 of byte p/8; a clear bit allows).
void ApplyPermissionMap(const uint8_t* map);
// Allows every port (tests of code below the claim) or none (start of the process).
void PermitAllPorts(bool permit);
bool PortPermitted(uint16_t port);

// While the guard is on, an access to a port that the permission does not allow is a hard
// fault: it does not reach the backend (a read gives 0xFF) and the handler is called. The
// default handler prints the address and aborts; tests install their own to see a missing claim.
void GuardPortAccesses(bool on);
using PortFaultHandler = void (*)(uint16_t port, bool write);
void SetPortFaultHandler(PortFaultHandler handler);

} // namespace tapster
