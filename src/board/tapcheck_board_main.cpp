// tapcheck-board: the simulated board served over OpenOCD's remote_bitbang TCP protocol, so
// independent JTAG software can examine it. One client at a time, until the process is stopped.
#include "board/board.h"
#include "board/preset.h"
#include "board/remote_bitbang_session.h"
#include "board/trace_file.h"
#include "tapster_version.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0 // SIGPIPE is ignored instead
#endif
#endif

namespace {

constexpr const char* kUsage =
    "Usage: tapcheck-board [OPTION]... [PRESET.json]\n"
    "  or:  tapcheck-board --help | --version\n"
    "Serves the simulated board over OpenOCD's remote_bitbang protocol, one client at a time.\n"
    "  --listen HOST:PORT    where to listen (default 127.0.0.1:3335; port 0 picks a free one)\n"
    "  --stall-timeout MS    drop a client that sends nothing or reads none of its answers for\n"
    "                        this long (default 10000)\n"
    "  --stats               say per client how many clocks and samples it asked for\n"
    "  --trace FILE          write every instruction the board's CPU executes to FILE (at most\n"
    "                        64 MiB, or the preset's core.traceLimitBytes; a last line says\n"
    "                        where it was cut)\n"
    "  PRESET.json           board preset (default: the built-in board)\n";

constexpr int kDefaultStallMs = 10000;
constexpr int kBacklog = 16; // quick reconnects wait in the queue instead of being refused
// A gap this long between two requests of a client is a pause it makes on purpose (the host's
// 100 ms waits); --stats reports the time without them.
constexpr std::chrono::milliseconds kPause{50};

struct Options {
    std::string host = "127.0.0.1";
    std::string port = "3335";
    std::string preset;
    int stallMs = kDefaultStallMs;
    bool stats = false;
    std::string trace;
};

bool ParseMilliseconds(const std::string& text, int& ms) {
    if (text.empty() || text.size() > 7) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    ms = std::stoi(text);
    return ms > 0;
}

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

// The usage after a one-line complaint; the exit code of a bad command line.
int Complain(const std::string& message, bool usage) {
    std::fprintf(stderr, "tapcheck-board: %s\n%s", message.c_str(), usage ? kUsage : "");
    return 2;
}

// 0: go on; -1: the help or the version was printed; otherwise the exit code.
int ParseArguments(int argc, char** argv, Options& options) {
    CLI::App app("tapcheck-board");
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", std::string("tapcheck-board ") + TAPSTER_VERSION_TEXT);
    // An absolute path is a preset or trace file on Windows too, not an option.
    app.allow_windows_style_options(false);
    app.allow_extras(); // reported below as unknown options, with the usage
    std::string listen;
    std::string stall;
    std::vector<std::string> presets;
    app.add_option("--listen", listen)->type_name("HOST:PORT");
    app.add_option("--stall-timeout", stall)->type_name("MS");
    app.add_flag("--stats", options.stats);
    app.add_option("--trace", options.trace)->type_name("FILE");
    app.add_option("preset", presets);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(kUsage, stdout);
        return -1;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return -1;
    } catch (const CLI::ParseError& error) {
        return Complain(error.what(), true);
    }
    if (const std::vector<std::string> unknown = app.remaining(); !unknown.empty())
        return Complain("unknown option " + unknown.front(), true);
    if (presets.size() > 1) return Complain("only one preset file", true);
    if (!presets.empty()) options.preset = presets.front();
    if (app.count("--stall-timeout") != 0 && !ParseMilliseconds(stall, options.stallMs))
        return Complain("--stall-timeout expects milliseconds, not '" + stall + "'", false);
    if (app.count("--listen") != 0 && !SplitAddress(listen, options.host, options.port))
        return Complain("--listen expects HOST:PORT, not '" + listen + "'", false);
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
        if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, kBacklog) != 0) {
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

using SteadyClock = std::chrono::steady_clock;

// The client being served, and what --stats reports of it.
struct Client {
    int fd = -1;
    SteadyClock::time_point connected;
    SteadyClock::time_point lastHeard;
    SteadyClock::duration paused{};
    uint64_t clocksBefore = 0;
    uint64_t samplesBefore = 0;
};

void Begin(Client& client, int fd, const tapster::board::RemoteBitbangSession& session) {
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    client.fd = fd;
    client.connected = client.lastHeard = SteadyClock::now();
    client.paused = {};
    client.clocksBefore = session.Clocks();
    client.samplesBefore = session.Samples();
}

void End(Client& client, const tapster::board::RemoteBitbangSession& session,
         const Options& options, const char* why) {
    if (why != nullptr) std::fprintf(stderr, "tapcheck-board: %s\n", why);
    if (options.stats) {
        const auto seconds = [](SteadyClock::duration d) {
            return std::chrono::duration<double>(d).count();
        };
        std::printf("tapcheck-board: client done: %llu clocks, %llu samples, %.3f s connected, "
                    "%.3f s paused\n",
                    static_cast<unsigned long long>(session.Clocks() - client.clocksBefore),
                    static_cast<unsigned long long>(session.Samples() - client.samplesBefore),
                    seconds(SteadyClock::now() - client.connected), seconds(client.paused));
        std::fflush(stdout);
    }
    close(client.fd);
    client.fd = -1;
}

// A client that cannot be served now hears so at once, instead of answers that make no sense.
void Refuse(int fd) {
    const size_t length = std::strlen(tapster::board::kBusyNotice);
    (void)send(fd, tapster::board::kBusyNotice, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    close(fd);
    std::fputs("tapcheck-board: refused a client: serving another\n", stderr);
}

// A client that connects while the board is taken is refused at once (it waits only briefly for
// the notice before it takes the silence for a board).
void RefuseNewcomers(int server) {
    pollfd waiting{server, POLLIN, 0};
    while (poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN) != 0) {
        const int newcomer = accept(server, nullptr, nullptr);
        if (newcomer < 0) return;
        Refuse(newcomer);
    }
}

enum class Sent { kAll, kStalled, kGone };

// Sends all of `data` to the client within `stall` in total: kStalled when the client does not
// take it in that time (it reads none of its answers), kGone when its connection was closed or
// reset. A client that connects meanwhile is refused at once, as at any other time the board is
// taken.
Sent SendAll(int fd, const std::string& data, int server, std::chrono::milliseconds stall) {
    const auto deadline = SteadyClock::now() + stall;
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n =
            send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return Sent::kGone;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0) return Sent::kStalled;
        pollfd fds[2] = {{fd, POLLOUT, 0}, {server, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) return Sent::kGone;
        if ((fds[1].revents & POLLIN) != 0) RefuseNewcomers(server);
    }
    return Sent::kAll;
}

