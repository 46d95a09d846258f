#include "board/core_bus.h"

#include "board/flash_chip.h"

#include <utility>

namespace tapster::board {

CoreBusAdapter::CoreBusAdapter(MemoryMap& memory, FlashChip* flash, uint32_t flashBase,
                               uint32_t flashSize, std::function<void(uint32_t, uint32_t)> dcuWrote)
    : memory_(memory), flash_(flash), flashBase_(flashBase), flashSize_(flashSize),
      dcuWrote_(std::move(dcuWrote)) {}

st20::DirectWindow CoreBusAdapter::Window(uint32_t address) {
    const MemoryMap::Span span = memory_.DirectSpan(address);
    return {span.base, span.size, span.data, span.writable};
}

bool CoreBusAdapter::PlainRam(uint32_t address) const {
    const MemoryMap::Span span = memory_.DirectSpan(address);
    return span.size != 0 && span.writable;
}

// A 32-bit access to the 16-bit chip is two bus cycles, the low half first.
uint32_t CoreBusAdapter::FlashLoad(uint32_t offset, uint32_t size) {
    if (size == 4) return FlashLoad(offset, 2) | FlashLoad(offset + 2, 2) << 16;
    const uint16_t word = flash_->Read16(offset & ~1u);
    if (size == 2) return word;
    return (offset & 1) ? word >> 8 : word & 0xFFu;
}

// A byte store drives only its own lane; the other floats high (0xFF), which leaves that byte
// unchanged when programming.
void CoreBusAdapter::FlashStore(uint32_t offset, uint32_t size, uint32_t value) {
    if (size == 4) {
        FlashStore(offset, 2, value & 0xFFFF);
        FlashStore(offset + 2, 2, value >> 16);
        return;
    }
    if (size == 2) {
        flash_->Write16(offset, static_cast<uint16_t>(value));
        return;
    }
    const uint8_t byte = static_cast<uint8_t>(value);
    flash_->Write16(offset & ~1u, (offset & 1) ? static_cast<uint16_t>(0x00FF | byte << 8)
                                               : static_cast<uint16_t>(0xFF00 | byte));
}

uint32_t CoreBusAdapter::Load(uint32_t address, uint32_t size, st20::Access) {
    if (InFlash(address)) return FlashLoad(address - flashBase_, size);
    uint32_t value = 0;
    for (uint32_t i = 0; i < size; ++i)
        value |= static_cast<uint32_t>(memory_.Read8(address + i)) << (8 * i);
    return value;
}

void CoreBusAdapter::Store(uint32_t address, uint32_t size, uint32_t value, st20::Access) {
    if (InFlash(address)) {
        FlashStore(address - flashBase_, size, value);
        return;
    }
    for (uint32_t i = 0; i < size; ++i)
        memory_.Write8(address + i, static_cast<uint8_t>(value >> (8 * i)));
    if (address - kDcuBase < kDcuSize && dcuWrote_) dcuWrote_(address, size);
}

} // namespace tapster::board
