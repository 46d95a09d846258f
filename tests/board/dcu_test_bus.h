// A board-less stand-in for the active parts' tests: the board's memory map with the parts'
// windows over it, a TCK count that moves on by a fixed number of clocks per host transaction,
// and host transactions that tell the parts the way the debug link does (BeforeRead before a
// read is served, BeforeWrite and AfterWrite around the bytes landing).
#pragma once

#include "board/cpu_system.h"
#include "board/memory_map.h"

#include <cstdint>
#include <vector>

namespace tapster::board::test {

// Roughly the clocks of one word transaction of the host.
inline constexpr uint64_t kClocksPerTransaction = 100;

// The memory map, remembering every byte address written through it (host and parts).
class RecordingMemory : public MemoryMap {
  public:
    void Write8(uint32_t address, uint8_t value) override {
        writes.push_back(address);
        MemoryMap::Write8(address, value);
    }
    std::vector<uint32_t> writes;
};

struct Rig {
    explicit Rig(const BoardConfig& config = {}) : parts(bus, config, [this] { return tck; }) {
        for (const DeviceWindow& window : parts.Windows())
            bus.Map(window.base, VisibleDeviceSize(window.base, window.size), window.device);
        parts.GetCpu().Core().InvalidateWindows();
    }

    void HostWrite(uint32_t address, const std::vector<uint8_t>& bytes) {
        tck += kClocksPerTransaction;
        parts.BeforeWrite(address, static_cast<uint32_t>(bytes.size()));
        for (size_t i = 0; i < bytes.size(); ++i)
            bus.Write8(address + static_cast<uint32_t>(i), bytes[i]);
        parts.AfterWrite(address, static_cast<uint32_t>(bytes.size()));
    }
    void HostWriteWord(uint32_t address, uint32_t value) {
        HostWrite(address, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
    }
    std::vector<uint8_t> HostRead(uint32_t address, uint32_t length) {
        tck += kClocksPerTransaction;
        parts.BeforeRead(address, length);
        std::vector<uint8_t> bytes(length);
        for (uint32_t i = 0; i < length; ++i)
            bytes[i] = bus.Read8(address + i);
        return bytes;
    }
    uint32_t HostReadWord(uint32_t address) {
        const std::vector<uint8_t> b = HostRead(address, 4);
        return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
               static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    }

    // What the host's load and install do: the routine's bytes at `trap` in two blocks, and
    // the slot pointed at it with its workspace at trap + 0x200.
    void LoadRoutine(uint32_t trap, const std::vector<uint8_t>& image) {
        std::vector<uint8_t> bytes = image;
        bytes.resize(484, 0x00);
        HostWrite(trap, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 252));
        HostWrite(trap + 252, std::vector<uint8_t>(bytes.begin() + 252, bytes.end()));
    }
    void InstallSlot(uint32_t slotBase, uint32_t trap) {
        HostWriteWord(slotBase + 0x0C, trap);
        HostWriteWord(slotBase + 0x08, trap + 0x200);
        HostWriteWord(slotBase + 0x00, 0);
    }

    uint64_t tck = 0;
    RecordingMemory bus;
    CpuSystem parts;
};

} // namespace tapster::board::test
