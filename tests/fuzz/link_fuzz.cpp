// The host's link operations against arbitrary TDO streams. A fake cable answers every TDO sample
// with the next bit of the input (least significant bit of each byte first) and, once the input
// is used up, with a constant 0 or 1 or a level toggling on every clock (an acknowledge pattern
// over and over). Every operation must end within the clocks its limits allow (checked on every
// clock, so a wait that never ends fails at its bound) and never touch memory outside its buffers
// (heap buffers of exactly the documented size, so the address sanitizer sees any overrun).
//
// Input: byte 0 chooses the operation (bits 0-1: ReadBlock, ReadWord, WriteBlock, WriteWord), the
// level after the input (bit 2; bit 7: toggling), JtagDelay (bits 3-5) and whether a second
// operation follows on the TAP the first left in the link scan (bit 6); bytes 1-4 an address, 5-8 a
// value, 9 a count; the rest is the TDO stream.
#include "fuzz_check.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "port/port_backend.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

constexpr size_t kHeader = 10;

class TdoStream final : public tapster::PortBackend {
  public:
    enum class After { Low, High, Toggling };
    TdoStream(const uint8_t* bits, size_t bytes, After after)
        : bits(bits), bytes(bytes), after(after) {}

    void WriteRegister(uint16_t port, uint8_t value) override {
        if (port != tapster::kDataPort) return;
        if ((value & 0x02) != 0 && (last & 0x02) == 0) {
            ++clocks;
            FUZZ_CHECK(clocks <= limit);
        }
        last = value;
    }
    uint8_t ReadRegister(uint16_t port) override {
        if (port != tapster::kStatusPort) return 0xFF;
        bool tdo = after == After::High || (after == After::Toggling && (next & 1) != 0);
        if (next < bytes * 8) tdo = ((bits[next / 8] >> (next % 8)) & 1) != 0;
        ++next;
        return tdo ? 0x7F : 0x6F;
    }
    std::string Name() const override { return "fuzzed TDO"; }

    uint64_t clocks = 0;
    uint64_t limit = 0; // the clock count the running operation must not pass

  private:
    const uint8_t* bits;
    size_t bytes;
    After after;
    size_t next = 0;
    uint8_t last = 0;
};

uint32_t Word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Clock bounds from the link's limits: a received byte is at most the overall WaitStart bound
// plus its eight data clocks, a sent byte its 3 lead-in and 8 data clocks, the acknowledge wait
// and one closing clock.
struct Bounds {
    uint64_t receive;
    uint64_t send;
    uint64_t enter = 32; // TAP reset, the link instruction and the way to Shift-DR
    Bounds() {
        const uint64_t start = tapster::StartLimit();
        receive = 16 * start + 8;
        send = 12 + tapster::AcknowledgeLimit();
    }
    uint64_t Read() const {
        const uint64_t drain = (uint64_t{tapster::StartLimit()} + 1) * receive;
        return enter + drain + 5 * send + 257 * receive;
    }
    uint64_t Write(uint64_t sentBytes) const {
        const uint64_t drain = uint64_t{tapster::StartLimit()} * receive;
        return enter + drain + 3 + sentBytes * send;
    }
};

void RunOne(int op, uint32_t address, uint32_t value, uint8_t count, TdoStream& port) {
    const Bounds bounds;
    // Every caller passes a multiple of 4 up to 252; the data is exactly that long.
    count = static_cast<uint8_t>(count & 0xFC);
    if (count == 0 || count > 252) count = 252;
    const uint64_t allowed = op <= 1 ? bounds.Read() : bounds.Write(op == 2 ? 5u + count : 9u);
    port.limit = port.clocks + allowed;
    switch (op) {
    case 0: {
        // The documented room: 256 bytes, not one more.
        auto buffer = std::make_unique<uint8_t[]>(256);
        const uint32_t n = tapster::ReadBlock(address, buffer.get());
        FUZZ_CHECK(n == 0 || (n >= 4 && n <= 256 && n % 4 == 0));
        break;
    }
    case 1: {
        const tapster::WordRead w = tapster::ReadWord(address);
        if (w.failed) FUZZ_CHECK(w.value == 0);
        break;
    }
    case 2: {
        auto data = std::make_unique<uint8_t[]>(count);
        for (uint32_t i = 0; i < count; ++i)
            data[i] = static_cast<uint8_t>(value >> (8 * (i % 4)));
        const uint32_t written = tapster::WriteBlock(address, data.get(), count);
        FUZZ_CHECK(written == 0 || written == count);
        break;
    }
    default:
        tapster::WriteWord(address, value);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t header[kHeader] = {};
    for (size_t i = 0; i < kHeader && i < size; ++i)
        header[i] = data[i];
    const size_t streamBytes = size > kHeader ? size - kHeader : 0;
    const TdoStream::After after = (header[0] & 0x80) != 0   ? TdoStream::After::Toggling
                                   : (header[0] & 0x04) != 0 ? TdoStream::After::High
                                                             : TdoStream::After::Low;
    TdoStream port(data + (size > kHeader ? kHeader : size), streamBytes, after);

    tapster::SetPortBackend(&port);
    tapster::ResetTapEngineState();
    tapster::JtagDelay = (header[0] >> 3) & 7;

    const int op = header[0] & 3;
    RunOne(op, Word(header + 1), Word(header + 5), header[9], port);
    if ((header[0] & 0x40) != 0) {
        FUZZ_CHECK(tapster::TapReady);
        RunOne((op + 1) & 3, Word(header + 5), Word(header + 1), header[9], port);
    }

    tapster::SetPortBackend(nullptr);
    tapster::ResetTapEngineState();
    return 0;
}
