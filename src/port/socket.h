// The few TCP calls the remote cable makes, over POSIX sockets or Winsock 2: one client, one
// implementation above this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tapster::net {

#ifdef _WIN32
using Handle = uintptr_t; // a SOCKET
#else
using Handle = int;
#endif
inline constexpr Handle kNone = static_cast<Handle>(-1);

// Connects to the first address of host:service that answers within timeoutMs, with timeoutMs
// for every later send and receive and no delay for small writes. kNone on failure, with
// `unknownHost` set when the name did not resolve and `why` the system's text.
Handle Connect(const std::string& host, const std::string& service, int timeoutMs,
               bool& unknownHost, std::string& why);
// Bytes sent, or -1 when the peer is gone or stopped reading past the timeout.
long Send(Handle socket, const char* data, size_t size);
// Bytes received; 0 when the peer closed, -1 on an error or past the timeout.
long Receive(Handle socket, char* buffer, size_t size);
// 1 when something can be read (or the peer closed), 0 after waitMs, -1 on an error.
int WaitReadable(Handle socket, int waitMs);
// True when the peer has closed and nothing is left to read; never waits.
bool ClosedByPeer(Handle socket);
void Close(Handle socket);

} // namespace tapster::net
