#include "port/remote_bitbang_backend.h"
#include "port/lpt_registers.h"

#ifdef TAPSTER_HAVE_REMOTE_BACKEND

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tapster {

namespace {

constexpr uint16_t kDataPort = kLptDataPort;
constexpr uint16_t kStatusPort = kLptStatusPort;
constexpr size_t kFlushAt = 4096; // bounds the queue on long runs of writes

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

void RemoteBitbangBackend::Queue(char c) {
    pending.push_back(c);
    if (pending.size() >= kFlushAt) Flush();
}

bool RemoteBitbangBackend::Flush() {
    if (fd < 0) {
        pending.clear();
        return false;
    }
    size_t sent = 0;
    while (sent < pending.size()) {
        ssize_t n = ::send(fd, pending.data() + sent, pending.size() - sent, kSendFlags);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) { // the peer is gone or stopped reading past the timeout
            Drop();
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    pending.clear();
    return true;
}

void RemoteBitbangBackend::Drop() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    pending.clear();
}

void RemoteBitbangBackend::WriteRegister(uint16_t reg, uint8_t value) {
    if (fd < 0 || reg != kDataPort) return;
    int control = (value >> 3) & 1;
    if (control != lastControl) {
        Queue(control != 0 ? 'r' : 's');
        lastControl = control;
    }
    int tms = value & 1;
    int tck = (value >> 1) & 1;
    int tdi = (value >> 2) & 1;
    Queue(static_cast<char>('0' + (tck << 2 | tms << 1 | tdi)));
}

uint8_t RemoteBitbangBackend::ReadRegister(uint16_t reg) {
    const uint8_t tdoHigh = kRemoteStatusIdle | kRemoteStatusTdo;
    if (reg != kStatusPort || fd < 0) return tdoHigh;
    Queue('R');
    if (!Flush()) return tdoHigh;
    char answer = 0;
    ssize_t n = -1;
    for (int attempt = 0; attempt < 8; ++attempt) { // a few retries after signals, no more
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, timeoutMs);
        if (rc < 0 && errno == EINTR) continue;
        if (rc <= 0) break;
        n = ::recv(fd, &answer, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    if (n != 1) { // closed, failed or silent past the timeout
        Drop();
        return tdoHigh;
    }
    return answer == '0' ? kRemoteStatusIdle : tdoHigh;
}

bool RemoteBitbangBackend::Acquire(std::string& error) {
    if (fd >= 0) return true;
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
    lastControl = -1;
    return true;
}

void RemoteBitbangBackend::Relinquish() {
    if (fd < 0) return;
    Queue('Q');
    Flush();
    Drop();
}

} // namespace tapster

#endif
