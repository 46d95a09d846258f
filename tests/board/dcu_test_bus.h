// A plain target bus for the active parts' tests: sparse RAM that reads a fill pattern where
// nothing was written, device windows over it, and host transactions that tell the observer
// the way the debug link does (BeforeRead before a read is served, AfterWrite once written).
#pragma once

#include "board/cpu_system.h"
#include "board/target_bus.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace tapster::board::test {

inline constexpr uint8_t kFillByte = 0xA5;

class TestBus : public TargetBus {
  public:
    uint8_t Read8(uint32_t address) override {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (address - it->base < it->size) return it->device->Read8(address - it->base);
        }
        auto found = ram.find(address);
        return found == ram.end() ? kFillByte : found->second;
    }
    void Write8(uint32_t address, uint8_t value) override {
        writes.push_back(address);
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (address - it->base < it->size) {
                it->device->Write8(address - it->base, value);
                return;
            }
        }
        ram[address] = value;
    }
    void Map(const DeviceWindow& window) { windows.push_back(window); }

    std::unordered_map<uint32_t, uint8_t> ram;
    std::vector<DeviceWindow> windows;
    std::vector<uint32_t> writes; // every byte address written, in order (host and parts)
};

// A board-less stand-in: the parts on a TestBus, driven by host link transactions.
struct Rig {
    explicit Rig(const BoardConfig& config = BoardConfig{},
                 std::vector<RamRange> ramAreas = {{0x80000000, 0x10000}, {0x40000000, 0x200000}})
        : parts(bus, config, std::move(ramAreas)) {
        for (const DeviceWindow& window : parts.Windows())
            bus.Map(window);
    }

    void HostWrite(uint32_t address, const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i)
            bus.Write8(address + static_cast<uint32_t>(i), bytes[i]);
        parts.AfterWrite(address, static_cast<uint32_t>(bytes.size()));
    }
    void HostWriteWord(uint32_t address, uint32_t value) {
        HostWrite(address, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
    }
    std::vector<uint8_t> HostRead(uint32_t address, uint32_t length) {
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
    void LoadRoutine(uint32_t trap) {
        HostWrite(trap, std::vector<uint8_t>(252, 0x11));
        HostWrite(trap + 252, std::vector<uint8_t>(232, 0x22));
    }
    void InstallSlot(uint32_t slotBase, uint32_t trap) {
        HostWriteWord(slotBase + 0x0C, trap);
        HostWriteWord(slotBase + 0x08, trap + 0x200);
        HostWriteWord(slotBase + 0x00, 0);
    }

    TestBus bus;
    CpuSystem parts;
};

} // namespace tapster::board::test
