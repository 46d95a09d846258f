#include "board/remote_bitbang_session.h"
#include "port/lpt_registers.h"

namespace tapster::board {

RemoteBitbangSession::RemoteBitbangSession(PortBackend& port) : port_(port) {
    Drive();
}

void RemoteBitbangSession::Drive() {
    port_.WriteRegister(kLptDataPort,
                        static_cast<uint8_t>(jtagLines_ | (resetAsserted_ ? 0 : kPinControl)));
}

bool RemoteBitbangSession::Handle(std::string_view input, std::string& output) {
    for (const char c : input) {
        if (c >= '0' && c <= '7') {
            const int v = c - '0';
            if ((v & 4) != 0 && (jtagLines_ & kPinTck) == 0) ++clocks_;
            jtagLines_ =
                static_cast<uint8_t>(((v & 2) != 0 ? kPinTms : 0) | ((v & 4) != 0 ? kPinTck : 0) |
                                     ((v & 1) != 0 ? kPinTdi : 0));
            Drive();
        } else if (c == 'R') {
            ++samples_;
            output += (port_.ReadRegister(kLptStatusPort) & kPinTdo) != 0 ? '1' : '0';
        } else if (c >= 'r' && c <= 'u') {
            resetAsserted_ = c != 'r'; // 's' SRST, 't' TRST, 'u' both
            Drive();
        } else if (c == 'Q') {
            return false;
        }
    }
    return true;
}

} // namespace tapster::board
