#include "app/backend_table.h"

#include "port/direct_backend.h"
#include "port/ppdev_backend.h"
#include "port/remote_bitbang_backend.h"

#include "app/native_port.h"

#include <array>

namespace tapster {

namespace {

#ifdef __linux__
std::unique_ptr<PortBackend> CreatePpdev(const std::string& argument, std::string&) {
    return std::make_unique<PpdevBackend>(argument.empty() ? kDefaultParport : argument);
}
#else
constexpr PortFactory CreatePpdev = nullptr;
#endif

#if defined(TAPSTER_HAVE_DIRECT_BACKEND) || defined(TAPSTER_HAVE_NATIVE_PORT)
std::unique_ptr<PortBackend> CreateDirect(const std::string& argument, std::string& error) {
    if (!argument.empty()) {
        error = "takes no argument";
        return nullptr;
    }
#ifdef TAPSTER_HAVE_DIRECT_BACKEND
    return std::make_unique<DirectBackend>();
#else
    return std::make_unique<NativePortBackend>();
#endif
}
#else
constexpr PortFactory CreateDirect = nullptr;
#endif

#ifdef TAPSTER_HAVE_REMOTE_BACKEND
std::unique_ptr<PortBackend> CreateRemote(const std::string& argument, std::string& error) {
    std::string host;
    uint16_t port = 0;
    if (!ParseRemoteAddress(argument, host, port, error)) return nullptr;
    return std::make_unique<RemoteBitbangBackend>(host, port);
}
#else
constexpr PortFactory CreateRemote = nullptr;
#endif

constexpr std::array kRows = {
    PortBackendRow{"ppdev", "ppdev:/dev/parportN",
                   "a parallel port through Linux's ppdev driver (group lp, module ppdev; no root)",
                   "Linux", CreatePpdev},
    PortBackendRow{"direct", "direct",
                   "x86 port instructions at 0x378 (Linux: root or CAP_SYS_RAWIO; Windows: the "
                   "permission driver)",
                   "x86 Linux, x86 Windows", CreateDirect},
    PortBackendRow{"remote", "remote:HOST:PORT",
                   "a JTAG server speaking OpenOCD's remote_bitbang protocol, e.g. tapcheck-board",
                   "Linux", CreateRemote},
};

} // namespace

std::span<const PortBackendRow> PortBackendRows() {
    return kRows;
}

const PortBackendRow* FindPortBackendRow(const std::string& option) {
    for (const PortBackendRow& row : kRows)
        if (option.compare(0, row.prefix.size(), row.prefix) == 0 &&
            (option.size() == row.prefix.size() || option[row.prefix.size()] == ':'))
            return &row;
    return nullptr;
}

std::string PortUsages(bool withOption) {
    std::string text;
    for (size_t i = 0; i < kRows.size(); ++i) {
        if (i > 0) text += i + 1 < kRows.size() ? ", " : " or ";
        if (withOption) text += "--port=";
        text += kRows[i].usage;
    }
    return text;
}

} // namespace tapster
