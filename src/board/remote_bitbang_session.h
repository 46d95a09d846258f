// OpenOCD's remote_bitbang requests applied to the board's port registers, one character each:
//   '0'..'7'  TCK (4), TMS (2), TDI (1) levels, written to the data register with the control line
//   'R'       answers '0' or '1', the TDO the status register shows now
//   'r'..'u'  TRST (2) and SRST (1) asserted; the control line is low while either is
//   'B' 'b'   the adapter's light: ignored
//   'Q'       the client is done
// Anything else (line ends, newer clients' sleep requests) is ignored. The session outlives its
// clients, so the levels carry over from one connection to the next.
#pragma once

#include "port/port_backend.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tapster::board {

// Sent instead of any answer to a client that connects while another is served. The remote
// cable client of the host side recognises this text; the board keeps its own copy because it
// depends on nothing of the host.
inline constexpr const char* kBusyNotice = "BUSY: serving another client\n";

class RemoteBitbangSession {
  public:
    // Drives the lines idle at once: TCK, TMS and TDI low, no reset asserted (control high).
    explicit RemoteBitbangSession(PortBackend& port);

    // Handles the requests in input and appends the answers to output. False when a 'Q' ended
    // the connection; whatever followed it in input is not looked at.
    bool Handle(std::string_view input, std::string& output);

    // Rising TCK edges and 'R' requests handled so far, across clients.
    uint64_t Clocks() const { return clocks_; }
    uint64_t Samples() const { return samples_; }

  private:
    void Drive();

    PortBackend& port_;
    uint8_t jtagLines_ = 0; // TMS 0x01, TCK 0x02, TDI 0x04, as the data register carries them
    bool resetAsserted_ = false;
    uint64_t clocks_ = 0;
    uint64_t samples_ = 0;
};

} // namespace tapster::board
