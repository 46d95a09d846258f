// The simulated board's cable, TAP and link decoder against arbitrary host activity: bytes
// written to the data register and reads of the status register, in any order. The board must
// not crash, overrun, allocate without bound or hang (libFuzzer's -timeout, -rss_limit_mb and
// -malloc_limit_mb watch the last two).
//
// Input: byte 0 chooses the board (bits 0-2: a fault or link timing, bit 3: the bare board
// without CPU, agent and flash, bit 4: a forced reply length from byte 2, bit 5: start in the
// link scan as the host leaves the TAP); byte 1 a parameter of the fault. Then, per byte b:
//   b < 0x40          one link frame: the next input byte sent 0,1,1,d0..d7 and a closing 0,
//                     TDO sampled on every clock (a host byte; the board's acknowledge rides on it)
//   0x40 <= b < 0x80  (b & 0x0F) + 1 received frames: 11 clocks each, TDI high on the clock of d4
//   0x80 <= b < 0xC0  (b & 0x0F) + 1 clocks with TMS = bit 4 and TDI = bit 5, each sampled
//   b >= 0xC0         a raw write of (b & 0x0F) to the data register, then (bit 4) a status read
#include "board/board.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

namespace {

using tapster::board::Board;
using tapster::board::BoardConfig;

constexpr uint8_t kControl = tapster::kPinControl;

class Host {
  public:
    explicit Host(Board& board) : board(board) {}

    void Write(uint8_t value) {
        board.WriteRegister(tapster::board::kDataPort, value);
        level = value;
    }
    void Sample() {
        const uint8_t status = board.ReadRegister(tapster::board::kStatusPort);
        FUZZ_CHECK((status & ~tapster::kPinTdo) == tapster::kLptStatusIdle);
    }
    // One TCK period as the host's bit engine makes it: sample, set the levels, raise, lower.
    void Clock(bool tms, bool tdi) {
        Sample();
        const uint8_t low =
            static_cast<uint8_t>((level & kControl) | (tms ? 0x01 : 0) | (tdi ? 0x04 : 0));
        Write(low);
        Write(static_cast<uint8_t>(low | tapster::kPinTck));
        Write(low);
    }
    // Control line high, Test-Logic-Reset, link instruction, Shift-DR.
    void EnterLinkScan() {
        Write(kControl);
        for (int i = 0; i < 5; ++i)
            Clock(true, false);
        Clock(false, false);
        Clock(true, false);
        Clock(true, false);
        Clock(false, false);
        Clock(false, false);
        for (int i = 0; i < 5; ++i)
            Clock(i == 4, ((tapster::board::kLinkInstruction >> i) & 1) != 0);
        Clock(true, false);
        Clock(true, false);
        Clock(false, false);
        Clock(false, false);
    }

  private:
    Board& board;
    uint8_t level = 0;
};

BoardConfig ConfigFor(uint8_t choice, uint8_t parameter) {
    BoardConfig config;
    switch (choice & 7) {
    case 1:
        config.faults.keepsSending = true;
        break;
    case 2:
        config.faults.neverAcknowledge = true;
        break;
    case 3:
        config.link.ackDuringData = false;
        config.link.ackDelayClocks = parameter;
        break;
    case 4:
        config.faults.flipEveryBits = parameter + 1u;
        break;
    case 5:
        config.faults.tdoToggling = true;
        break;
    case 6:
        config.faults.minWorkingDelay = 1 + parameter % 4;
        break;
    case 7:
        config.link.replyDelayClocks = parameter;
        break;
    default:
        break;
    }
    return config;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t choice = data[0];
    Board board(ConfigFor(choice, data[1]),
                (choice & 0x08) != 0 ? Board::Parts::None : Board::Parts::Attach);
    if ((choice & 0x10) != 0) board.ForceReplyLength(data[2]);
    Host host(board);
    if ((choice & 0x20) != 0) host.EnterLinkScan();

    for (size_t i = 3; i < size; ++i) {
        const uint8_t b = data[i];
        if (b < 0x40) {
            const uint8_t value = i + 1 < size ? data[++i] : 0;
            host.Clock(false, false);
            host.Clock(false, true);
            host.Clock(false, true);
            for (int bit = 0; bit < 8; ++bit)
                host.Clock(false, ((value >> bit) & 1) != 0);
            host.Clock(false, false);
        } else if (b < 0x80) {
            for (int frame = 0; frame <= (b & 0x0F); ++frame) {
                for (int bit = 0; bit < 11; ++bit)
                    host.Clock(false, bit == 3 + 4);
            }
        } else if (b < 0xC0) {
            for (int n = 0; n <= (b & 0x0F); ++n)
                host.Clock((b & 0x10) != 0, (b & 0x20) != 0);
        } else {
            host.Write(static_cast<uint8_t>(b & 0x0F));
            if ((b & 0x10) != 0) host.Sample();
        }
    }
    return 0;
}
