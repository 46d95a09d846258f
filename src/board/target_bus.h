// The target's memory as the debug link reaches it, and the two ways the board's active parts
// (DCU and CPU, flash chip) plug into it.
#pragma once

#include <cstdint>

namespace tapster::board {

// A device that answers a window of the address space (DCU registers, the flash chip).
class MappedDevice {
  public:
    virtual ~MappedDevice() = default;
    virtual uint8_t Read8(uint32_t offset) = 0;
    virtual void Write8(uint32_t offset, uint8_t value) = 0;
};

// Byte access to the whole 32-bit address space, words little-endian.
class TargetBus {
  public:
    virtual ~TargetBus() = default;
    virtual uint8_t Read8(uint32_t address) = 0;
    virtual void Write8(uint32_t address, uint8_t value) = 0;

    uint32_t Read32(uint32_t address) {
        return static_cast<uint32_t>(Read8(address)) |
               static_cast<uint32_t>(Read8(address + 1)) << 8 |
               static_cast<uint32_t>(Read8(address + 2)) << 16 |
               static_cast<uint32_t>(Read8(address + 3)) << 24;
    }
    void Write32(uint32_t address, uint32_t value) {
        for (uint32_t i = 0; i < 4; ++i)
            Write8(address + i, static_cast<uint8_t>(value >> (8 * i)));
    }
};

// Told about every link transaction, at transaction granularity, so the CPU can catch up with the
// clocks before each one and act on what the host wrote.
class LinkObserver {
  public:
    virtual ~LinkObserver() = default;
    // Before the reply to a read of `length` bytes at `address` is taken from the bus.
    virtual void BeforeRead(uint32_t address, uint32_t length) {
        (void)address;
        (void)length;
    }
    // Before the `length` bytes of a write at `address` land on the bus.
    virtual void BeforeWrite(uint32_t address, uint32_t length) {
        (void)address;
        (void)length;
    }
    // After the `length` bytes of a write at `address` have landed on the bus.
    virtual void AfterWrite(uint32_t address, uint32_t length) {
        (void)address;
        (void)length;
    }
    // The control line went low (target held in reset) or high again.
    virtual void ResetLine(bool held) { (void)held; }
};

} // namespace tapster::board
