#include "board/remote_bitbang_session.h"
#include "port/lpt_registers.h"

namespace tapster::board {

namespace {
constexpr uint16_t kData = kLptDataPort;
constexpr uint16_t kStatus = kLptStatusPort;
} // namespace

RemoteBitbangSession::RemoteBitbangSession(PortBackend& port) : port(port) {
    Drive();
}

void RemoteBitbangSession::Drive() {
    port.WriteRegister(kData, static_cast<uint8_t>(jtagLines | (resetAsserted ? 0 : 0x08)));
}

bool RemoteBitbangSession::Handle(std::string_view input, std::string& output) {
    for (const char c : input) {
        if (c >= '0' && c <= '7') {
            const int v = c - '0';
            if ((v & 4) != 0 && (jtagLines & 0x02) == 0) ++clocks;
            jtagLines = static_cast<uint8_t>(((v & 2) != 0 ? 0x01 : 0) | ((v & 4) != 0 ? 0x02 : 0) |
                                             ((v & 1) != 0 ? 0x04 : 0));
            Drive();
        } else if (c == 'R') {
            ++samples;
            output += (port.ReadRegister(kStatus) & 0x10) != 0 ? '1' : '0';
        } else if (c >= 'r' && c <= 'u') {
            resetAsserted = c != 'r'; // 's' SRST, 't' TRST, 'u' both
            Drive();
        } else if (c == 'Q') {
            return false;
        }
    }
    return true;
}

} // namespace tapster::board
