// The CFI query answers by word address, built from the table row: "QRY", the command set,
// the system interface (voltages, time-outs), the device geometry and the primary vendor table.
// In x16 mode each query byte is a word with the byte in its low half. The device size and the
// erase block regions come from the sector layout: each run of equal sectors is a region, in
// address order, and an SST part adds its 64 KiB blocks as a second region over the same array.
#include "board/flash_chip.h"

#include <algorithm>
#include <bit>

namespace tapster::board {

namespace {
constexpr size_t kQueryString = 0x10;
constexpr size_t kCommandSet = 0x13;
constexpr size_t kPrimaryTable = 0x15;
constexpr size_t kInterfaceInfo = 0x1B; // Vcc, Vpp, typical and maximum time-outs
constexpr size_t kDeviceSize = 0x27;
constexpr size_t kInterfaceCode = 0x28;
constexpr size_t kBufferSize = 0x2A;
constexpr size_t kRegionCount = 0x2C;
constexpr size_t kRegions = 0x2D;

void Put16(std::vector<uint16_t>& words, size_t at, uint32_t value) {
    words[at] = static_cast<uint16_t>(value & 0xFF);
    words[at + 1] = static_cast<uint16_t>((value >> 8) & 0xFF);
}

std::vector<SectorRun> EraseRegions(const FlashChipInfo& info) {
    std::vector<SectorRun> regions = info.layout;
    if (info.blockSize != 0) regions.push_back({info.Size() / info.blockSize, info.blockSize});
    return regions;
}
} // namespace

std::vector<uint16_t> FlashChip::BuildCfi(const FlashChipInfo& info) {
    const FlashCfi& cfi = info.cfi;
    const std::vector<SectorRun> regions = EraseRegions(info);
    const size_t regionsEnd = kRegions + 4 * regions.size();
    const size_t primaryEnd = cfi.primaryTable + cfi.primaryExtended.size();
    std::vector<uint16_t> words(std::max(regionsEnd, primaryEnd), 0x0000);

    words[kQueryString] = 'Q';
    words[kQueryString + 1] = 'R';
    words[kQueryString + 2] = 'Y';
    Put16(words, kCommandSet, cfi.commandSet);
    Put16(words, kPrimaryTable, cfi.primaryTable);
    const uint8_t interfaceInfo[] = {cfi.vcc[0],     cfi.vcc[1],     cfi.vpp[0],
                                     cfi.vpp[1],     cfi.typical[0], cfi.typical[1],
                                     cfi.typical[2], cfi.typical[3], cfi.maximum[0],
                                     cfi.maximum[1], cfi.maximum[2], cfi.maximum[3]};
    for (size_t i = 0; i < sizeof interfaceInfo; ++i)
        words[kInterfaceInfo + i] = interfaceInfo[i];
    words[kDeviceSize] = static_cast<uint16_t>(std::bit_width(info.Size()) - 1);
    Put16(words, kInterfaceCode, cfi.interface);
    Put16(words, kBufferSize, cfi.bufferLog2);
    words[kRegionCount] = static_cast<uint16_t>(regions.size());
    for (size_t i = 0; i < regions.size(); ++i) {
        // Blocks in the region minus one, then the block size in units of 256 bytes.
        Put16(words, kRegions + 4 * i, regions[i].count - 1);
        Put16(words, kRegions + 4 * i + 2, regions[i].size / 256);
    }
    for (size_t i = 0; i < cfi.primaryExtended.size(); ++i)
        words[cfi.primaryTable + i] = cfi.primaryExtended[i];
    return words;
}

} // namespace tapster::board
