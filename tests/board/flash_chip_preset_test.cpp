// The flash part of a preset: what it chooses reaches the chip the board builds, and bad values
// are refused with the field named. Also the byte-lane view the target bus has of the chip.
#include "board/flash_chip_setup.h"
#include "board/flash_chip_window.h"
#include "board/preset.h"

#include <gtest/gtest.h>

#include <string>

namespace tapster::board {
namespace {

TEST(FlashChipPreset, WhatThePresetChoosesReachesTheChip) {
    BoardConfig config;
    std::string error;
    ASSERT_TRUE(ParsePreset(R"({"cpuClockHz": 20000000,
        "flash": {"chip": "mx29lv160db", "protectedSectors": ["8000"], "writeProtect": false,
                  "busyPercent": 50,
                  "faults": {"badSectors": ["20000"], "stuckBits": "0x8001",
                             "stuckFrom": "30000", "stuckLength": "100"}}})",
                            "preset.json", config, error))
        << error;
    std::unique_ptr<FlashChip> chip = BuildFlashChip(config);
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->Info().manufacturer, 0x00C2);
    EXPECT_TRUE(chip->IsProtected(0x8000));
    EXPECT_FALSE(chip->IsProtected(0x10000));

    uint64_t cycles = 0;
    chip->SetCycleSource(&cycles);
    EXPECT_EQ(chip->CyclesFor(1000), 10000u) << "1 ms at 20 MHz, at half the data sheet's time";

    // Without time passing, a failing program has reached its limit at once: DQ5.
    auto program = [&](uint32_t at, uint16_t value) {
        chip->Write16(0x555 * 2, 0xAA);
        chip->Write16(0x2AA * 2, 0x55);
        chip->Write16(0x555 * 2, 0xA0);
        chip->Write16(at, value);
        cycles += chip->CyclesFor(chip->Info().busy.programMax);
        const bool timedOut = (chip->Read16(at) & 0x20) != 0;
        chip->Write16(0, 0xF0);
        return timedOut;
    };
    EXPECT_TRUE(program(0x20010, 0x1234)) << "bad sector";
    EXPECT_TRUE(program(0x30010, 0x0000)) << "stuck bits";
    EXPECT_EQ(chip->ArrayWord(0x30010), 0x8001);
    EXPECT_FALSE(program(0x30200, 0x0000)) << "outside the stuck range";
    EXPECT_EQ(chip->ArrayWord(0x30200), 0x0000);

    // WP# on the 28F160B3B, and the default board.
    ASSERT_TRUE(ParsePreset(R"({"flash": {"chip": "28F160B3B"}})", "p", config, error));
    EXPECT_TRUE(BuildFlashChip(config)->IsProtected(0x2000));
    EXPECT_FALSE(BuildFlashChip(config)->IsProtected(0x4000));
    ASSERT_TRUE(ParsePreset(R"({"flash": {"chip": "28F160B3B", "writeProtect": false}})", "p",
                            config, error));
    EXPECT_FALSE(BuildFlashChip(config)->IsProtected(0x2000));
    EXPECT_EQ(BoardConfig{}.cpuClockHz, kDefaultCpuClockHz);
}

TEST(FlashChipPreset, BadFlashFieldsAreRefusedByName) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {R"({"flash": {"chip": "AM29LV161DB"}})",
         "preset.json: flash.chip: expected the name of a flash chip (AM29LV160DB, AM29LV160DT, "
         "M29W160EB, MX29LV160DB, AM29LV800DB, AM29LV800BB, 28F160B3B, 28F320J3, 28F160C3B, "
         "SST39VF1601, SST39VF3201)"},
        {R"({"flash": {"busyPercent": 10001}})",
         "preset.json: flash.busyPercent: expected a whole number from 0 to 10000"},
        {R"({"flash": {"writeProtect": 1}})",
         "preset.json: flash.writeProtect: expected true or false"},
        {R"({"flash": {"faults": {"stuckBits": "10000"}}})",
         "preset.json: flash.faults.stuckBits: must be at most FFFF (hex)"},
        {R"({"flash": {"faults": {"badSectors": "0"}}})",
         "preset.json: flash.faults.badSectors: expected a list of hex sector offsets"},
        {R"({"flash": {"faults": {"neverFinish": true}}})",
         "preset.json: flash.faults.neverFinish: unknown field"},
        {R"({"cpuClockHz": 0})",
         "preset.json: cpuClockHz: expected a whole number from 1 to 4294967295"},
        {R"({"flash": {"protectedSectors": ["0", "5000"]}})",
         "preset.json: flash.protectedSectors[1]: 5000 is not the start of a sector of "
         "AM29LV160DB"},
        {R"({"flash": {"chip": "28F320J3", "faults": {"badSectors": ["400000"]}}})",
         "preset.json: flash.faults.badSectors[0]: 400000 is not the start of a sector of "
         "28F320J3"},
        {R"({"flash": {"faults": {"stuckFrom": "1FFF00", "stuckLength": "200"}}})",
         "preset.json: flash.faults.stuckLength: runs past the end of the AM29LV160DB (200000 "
         "bytes)"},
    };
    for (const auto& c : cases) {
        BoardConfig config;
        std::string error;
        EXPECT_FALSE(ParsePreset(c.text, "preset.json", config, error)) << c.text;
        EXPECT_EQ(error, c.message);
        EXPECT_EQ(config.flash.chip, BoardConfig{}.flash.chip) << "left unchanged";
    }
}

TEST(FlashChipWindow, TheHighByteReadAfterItsLowByteIsTheSameBusCycle) {
    FlashChip chip(*FindFlashChip("AM29LV160DB"));
    uint64_t cycles = 0;
    chip.SetCycleSource(&cycles);
    FlashChipWindow window(chip);
    chip.Write16(0x555 * 2, 0xAA);
    chip.Write16(0x2AA * 2, 0x55);
    chip.Write16(0x555 * 2, 0xA0);
    chip.Write16(0x100, 0x0000);
    // One 16-bit read, then another: DQ6 differs between the two cycles.
    const uint8_t first = window.Read8(0x100);
    window.Read8(0x101);
    const uint8_t second = window.Read8(0x100);
    EXPECT_NE(first & 0x40, second & 0x40);
    // A high byte alone (after the end of a transaction), or one read at a later cycle count,
    // is a cycle of its own: two cycles pass and DQ6 is back where it was.
    window.Flush();
    window.Read8(0x101);
    const uint8_t third = window.Read8(0x100);
    EXPECT_EQ(second & 0x40, third & 0x40);
    ++cycles;
    window.Read8(0x101);
    EXPECT_EQ(third & 0x40, window.Read8(0x100) & 0x40);
}

} // namespace
} // namespace tapster::board
