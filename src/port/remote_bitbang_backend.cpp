#include "port/remote_bitbang_backend.h"
#include "port/lpt_registers.h"

#include "port/socket.h"

#include <algorithm>
#include <chrono>
#include <string_view>

namespace tapster {

namespace {

constexpr uint16_t kDataPort = kLptDataPort;
constexpr uint16_t kStatusPort = kLptStatusPort;
// Requests go out in batches of this size, so the server works while the host clocks on.
constexpr size_t kFlushAt = 2048;
// How long a claim listens for a server that refuses the connection at once.
constexpr int kRefusalWaitMs = 50;
constexpr int kQueuedOnWire = -1;
constexpr uint8_t kTdoHigh = kLptStatusIdle | kPinTdo;

} // namespace

bool ParseRemoteAddress(const std::string& text, std::string& host, uint16_t& port,
                        std::string& error) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        error = "a remote port is given as HOST:PORT, not '" + text + "'";
        return false;
    }
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    unsigned long value = 0;
    for (char c : text.substr(colon + 1)) {
        if (c < '0' || c > '9' || value > 65535) {
            error = "bad TCP port in '" + text + "'";
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535) {
        error = "bad TCP port in '" + text + "'";
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

RemoteBitbangBackend::RemoteBitbangBackend(std::string host, uint16_t port, int timeoutMs)
    : host_(std::move(host)), port_(port), timeoutMs_(timeoutMs > 0 ? timeoutMs : 1) {}

RemoteBitbangBackend::~RemoteBitbangBackend() {
    Relinquish();
}

std::string RemoteBitbangBackend::Name() const {
    return "remote:" + host_ + ":" + std::to_string(port_);
}

std::string RemoteBitbangBackend::Address() const {
    return (host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_) + ":" +
           std::to_string(port_);
}

std::string RemoteBitbangBackend::LostMessage() const {
    return busy_ ? "the board server at " + Address() + " is serving another client"
                 : "lost the connection to the board server at " + Address();
}

void RemoteBitbangBackend::Queue(char c) {
    pending_.push_back(c);
    if (pending_.size() >= kFlushAt) SendBuffered();
}

bool RemoteBitbangBackend::SendBuffered() {
    if (fd_ == net::kNone) {
        pending_.clear();
        return false;
    }
    size_t sent = 0;
    while (sent < pending_.size()) {
        const long n = net::Send(fd_, pending_.data() + sent, pending_.size() - sent);
        if (n <= 0) { // the peer is gone or stopped reading past the timeout
            Drop(true);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    pending_.clear();
    lastTraffic_ = std::chrono::steady_clock::now();
    return true;
}

void RemoteBitbangBackend::Flush() {
    SendBuffered();
}

// Waits up to waitMs for answers and appends all that have arrived; false when none came.
bool RemoteBitbangBackend::ReceiveSome(int waitMs) {
    if (inboxTaken_ == inbox_.size()) {
        inbox_.clear();
        inboxTaken_ = 0;
    }
    char buffer[16384];
    // The full timeout is the socket's own (its receive timeout): one call per answer, no wait.
    if (waitMs < timeoutMs_ && net::WaitReadable(fd_, waitMs) <= 0) return false;
    const long n = net::Receive(fd_, buffer, sizeof buffer);
    if (n <= 0) return false;
    inbox_.append(buffer, static_cast<size_t>(n));
    return true;
}

void RemoteBitbangBackend::Drop(bool lostConnection) {
    net::Close(fd_);
    fd_ = net::kNone;
    pending_.clear();
    inbox_.clear();
    inboxTaken_ = 0;
    if (lostConnection) lost_ = true;
}

// The next answer of the server, waiting for it when it has not arrived.
uint8_t RemoteBitbangBackend::Answer() {
    if (fd_ == net::kNone) return kTdoHigh;
    if (inboxTaken_ == inbox_.size()) {
        if (!SendBuffered()) return kTdoHigh;
        if (!ReceiveSome(timeoutMs_)) { // closed, failed or silent past the timeout
            Drop(true);
            return kTdoHigh;
        }
    }
    const char answer = inbox_[inboxTaken_];
    if (answer == '0' || answer == '1') {
        ++inboxTaken_;
        return answer == '0' ? kLptStatusIdle : kTdoHigh;
    }
    // Not an answer: the server refuses us, or it does not speak the protocol.
    const std::string_view notice(kRemoteBusyNotice);
    const std::string_view got = std::string_view(inbox_).substr(inboxTaken_);
    if (notice.substr(0, std::min(notice.size(), got.size())) == got.substr(0, notice.size()))
        busy_ = true;
    Drop(true);
    return kTdoHigh;
}

void RemoteBitbangBackend::WriteRegister(uint16_t reg, uint8_t value) {
    if (fd_ == net::kNone || reg != kDataPort) return;
    if (pending_.empty()) ReconnectIfClosedWhileIdle();
    int control = (value & kPinControl) != 0 ? 1 : 0;
    if (control != lastControl_) {
        Queue(control != 0 ? 'r' : 's');
        lastControl_ = control;
    }
    int tms = (value & kPinTms) != 0 ? 1 : 0;
    int tck = (value & kPinTck) != 0 ? 1 : 0;
    int tdi = (value & kPinTdi) != 0 ? 1 : 0;
    Queue(static_cast<char>('0' + (tck << 2 | tms << 1 | tdi)));
}

void RemoteBitbangBackend::QueueSample(uint16_t reg) {
    if (pending_.empty()) ReconnectIfClosedWhileIdle();
    if (reg != kStatusPort || fd_ == net::kNone) {
        queued_.push_back(kTdoHigh);
        return;
    }
    Queue('R');
    queued_.push_back(kQueuedOnWire);
}

uint8_t RemoteBitbangBackend::ReadSample() {
    if (queued_.empty()) return kTdoHigh;
    const int entry = queued_.front();
    queued_.pop_front();
    return entry == kQueuedOnWire ? Answer() : static_cast<uint8_t>(entry);
}

uint8_t RemoteBitbangBackend::ReadRegister(uint16_t reg) {
    if (reg != kStatusPort || fd_ == net::kNone) return kTdoHigh;
    // The answers to samples still queued come first; keep them for ReadSample.
    for (int& entry : queued_)
        if (entry == kQueuedOnWire) entry = Answer();
    if (fd_ == net::kNone) return kTdoHigh;
    Queue('R');
    return Answer();
}

bool RemoteBitbangBackend::Acquire(std::string& error) {
    if (fd_ != net::kNone) return true;
    return Connect(error);
}

// A server drops a client that stays silent too long (tapcheck-board after its stall timeout),
// and a claim outlives the commands: when the connection closed while nothing was under way,
// connect again before the next request instead of finding it lost in the middle of a command.
void RemoteBitbangBackend::ReconnectIfClosedWhileIdle() {
    if (fd_ == net::kNone || !pending_.empty() || !queued_.empty() || inboxTaken_ != inbox_.size())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTraffic_ < std::chrono::milliseconds(kIdleCheckMs)) return;
    lastTraffic_ = now;
    if (!net::ClosedByPeer(fd_)) return; // nothing, or data rather than a close
    Drop(false);
    std::string error;
    if (!Connect(error)) lost_ = true;
}

bool RemoteBitbangBackend::Connect(std::string& error) {
    const std::string service = std::to_string(port_);
    bool unknownHost = false;
    std::string why;
    fd_ = net::Connect(host_, service, timeoutMs_, unknownHost, why);
    if (unknownHost) {
        error = "Cannot find the remote_bitbang server " + host_ + ": " + why;
        return false;
    }
    if (fd_ == net::kNone) {
        error = "Cannot connect to the remote_bitbang server " + host_ + ":" + service + " (" +
                why +
                "). Check that the server (OpenOCD's remote_bitbang or tapcheck-board) "
                "is running there.";
        return false;
    }
    pending_.clear();
    inbox_.clear();
    inboxTaken_ = 0;
    queued_.clear();
    lastControl_ = -1;
    lost_ = false;
    busy_ = false;
    lastTraffic_ = std::chrono::steady_clock::now();
    // A server that cannot serve us says so, or hangs up, as soon as it accepts.
    if (net::WaitReadable(fd_, kRefusalWaitMs) > 0) {
        char first[64];
        const long n = net::Receive(fd_, first, sizeof first);
        if (n <= 0 || first[0] == kRemoteBusyNotice[0]) {
            busy_ = n > 0;
            Drop(false);
            error = busy_ ? "the board server at " + Address() + " is serving another client"
                          : "the board server at " + Address() + " closed the connection at once";
            return false;
        }
    }
    return true;
}

void RemoteBitbangBackend::Relinquish() {
    if (fd_ == net::kNone) return;
    Queue('Q');
    SendBuffered();
    Drop(false);
}

} // namespace tapster
