// The flash chip's command set, driven with 16-bit bus cycles as an agent would.
#include "board/flash_chip.h"
#include "board/flash_chip_table.h"
#include "board/flash_chip_window.h"

#include <gtest/gtest.h>

namespace tapster::board {
namespace {

constexpr uint32_t kA1 = 0x555 * 2; // command addresses as byte offsets
constexpr uint32_t kA2 = 0x2AA * 2;

void Cmd(FlashChip& chip, uint16_t code) {
    chip.Write16(kA1, 0xAA);
    chip.Write16(kA2, 0x55);
    chip.Write16(kA1, code);
}
void Program(FlashChip& chip, uint32_t offset, uint16_t value) {
    Cmd(chip, 0xA0);
    chip.Write16(offset, value);
}
void EraseSector(FlashChip& chip, uint32_t offset) {
    Cmd(chip, 0x80);
    chip.Write16(kA1, 0xAA);
    chip.Write16(kA2, 0x55);
    chip.Write16(offset, 0x30);
}
void EraseChip(FlashChip& chip) {
    Cmd(chip, 0x80);
    Cmd(chip, 0x10);
}

TEST(FlashChipTable, BootSectorLayouts) {
    const FlashChipInfo* bottom = FindFlashChip("am29lv160db");
    ASSERT_NE(bottom, nullptr);
    EXPECT_EQ(bottom->manufacturer, 0x0001);
    EXPECT_EQ(bottom->device, 0x2249);
    EXPECT_EQ(bottom->Size(), 2u * 1024 * 1024);
    FlashChip chip(*bottom);
    ASSERT_EQ(chip.SectorCount(), 35u);
    EXPECT_EQ(chip.SectorSize(0), 16u * 1024);
    EXPECT_EQ(chip.SectorStart(1), 0x4000u);
    EXPECT_EQ(chip.SectorStart(2), 0x6000u);
    EXPECT_EQ(chip.SectorStart(3), 0x8000u);
    EXPECT_EQ(chip.SectorStart(4), 0x10000u);
    EXPECT_EQ(chip.SectorStart(34), 0x1F0000u);
    EXPECT_EQ(chip.SectorOf(0x5FFF), 1u);
    EXPECT_EQ(chip.SectorOf(0x1FFFFF), 34u);

    const FlashChipInfo* top = FindFlashChip("AM29LV160DT");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->Size(), bottom->Size());
    FlashChip topChip(*top);
    EXPECT_EQ(topChip.SectorSize(0), 64u * 1024);
    EXPECT_EQ(topChip.SectorStart(34), 0x1FC000u);
    EXPECT_EQ(topChip.SectorSize(34), 16u * 1024);

