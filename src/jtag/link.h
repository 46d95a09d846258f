// The link protocol to the debug control unit, carried in the link register's Shift-DR scan,
// and the four target memory operations built on it.
#pragma once

#include <cstdint>

namespace tapster {

// Timeouts in clocks, derived from JtagDelay.
uint32_t StartLimit();       // JtagDelay * 8 + 1024
uint32_t AcknowledgeLimit(); // JtagDelay * 4 + 64

bool WaitStart(uint32_t limit);
bool WaitAck(uint32_t limit);

struct ReceivedByte {
    bool timedOut = true;
    uint8_t byte = 0;
};
ReceivedByte ReceiveByte();
bool SendByte(uint8_t byte);
bool SendWord(uint32_t word);

// Reads a block into buffer (room for 256 bytes); returns the bytes received or 0 on failure.
uint32_t ReadBlock(uint32_t address, uint8_t* buffer);

struct WordRead {
    bool failed = true;
    uint32_t value = 0;
};
WordRead ReadWord(uint32_t address);

// Writes count bytes (a multiple of 4, at most 252); returns count or 0, logging its failures.
uint32_t WriteBlock(uint32_t address, const uint8_t* data, uint8_t count);
bool WriteWord(uint32_t address, uint32_t value);

} // namespace tapster
