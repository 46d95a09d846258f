// The host's own table of flash chips: what the ID codes of an identify call mean (name, size,
// sector map, command family, boot-block position) and which agent image serves the chip. It is
// independent of the simulated board's chips, so that each checks the other.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tapster {

enum class FlashFamily { AmdJedec, IntelSharp, Sst };
enum class BootBlock { None, Bottom, Top };

// `count` sectors of `size` bytes each; a chip's runs go from its lowest address up.
struct SectorRun {
    uint32_t count = 0;
    uint32_t size = 0;
};

struct FlashChip {
    const char* name = "";
    uint16_t manufacturer = 0;
    uint16_t device = 0;
    FlashFamily family = FlashFamily::AmdJedec;
    BootBlock boot = BootBlock::None;
    std::span<const SectorRun> sectors;

    uint32_t Size() const;
    // The sector holding `offset` (bytes from the chip's start): its start offset and size.
    struct Sector {
        uint32_t offset = 0;
        uint32_t size = 0;
    };
    std::optional<Sector> SectorAt(uint32_t offset) const;
};

std::span<const FlashChip> FlashChips();
// The row of these ID codes; null for a chip the table does not know.
const FlashChip* FindFlashChip(uint32_t manufacturer, uint32_t device);

// "AMD/JEDEC", "Intel/Sharp", "SST".
const char* FamilyName(FlashFamily family);
// The agent image that drives the family's chips.
const char* FamilyImage(FlashFamily family);
// The image that identifies every chip, whichever its family.
const char* IdentifyImage();

// "Am29LV160DB (AMD/JEDEC, 2 MiB, bottom boot)"; for an unknown chip
// "unknown chip 0001.2249 (not in the chip table)".
std::string DescribeFlashChip(const FlashChip* chip, uint32_t manufacturer, uint32_t device);
// "2 MiB", "64 KiB", "300 bytes".
std::string SizeText(uint64_t bytes);

} // namespace tapster
