#include "port/remote_bitbang_backend.h"
#include "port/lpt_registers.h"

#ifdef TAPSTER_HAVE_REMOTE_BACKEND

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

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

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL; // a closed peer must not kill the process
#else
constexpr int kSendFlags = 0;
#endif

// Connects with a bounded wait; -1 with errno-style text in `why` on failure.
int ConnectWithin(const addrinfo* ai, int timeoutMs, std::string& why) {
    int s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s < 0) {
        why = std::strerror(errno);
        return -1;
    }
    int flags = ::fcntl(s, F_GETFL, 0);
    ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(s, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{s, POLLOUT, 0};
        rc = ::poll(&p, 1, timeoutMs);
        if (rc == 0) {
            errno = ETIMEDOUT;
            rc = -1;
        } else if (rc > 0) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
            errno = err;
            rc = err == 0 ? 0 : -1;
        }
    }
    if (rc != 0) {
        why = std::strerror(errno);
        ::close(s);
        return -1;
    }
    ::fcntl(s, F_SETFL, flags);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // every read is a round trip
#ifdef SO_NOSIGPIPE
    ::setsockopt(s, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    return s;
}

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
    : host(std::move(host)), port(port), timeoutMs(timeoutMs > 0 ? timeoutMs : 1) {}

RemoteBitbangBackend::~RemoteBitbangBackend() {
    Relinquish();
}

std::string RemoteBitbangBackend::Name() const {
    return "remote:" + host + ":" + std::to_string(port);
}

