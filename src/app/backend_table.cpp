#include "app/backend_table.h"

#include "core/hex.h"

#include "port/direct_backend.h"
#include "port/ftdi_backend.h"
#include "port/inpout_backend.h"
#include "port/lpt_registers.h"
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

#if defined(TAPSTER_HAVE_DIRECT_BACKEND) || defined(TAPSTER_HAVE_NATIVE_PORT) ||                   \
    defined(TAPSTER_HAVE_INPOUT_BACKEND)
// The data register's I/O address in hex ("D010" or "0xD010"); the next two registers follow it.
// 0x378 when none is given.
bool ParsePortAddress(const std::string& text, uint16_t& base, std::string& error) {
    base = kLptDataPort;
    if (text.empty()) return true;
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = prefixed ? text.substr(2) : text;
    // All ones for a character that is no hex digit; more than sixteen digits would wrap.
    const uint64_t value = digits.size() <= 16 ? ParseHex(digits) : ~uint64_t{0};
    if (digits.empty() || value == 0 || value > 0xFFFD) {
        error =
            "takes the data register's I/O address in hex, e.g. 378 or 0xD010, not '" + text + "'";
        return false;
    }
    base = static_cast<uint16_t>(value);
    return true;
}

#endif

#if defined(TAPSTER_HAVE_DIRECT_BACKEND) || defined(TAPSTER_HAVE_NATIVE_PORT)
std::unique_ptr<PortBackend> CreateDirect(const std::string& argument, std::string& error) {
    uint16_t base = kLptDataPort;
    if (!ParsePortAddress(argument, base, error)) return nullptr;
#ifdef TAPSTER_HAVE_DIRECT_BACKEND
    return std::make_unique<DirectBackend>(nullptr, base);
#else
    return std::make_unique<NativePortBackend>(base);
#endif
}
#else
constexpr PortFactory CreateDirect = nullptr;
#endif

#ifdef TAPSTER_HAVE_INPOUT_BACKEND
std::unique_ptr<PortBackend> CreateInpOut(const std::string& argument, std::string& error) {
    uint16_t base = kLptDataPort;
    if (!ParsePortAddress(argument, base, error)) return nullptr;
    return std::make_unique<InpOutBackend>(base);
}
#else
constexpr PortFactory CreateInpOut = nullptr;
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

#ifdef TAPSTER_HAVE_FTDI
std::unique_ptr<PortBackend> CreateFtdi(const std::string& argument, std::string& error) {
    FtdiOptions options;
    if (!ParseFtdiOptions(argument, options, error)) return nullptr;
    return std::make_unique<FtdiBackend>(std::move(options), MakeFtdiLink());
}
#else
constexpr PortFactory CreateFtdi = nullptr;
#endif

constexpr std::array kRows = {
    PortBackendRow{"ppdev", "ppdev:/dev/parportN",
                   "a parallel port through Linux's ppdev driver (group lp, module ppdev; no root)",
                   "Linux", CreatePpdev},
    PortBackendRow{"direct", "direct[:ADDR]",
                   "x86 port instructions at 0x378 or the data register's address ADDR (Linux: "
                   "root or CAP_SYS_RAWIO; Windows: the permission driver)",
                   "x86 Linux, x86 Windows", CreateDirect},
    PortBackendRow{"inpout", "inpout[:ADDR]",
                   "the InpOut32 port driver's DLL (inpout32.dll for 32-bit, inpoutx64.dll for "
                   "64-bit programs, beside the program or on the system path) at 0x378 or ADDR",
                   "Windows", CreateInpOut},
    PortBackendRow{"remote", "remote:HOST:PORT",
                   "a JTAG server speaking OpenOCD's remote_bitbang protocol, e.g. tapcheck-board",
                   "Linux, Windows", CreateRemote},
    PortBackendRow{"ftdi", "ftdi[:VID:PID][,KEY=VALUE...]",
                   "a USB cable on an FTDI FT2232H/FT232H in MPSSE mode through libftdi1 (default "
                   "0403:6010, then 0403:6014; keys serial=S, interface=A or B, ctl=4..7 moves "
                   "the control line, oe=4..7 drives an output enable low)",
                   "Linux", CreateFtdi},
};

} // namespace

std::span<const PortBackendRow> PortBackendRows() {
    return kRows;
}

const PortBackendRow* FindPortBackendRow(const std::string& option) {
    for (const PortBackendRow& row : kRows)
        if (option.compare(0, row.prefix.size(), row.prefix) == 0 &&
            (option.size() == row.prefix.size() || option[row.prefix.size()] == ':' ||
             option[row.prefix.size()] == ','))
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
