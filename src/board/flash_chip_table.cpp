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

FlashCfi AmdCfi(uint8_t sizeLog2, std::vector<SectorRun> regions, uint8_t maxProgramLog2) {
    return FlashCfi{.commandSet = 0x0002,
                    .primaryTable = 0x40,
                    .vcc = {0x27, 0x36},
                    .vpp = {0x00, 0x00},
                    .typical = {0x04, 0x00, 0x0A, 0x00},
                    .maximum = {maxProgramLog2, 0x00, 0x04, 0x00},
                    .sizeLog2 = sizeLog2,
                    .interface = 0x0002,
                    .bufferLog2 = 0x0000,
                    .regions = std::move(regions),
                    .primaryExtended = kAmdPrimary};
}

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
         .cfi = AmdCfi(0x15, kBottomBoot2M, 0x05)},
        {.name = "AM29LV160DT",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0001,
         .device = 0x22C4,
         .layout = kTopBoot2M,
         .busy = kAm29lvTimes,
         .cfi = AmdCfi(0x15, kTopBoot2M, 0x05)},
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
         .cfi = AmdCfi(0x15, kBottomBoot2M, 0x04)},
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
         .cfi = AmdCfi(0x15, kBottomBoot2M, 0x05)},
        {.name = "AM29LV800DB",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0001,
         .device = 0x225B,
         .layout = kBottomBoot1M,
         .busy = kAm29lv800Times,
         .cfi = AmdCfi(0x14, kBottomBoot1M, 0x05)},
        // The earlier B revision answers with the same codes.
        {.name = "AM29LV800BB",
         .family = FlashFamily::Amd,
         .manufacturer = 0x0001,
         .device = 0x225B,
         .layout = kBottomBoot1M,
         .busy = kAm29lv800Times,
         .cfi = AmdCfi(0x14, kBottomBoot1M, 0x05)},
        // Smart 3 Advanced Boot Block, bottom boot: eight 8K parameter blocks, the lowest two
        // locked by WP#; no lock commands, no chip erase. Times at Vpp = Vcc.
        {.name = "28F160B3B",
         .family = FlashFamily::Intel,
         .manufacturer = 0x0089,
         .device = 0x8891,
         .layout = {{8, 8 * KiB}, {31, 64 * KiB}},
         .locking = FlashLocking::WriteProtectPin,
         .wpBlocks = 2,
         .busy = {.programTyp = 22,
                  .programMax = 200,
                  .eraseTyp = 1 * kS,
                  .eraseMax = 5 * kS,
                  .smallEraseTyp = 500 * kMs},
         .cfi = {.commandSet = 0x0003,
                 .primaryTable = 0x35,
                 .vcc = {0x27, 0x36},
                 .vpp = {0xB4, 0xC6},
                 .typical = {0x05, 0x00, 0x0A, 0x00},
                 .maximum = {0x04, 0x00, 0x03, 0x00},
                 .sizeLog2 = 0x15,
                 .interface = 0x0001,
                 .bufferLog2 = 0x0000,
                 .regions = {{8, 8 * KiB}, {31, 64 * KiB}},
                 // "PRI" 1.0: erase and program suspend; program after erase suspend.
                 .primaryExtended = {'P', 'R', 'I', '1', '0', 0x06, 0x00, 0x00, 0x00, 0x01, 0x00,
                                     0x00, 0x33, 0xC0}}},
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
                 .sizeLog2 = 0x16,
                 .interface = 0x0002,
                 .bufferLog2 = 0x0005,
                 .regions = {{32, 128 * KiB}},
                 // "PRI" 1.1: erase/program suspend, legacy lock bits; block lock status active.
                 .primaryExtended = {'P', 'R', 'I', '1', '1', 0x0A, 0x00, 0x00, 0x00, 0x01, 0x01,
                                     0x00, 0x33, 0x00, 0x01}}},
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
