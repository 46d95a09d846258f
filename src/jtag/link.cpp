#include "jtag/link.h"

#include "core/hex.h"
#include "core/main_form.h"
#include "jtag/tap_engine.h"

#include <cstring>

namespace tapster {

namespace {

constexpr unsigned kStartPattern = 0b011; // target data byte begins (oldest sample first)
constexpr unsigned kAckPattern = 0b010;   // target acknowledge
constexpr uint8_t kCmdReadBlock = 0x01;
constexpr uint8_t kCmdWriteWord = 0x04;
constexpr uint32_t kReadBufferSize = 256;
// WaitStart restarts its count on every acknowledge pattern; a TDO that produces the pattern
// over and over (one toggling on every clock) would keep it waiting for ever. This many times
// the limit, counted from the start of the wait and regardless of restarts, ends it as a timeout.
constexpr uint64_t kWaitStartOverallFactor = 16;
// WriteWord refuses to send when the drain counted this many rounds (starting at 1, one per byte).
constexpr uint32_t kWriteWordDrainRounds = 1024;

bool Sample(bool tdi) {
    return TapClock(false, tdi, true);
}
void Send(bool tdi) {
    TapClock(false, tdi, false);
}

// Host acknowledge before a write command: TDI 0, 1, 0, not sampled.
void SendAcknowledge() {
    Send(false);
    Send(true);
    Send(false);
}

// Receives and discards what the target is still sending, until a byte times out or maxBytes
// bytes arrived in a row. Returns the bytes received; last holds the last of them.
uint64_t Drain(uint64_t maxBytes, uint8_t& last) {
    uint64_t received = 0;
    while (received < maxBytes) {
        const ReceivedByte r = ReceiveByte();
        if (r.timedOut) break;
        last = r.byte;
        ++received;
    }
    return received;
}

} // namespace

uint32_t StartLimit() {
    return static_cast<uint32_t>(JtagDelay) * 8u + 1024u;
}
uint32_t AcknowledgeLimit() {
    return static_cast<uint32_t>(JtagDelay) * 4u + 64u;
}

bool WaitStart(uint32_t limit) {
    unsigned window = 0;
    uint32_t count = 0;
    uint64_t total = 0;
    const uint64_t overall = kWaitStartOverallFactor * limit;
    while (count < limit && window != kStartPattern && total < overall) {
        window = ((window << 1) | (Sample(false) ? 1u : 0u)) & 7u;
        if (window == kAckPattern) count = 0;
        ++count;
        ++total;
    }
    return window == kStartPattern;
}

bool WaitAck(uint32_t limit) {
    unsigned window = 0;
    for (uint32_t i = 0; i < limit && window != kAckPattern; ++i)
        window = ((window << 1) | (Sample(false) ? 1u : 0u)) & 7u;
    return window == kAckPattern;
}

ReceivedByte ReceiveByte() {
    ReceivedByte r;
    if (!WaitStart(StartLimit())) return r; // timed out, byte 0
    uint8_t byte = 0;
    for (int i = 0; i < 8; ++i) {
        // TDI high on the fifth data clock acknowledges the byte.
        if (Sample(i == 4)) byte = static_cast<uint8_t>(byte | (1u << i));
    }
    r.timedOut = false;
    r.byte = byte;
    return r;
}

bool SendByte(uint8_t byte) {
    Send(false);
    Send(true);
    Send(true);
    // The window keeps the last two samples in bits 2 and 1: 0b010 is a 1 right after a 0, and
    // the sample before d0 counts as 0.
    unsigned window = 0;
    bool acknowledged = false;
    for (int i = 0; i < 8; ++i) {
        const bool s = Sample(((byte >> i) & 1) != 0);
        window = ((window | (s ? 1u : 0u)) << 1) & 7u;
        if (window == kAckPattern) acknowledged = true;
    }
    if (!acknowledged) acknowledged = WaitAck(AcknowledgeLimit());
    Send(false);
    return acknowledged;
}

bool SendWord(uint32_t word) {
    bool ok = true;
    for (int shift = 0; shift < 32; shift += 8) {
        if (!SendByte(static_cast<uint8_t>(word >> shift))) ok = false;
    }
    return ok;
}

uint32_t ReadBlock(uint32_t address, uint8_t* buffer) {
    EnterLinkScan();
    uint8_t last = 0;
    const uint64_t drainMax = static_cast<uint64_t>(StartLimit()) + 1;
    if (Drain(drainMax, last) == drainMax) return 0;

    const bool c = SendByte(kCmdReadBlock);
    const bool d = SendWord(address);

    // Length byte: L AND 0xFC bytes, where 0 (L from 0 to 3) means 256. A missing length byte
    // reads as 0 and is not itself a failure.
    const ReceivedByte length = ReceiveByte();
    uint32_t n = length.byte & 0xFCu;
    if (n == 0) n = kReadBufferSize;

    uint32_t stored = 0;
    for (uint32_t i = 0; i < n && i < kReadBufferSize; ++i) {
        const ReceivedByte r = ReceiveByte();
        if (r.timedOut || !c || !d) break;
        buffer[i] = r.byte;
        ++stored;
    }
    return (stored == n && c && d) ? n : 0;
}

WordRead ReadWord(uint32_t address) {
    uint8_t buffer[kReadBufferSize + 1];
    std::memset(buffer, 0, sizeof buffer);
    WordRead w;
    if (ReadBlock(address, buffer) > 0) {
        w.value = static_cast<uint32_t>(buffer[0]) | static_cast<uint32_t>(buffer[1]) << 8 |
                  static_cast<uint32_t>(buffer[2]) << 16 | static_cast<uint32_t>(buffer[3]) << 24;
        w.failed = false;
    }
    return w;
}

uint32_t WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) {
    EnterLinkScan();
    uint8_t last = 0;
    const uint32_t limit = StartLimit();
    const uint64_t drained = Drain(limit, last);
    if (drained == limit) {
        Log("START was received during " + Hex8(static_cast<uint32_t>(drained)) + " cycles");
        Log("Following data received " + Hex8(last));
        Log("Writing is impossible !!!");
        return 0;
    }

    SendAcknowledge();
    if (!SendByte(static_cast<uint8_t>(count & 0xFC))) {
        Log("No ACK while poke !!!");
        return 0;
    }
    if (!SendWord(address)) {
        Log("No ACK during transmition of address " + Hex8(address));
        return 0;
    }
    for (uint32_t j = 0; j < count; ++j) {
        if (!SendByte(data[j])) {
            Log("No ACK writing data to address " + Hex8(address + j));
            return 0;
        }
    }
    return count;
}

bool WriteWord(uint32_t address, uint32_t value) {
    EnterLinkScan();
    uint8_t last = 0;
    // The drain stops at the start limit; the rounds count from 1, one more per byte received.
    const uint64_t rounds = 1 + Drain(StartLimit(), last);
    const bool drained = rounds < kWriteWordDrainRounds;
    if (!drained) return false;
    SendAcknowledge();
    const bool c = SendByte(kCmdWriteWord);
    const bool a = SendWord(address);
    const bool d = SendWord(value);
    return c && a && d;
}

} // namespace tapster
