// The NOR flash chips the simulated board can carry, one table row per part: the codes the chip
// answers, its sector map, its command family, its CFI query answers, how its blocks are
// protected and how long it stays busy. All are 16-bit parts answering in word (x16) mode.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tapster::board {

// `count` consecutive sectors of `size` bytes each.
struct SectorRun {
    uint32_t count = 0;
    uint32_t size = 0;
};

// AMD/JEDEC: unlock cycles, DQ7/DQ6 polling. Intel/Sharp: one-cycle commands, status register.
// SST: the JEDEC command set on a chip that decodes A14..A0 of a command cycle (unlock at word
// 0x5555/0x2AAA), enters CFI with three cycles, erases 4 KiB sectors (0x30) and 64 KiB blocks
// (0x50), and has no DQ5 and no sector protection.
enum class FlashFamily : uint8_t { Amd, Intel, Sst };

// How program and erase are kept off a block.
enum class FlashLocking : uint8_t {
    FactoryProtect,  // AMD sector protection, set at the factory (the preset), read in autoselect
    WriteProtectPin, // the lowest `wpBlocks` blocks are locked while WP# is low (28F160B3)
    LockBits,        // non-volatile lock bits: 0x60/0x01 sets one, 0x60/0xD0 clears all (J3)
    BlockLock,       // every block locked at power-up and reset; 0x60 then 0x01 lock, 0xD0 unlock,
                     // 0x2F lock down; a locked-down block stays locked while WP# is low (C3)
    None,            // no protection at all (SST 39VF)
};

// Data-sheet times in microseconds: typical, and the maximum after which an AMD part gives up
// with DQ5. Zero where the part has no such operation.
struct FlashBusyTimes {
    uint32_t programTyp = 0;
    uint32_t programMax = 0;
    uint32_t eraseTyp = 0; // the largest sector or block
    uint32_t eraseMax = 0;
    uint32_t smallEraseTyp = 0; // the smaller (boot/parameter) sectors; 0: as eraseTyp
    uint32_t chipEraseTyp = 0;
    uint32_t chipEraseMax = 0;
    uint32_t bufferProgramTyp = 0; // a full write buffer (0: the part has no buffer command)
    uint32_t lockTyp = 0;          // set one lock bit
    uint32_t unlockTyp = 0;        // clear all lock bits
};

// The CFI query answers that are not derived from elsewhere, as the data sheet lists them. The
// device size (0x27) and the erase block regions (0x2C on) come from the row's layout.
struct FlashCfi {
    uint16_t commandSet = 0;   // 0x13: 0x0002 AMD, 0x0001 Intel extended, 0x0003 Intel standard
    uint16_t primaryTable = 0; // 0x15: word address of the "PRI" table
    uint8_t vcc[2] = {};       // 0x1B, 0x1C: BCD volts
    uint8_t vpp[2] = {};       // 0x1D, 0x1E
    uint8_t typical[4] = {}; // 0x1F..0x22: 2^n µs word, 2^n µs buffer, 2^n ms block, 2^n ms chip
    uint8_t maximum[4] = {}; // 0x23..0x26: max = typical * 2^n, same order
    uint16_t interface = 0;  // 0x28: 0x0001 x16, 0x0002 x8/x16
    uint16_t bufferLog2 = 0; // 0x2A: write buffer 2^n bytes (0: none)
    std::vector<uint8_t> primaryExtended; // from `primaryTable` on: "PRI", version, features
};

struct FlashChipInfo {
    std::string_view name;
    FlashFamily family = FlashFamily::Amd;
    uint16_t manufacturer = 0;     // identifier word 0
    uint16_t device = 0;           // identifier word 1
    std::vector<SectorRun> layout; // from offset 0 upwards; the runs add up to the chip size
    FlashLocking locking = FlashLocking::FactoryProtect;
    uint32_t wpBlocks = 0;  // with WriteProtectPin: how many blocks from offset 0 WP# guards
    uint32_t blockSize = 0; // SST: the block erase unit over the uniform sectors (0: none)
    FlashBusyTimes busy;
    FlashCfi cfi;

    uint32_t Size() const;
};

// All known parts, in table order.
const std::vector<FlashChipInfo>& FlashChipTable();

// The row whose name matches (case-insensitive), or nullptr.
const FlashChipInfo* FindFlashChip(std::string_view name);

} // namespace tapster::board
