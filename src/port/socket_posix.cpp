#include "port/socket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tapster::net {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL; // a closed peer must not kill the process
#else
constexpr int kSendFlags = 0;
#endif

Handle ConnectWithin(const addrinfo* ai, int timeoutMs, std::string& why) {
    int s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s < 0) {
        why = std::strerror(errno);
        return kNone;
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
        return kNone;
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

Handle Connect(const std::string& host, const std::string& service, int timeoutMs,
               bool& unknownHost, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    unknownHost = rc != 0;
    if (rc != 0) {
        why = ::gai_strerror(rc);
        return kNone;
    }
    why = "no address";
    Handle s = kNone;
    for (addrinfo* ai = found; ai != nullptr && s == kNone; ai = ai->ai_next)
        s = ConnectWithin(ai, timeoutMs, why);
    ::freeaddrinfo(found);
    return s;
}

long Send(Handle socket, const char* data, size_t size) {
    for (int attempt = 0; attempt < 8; ++attempt) { // a few retries after signals, no more
        const ssize_t n = ::send(socket, data, size, kSendFlags);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<long>(n) : -1;
    }
    return -1;
}

long Receive(Handle socket, char* buffer, size_t size) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t n = ::recv(socket, buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
    return -1;
}

int WaitReadable(Handle socket, int waitMs) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        pollfd p{socket, POLLIN, 0};
        const int rc = ::poll(&p, 1, waitMs);
        if (rc < 0 && errno == EINTR) continue;
        return rc < 0 ? -1 : (rc > 0 ? 1 : 0);
    }
    return -1;
}

bool ClosedByPeer(Handle socket) {
    if (WaitReadable(socket, 0) <= 0) return false;
    char c = 0;
    return ::recv(socket, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
}

void Close(Handle socket) {
    if (socket != kNone) ::close(socket);
}

} // namespace tapster::net
