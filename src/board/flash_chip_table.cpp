#include "board/flash_chip_table.h"

#include <cctype>

namespace tapster::board {

namespace {
constexpr uint32_t KiB = 1024;
constexpr uint32_t kMs = 1000;      // microseconds
constexpr uint32_t kS = 1000 * kMs; // microseconds

// Boot-sector layouts: the small sectors sit at the bottom (B) or at the top (T) of the array.
const std::vector<SectorRun> kBottomBoot2M = {
    {1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {31, 64 * KiB}};
const std::vector<SectorRun> kTopBoot2M = {
    {31, 64 * KiB}, {1, 32 * KiB}, {2, 8 * KiB}, {1, 16 * KiB}};
const std::vector<SectorRun> kBottomBoot1M = {
    {1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {15, 64 * KiB}};

// The AMD primary extended table (version 1.0): address-sensitive unlock, erase suspend to
// read and write, per-sector protection, temporary unprotect, protection scheme 4.
const std::vector<uint8_t> kAmdPrimary = {'P',  'R',  'I',  '1',  '0',  0x00, 0x02,
                                          0x01, 0x01, 0x04, 0x00, 0x00, 0x00};

FlashCfi AmdCfi(uint8_t maxProgramLog2) {
    return FlashCfi{.commandSet = 0x0002,
                    .primaryTable = 0x40,
                    .vcc = {0x27, 0x36},
                    .vpp = {0x00, 0x00},
                    .typical = {0x04, 0x00, 0x0A, 0x00},
                    .maximum = {maxProgramLog2, 0x00, 0x04, 0x00},
                    .interface = 0x0002,
                    .bufferLog2 = 0x0000,
                    .primaryExtended = kAmdPrimary};
}

// Eight 8K parameter blocks at the bottom, then 64K main blocks (28F160B3B, 28F160C3B).
const std::vector<SectorRun> kBottomParameter2M = {{8, 8 * KiB}, {31, 64 * KiB}};

// The 16 Mbit boot block parts at Vpp = Vcc (Intel 290580 B3, 290645 C3): word program 22 us
// typical, 200 us maximum; 8K parameter block erase 0.5 s, 64K main block 1 s, maximum 5 s.
const FlashBusyTimes kBootBlockTimes = {.programTyp = 22,
                                        .programMax = 200,
                                        .eraseTyp = 1 * kS,
                                        .eraseMax = 5 * kS,
                                        .smallEraseTyp = 500 * kMs};

// Their CFI answers (Intel standard command set, Vpp 11.4-12.6 V for fast programming), with
// the part's own primary extended table.
FlashCfi BootBlockCfi(std::vector<uint8_t> primaryExtended) {
    return FlashCfi{.commandSet = 0x0003,
                    .primaryTable = 0x35,
                    .vcc = {0x27, 0x36},
                    .vpp = {0xB4, 0xC6},
                    .typical = {0x05, 0x00, 0x0A, 0x00},
                    .maximum = {0x04, 0x00, 0x03, 0x00},
                    .interface = 0x0001,
                    .bufferLog2 = 0x0000,
                    .primaryExtended = std::move(primaryExtended)};
}

// SST39VF1601 / SST39VF3201 (SST data sheet S71223 / DS25028): word program 7 us typical, 10 us
// maximum; sector and block erase 18 ms typical, 25 ms maximum; chip erase 40 ms typical, 50 ms
// maximum.
const FlashBusyTimes kSst39vfTimes = {.programTyp = 7,
                                      .programMax = 10,
                                      .eraseTyp = 18 * kMs,
                                      .eraseMax = 25 * kMs,
                                      .chipEraseTyp = 40 * kMs,
                                      .chipEraseMax = 50 * kMs};

// SST's CFI answers (same data sheets): primary command set 0x0701 and no primary extended
// table; typical word program 2^4 us, sector/block erase 2^4 ms, chip erase 2^5 ms, each maximum
// twice the typical; x16 asynchronous; no write buffer. The regions come from the layout: the
// 4 KiB sectors, then the 64 KiB blocks over the same array.
const FlashCfi kSstCfi = {.commandSet = 0x0701,
                          .primaryTable = 0x0000,
                          .vcc = {0x27, 0x36},
                          .vpp = {0x00, 0x00},
                          .typical = {0x04, 0x00, 0x04, 0x05},
                          .maximum = {0x01, 0x00, 0x01, 0x01},
                          .interface = 0x0001,
                          .bufferLog2 = 0x0000,
                          .primaryExtended = {}};

// AM29LV160D / AM29LV800D (data sheet typicals; the chip-erase maxima are chosen).
const FlashBusyTimes kAm29lvTimes = {.programTyp = 11,
                                     .programMax = 360,
                                     .eraseTyp = 700 * kMs,
                                     .eraseMax = 15 * kS,
                                     .chipEraseTyp = 25 * kS,
                                     .chipEraseMax = 100 * kS};
const FlashBusyTimes kAm29lv800Times = {.programTyp = 11,
                                        .programMax = 360,
                                        .eraseTyp = 700 * kMs,
                                        .eraseMax = 15 * kS,
                                        .chipEraseTyp = 14 * kS,
                                        .chipEraseMax = 60 * kS};
} // namespace

uint32_t FlashChipInfo::Size() const {
    uint32_t total = 0;
    for (const SectorRun& run : layout)
        total += run.count * run.size;
    return total;
}

const std::vector<FlashChipInfo>& FlashChipTable() {
    static const std::vector<FlashChipInfo> table = {
        {.name = "AM29LV160DB",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0001,
         .device = 0x2249,
         .layout = kBottomBoot2M,
         .busy = kAm29lvTimes,
         .cfi = AmdCfi(0x05)},
        {.name = "AM29LV160DT",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0001,
         .device = 0x22C4,
         .layout = kTopBoot2M,
         .busy = kAm29lvTimes,
         .cfi = AmdCfi(0x05)},
        {.name = "M29W160EB",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0020,
         .device = 0x2249,
         .layout = kBottomBoot2M,
         .busy = {.programTyp = 10,
                  .programMax = 200,
                  .eraseTyp = 800 * kMs,
                  .eraseMax = 6 * kS,
                  .chipEraseTyp = 20 * kS,
                  .chipEraseMax = 60 * kS},
         .cfi = AmdCfi(0x04)},
        {.name = "MX29LV160DB",
         .family = FlashFamily::Amd,
         .manufacturer = 0x00C2,
         .device = 0x2249,
         .layout = kBottomBoot2M,
         .busy = {.programTyp = 11,
                  .programMax = 360,
                  .eraseTyp = 700 * kMs,
                  .eraseMax = 15 * kS,
                  .chipEraseTyp = 15 * kS,
                  .chipEraseMax = 60 * kS},
         .cfi = AmdCfi(0x05)},
        {.name = "AM29LV800DB",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0001,
         .device = 0x225B,
         .layout = kBottomBoot1M,
         .busy = kAm29lv800Times,
         .cfi = AmdCfi(0x05)},
        // The earlier B revision answers with the same codes.
        {.name = "AM29LV800BB",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0001,
         .device = 0x225B,
         .layout = kBottomBoot1M,
         .busy = kAm29lv800Times,
         .cfi = AmdCfi(0x05)},
        // Smart 3 Advanced Boot Block, bottom boot: eight 8K parameter blocks, the lowest two
        // locked by WP#; no lock commands, no chip erase. Times at Vpp = Vcc.
        {.name = "28F160B3B",
         .family = FlashFamily::Intel,
         .manufacturer = 0x0089,
         .device = 0x8891,
         .layout = kBottomParameter2M,
         .locking = FlashLocking::WriteProtectPin,
         .wpBlocks = 2,
         .busy = kBootBlockTimes,
         // "PRI" 1.0: erase and program suspend; program after erase suspend.
         .cfi = BootBlockCfi(
             {'P', 'R', 'I', '1', '0', 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x33, 0xC0})},
        // StrataFlash J3: 32 symmetrical 128K blocks with non-volatile lock bits.
        {.name = "28F320J3",
         .family = FlashFamily::Intel,
         .manufacturer = 0x0089,
         .device = 0x0016,
         .layout = {{32, 128 * KiB}},
         .locking = FlashLocking::LockBits,
         .busy = {.programTyp = 210,
                  .programMax = 630,
                  .eraseTyp = 1 * kS,
                  .eraseMax = 5 * kS,
                  .bufferProgramTyp = 218,
                  .lockTyp = 64,
                  .unlockTyp = 500 * kMs},
         .cfi = {.commandSet = 0x0001,
                 .primaryTable = 0x31,
                 .vcc = {0x27, 0x36},
                 .vpp = {0x00, 0x00},
                 .typical = {0x08, 0x08, 0x0A, 0x00},
                 .maximum = {0x04, 0x04, 0x04, 0x00},
                 .interface = 0x0002,
                 .bufferLog2 = 0x0005,
                 // "PRI" 1.1: erase/program suspend, legacy lock bits; block lock status active.
                 .primaryExtended = {'P', 'R', 'I', '1', '1', 0x0A, 0x00, 0x00, 0x00, 0x01, 0x01,
                                     0x00, 0x33, 0x00, 0x01}}},
        // Advanced+ Boot Block (C3), bottom boot (Intel 290645): device code 0x88C3; every block
        // locked at power-up and reset; lock 0x60/0x01, unlock 0x60/0xD0, lock-down 0x60/0x2F, a
        // locked-down block staying locked while WP# is low; lock state at block + 2 in read
        // identifier mode (bit 0 locked, bit 1 locked down).
        {.name = "28F160C3B",
         .family = FlashFamily::Intel,
         .manufacturer = 0x0089,
         .device = 0x88C3,
         .layout = kBottomParameter2M,
         .locking = FlashLocking::BlockLock,
         .busy = kBootBlockTimes,
         // "PRI" 1.0: erase and program suspend, instant individual block locking, protection
         // register; program after erase suspend; block status bits 0 (locked) and 1 (locked
         // down); one protection register field.
         .cfi = BootBlockCfi({'P', 'R', 'I', '1', '0', 0x66, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00,
                              0x33, 0xC0, 0x01, 0x80, 0x00, 0x03, 0x03})},
        // SST Multi-Purpose Flash Plus, 1M x16 and 2M x16: maker 0x00BF, devices 0x234B and
        // 0x235B; uniform 2 KWord sectors and 32 KWord blocks.
        {.name = "SST39VF1601",
         .family = FlashFamily::Sst,
         .manufacturer = 0x00BF,
         .device = 0x234B,
         .layout = {{512, 4 * KiB}},
         .locking = FlashLocking::None,
         .blockSize = 64 * KiB,
         .busy = kSst39vfTimes,
         .cfi = kSstCfi},
        {.name = "SST39VF3201",
         .family = FlashFamily::Sst,
         .manufacturer = 0x00BF,
         .device = 0x235B,
         .layout = {{1024, 4 * KiB}},
         .locking = FlashLocking::None,
         .blockSize = 64 * KiB,
         .busy = kSst39vfTimes,
         .cfi = kSstCfi},
    };
    return table;
}

const FlashChipInfo* FindFlashChip(std::string_view name) {
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(a[i])) !=
                std::toupper(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    };
    for (const FlashChipInfo& chip : FlashChipTable()) {
        if (same(chip.name, name)) return &chip;
    }
    return nullptr;
}

} // namespace tapster::board
