// What --port=ftdi[:VID:PID][,serial=S][,interface=A|B][,ctl=N][,oe=N] says: which chip to open
// and where the cable's lines sit on its low GPIO byte (ADBUS0-7).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tapster {

// The JTAG lines' fixed places on the MPSSE modules' usual pinout.
inline constexpr int kFtdiTckPin = 0; // ADBUS0
inline constexpr int kFtdiTdiPin = 1; // ADBUS1
inline constexpr int kFtdiTdoPin = 2; // ADBUS2, the one input
inline constexpr int kFtdiTmsPin = 3; // ADBUS3
inline constexpr int kFtdiDefaultCtlPin = 4;

struct FtdiOptions {
    // Tried in order until one opens: the FT2232H's, then the FT232H's ids by default.
    std::vector<std::pair<uint16_t, uint16_t>> ids = {{0x0403, 0x6010}, {0x0403, 0x6014}};
    std::string serial;              // empty: any
    int channel = 0;                 // interface A
    int ctlPin = kFtdiDefaultCtlPin; // the cable's control line (low holds the target in reset)
    int oePin = -1;                  // an output enable driven low, or none
};

// Parses the text after "ftdi:" or "ftdi," ("", "0403:6014,interface=B,ctl=5", "serial=X"):
// VID:PID first when given, then KEY=VALUE fields. False with a message.
bool ParseFtdiOptions(const std::string& text, FtdiOptions& options, std::string& error);

// "0403:6010", the way the ids are written on the command line and in messages.
std::string FtdiIdText(uint16_t vid, uint16_t pid);

} // namespace tapster
