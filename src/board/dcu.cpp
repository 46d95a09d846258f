#include "board/dcu.h"

namespace tapster::board {

namespace {
constexpr uint32_t Offset(uint32_t address) {
    return address - kDcuBase;
}
} // namespace

uint32_t Dcu::Stored(uint32_t offset) const {
    return static_cast<uint32_t>(regs_[offset]) | static_cast<uint32_t>(regs_[offset + 1]) << 8 |
           static_cast<uint32_t>(regs_[offset + 2]) << 16 |
           static_cast<uint32_t>(regs_[offset + 3]) << 24;
}

uint8_t Dcu::Read8(uint32_t offset) {
    offset %= kDcuSize;
    const uint32_t word = offset & ~3u;
    uint32_t value = 0;
    switch (word + kDcuBase) {
    case kDcuStatus:
        value = cpu_.Status();
        break;
    case kDcuWpAddress:
        value = cpu_.WatchAddress();
        break;
    case kDcuJumpTraceIptr:
        value = cpu_.JumpIptr();
        break;
    case kDcuJumpTraceFrom:
        value = cpu_.JumpFrom();
        break;
    default:
        return regs_[offset];
    }
    return static_cast<uint8_t>(value >> (8 * (offset & 3)));
}

void Dcu::Write8(uint32_t offset, uint8_t value) {
    regs_[offset % kDcuSize] = value;
}

void Dcu::HostWrote(uint32_t address, uint32_t length) {
    const uint64_t begin = address;
    const uint64_t end = begin + length;
    for (uint32_t reg = kDcuBase; reg < kDcuBase + kDcuSize; reg += 4) {
        if (reg < begin || reg + uint64_t{4} > end) continue;
        const uint32_t value = Stored(Offset(reg));
        switch (reg) {
        case kDcuControl:
            cpu_.WriteControl(value);
            break;
        case kDcuWpControl:
            cpu_.WriteWatchpointControl(value);
            break;
        case kDcuBpControl:
            cpu_.WriteBreakpointControl(value);
            break;
        default:
            break;
        }
    }
}

} // namespace tapster::board