std::string RemoteBitbangBackend::Address() const {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

std::string RemoteBitbangBackend::LostMessage() const {
    return busy ? "the board server at " + Address() + " is serving another client"
                : "lost the connection to the board server at " + Address();
}

void RemoteBitbangBackend::Queue(char c) {
    pending.push_back(c);
    if (pending.size() >= kFlushAt) SendBuffered();
}

bool RemoteBitbangBackend::SendBuffered() {
    if (fd < 0) {
        pending.clear();
        return false;
    }
    size_t sent = 0;
    while (sent < pending.size()) {
        ssize_t n = ::send(fd, pending.data() + sent, pending.size() - sent, kSendFlags);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) { // the peer is gone or stopped reading past the timeout
            Drop(true);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    pending.clear();
    lastTraffic = std::chrono::steady_clock::now();
    return true;
}

void RemoteBitbangBackend::Flush() {
    SendBuffered();
}

// Waits up to waitMs for answers and appends all that have arrived; false when none came.
bool RemoteBitbangBackend::ReceiveSome(int waitMs) {
    if (inboxTaken == inbox.size()) {
        inbox.clear();
        inboxTaken = 0;
    }
    char buffer[16384];
    for (int attempt = 0; attempt < 8; ++attempt) { // a few retries after signals, no more
        // The full timeout is the socket's own (SO_RCVTIMEO): one call per answer, no poll.
        if (waitMs < timeoutMs) {
            pollfd p{fd, POLLIN, 0};
            const int rc = ::poll(&p, 1, waitMs);
            if (rc < 0 && errno == EINTR) continue;
            if (rc <= 0) return false;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        inbox.append(buffer, static_cast<size_t>(n));
        return true;
    }
    return false;
}

void RemoteBitbangBackend::Drop(bool lostConnection) {
    if (fd >= 0) ::close(fd);
    fd = -1;
    pending.clear();
    inbox.clear();
    inboxTaken = 0;
    if (lostConnection) lost = true;
}

// The next answer of the server, waiting for it when it has not arrived.
uint8_t RemoteBitbangBackend::Answer() {
    if (fd < 0) return kTdoHigh;
    if (inboxTaken == inbox.size()) {
        if (!SendBuffered()) return kTdoHigh;
        if (!ReceiveSome(timeoutMs)) { // closed, failed or silent past the timeout
            Drop(true);
            return kTdoHigh;
        }
    }
    const char answer = inbox[inboxTaken];
    if (answer == '0' || answer == '1') {
        ++inboxTaken;
        return answer == '0' ? kLptStatusIdle : kTdoHigh;
    }
    // Not an answer: the server refuses us, or it does not speak the protocol.
    const std::string_view notice(kRemoteBusyNotice);
    const std::string_view got = std::string_view(inbox).substr(inboxTaken);
    if (notice.substr(0, std::min(notice.size(), got.size())) == got.substr(0, notice.size()))
        busy = true;
    Drop(true);
    return kTdoHigh;
}

void RemoteBitbangBackend::WriteRegister(uint16_t reg, uint8_t value) {
    if (fd < 0 || reg != kDataPort) return;
    if (pending.empty()) ReconnectIfClosedWhileIdle();
    int control = (value & kPinControl) != 0 ? 1 : 0;
    if (control != lastControl) {
        Queue(control != 0 ? 'r' : 's');
        lastControl = control;
    }
    int tms = (value & kPinTms) != 0 ? 1 : 0;
    int tck = (value & kPinTck) != 0 ? 1 : 0;
    int tdi = (value & kPinTdi) != 0 ? 1 : 0;
    Queue(static_cast<char>('0' + (tck << 2 | tms << 1 | tdi)));
}

void RemoteBitbangBackend::QueueSample(uint16_t reg) {
    if (pending.empty()) ReconnectIfClosedWhileIdle();
    if (reg != kStatusPort || fd < 0) {
        queued.push_back(kTdoHigh);
        return;
    }
    Queue('R');
    queued.push_back(kQueuedOnWire);
}

uint8_t RemoteBitbangBackend::ReadSample() {
    if (queued.empty()) return kTdoHigh;
    const int entry = queued.front();
    queued.pop_front();
    return entry == kQueuedOnWire ? Answer() : static_cast<uint8_t>(entry);
}

uint8_t RemoteBitbangBackend::ReadRegister(uint16_t reg) {
    if (reg != kStatusPort || fd < 0) return kTdoHigh;
    // The answers to samples still queued come first; keep them for ReadSample.
    for (int& entry : queued)
        if (entry == kQueuedOnWire) entry = Answer();
    if (fd < 0) return kTdoHigh;
    Queue('R');
    return Answer();
}

bool RemoteBitbangBackend::Acquire(std::string& error) {
    if (fd >= 0) return true;
    return Connect(error);
}

// A server drops a client that stays silent too long (tapcheck-board after its stall timeout),
// and a claim outlives the commands: when the connection closed while nothing was under way,
// connect again before the next request instead of finding it lost in the middle of a command.
void RemoteBitbangBackend::ReconnectIfClosedWhileIdle() {
    if (fd < 0 || !pending.empty() || !queued.empty() || inboxTaken != inbox.size()) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTraffic < std::chrono::milliseconds(kIdleCheckMs)) return;
    lastTraffic = now;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    char c = 0;
    if (::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0) return; // data, not a close
    Drop(false);
    std::string error;
    if (!Connect(error)) lost = true;
}

bool RemoteBitbangBackend::Connect(std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        error = "Cannot find the remote_bitbang server " + host + ": " + ::gai_strerror(rc);
        return false;
    }
    std::string why = "no address";
    for (addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next)
        fd = ConnectWithin(ai, timeoutMs, why);
    ::freeaddrinfo(found);
    if (fd < 0) {
        error = "Cannot connect to the remote_bitbang server " + host + ":" + service + " (" + why +
                "). Check that the server (OpenOCD's remote_bitbang or tapcheck-board) "
                "is running there.";
        return false;
    }
    pending.clear();
    inbox.clear();
    inboxTaken = 0;
    queued.clear();
    lastControl = -1;
    lost = false;
    busy = false;
    lastTraffic = std::chrono::steady_clock::now();
    // A server that cannot serve us says so, or hangs up, as soon as it accepts.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kRefusalWaitMs) > 0) {
        char first[64];
        const ssize_t n = ::recv(fd, first, sizeof first, 0);
        if (n <= 0 || first[0] == kRemoteBusyNotice[0]) {
            busy = n > 0;
            Drop(false);
            error = busy ? "the board server at " + Address() + " is serving another client"
                         : "the board server at " + Address() + " closed the connection at once";
            return false;
        }
    }
    return true;
}

void RemoteBitbangBackend::Relinquish() {
    if (fd < 0) return;
    Queue('Q');
    SendBuffered();
    Drop(false);
}

} // namespace tapster

#endif
