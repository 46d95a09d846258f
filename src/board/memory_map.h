// The target's address space as the DCU reaches it: the board's own memories (DCU register
// window, internal SRAM, SDRAM, video RAM, internal ROM) and the devices the active parts map
// over them. Unmapped addresses read 0xFF (the data bus floats high) and drop writes.
#pragma once

#include "board/target_bus.h"

#include <cstdint>
#include <vector>

namespace tapster::board {

// DCU registers: plain storage until the DCU model maps itself over the window.
constexpr uint32_t kDcuBase = 0x00003000;
constexpr uint32_t kDcuSize = 0x100;
// Internal SRAM; the eight trap slots sit at 0x80000040..0x8000013F.
constexpr uint32_t kSramBase = 0x80000000;
constexpr uint32_t kSramSize = 0x10000;
// External SDRAM and video RAM, 2 MiB each.
constexpr uint32_t kSdramBase = 0x40000000;
constexpr uint32_t kSdramSize = 0x200000;
constexpr uint32_t kVramBase = 0xC0000000;
constexpr uint32_t kVramSize = 0x200000;
// Internal ROM, 128 KiB up to the top of the address space; read-only over the link.
constexpr uint32_t kRomBase = 0x7FFE0000;
constexpr uint32_t kRomSize = 0x20000;

constexpr uint8_t kUnmappedByte = 0xFF;

// An area of the default SDRAM / video RAM contents (offsets from the memory's base).
struct DefaultArea {
    uint32_t offset;
    uint32_t length;
    enum Kind : uint8_t { Used, Erased, Zeroed } kind; // Used: data, Erased: 0xFF, Zeroed: 0x00
};

// The default layout: "Find Free Mem" with only 0xFF counted as free finds 0x40080000 (64 KiB),
// 0x40140000 (6 KiB) and 0xC0100000 (512 KiB); the 1 KiB erased gap at 0x40180000 is too short,
// and the zeroed top 256 KiB of SDRAM counts only when 0x00 is free too.
inline constexpr DefaultArea kSdramLayout[] = {
    {0x000000, 0x080000, DefaultArea::Used}, {0x080000, 0x010000, DefaultArea::Erased},
    {0x090000, 0x0B0000, DefaultArea::Used}, {0x140000, 0x001800, DefaultArea::Erased},
    {0x141800, 0x03E800, DefaultArea::Used}, {0x180000, 0x000400, DefaultArea::Erased},
    {0x180400, 0x03FC00, DefaultArea::Used}, {0x1C0000, 0x040000, DefaultArea::Zeroed},
};
inline constexpr DefaultArea kVramLayout[] = {
    {0x000000, 0x100000, DefaultArea::Used},
    {0x100000, 0x080000, DefaultArea::Erased},
    {0x180000, 0x080000, DefaultArea::Used},
};

// The byte a used area holds at `address`: deterministic, never 0x00 or 0xFF.
uint8_t UsedAreaByte(uint32_t address);
// The internal ROM's contents: boot code and the resident program (firmware/rom.s).
uint8_t RomByte(uint32_t offset);

// How much of a device window at `base` stays visible: it stops where one of the board's own
// memories begins above its base (the internal ROM at the top of the default flash bank keeps
// answering its addresses).
uint32_t VisibleDeviceSize(uint32_t base, uint32_t size);

class MemoryMap : public TargetBus {
  public:
    MemoryMap();

    uint8_t Read8(uint32_t address) override;
    void Write8(uint32_t address, uint8_t value) override;

    // Devices take precedence over the memories, the latest mapped first.
    void Map(uint32_t base, uint32_t size, MappedDevice* device);

    // A memory of the board that no device covers, for direct access by the CPU: its storage
    // and whether the CPU may write it (the ROM is read-only). Size 0 where there is none.
    struct Span {
        uint32_t base = 0;
        uint32_t size = 0;
        uint8_t* data = nullptr;
        bool writable = false;
    };
    Span DirectSpan(uint32_t address);

    // Sets a byte of the board's own storage, the ROM included (for preset contents). False when
    // no memory of the board holds the address.
    bool Poke(uint32_t address, uint8_t value);
    // True when [address, address + length) lies inside one of the board's memories.
    static bool InStorage(uint32_t address, uint32_t length);

  private:
    struct Memory {
        uint32_t base;
        uint32_t size;
        bool writable;
        std::vector<uint8_t> bytes;
    };
    struct Window {
        uint32_t base;
        uint32_t size;
        MappedDevice* device;
    };

    Memory* Find(uint32_t address);

    std::vector<Memory> memories_;
    std::vector<Window> windows_;
};

} // namespace tapster::board
