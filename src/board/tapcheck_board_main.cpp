// tapcheck-board: the simulated board served over OpenOCD's remote_bitbang TCP protocol, so
// independent JTAG software can examine it. One client at a time, until the process is stopped.
#include "board/board.h"
#include "board/preset.h"
#include "board/remote_bitbang_session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#ifndef _WIN32
#include <csignal>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: tapcheck-board [--listen HOST:PORT] [--trace FILE] [PRESET.json]\n"
    "Serves the simulated board over OpenOCD's remote_bitbang protocol.\n"
    "  --listen HOST:PORT  where to listen (default 127.0.0.1:3335; port 0 picks a free one)\n"
    "  --trace FILE        write every instruction the board's CPU executes to FILE (at most\n"
    "                      64 MiB, or the preset's core.traceLimitBytes; a last line says\n"
    "                      where it was cut)\n"
    "  PRESET.json         board preset (default: the built-in board)\n";

struct Options {
    std::string host = "127.0.0.1";
    std::string port = "3335";
    std::string preset;
    std::string trace;
};

// "HOST:PORT" or "[IPv6]:PORT".
bool SplitAddress(const std::string& text, std::string& host, std::string& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    for (char c : port) {
        if (c < '0' || c > '9') return false;
    }
    return port.size() <= 5 && std::stoul(port) <= 65535 && !host.empty();
}

// 0: go on; otherwise the exit code.
int ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string address;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "--listen" && i + 1 < argc) {
            address = argv[++i];
        } else if (arg.rfind("--listen=", 0) == 0) {
            address = arg.substr(9);
        } else if (arg == "--trace" && i + 1 < argc) {
            options.trace = argv[++i];
            continue;
        } else if (arg.rfind("--trace=", 0) == 0 && arg.size() > 8) {
            options.trace = arg.substr(8);
            continue;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "tapcheck-board: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else if (options.preset.empty()) {
            options.preset = arg;
            continue;
        } else {
            std::fprintf(stderr, "tapcheck-board: only one preset file\n%s", kUsage);
            return 2;
        }
        if (!SplitAddress(address, options.host, options.port)) {
            std::fprintf(stderr, "tapcheck-board: --listen expects HOST:PORT, not '%s'\n",
                         address.c_str());
            return 2;
        }
    }
    return 0;
}

#ifndef _WIN32

int Listen(const Options& options, std::string& shown) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(options.host.c_str(), options.port.c_str(), &hints, &found);
    if (rc != 0) {
        std::fprintf(stderr, "tapcheck-board: %s: %s\n", options.host.c_str(), gai_strerror(rc));
        return -1;
    }
    int fd = -1;
    int error = 0;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd < 0) continue;
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 1) != 0) {
            error = errno;
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        std::fprintf(stderr, "tapcheck-board: cannot listen on %s:%s: %s\n", options.host.c_str(),
                     options.port.c_str(), std::strerror(error));
        return -1;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    std::string port = options.port;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
        if (bound.ss_family == AF_INET)
            port = std::to_string(ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port));
        else if (bound.ss_family == AF_INET6)
            port = std::to_string(ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port));
    }
    shown =
        (options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host) +
        ":" + port;
    return fd;
}

bool SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Serves one client until it quits or goes away.
void Serve(int client, tapster::board::RemoteBitbangSession& session) {
    const int yes = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    char buffer[65536];
    std::string answers;
    for (;;) {
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        answers.clear();
        const bool more = session.Handle(std::string_view(buffer, static_cast<size_t>(n)), answers);
        if (!SendAll(client, answers) || !more) return;
    }
}

#endif

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int code = ParseArguments(argc, argv, options); code != 0) return code < 0 ? 0 : code;

    tapster::board::BoardConfig config;
    std::string error;
    if (!options.preset.empty() && !tapster::board::LoadPreset(options.preset, config, error)) {
        std::fprintf(stderr, "tapcheck-board: %s\n", error.c_str());
        return 2;
    }
    if (!options.trace.empty()) config.core.trace = options.trace;
    if (!config.core.trace.empty()) {
        std::FILE* trace = std::fopen(config.core.trace.c_str(), "w");
        if (trace == nullptr) {
            std::fprintf(stderr, "tapcheck-board: cannot create the trace file %s: %s\n",
                         config.core.trace.c_str(), std::strerror(errno));
            return 2;
        }
        std::fclose(trace);
    }

#ifdef _WIN32
    std::fputs("tapcheck-board: serving over TCP is not available on this platform\n", stderr);
    return 1;
#else
    std::signal(SIGPIPE, SIG_IGN); // a client that vanishes must not end the server
    std::string shown;
    const int server = Listen(options, shown);
    if (server < 0) return 1;
    tapster::board::Board board(config);
    tapster::board::RemoteBitbangSession session(board);
    std::printf("tapcheck-board: %s board listening on %s\n", board.Config().cpu.c_str(),
                shown.c_str());
    std::fflush(stdout);
    for (;;) {
        const int client = accept(server, nullptr, nullptr);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            std::fprintf(stderr, "tapcheck-board: accept: %s\n", std::strerror(errno));
            close(server);
            return 1;
        }
        Serve(client, session);
        close(client);
    }
#endif
}
