// The CPU's view of the board's address space: every access size and kind reaches the flash
// chip in 16-bit bus cycles (a word is two, the low half first; a byte store drives the other
// lane high), RAM and ROM are reached directly, and the ROM takes precedence over the top of a
// flash window that runs into it.
#include "board/core_bus.h"
#include "board/flash_chip_setup.h"
#include "board/memory_map.h"

#include <gtest/gtest.h>

namespace tapster::board {
namespace {

using st20::Access;

constexpr uint32_t kFlash = 0x7FE00000;

struct Bus {
    Bus() : chip(BuildFlashChip(BoardConfig{})) {
        adapter = std::make_unique<CoreBusAdapter>(memory, chip.get(), kFlash,
                                                   VisibleDeviceSize(kFlash, chip->Size()),
                                                   [](uint32_t, uint32_t) {});
    }
    void Unlock(uint8_t command, Access access) {
        adapter->Store(kFlash + 0xAAA, 2, 0xAA, access);
        adapter->Store(kFlash + 0x554, 2, 0x55, access);
        adapter->Store(kFlash + 0xAAA, 2, command, access);
    }
    MemoryMap memory;
    std::unique_ptr<FlashChip> chip;
    std::unique_ptr<CoreBusAdapter> adapter;
};

TEST(CoreBus, EverySizeAndKindReachesTheFlashInBusCycles) {
    for (Access access : {Access::Data, Access::Device}) {
        Bus bus;
        EXPECT_EQ(bus.adapter->Load(kFlash, 4, access), 0xFFFFFFFFu);
        bus.Unlock(0x90, access); // autoselect: word 0 manufacturer, word 1 device
        EXPECT_EQ(bus.adapter->Load(kFlash, 2, access), 0x0001u);
        EXPECT_EQ(bus.adapter->Load(kFlash + 2, 2, access), 0x2249u);
        EXPECT_EQ(bus.adapter->Load(kFlash, 4, access), 0x22490001u) << "low half first";
        EXPECT_EQ(bus.adapter->Load(kFlash + 3, 1, access), 0x22u);
        bus.adapter->Store(kFlash, 2, 0xF0, access);
        // Word program of a byte: the other lane floats high and stays as it was.
        bus.Unlock(0xA0, access);
        bus.adapter->Store(kFlash + 0x101, 1, 0x12, access);
        EXPECT_EQ(bus.adapter->Load(kFlash + 0x100, 2, access), 0x12FFu);
        // A word store is two programmed halves only after two program commands.
        bus.Unlock(0xA0, access);
        bus.adapter->Store(kFlash + 0x200, 2, 0x3456, access);
        EXPECT_EQ(bus.adapter->Load(kFlash + 0x200, 4, access), 0xFFFF3456u);
    }
}

TEST(CoreBus, MemoriesAreDirectAndTheRomHidesTheTopOfTheFlash) {
    Bus bus;
    const st20::DirectWindow sram = bus.adapter->Window(kSramBase + 0x100);
    EXPECT_EQ(sram.base, kSramBase);
    EXPECT_TRUE(sram.writable);
    const st20::DirectWindow rom = bus.adapter->Window(kRomBase);
    EXPECT_EQ(rom.size, kRomSize);
    EXPECT_FALSE(rom.writable);
    EXPECT_EQ(bus.adapter->Window(kFlash).size, 0u) << "the chip is a device";
    EXPECT_EQ(bus.adapter->Load(kRomBase, 1, Access::Device), RomByte(0));
    bus.adapter->Store(kRomBase, 1, 0x00, Access::Data);
    EXPECT_EQ(bus.adapter->Load(kRomBase, 1, Access::Data), RomByte(0)) << "read-only";
    bus.adapter->Store(kSdramBase, 4, 0xA1B2C3D4, Access::Device);
    EXPECT_EQ(bus.memory.Read8(kSdramBase + 3), 0xA1);
    EXPECT_EQ(bus.adapter->Load(0x10000000, 4, Access::Data), 0xFFFFFFFFu) << "unmapped";
}

} // namespace
} // namespace tapster::board