    EXPECT_EQ(FindFlashChip("no such chip"), nullptr);
    for (const FlashChipInfo& info : FlashChipTable())
        EXPECT_EQ(info.Size() % (64 * 1024), 0u) << info.name;
}

TEST(FlashChipCommands, AutoselectGivesCodesAndProtectionUntilReset) {
    FlashChip chip(*FindFlashChip("AM29LV160DB"));
    chip.SetProtected(0x8000, true);
    Program(chip, 0, 0x1234);
    Cmd(chip, 0x90);
    EXPECT_FALSE(chip.InReadMode());
    EXPECT_EQ(chip.Read16(0), 0x0001);
    EXPECT_EQ(chip.Read16(2), 0x2249);
    EXPECT_EQ(chip.Read16(0x8000 + 4), 0x0001); // protected sector
    EXPECT_EQ(chip.Read16(0x10000 + 4), 0x0000);
    chip.Write16(0x40, 0x1234); // not the reset command: still in autoselect
    EXPECT_EQ(chip.Read16(2), 0x2249);
    chip.Write16(0, 0xF0);
    EXPECT_TRUE(chip.InReadMode());
    EXPECT_EQ(chip.Read16(0), 0x1234);
}

TEST(FlashChipCommands, ProgramOnlyClearsBits) {
    FlashChip chip(*FindFlashChip("AM29LV160DB"));
    EXPECT_EQ(chip.Read16(0x100), 0xFFFF); // erased when new
    Program(chip, 0x100, 0xF0F0);
    EXPECT_EQ(chip.Read16(0x100), 0xF0F0);
    Program(chip, 0x100, 0x3C3C); // over unerased data: the AND
    EXPECT_EQ(chip.Read16(0x100), 0x3030);
    Program(chip, 0x101, 0x0FFF); // bit 0 of the address is ignored
    EXPECT_EQ(chip.Read16(0x100), 0x0030);
    EXPECT_TRUE(chip.InReadMode());
}

TEST(FlashChipCommands, WritesWithoutTheUnlockDoNothing) {
    FlashChip chip(*FindFlashChip("AM29LV160DB"));
    chip.Write16(0x200, 0x0000); // a plain write to the array
    EXPECT_EQ(chip.Read16(0x200), 0xFFFF);
    chip.Write16(kA1, 0xAA);
    chip.Write16(0x100, 0x55); // wrong second address: sequence dropped
    chip.Write16(kA1, 0xA0);
    chip.Write16(0x200, 0x0000);
    EXPECT_EQ(chip.Read16(0x200), 0xFFFF);
    Cmd(chip, 0xF0); // reset in mid-sequence
    chip.Write16(0x200, 0x0000);
    EXPECT_EQ(chip.Read16(0x200), 0xFFFF);
    // Upper address lines are ignored by the command decoder.
    chip.Write16(0x10000 + kA1, 0xAA);
    chip.Write16(0x10000 + kA2, 0x55);
    chip.Write16(0x10000 + kA1, 0xA0);
    chip.Write16(0x200, 0x1111);
    EXPECT_EQ(chip.Read16(0x200), 0x1111);
}

TEST(FlashChipCommands, SectorEraseClearsOneSectorUnlessProtected) {
    FlashChip chip(*FindFlashChip("AM29LV160DB"));
    for (uint32_t at : {0x3FFEu, 0x4000u, 0x6000u, 0x7FFEu, 0x8000u})
        Program(chip, at, 0x0000);
    chip.SetProtected(0x4000, true);
    EraseSector(chip, 0x6123); // any address inside the sector
    EXPECT_EQ(chip.Read16(0x6000), 0xFFFF);
    EXPECT_EQ(chip.Read16(0x7FFE), 0xFFFF);
    EXPECT_EQ(chip.Read16(0x3FFE), 0x0000);
    EXPECT_EQ(chip.Read16(0x8000), 0x0000);
    EraseSector(chip, 0x4000);
    EXPECT_EQ(chip.Read16(0x4000), 0x0000); // protected: untouched
    Program(chip, 0x4002, 0x0000);
    EXPECT_EQ(chip.Read16(0x4002), 0xFFFF); // and not programmable
}

TEST(FlashChipCommands, ChipEraseSkipsProtectedSectors) {
    FlashChip chip(*FindFlashChip("AM29LV160DT"));
    Program(chip, 0, 0x0000);
    Program(chip, 0x1F0000, 0x0000);
    Program(chip, 0x1FC000, 0x0000);
    chip.SetProtected(0x1FC000, true); // the top boot sector
    EraseChip(chip);
    EXPECT_EQ(chip.Read16(0), 0xFFFF);
    EXPECT_EQ(chip.Read16(0x1F0000), 0xFFFF);
    EXPECT_EQ(chip.Read16(0x1FC000), 0x0000);
}

TEST(FlashChipWindow, ByteLanesMakeSixteenBitCycles) {
    FlashChip chip(*FindFlashChip("AM29LV160DB"));
    FlashChipWindow window(chip);
    auto write16 = [&](uint32_t at, uint16_t v) {
        window.Write8(at, static_cast<uint8_t>(v));
        window.Write8(at + 1, static_cast<uint8_t>(v >> 8));
    };
    auto programCommand = [&] { // the three unlock and program cycles
        write16(kA1, 0xAA);
        write16(kA2, 0x55);
        write16(kA1, 0xA0);
    };
    programCommand();
    write16(0x20, 0x1234);
    EXPECT_EQ(window.Read8(0x20), 0x34);
    EXPECT_EQ(window.Read8(0x21), 0x12);

    // A lone low byte is a cycle with the high lane all ones: only the low byte changes.
    programCommand();
    window.Write8(0x40, 0x00);
    window.Flush();
    EXPECT_EQ(chip.Read16(0x40), 0xFF00);
    // A lone high byte likewise.
    programCommand();
    window.Write8(0x43, 0x0F);
    EXPECT_EQ(chip.Read16(0x42), 0x0FFF);
    // A read completes a pending low byte first.
    programCommand();
    window.Write8(0x44, 0x5A);
    EXPECT_EQ(window.Read8(0x44), 0x5A);
}

TEST(FlashChipWindow, LoadBypassesTheCommandSet) {
    FlashChip chip(*FindFlashChip("M29W160EB"));
    chip.SetProtected(0, true);
    chip.Load(0, {0x01, 0x02, 0x03});
    EXPECT_EQ(chip.Read16(0), 0x0201);
    EXPECT_EQ(chip.Read16(2), 0xFF03);
}

} // namespace
} // namespace tapster::board