// Handles what the client sent in small slices, refusing newcomers whenever some milliseconds have
// passed, so that a long run of requests (the CPU running between clocks: on a slow board one
// clock can take a millisecond) never keeps a newcomer waiting past the short time it allows for
// its notice. A client that ends with 'Q' is leaving: who connects meanwhile (often the same
// program again) waits for the board instead.
bool HandleInSlices(tapster::board::RemoteBitbangSession& session, std::string_view requests,
                    std::string& answers, int server) {
    constexpr size_t kSlice = 128;
    constexpr auto kRefuseEvery = std::chrono::milliseconds(5);
    const bool leaving = requests.find('Q') != std::string_view::npos;
    auto lastCheck = SteadyClock::now();
    bool more = true;
    for (size_t at = 0; at < requests.size() && more; at += kSlice) {
        more = session.Handle(requests.substr(at, kSlice), answers);
        if (leaving) continue;
        const auto now = SteadyClock::now();
        if (now - lastCheck < kRefuseEvery) continue;
        lastCheck = now;
        RefuseNewcomers(server);
    }
    if (!leaving) RefuseNewcomers(server);
    return more;
}

// Serves clients one at a time, for ever: reads what a client has sent, handles all of it and
// sends all the answers at once.
int Serve(int server, tapster::board::RemoteBitbangSession& session, const Options& options) {
    const auto stall = std::chrono::milliseconds(options.stallMs);
    Client client;
    std::string buffer(65536, '\0');
    std::string answers;
    for (;;) {
        pollfd fds[2] = {{server, POLLIN, 0}, {client.fd, POLLIN, 0}};
        int timeout = -1;
        if (client.fd >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                client.lastHeard + stall - SteadyClock::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        const int rc = poll(fds, client.fd >= 0 ? 2 : 1, timeout);
        if (rc < 0 && errno != EINTR) {
            std::fprintf(stderr, "tapcheck-board: poll: %s\n", std::strerror(errno));
            return 1;
        }
        // The client first: a client that quits and connects again at once has its 'Q' (or
        // its close) here before the new connection, which then finds the board free.
        if (client.fd >= 0) {
            if (rc > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                const ssize_t n = recv(client.fd, buffer.data(), buffer.size(), 0);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    End(client, session, options, nullptr);
                } else {
                    const auto now = SteadyClock::now();
                    if (now - client.lastHeard >= kPause) client.paused += now - client.lastHeard;
                    client.lastHeard = now;
                    answers.clear();
                    const bool more = HandleInSlices(
                        session, std::string_view(buffer.data(), static_cast<size_t>(n)), answers,
                        server);
                    const Sent sent = SendAll(client.fd, answers, server, stall);
                    if (sent == Sent::kStalled)
                        End(client, session, options,
                            "dropped a client that does not read its answers");
                    else if (sent == Sent::kGone)
                        End(client, session, options,
                            "a client went away before its answers were sent (connection closed "
                            "or reset)");
                    else if (!more)
                        End(client, session, options, nullptr);
                }
            } else if (SteadyClock::now() - client.lastHeard >= stall) {
                End(client, session, options, "dropped a client that stalled");
            }
        }
        if (rc > 0 && (fds[0].revents & POLLIN) != 0) {
            if (client.fd >= 0) {
                pollfd more{client.fd, POLLIN, 0};
                if (poll(&more, 1, 0) > 0) continue; // its requests come before a newcomer
            }
            const int fd = accept(server, nullptr, nullptr);
            if (fd >= 0 && client.fd >= 0)
                Refuse(fd);
            else if (fd >= 0)
                Begin(client, fd, session);
            else if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN) {
                std::fprintf(stderr, "tapcheck-board: accept: %s\n", std::strerror(errno));
                return 1;
            }
        }
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
    if (!options.trace.empty()) {
        config.core.trace = options.trace;
        config.core.traceReplaces = true;
    }
    if (const std::string refused = tapster::board::TraceFile::Refused(config.core);
        !refused.empty()) {
        std::fprintf(stderr, "tapcheck-board: %s\n", refused.c_str());
        return 2;
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
    const int code = Serve(server, session, options);
    close(server);
    return code;
#endif
}
