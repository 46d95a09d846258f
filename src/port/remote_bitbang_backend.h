// The cable's pins carried to a JTAG server over OpenOCD's remote_bitbang TCP protocol, so the
// JTAG code can drive any adapter (or the simulated board's server) that speaks it. POSIX
// sockets or Winsock 2, through port/socket.h.
#pragma once

#define TAPSTER_HAVE_REMOTE_BACKEND 1

#include "port/port_backend.h"
#include "port/socket.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

namespace tapster {

// Splits "HOST:PORT" (the host may be a name, an IPv4 address or a bracketed IPv6 address).
bool ParseRemoteAddress(const std::string& text, std::string& host, uint16_t& port,
                        std::string& error);

// What tapcheck-board sends instead of answers to a client it cannot serve now, before it closes
// the connection. No remote_bitbang answer ('0', '1') begins with it.
constexpr const char* kRemoteBusyNotice = "BUSY: serving another client\n";

class RemoteBitbangBackend : public PortBackend {
  public:
    // timeoutMs bounds the connection, every send and every wait for a TDO answer.
    RemoteBitbangBackend(std::string host, uint16_t port, int timeoutMs = 2000);
    ~RemoteBitbangBackend() override;

    // A write of the data register (0x378) buffers '0'..'7' for TCK (D1), TMS (D0) and TDI (D2),
    // preceded by 'r' or 's' when the control line D3 changes (low holds the target in reset:
    // SRST asserted, 's'; high: 'r'; TRST is never asserted).
    void WriteRegister(uint16_t port, uint8_t value) override;
    // A read of the status register (0x379) sends what is buffered with an 'R' and waits for
    // '0' or '1'. A lost connection reads as TDO = 1, as a cable without a target does.
    uint8_t ReadRegister(uint16_t port) override;
    // A queued read of the status register buffers an 'R'; the answers are read only when
    // ReadSample needs one that has not arrived yet.
    void QueueSample(uint16_t port) override;
    uint8_t ReadSample() override;
    size_t SampleBufferSize() const override { return kOutstanding; }
    void Flush() override;
    bool Lost() const override { return lost_; }
    std::string LostMessage() const override;
    // Connects; false with a message naming the server when it cannot be reached or serves
    // another client.
    bool Acquire(std::string& error) override;
    // Sends what is buffered, then 'Q', and disconnects.
    void Relinquish() override;
    std::string Name() const override;

    bool Connected() const { return fd_ != net::kNone; }
    // The server said it serves another client (at the claim or in place of an answer).
    bool Busy() const { return busy_; }
    // "HOST:PORT" as the user gave it.
    std::string Address() const;

    // Answers that may be outstanding at a time: well within any socket buffer, so neither side
    // can block the other while both send.
    static constexpr size_t kOutstanding = 1024;

  private:
    // After this long without traffic a request first checks that the server is still there.
    static constexpr int kIdleCheckMs = 1000;

    bool Connect(std::string& error);
    void ReconnectIfClosedWhileIdle();
    void Queue(char c);
    bool SendBuffered();
    bool ReceiveSome(int waitMs);
    void Drop(bool lostConnection);
    uint8_t Answer();

    std::string host_;
    uint16_t port_;
    int timeoutMs_;
    net::Handle fd_ = net::kNone;
    bool lost_ = false;
    bool busy_ = false;
    std::string pending_;    // requests not yet sent
    std::string inbox_;      // answers received and not yet taken
    size_t inboxTaken_ = 0;  // of inbox
    std::deque<int> queued_; // per queued sample: -1 answered by the server, else its value
    int lastControl_ = -1;   // unknown until the first write
    std::chrono::steady_clock::time_point lastTraffic_;
};

} // namespace tapster
