// A small machine for the core tests: RAM at 0x80000000 (trap structures, code, workspace and
// data), an optional ROM region, and a bus that logs every access it serves. Direct windows can
// be switched off so the same program also runs entirely through the bus.
#pragma once

#include "st20/core.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tapster::st20::test {

inline constexpr uint32_t kRam = 0x80000000;
inline constexpr uint32_t kRamSize = 0x10000;
inline constexpr uint32_t kCode = 0x80001000;
inline constexpr uint32_t kWs = 0x80002000;
inline constexpr uint32_t kData = 0x80003000;
inline constexpr uint32_t kRom = 0x7FFE0000;
inline constexpr uint32_t kDevice = 0x20000100; // no memory: loads answer kDeviceValue
inline constexpr uint32_t kDeviceValue = 0xA1B2C3D4;
inline constexpr uint32_t kProductId = 0x12345678;
inline constexpr uint32_t kPoison = 0xDEADC0DE; // the documented value of undefined registers

class TestBus : public CoreBus {
  public:
    struct Call {
        bool store;
        uint32_t address;
        uint32_t size;
        uint32_t value;
        Access access;
        bool operator==(const Call&) const = default;
    };
    struct Region {
        uint32_t base;
        std::vector<uint8_t> bytes;
        bool writable;
    };

    TestBus() {
        regions.push_back({kRam, std::vector<uint8_t>(kRamSize), true});
        regions.push_back({kRom, std::vector<uint8_t>(0x1000, 0x5A), false});
    }

    uint32_t Load(uint32_t address, uint32_t size, Access access) override {
        uint32_t v = 0;
        if (Region* r = Find(address)) {
            for (uint32_t i = 0; i < size; ++i)
                v |= static_cast<uint32_t>(r->bytes[address - r->base + i]) << (8 * i);
        } else {
            v = size == 4 ? kDeviceValue : kDeviceValue & ((1u << (8 * size)) - 1);
        }
        if (access != Access::Fetch || logFetches)
            calls.push_back({false, address, size, v, access});
        return v;
    }
    void Store(uint32_t address, uint32_t size, uint32_t value, Access access) override {
        calls.push_back({true, address, size, value, access});
        Region* r = Find(address);
        if (r == nullptr || !r->writable) return;
        for (uint32_t i = 0; i < size; ++i)
            r->bytes[address - r->base + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    DirectWindow Window(uint32_t address) override {
        Region* r = direct ? Find(address) : nullptr;
        if (r == nullptr) return {};
        return {r->base, static_cast<uint32_t>(r->bytes.size()), r->bytes.data(), r->writable};
    }

    Region* Find(uint32_t address) {
        for (Region& r : regions)
            if (address - r.base < r.bytes.size()) return &r;
        return nullptr;
    }
    uint32_t Word(uint32_t address) {
        Region* r = Find(address);
        const uint32_t o = address - r->base;
        return static_cast<uint32_t>(r->bytes[o]) | static_cast<uint32_t>(r->bytes[o + 1]) << 8 |
               static_cast<uint32_t>(r->bytes[o + 2]) << 16 |
               static_cast<uint32_t>(r->bytes[o + 3]) << 24;
    }
    void SetWord(uint32_t address, uint32_t v) {
        Region* r = Find(address);
        for (uint32_t i = 0; i < 4; ++i)
            r->bytes[address - r->base + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void SetBytes(uint32_t address, std::initializer_list<uint8_t> bytes) {
        Region* r = Find(address);
        uint32_t o = address - r->base;
        for (uint8_t b : bytes)
            r->bytes[o++] = b;
    }

    std::vector<Region> regions;
    std::vector<Call> calls;
    bool direct = true;
    bool logFetches = false;
};

// A core on the test bus, booted at kCode with Wptr kWs at low priority.
struct Machine {
    explicit Machine(uint8_t priority = 1, uint64_t cpuHz = 40'000'000)
        : core(bus, CoreConfig{kProductId, cpuHz}) {
        core.Reset(BootState{kCode, kWs, priority});
    }
    void Code(std::initializer_list<uint8_t> bytes, uint32_t at = kCode) {
        bus.SetBytes(at, bytes);
    }
    void Code(const std::vector<uint8_t>& bytes, uint32_t at = kCode) {
        for (uint8_t b : bytes)
            bus.SetBytes(at++, {b});
    }
    // A handler structure: Enables mask, Status, Wptr, Iptr.
    void Handler(uint32_t priority, TrapGroup group, uint32_t enables, uint32_t status,
                 uint32_t wptr, uint32_t iptr) {
        const uint32_t h = TrapHandlerAddress(priority, group);
        bus.SetWord(h, enables);
        bus.SetWord(h + 4, status);
        bus.SetWord(h + 8, wptr);
        bus.SetWord(h + 12, iptr);
    }
    CoreState& S() { return core.State(); }

    TestBus bus;
    Core core;
};

} // namespace tapster::st20::test
