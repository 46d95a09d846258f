#include "board/memory_map.h"

#include "board_rom.h"

#include <cstddef>
#include <cstring>

namespace tapster::board {

namespace {

uint32_t Mix(uint32_t x) {
    // A small integer hash (lowbias32): neighbouring addresses give unrelated bytes.
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// Used data never looks free, whichever free value the search counts.
uint8_t Inward(uint8_t value) {
    return value == 0x00 ? 0x01 : value == 0xFF ? 0xFE : value;
}

template <std::size_t N>
void Lay(std::vector<uint8_t>& memory, uint32_t base, const DefaultArea (&layout)[N]) {
    uint8_t* bytes = memory.data();
    for (const DefaultArea& area : layout) {
        uint8_t* at = bytes + area.offset;
        if (area.kind == DefaultArea::Erased)
            std::memset(at, 0xFF, area.length);
        else if (area.kind == DefaultArea::Zeroed)
            std::memset(at, 0x00, area.length);
        else {
            // Areas are word-aligned: one hash per word, as UsedAreaByte takes it.
            for (uint32_t i = 0; i < area.length; i += 4) {
                const uint32_t word = Mix((base + area.offset + i) >> 2);
                for (uint32_t k = 0; k < 4; ++k)
                    at[i + k] = Inward(static_cast<uint8_t>(word >> (8 * k)));
            }
        }
    }
}

} // namespace

uint8_t UsedAreaByte(uint32_t address) {
    // One hash serves the four bytes of a word.
    return Inward(static_cast<uint8_t>(Mix(address >> 2) >> (8 * (address & 3))));
}

uint8_t RomByte(uint32_t offset) {
    offset &= kRomSize - 1;
    return offset < kBoardRomSize ? kBoardRom[offset] : kUnmappedByte;
}

uint32_t VisibleDeviceSize(uint32_t base, uint32_t size) {
    static constexpr uint32_t kMemoryBases[] = {kSramBase, kSdramBase, kVramBase, kRomBase,
                                                kDcuBase};
    uint64_t end = uint64_t{base} + size;
    for (uint32_t memory : kMemoryBases) {
        if (memory > base && memory < end) end = memory;
    }
    return static_cast<uint32_t>(end - base);
}

MemoryMap::MemoryMap() {
    memories_.push_back({kSdramBase, kSdramSize, true, std::vector<uint8_t>(kSdramSize)});
    memories_.push_back({kVramBase, kVramSize, true, std::vector<uint8_t>(kVramSize)});
    memories_.push_back({kSramBase, kSramSize, true, std::vector<uint8_t>(kSramSize, 0)});
    memories_.push_back({kDcuBase, kDcuSize, true, std::vector<uint8_t>(kDcuSize, 0)});
    memories_.push_back({kRomBase, kRomSize, false, std::vector<uint8_t>(kRomSize)});
    Lay(memories_[0].bytes, kSdramBase, kSdramLayout);
    Lay(memories_[1].bytes, kVramBase, kVramLayout);
    for (uint32_t i = 0; i < kRomSize; ++i)
        memories_[4].bytes[i] = RomByte(i);
}

MemoryMap::Memory* MemoryMap::Find(uint32_t address) {
    for (Memory& memory : memories_) {
        if (address - memory.base < memory.size) return &memory;
    }
    return nullptr;
}

uint8_t MemoryMap::Read8(uint32_t address) {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        if (address - it->base < it->size) return it->device->Read8(address - it->base);
    }
    if (Memory* memory = Find(address)) return memory->bytes[address - memory->base];
    return kUnmappedByte;
}

void MemoryMap::Write8(uint32_t address, uint8_t value) {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        if (address - it->base < it->size) {
            it->device->Write8(address - it->base, value);
            return;
        }
    }
    Memory* memory = Find(address);
    if (memory != nullptr && memory->writable) memory->bytes[address - memory->base] = value;
}

void MemoryMap::Map(uint32_t base, uint32_t size, MappedDevice* device) {
    if (device != nullptr && size != 0) windows_.push_back({base, size, device});
}

MemoryMap::Span MemoryMap::DirectSpan(uint32_t address) {
    Memory* memory = Find(address);
    if (memory == nullptr) return {};
    for (const Window& window : windows_) {
        const uint64_t end = uint64_t{window.base} + window.size;
        if (window.base < uint64_t{memory->base} + memory->size && end > memory->base) return {};
    }
    return {memory->base, memory->size, memory->bytes.data(), memory->writable};
}

bool MemoryMap::Poke(uint32_t address, uint8_t value) {
    Memory* memory = Find(address);
    if (memory == nullptr) return false;
    memory->bytes[address - memory->base] = value;
    return true;
}

bool MemoryMap::InStorage(uint32_t address, uint32_t length) {
    static constexpr struct {
        uint32_t base, size;
    } kAreas[] = {{kDcuBase, kDcuSize},
                  {kSramBase, kSramSize},
                  {kSdramBase, kSdramSize},
                  {kVramBase, kVramSize},
                  {kRomBase, kRomSize}};
    for (const auto& area : kAreas) {
        const uint32_t offset = address - area.base;
        if (offset < area.size && length <= area.size - offset) return true;
    }
    return false;
}

} // namespace tapster::board
