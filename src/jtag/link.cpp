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

void Send(bool tdi) {
    TapClock(false, tdi, false);
}
void Issue(bool tdi, bool sample) {
    IssueClock(false, tdi, sample);
}
unsigned Shift(unsigned window, bool sample) {
    return ((window << 1) | (sample ? 1u : 0u)) & 7u;
}

// How many samples on from the current window the first one is that could complete a pattern
// beginning 0, 1 (the start 0b011 and the acknowledge 0b010 both do), whatever they turn out to
// be: the next one when the window ends in 0, 1; the one after when it ends in 0; else the third.
uint32_t EarliestCompletion(unsigned window) {
    if ((window & 3u) == 1u) return 1;
    if ((window & 1u) == 0u) return 2;
    return 3;
}

// A wait on TDO (TDI low, every clock sampled) that clocks ahead of its samples. The next clock
// may go out while samples are unread only if the clock-by-clock wait would issue exactly that
// clock whatever they say: within the limits even if none of them restarts the count, and, if
// one of them could end the wait, no further past it than `follow`, the number of TDI-low
// sampled clocks that certainly follow the end (the first four data clocks after a start).
struct TdoWait {
    unsigned window = 0;
    uint64_t count = 0;  // clocks since the wait began or its count restarted
    uint64_t total = 0;  // clocks since the wait began
    uint64_t issued = 0; // clocks of this wait on the wire (total + unread)
    uint64_t limit = 0;
    uint64_t overall = 0;
    uint32_t follow = 0;

    bool MayRunAhead() const {
        const uint64_t unread = issued - total;
        if (SamplesPending() >= SampleQueueSize()) return false;
        if (count + unread >= limit || total + unread >= overall) return false;
        const uint64_t end = total + EarliestCompletion(window); // clock number that could end it
        return end > issued || issued - end < follow;
    }
    // Puts out every clock that may run ahead; at least the next one when none is unread.
    void Clock() {
        if (issued == total) {
            Issue(false, true);
            ++issued;
        }
        while (MayRunAhead()) {
            Issue(false, true);
            ++issued;
        }
    }
    // Clocks already on the wire past the end of the wait.
    uint32_t Beyond() const { return static_cast<uint32_t>(issued - total); }
};

// Clocks of the next byte's start wait that ReceiveNext put out before it returned.
uint32_t carriedClocks = 0;

TdoWait StartWait(uint32_t limit, uint32_t follow) {
    TdoWait w;
    w.limit = limit;
    w.overall = kWaitStartOverallFactor * limit;
    w.follow = follow;
    w.issued = carriedClocks;
    carriedClocks = 0;
    while (w.count < w.limit && w.window != kStartPattern && w.total < w.overall) {
        w.Clock();
        w.window = Shift(w.window, TakeSample());
        if (w.window == kAckPattern) w.count = 0;
        ++w.count;
        ++w.total;
    }
    return w;
}

// ReceiveByte that knows whether another ReceiveByte follows whatever this byte holds; then the
// next byte's first start-wait clocks go out with this byte's data clocks.
ReceivedByte ReceiveNext(bool anotherFollows) {
    ReceivedByte r;
    const uint32_t limit = StartLimit();
    constexpr uint32_t kLowDataClocks = 4; // d0 to d3 go out with TDI low, as the wait's clocks
    const TdoWait w = StartWait(limit, kLowDataClocks);
    if (w.window != kStartPattern) return r; // timed out, byte 0
    // TDI high on the fifth data clock acknowledges the byte.
    for (uint32_t i = w.Beyond(); i < 8; ++i)
        Issue(i == 4, true);
    if (anotherFollows && SamplesPending() < SampleQueueSize()) {
        TdoWait next;
        next.limit = limit;
        next.overall = kWaitStartOverallFactor * limit;
        next.follow = kLowDataClocks;
        next.Clock();
        carriedClocks = next.Beyond();
    }
    uint8_t byte = 0;
    for (int i = 0; i < 8; ++i) {
        if (TakeSample()) byte = static_cast<uint8_t>(byte | (1u << i));
    }
    r.timedOut = false;
    r.byte = byte;
    return r;
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
        const ReceivedByte r = ReceiveNext(received + 1 < maxBytes);
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
    return StartWait(limit, 0).window == kStartPattern;
}

bool WaitAck(uint32_t limit) {
    // The clock after an acknowledge is SendByte's closing one, which is not sampled: nothing
    // runs past a sample that could complete the pattern.
    TdoWait w;
    w.limit = limit;
    w.overall = limit;
    while (w.total < w.limit && w.window != kAckPattern) {
        w.Clock();
        w.window = Shift(w.window, TakeSample());
        ++w.count;
        ++w.total;
    }
    return w.window == kAckPattern;
}

ReceivedByte ReceiveByte() {
    return ReceiveNext(false);
}

bool SendByte(uint8_t byte) {
    // The lead-in and the eight data clocks do not depend on what comes back: all go out before
    // the first sample is looked at.
    Issue(false, false);
    Issue(true, false);
    Issue(true, false);
    for (int i = 0; i < 8; ++i)
        Issue(((byte >> i) & 1) != 0, true);
    // The window keeps the last two samples in bits 2 and 1: 0b010 is a 1 right after a 0, and
    // the sample before d0 counts as 0.
    unsigned window = 0;
    bool acknowledged = false;
    for (int i = 0; i < 8; ++i) {
        window = ((window | (TakeSample() ? 1u : 0u)) << 1) & 7u;
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
    const ReceivedByte length = ReceiveNext(true); // a data byte is always asked for next
    uint32_t n = length.byte & 0xFCu;
    if (n == 0) n = kReadBufferSize;

    uint32_t stored = 0;
    for (uint32_t i = 0; i < n && i < kReadBufferSize; ++i) {
        const bool another = c && d && i + 1 < n && i + 1 < kReadBufferSize;
        const ReceivedByte r = ReceiveNext(another);
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
