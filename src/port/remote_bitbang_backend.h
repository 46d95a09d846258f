// The cable's pins carried to a JTAG server over OpenOCD's remote_bitbang TCP protocol, so the
// JTAG code can drive any adapter (or the simulated board's server) that speaks it. POSIX
// sockets only; on Windows the backend does not exist.
#pragma once

#ifndef _WIN32
#define TAPSTER_HAVE_REMOTE_BACKEND 1

#include "port/port_backend.h"

#include <cstdint>
#include <string>

namespace tapster {

// The status byte a read of 0x379 returns: only bit 0x10 (TDO) carries anything; the other bits
// hold this fixed idle pattern.
constexpr uint8_t kRemoteStatusIdle = 0x6F;
constexpr uint8_t kRemoteStatusTdo = 0x10;

// Splits "HOST:PORT" (the host may be a name, an IPv4 address or a bracketed IPv6 address).
bool ParseRemoteAddress(const std::string& text, std::string& host, uint16_t& port,
                        std::string& error);

class RemoteBitbangBackend : public PortBackend {
  public:
    // timeoutMs bounds the connection, every send and every wait for a TDO answer.
    RemoteBitbangBackend(std::string host, uint16_t port, int timeoutMs = 2000);
    ~RemoteBitbangBackend() override;

    // A write of the data register (0x378) queues '0'..'7' for TCK (D1), TMS (D0) and TDI (D2),
    // preceded by 'r' or 's' when the control line D3 changes (low holds the target in reset:
    // SRST asserted, 's'; high: 'r'; TRST is never asserted).
    void WriteRegister(uint16_t port, uint8_t value) override;
    // A read of the status register (0x379) flushes the queue, sends 'R' and waits for '0' or
    // '1'. A lost connection reads as TDO = 1, as a cable without a target does.
    uint8_t ReadRegister(uint16_t port) override;
    // Connects; false with a message naming the server when it cannot be reached.
    bool Acquire(std::string& error) override;
    // Flushes, sends 'Q' and disconnects.
    void Relinquish() override;
    std::string Name() const override;

    bool Connected() const { return fd >= 0; }

  private:
    void Queue(char c);
    bool Flush();
    void Drop();

    std::string host;
    uint16_t port;
    int timeoutMs;
    int fd = -1;
    std::string pending;
    int lastControl = -1; // unknown until the first write
};

} // namespace tapster

#endif
