#include "port/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace tapster::net {

namespace {

// Winsock is started once for the process and left running until it ends.
bool Started() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

std::string ErrorText(int code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message =
        length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

// 1 when the socket is ready as asked, 0 after waitMs, -1 on an error.
int Wait(SOCKET s, int waitMs, bool write) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv{waitMs / 1000, (waitMs % 1000) * 1000};
    const int rc = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &tv);
    if (rc == SOCKET_ERROR) return -1;
    if (rc == 0) return 0;
    return FD_ISSET(s, &ready) ? 1 : -1;
}

Handle ConnectWithin(const addrinfo* ai, int timeoutMs, std::string& why) {
    SOCKET s = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s == INVALID_SOCKET) {
        why = ErrorText(WSAGetLastError());
        return kNone;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    int rc = connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen));
    int error = rc == 0 ? 0 : WSAGetLastError();
    if (rc != 0 && error == WSAEWOULDBLOCK) {
        const int ready = Wait(s, timeoutMs, true);
        int soError = 0;
        int length = sizeof soError;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
        error = ready == 0 ? WSAETIMEDOUT : (ready > 0 && soError == 0 ? 0 : soError);
        if (ready < 0 && error == 0) error = WSAECONNREFUSED;
    }
    if (error != 0) {
        why = ErrorText(error);
        closesocket(s);
        return kNone;
    }
    nonBlocking = 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    const DWORD ms = static_cast<DWORD>(timeoutMs);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    const BOOL one = TRUE;
    // Every read is a round trip.
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<Handle>(s);
}

} // namespace

Handle Connect(const std::string& host, const std::string& service, int timeoutMs,
               bool& unknownHost, std::string& why) {
    unknownHost = false;
    if (!Started()) {
        why = "Winsock 2 could not be started";
        return kNone;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        unknownHost = true;
        why = ErrorText(rc);
        return kNone;
    }
    why = "no address";
    Handle s = kNone;
    for (addrinfo* ai = found; ai != nullptr && s == kNone; ai = ai->ai_next)
        s = ConnectWithin(ai, timeoutMs, why);
    freeaddrinfo(found);
    return s;
}

long Send(Handle socket, const char* data, size_t size) {
    const int n = send(static_cast<SOCKET>(socket), data, static_cast<int>(size), 0);
    return n > 0 ? n : -1;
}

long Receive(Handle socket, char* buffer, size_t size) {
    const int n = recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int WaitReadable(Handle socket, int waitMs) {
    return Wait(static_cast<SOCKET>(socket), waitMs, false);
}

bool ClosedByPeer(Handle socket) {
    if (WaitReadable(socket, 0) <= 0) return false;
    char c = 0;
    return recv(static_cast<SOCKET>(socket), &c, 1, MSG_PEEK) <= 0;
}

void Close(Handle socket) {
    if (socket != kNone) closesocket(static_cast<SOCKET>(socket));
}

} // namespace tapster::net
