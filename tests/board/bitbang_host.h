// A small host for the board tests and the board benchmark: it drives a PortBackend the way the
// parallel-port cable's host does (sample TDO, set the levels with TCK low, raise TCK, lower
// TCK), and builds the TAP moves and the debug link's frames from JTAG and the link protocol.
// Deliberately independent of src/jtag, so the board is not checked against its own mirror.
#pragma once

#include "port/port_backend.h"

#include <cstdint>
#include <vector>

namespace board_test {

class BitbangHost {
  public:
    explicit BitbangHost(tapster::PortBackend& port) : port(port) {}

    // One TCK period; returns the TDO sampled before the rising edge.
    bool Clock(bool tms, bool tdi) {
        const bool tdo = (port.ReadRegister(0x379) & 0x10) != 0;
        const uint8_t levels =
            static_cast<uint8_t>((tms ? 0x01 : 0) | (tdi ? 0x04 : 0) | (control ? 0x08 : 0));
        if (levels != last) {
            port.WriteRegister(0x378, levels);
            last = levels;
        }
        port.WriteRegister(0x378, static_cast<uint8_t>(levels | 0x02));
        port.WriteRegister(0x378, levels);
        ++clocks;
        return tdo;
    }
    bool Tdo() { return (port.ReadRegister(0x379) & 0x10) != 0; }

    void SetControl(bool high) {
        control = high;
        last = static_cast<uint8_t>(high ? 0x08 : 0x00);
        port.WriteRegister(0x378, last);
    }

    // Test-Logic-Reset, then Run-Test/Idle.
    void Reset() {
        for (int i = 0; i < 5; ++i)
            Clock(true, false);
        Clock(false, false);
    }

    // From Run-Test/Idle through Shift-IR back to Run-Test/Idle; returns the captured bits.
    uint32_t ShiftIr(uint32_t value, int count = 5) {
        Clock(true, false);
        Clock(true, false);
        Clock(false, false);
        Clock(false, false);
        const uint32_t out = Shift(value, count);
        Clock(true, false); // Update-IR
        Clock(false, false);
        return out;
    }

    // From Run-Test/Idle through Shift-DR back to Run-Test/Idle; returns what came out.
    uint64_t ShiftDr(uint64_t value, int count) {
        Clock(true, false);
        Clock(false, false);
        Clock(false, false);
        const uint64_t out = Shift(value, count);
        Clock(true, false); // Update-DR
        Clock(false, false);
        return out;
    }

    // Shifts count bits (LSB first), TMS high on the last; ends in Exit1.
    uint64_t Shift(uint64_t value, int count) {
        uint64_t out = 0;
        for (int i = 0; i < count; ++i) {
            if (Clock(i == count - 1, ((value >> i) & 1) != 0)) out |= uint64_t{1} << i;
        }
        return out;
    }

    // Reset, load the link instruction and stop in Shift-DR.
    void EnterLink() {
        Reset();
        ShiftIr(0x10);
        Clock(true, false);
        Clock(false, false);
        Clock(false, false);
    }

    // ---- debug link, in Shift-DR with the link instruction ----

    // Waits for a target byte's start (0,1,1 on TDO); an acknowledge pattern restarts the count.
    bool WaitStart(uint32_t limit = 1024) {
        unsigned window = 0;
        uint32_t count = 0;
        for (uint32_t total = 0; count < limit && window != 0b011 && total < 64 * limit; ++total) {
            window = ((window << 1) | (Clock(false, false) ? 1u : 0u)) & 7;
            if (window == 0b010) count = 0;
            ++count;
        }
        return window == 0b011;
    }
    // Waits for the target's acknowledge (0,1,0 on TDO).
    bool WaitAck(uint32_t limit = 64) {
        unsigned window = 0;
        for (uint32_t i = 0; i < limit && window != 0b010; ++i)
            window = ((window << 1) | (Clock(false, false) ? 1u : 0u)) & 7;
        return window == 0b010;
    }
    // A target byte; TDI = 1 on the fifth data clock acknowledges it (unless ack is false).
    bool ReceiveByte(uint8_t& value, uint32_t limit = 1024, bool ack = true) {
        value = 0;
        if (!WaitStart(limit)) return false;
        for (int i = 0; i < 8; ++i) {
            if (Clock(false, ack && i == 4)) value = static_cast<uint8_t>(value | (1u << i));
        }
        return true;
    }
    // 0,1,1, d0..d7, then 0; true when the target acknowledged (during the data or after).
    bool SendByte(uint8_t value, uint32_t ackLimit = 64) {
        Clock(false, false);
        Clock(false, true);
        Clock(false, true);
        unsigned window = 0;
        bool acknowledged = false;
        for (int i = 0; i < 8; ++i) {
            const bool sample = Clock(false, ((value >> i) & 1) != 0);
            window = ((window | (sample ? 1u : 0u)) << 1) & 7;
            if (window == 0b010) acknowledged = true;
        }
        if (!acknowledged) acknowledged = WaitAck(ackLimit);
        Clock(false, false);
        return acknowledged;
    }
    bool SendWord(uint32_t value) {
        bool all = true;
        for (int i = 0; i < 4; ++i)
            all = SendByte(static_cast<uint8_t>(value >> (8 * i))) && all;
        return all;
    }
    void SendAck() {
        Clock(false, false);
        Clock(false, true);
        Clock(false, false);
    }
    // Receives until a byte times out; the number of bytes, or -1 after maxBytes in a row.
    int Drain(int maxBytes = 1025) {
        uint8_t ignored = 0;
        for (int n = 0; n <= maxBytes; ++n) {
            if (!ReceiveByte(ignored)) return n;
        }
        return -1;
    }

    // The link operations: a drain, then the transaction.
    int ReadBlock(uint32_t address, std::vector<uint8_t>& data) {
        data.clear();
        if (Drain() < 0) return 0;
        const bool command = SendByte(0x01);
        const bool addressed = SendWord(address);
        uint8_t length = 0;
        ReceiveByte(length);
        const int n = (length & 0xFC) == 0 ? 256 : (length & 0xFC);
        for (int i = 0; i < n; ++i) {
            uint8_t value = 0;
            if (!ReceiveByte(value) || !command || !addressed) return 0;
            data.push_back(value);
        }
        return n;
    }
    bool WriteBlock(uint32_t address, const std::vector<uint8_t>& data) {
        if (Drain() < 0) return false;
        SendAck();
        if (!SendByte(static_cast<uint8_t>(data.size() & 0xFC))) return false;
        if (!SendWord(address)) return false;
        for (uint8_t value : data) {
            if (!SendByte(value)) return false;
        }
        return true;
    }
    bool WriteWord(uint32_t address, uint32_t value) {
        if (Drain() < 0) return false;
        SendAck();
        const bool command = SendByte(0x04);
        const bool addressed = SendWord(address);
        const bool written = SendWord(value);
        return command && addressed && written;
    }

    uint64_t clocks = 0;

  private:
    tapster::PortBackend& port;
    bool control = false;
    uint8_t last = 0xFF;
};

} // namespace board_test
