#include "ops/flash_chips.h"

#include "core/hex.h"

#include <cstdio>

namespace tapster {

namespace {

constexpr uint32_t KiB = 1024;

// Sector maps, lowest address first. "B" boot blocks sit at the bottom, "T" at the top.
constexpr SectorRun kAmdB1M[] = {{1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {15, 64 * KiB}};
constexpr SectorRun kAmdT1M[] = {{15, 64 * KiB}, {1, 32 * KiB}, {2, 8 * KiB}, {1, 16 * KiB}};
constexpr SectorRun kAmdB2M[] = {{1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {31, 64 * KiB}};
constexpr SectorRun kAmdT2M[] = {{31, 64 * KiB}, {1, 32 * KiB}, {2, 8 * KiB}, {1, 16 * KiB}};
constexpr SectorRun kAmdB4M[] = {{1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {63, 64 * KiB}};
constexpr SectorRun kAmdT4M[] = {{63, 64 * KiB}, {1, 32 * KiB}, {2, 8 * KiB}, {1, 16 * KiB}};
// Eight 8 KiB parameter sectors (the 32 Mbit and larger AMD-family parts, Intel B3/C3, Sharp).
constexpr SectorRun kParamB1M[] = {{8, 8 * KiB}, {15, 64 * KiB}};
constexpr SectorRun kParamT1M[] = {{15, 64 * KiB}, {8, 8 * KiB}};
constexpr SectorRun kParamB2M[] = {{8, 8 * KiB}, {31, 64 * KiB}};
constexpr SectorRun kParamT2M[] = {{31, 64 * KiB}, {8, 8 * KiB}};
constexpr SectorRun kParamB4M[] = {{8, 8 * KiB}, {63, 64 * KiB}};
constexpr SectorRun kParamT4M[] = {{63, 64 * KiB}, {8, 8 * KiB}};
constexpr SectorRun kParamB8M[] = {{8, 8 * KiB}, {127, 64 * KiB}};
constexpr SectorRun kParamT8M[] = {{127, 64 * KiB}, {8, 8 * KiB}};
constexpr SectorRun kUniform64K8M[] = {{128, 64 * KiB}};
constexpr SectorRun kUniform128K4M[] = {{32, 128 * KiB}};
constexpr SectorRun kUniform128K8M[] = {{64, 128 * KiB}};
// SST 39VF: the agent's erase block call clears the 4 KiB sector holding the address.
constexpr SectorRun kSst4K1M[] = {{256, 4 * KiB}};
constexpr SectorRun kSst4K2M[] = {{512, 4 * KiB}};
constexpr SectorRun kSst4K4M[] = {{1024, 4 * KiB}};

constexpr FlashFamily A = FlashFamily::AmdJedec;
constexpr FlashFamily I = FlashFamily::IntelSharp;
constexpr FlashFamily S = FlashFamily::Sst;
constexpr BootBlock Bot = BootBlock::Bottom;
constexpr BootBlock Top = BootBlock::Top;
constexpr BootBlock Uni = BootBlock::None;

// Manufacturer and device codes as the x16 autoselect / read-identifier mode gives them. Where
// two makers share codes (Spansion took over AMD's), the AMD name stands for both.
// clang-format off
constexpr FlashChip kChips[] = {
    // AMD Am29LV800D data sheet (AMD 21490); Am29LV800B (AMD 21490, rev. B) has the same codes.
    {.name = "Am29LV800DT", .manufacturer = 0x0001, .device = 0x22DA, .family = A, .boot = Top, .sectors = kAmdT1M},
    {.name = "Am29LV800DB", .manufacturer = 0x0001, .device = 0x225B, .family = A, .boot = Bot, .sectors = kAmdB1M},
    // AMD Am29LV160D data sheet (AMD 22358); Spansion S29AL016D (Spansion 33010) answers alike.
    {.name = "Am29LV160DT", .manufacturer = 0x0001, .device = 0x22C4, .family = A, .boot = Top, .sectors = kAmdT2M},
    {.name = "Am29LV160DB", .manufacturer = 0x0001, .device = 0x2249, .family = A, .boot = Bot, .sectors = kAmdB2M},
    // AMD Am29LV320D data sheet (AMD 23579); Spansion S29AL032D models 03/04 (Spansion 30847).
    {.name = "Am29LV320DT", .manufacturer = 0x0001, .device = 0x22F6, .family = A, .boot = Top, .sectors = kParamT4M},
    {.name = "Am29LV320DB", .manufacturer = 0x0001, .device = 0x22F9, .family = A, .boot = Bot, .sectors = kParamB4M},
    // AMD Am29LV640D/U data sheet (AMD 26190): uniform 64 KiB sectors.
    {.name = "Am29LV640D", .manufacturer = 0x0001, .device = 0x22D7, .family = A, .boot = Uni, .sectors = kUniform64K8M},
    // Fujitsu MBM29LV800TE/BE data sheet (DS05-20880).
    {.name = "MBM29LV800TE", .manufacturer = 0x0004, .device = 0x22DA, .family = A, .boot = Top, .sectors = kAmdT1M},
    {.name = "MBM29LV800BE", .manufacturer = 0x0004, .device = 0x225B, .family = A, .boot = Bot, .sectors = kAmdB1M},
    // Fujitsu MBM29LV160TE/BE data sheet (DS05-20882).
    {.name = "MBM29LV160TE", .manufacturer = 0x0004, .device = 0x22C4, .family = A, .boot = Top, .sectors = kAmdT2M},
    {.name = "MBM29LV160BE", .manufacturer = 0x0004, .device = 0x2249, .family = A, .boot = Bot, .sectors = kAmdB2M},
    // Fujitsu MBM29LV320TE/BE data sheet (DS05-20897).
    {.name = "MBM29LV320TE", .manufacturer = 0x0004, .device = 0x22F6, .family = A, .boot = Top, .sectors = kParamT4M},
    {.name = "MBM29LV320BE", .manufacturer = 0x0004, .device = 0x22F9, .family = A, .boot = Bot, .sectors = kParamB4M},
    // ST M29W800DT/DB data sheet.
    {.name = "M29W800DT", .manufacturer = 0x0020, .device = 0x22D7, .family = A, .boot = Top, .sectors = kAmdT1M},
    {.name = "M29W800DB", .manufacturer = 0x0020, .device = 0x225B, .family = A, .boot = Bot, .sectors = kAmdB1M},
    // ST M29W160ET/EB data sheet.
    {.name = "M29W160ET", .manufacturer = 0x0020, .device = 0x22C4, .family = A, .boot = Top, .sectors = kAmdT2M},
    {.name = "M29W160EB", .manufacturer = 0x0020, .device = 0x2249, .family = A, .boot = Bot, .sectors = kAmdB2M},
    // ST M29W320DT/DB data sheet.
    {.name = "M29W320DT", .manufacturer = 0x0020, .device = 0x22CA, .family = A, .boot = Top, .sectors = kAmdT4M},
    {.name = "M29W320DB", .manufacturer = 0x0020, .device = 0x22CB, .family = A, .boot = Bot, .sectors = kAmdB4M},
    // ST M29W320ET/EB data sheet: eight 8 KiB parameter blocks.
    {.name = "M29W320ET", .manufacturer = 0x0020, .device = 0x2256, .family = A, .boot = Top, .sectors = kParamT4M},
    {.name = "M29W320EB", .manufacturer = 0x0020, .device = 0x2257, .family = A, .boot = Bot, .sectors = kParamB4M},
    // Macronix MX29LV800C T/B data sheet (PM1025).
    {.name = "MX29LV800CT", .manufacturer = 0x00C2, .device = 0x22DA, .family = A, .boot = Top, .sectors = kAmdT1M},
    {.name = "MX29LV800CB", .manufacturer = 0x00C2, .device = 0x225B, .family = A, .boot = Bot, .sectors = kAmdB1M},
    // Macronix MX29LV160D T/B data sheet (PM1319); the MX29LV160C has the same codes.
    {.name = "MX29LV160DT", .manufacturer = 0x00C2, .device = 0x22C4, .family = A, .boot = Top, .sectors = kAmdT2M},
    {.name = "MX29LV160DB", .manufacturer = 0x00C2, .device = 0x2249, .family = A, .boot = Bot, .sectors = kAmdB2M},
    // Macronix MX29LV320D T/B data sheet (PM1300); MX29LV320C alike.
    {.name = "MX29LV320DT", .manufacturer = 0x00C2, .device = 0x22A7, .family = A, .boot = Top, .sectors = kParamT4M},
    {.name = "MX29LV320DB", .manufacturer = 0x00C2, .device = 0x22A8, .family = A, .boot = Bot, .sectors = kParamB4M},
    // Macronix MX29LV640D T/B data sheet (PM1294); MX29LV640B alike.
    {.name = "MX29LV640DT", .manufacturer = 0x00C2, .device = 0x22C9, .family = A, .boot = Top, .sectors = kParamT8M},
    {.name = "MX29LV640DB", .manufacturer = 0x00C2, .device = 0x22CB, .family = A, .boot = Bot, .sectors = kParamB8M},
    // Intel Advanced Boot Block B3 data sheet (Intel 290580).
    {.name = "28F800B3T", .manufacturer = 0x0089, .device = 0x8892, .family = I, .boot = Top, .sectors = kParamT1M},
    {.name = "28F800B3B", .manufacturer = 0x0089, .device = 0x8893, .family = I, .boot = Bot, .sectors = kParamB1M},
    {.name = "28F160B3T", .manufacturer = 0x0089, .device = 0x8890, .family = I, .boot = Top, .sectors = kParamT2M},
    {.name = "28F160B3B", .manufacturer = 0x0089, .device = 0x8891, .family = I, .boot = Bot, .sectors = kParamB2M},
    {.name = "28F320B3T", .manufacturer = 0x0089, .device = 0x8896, .family = I, .boot = Top, .sectors = kParamT4M},
    {.name = "28F320B3B", .manufacturer = 0x0089, .device = 0x8897, .family = I, .boot = Bot, .sectors = kParamB4M},
    {.name = "28F640B3T", .manufacturer = 0x0089, .device = 0x8898, .family = I, .boot = Top, .sectors = kParamT8M},
    {.name = "28F640B3B", .manufacturer = 0x0089, .device = 0x8899, .family = I, .boot = Bot, .sectors = kParamB8M},
    // Intel Advanced+ Boot Block C3 data sheet (Intel 290645).
    {.name = "28F800C3T", .manufacturer = 0x0089, .device = 0x88C0, .family = I, .boot = Top, .sectors = kParamT1M},
    {.name = "28F800C3B", .manufacturer = 0x0089, .device = 0x88C1, .family = I, .boot = Bot, .sectors = kParamB1M},
    {.name = "28F160C3T", .manufacturer = 0x0089, .device = 0x88C2, .family = I, .boot = Top, .sectors = kParamT2M},
    {.name = "28F160C3B", .manufacturer = 0x0089, .device = 0x88C3, .family = I, .boot = Bot, .sectors = kParamB2M},
    {.name = "28F320C3T", .manufacturer = 0x0089, .device = 0x88C4, .family = I, .boot = Top, .sectors = kParamT4M},
    {.name = "28F320C3B", .manufacturer = 0x0089, .device = 0x88C5, .family = I, .boot = Bot, .sectors = kParamB4M},
    {.name = "28F640C3T", .manufacturer = 0x0089, .device = 0x88CC, .family = I, .boot = Top, .sectors = kParamT8M},
    {.name = "28F640C3B", .manufacturer = 0x0089, .device = 0x88CD, .family = I, .boot = Bot, .sectors = kParamB8M},
    // Intel StrataFlash J3 data sheet (Intel 290667): uniform 128 KiB blocks.
    {.name = "28F320J3", .manufacturer = 0x0089, .device = 0x0016, .family = I, .boot = Uni, .sectors = kUniform128K4M},
    {.name = "28F640J3", .manufacturer = 0x0089, .device = 0x0017, .family = I, .boot = Uni, .sectors = kUniform128K8M},
    // Sharp LH28F160BJE-BTL and LH28F320BJE-PBTL data sheets: bottom parameter blocks.
    {.name = "LH28F160BJE", .manufacturer = 0x00B0, .device = 0x00E9, .family = I, .boot = Bot, .sectors = kParamB2M},
    {.name = "LH28F320BJE", .manufacturer = 0x00B0, .device = 0x00E3, .family = I, .boot = Bot, .sectors = kParamB4M},
    // SST 39VF800A data sheet (S71117); SST 39VF1601/1602 (S71223) and 39VF3201/3202 (S71218):
    // the "1"/"3201" parts protect the bottom boot block under WP#, the "2" parts the top one.
    {.name = "SST39VF800A", .manufacturer = 0x00BF, .device = 0x2781, .family = S, .boot = Uni, .sectors = kSst4K1M},
    {.name = "SST39VF1601", .manufacturer = 0x00BF, .device = 0x234B, .family = S, .boot = Bot, .sectors = kSst4K2M},
    {.name = "SST39VF1602", .manufacturer = 0x00BF, .device = 0x234A, .family = S, .boot = Top, .sectors = kSst4K2M},
    {.name = "SST39VF3201", .manufacturer = 0x00BF, .device = 0x235B, .family = S, .boot = Bot, .sectors = kSst4K4M},
    {.name = "SST39VF3202", .manufacturer = 0x00BF, .device = 0x235A, .family = S, .boot = Top, .sectors = kSst4K4M},
};
// clang-format on

struct FamilyRow {
    FlashFamily family;
    const char* name;
    const char* image; // the agent image that drives the family: change it here alone
};
// clang-format off
constexpr FamilyRow kFamilies[] = {
    {.family = FlashFamily::AmdJedec,   .name = "AMD/JEDEC",   .image = "fl4_trap.bin"},
    {.family = FlashFamily::IntelSharp, .name = "Intel/Sharp", .image = "fl4_trap_intel.bin"},
    {.family = FlashFamily::Sst,        .name = "SST",         .image = "fl4_trap_sst.bin"},
};
// clang-format on

const FamilyRow& Family(FlashFamily family) {
    for (const FamilyRow& row : kFamilies)
        if (row.family == family) return row;
    return kFamilies[0];
}

} // namespace

uint32_t FlashChip::Size() const {
    uint32_t total = 0;
    for (const SectorRun& run : sectors)
        total += run.count * run.size;
    return total;
}

std::optional<FlashChip::Sector> FlashChip::SectorAt(uint32_t offset) const {
    uint32_t start = 0;
    for (const SectorRun& run : sectors) {
        const uint32_t runBytes = run.count * run.size;
        if (offset - start < runBytes)
            return Sector{start + (offset - start) / run.size * run.size, run.size};
        start += runBytes;
    }
    return std::nullopt;
}

std::span<const FlashChip> FlashChips() {
    return kChips;
}

const FlashChip* FindFlashChip(uint32_t manufacturer, uint32_t device) {
    for (const FlashChip& chip : kChips)
        if (chip.manufacturer == manufacturer && chip.device == device) return &chip;
    return nullptr;
}

const char* FamilyName(FlashFamily family) {
    return Family(family).name;
}

const char* FamilyImage(FlashFamily family) {
    return Family(family).image;
}

// The AMD image identifies AMD-family and Intel parts, and serves the most common family. An SST
// 39VF part takes only unlock cycles at words 0x5555/0x2AAA and shows array data to the AMD
// image; the SST image, whose unlock AMD-family parts take too, identifies every family.
const char* IdentifyImage() {
    return FamilyImage(FlashFamily::AmdJedec);
}

std::string SizeText(uint64_t bytes) {
    constexpr uint64_t kMiB = 1024 * 1024;
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const uint64_t unit = bytes >= kMiB ? kMiB : 1024;
    const char* name = unit == kMiB ? " MiB" : " KiB";
    if (bytes % unit == 0) return std::to_string(bytes / unit) + name;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%s", static_cast<double>(bytes) / unit, name);
    return text;
}

std::string DescribeFlashChip(const FlashChip* chip, uint32_t manufacturer, uint32_t device) {
    if (chip == nullptr)
        return "unknown chip " + HexMin(manufacturer, 4) + "." + HexMin(device, 4) +
               " (not in the chip table)";
    const char* boot = chip->boot == BootBlock::Bottom ? ", bottom boot"
                       : chip->boot == BootBlock::Top  ? ", top boot"
                                                       : ", uniform sectors";
    return std::string(chip->name) + " (" + FamilyName(chip->family) + ", " +
           SizeText(chip->Size()) + boot + ")";
}

} // namespace tapster
