#include "agent_rig.h"

#include <algorithm>

namespace tapster::agent_test {

namespace {
constexpr uint32_t kCpuHz = 40'000'000;
} // namespace

AgentRig::AgentRig(const RigSetup& setup)
    : ram_(kRamSize, 0), core_(*this, st20::CoreConfig{0, kCpuHz}), base_(setup.flashBase),
      trap_(setup.trapAddress) {
    chip_ = std::make_unique<board::FlashChip>(
        *setup.chip, board::FlashTiming{kCpuHz, setup.busyPercent}, setup.faults);
    chip_->SetCycleSource(&core_.State().cycles);
    reachable_ = setup.reachable != 0 ? setup.reachable : chip_->Size();
    // The host's load: 484 bytes from the image (the rest of its buffer cleared).
    for (uint32_t i = 0; i < 484; ++i)
        ram_[trap_ - kRamBase + i] = i < setup.image.size() ? setup.image[i] : uint8_t{0};
    // The trap into it.
    core_.Reset(st20::BootState{trap_, trap_ + 0x200, setup.priority});
    // Taken well before the first call, as Take Trap does it.
    core_.Run(st20::Budget{UINT64_MAX, 4000});
}

uint32_t AgentRig::Word(uint32_t address) const {
    const uint32_t at = address - kRamBase;
    return static_cast<uint32_t>(ram_[at]) | static_cast<uint32_t>(ram_[at + 1]) << 8 |
           static_cast<uint32_t>(ram_[at + 2]) << 16 | static_cast<uint32_t>(ram_[at + 3]) << 24;
}

void AgentRig::SetWord(uint32_t address, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i)
        ram_[address - kRamBase + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::optional<uint32_t> AgentRig::Call(uint32_t command, uint32_t flashAddress, uint32_t length,
                                       uint64_t budget, std::optional<uint64_t> stopAfter) {
    const uint32_t m = Mailbox();
    SetWord(m, 0); // PrepareAgent
    SetWord(m + 4, flashAddress);
    SetWord(m + 8, m + 28);
    SetWord(m + 12, length);
    SetWord(m + 16, base_);
    SetWord(m, command);
    return RunUntilAnswered(budget, stopAfter);
}

std::optional<uint32_t> AgentRig::RunUntilAnswered(uint64_t budget,
                                                   std::optional<uint64_t> stopAfter) {
    const uint64_t start = core_.State().cycles;
    bool stopped = false;
    while (core_.State().cycles - start < budget) {
        core_.Run(st20::Budget{UINT64_MAX, stopAfter && !stopped ? 20u : 2000u});
        if (core_.Stop()) return std::nullopt; // halted or illegal: never answers
        const uint32_t word = Word(Mailbox());
        if (word & (kStatusReleased | kStatusAborted)) return word;
        if (stopAfter && !stopped && core_.State().cycles - start >= *stopAfter && chip_->Busy()) {
            SetWord(Mailbox(), kStop);
            stopped = true;
        }
    }
    return std::nullopt;
}

uint32_t AgentRig::Program(uint32_t flashAddress, std::span<const uint8_t> bytes) {
    for (size_t done = 0; done < bytes.size(); done += 4096) {
        const size_t chunk = std::min<size_t>(4096, bytes.size() - done);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), chunk,
                    ram_.begin() + (Mailbox() + 28 - kRamBase));
        const auto answer =
            Call(0x0100, flashAddress + static_cast<uint32_t>(done), static_cast<uint32_t>(chunk));
        if (!answer || !(*answer & kStatusReleased)) return answer.value_or(0);
    }
    return kStatusReleased;
}

std::vector<uint8_t> AgentRig::FlashBytes(uint32_t offset, uint32_t length) const {
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i) {
        const uint16_t word = chip_->ArrayWord((offset + i) & ~1u);
        bytes[i] = static_cast<uint8_t>(((offset + i) & 1) ? word >> 8 : word);
    }
    return bytes;
}

void AgentRig::NoteWrite(uint32_t address, uint32_t size) {
    lowestWrite_ = std::min(lowestWrite_, address);
    highestWrite_ = std::max(highestWrite_, address + size - 1);
    // The agent's area: from trap + LOW_WATER up to the end of the result words (mailbox + 28).
    if (address < trap_ + kLowWater || address + size > Mailbox() + 28) strayWrite_ = true;
}

void AgentRig::NoteAccess(uint32_t address, st20::Access access) {
    if (access != st20::Access::Data) return;
    if (InFlash(address) || address - Mailbox() < 28 + 4096) cachedShared_ = true;
}

uint32_t AgentRig::Load(uint32_t address, uint32_t size, st20::Access access) {
    NoteAccess(address, access);
    if (InFlash(address)) {
        const uint32_t offset = address - base_;
        if (size == 4)
            return chip_->Read16(offset) | static_cast<uint32_t>(chip_->Read16(offset + 2)) << 16;
        const uint16_t word = chip_->Read16(offset & ~1u);
        return size == 2 ? word : ((offset & 1) ? word >> 8 : word & 0xFFu);
    }
    if (InHiddenFlash(address)) return 0; // the ROM in front of the chip's top
    const uint32_t at = address - kRamBase;
    if (at >= kRamSize || kRamSize - at < size) return 0xFFFFFFFF >> (32 - 8 * size);
    uint32_t value = 0;
    for (uint32_t i = 0; i < size; ++i)
        value |= static_cast<uint32_t>(ram_[at + i]) << (8 * i);
    return value;
}

void AgentRig::Store(uint32_t address, uint32_t size, uint32_t value, st20::Access access) {
    NoteAccess(address, access);
    if (InFlash(address)) {
        const uint32_t offset = address - base_;
        if (size == 2) {
            chip_->Write16(offset, static_cast<uint16_t>(value));
        } else if (size == 4) {
            chip_->Write16(offset, static_cast<uint16_t>(value));
            chip_->Write16(offset + 2, static_cast<uint16_t>(value >> 16));
        } else { // a lone byte: the other lane floats high
            const uint16_t lane = static_cast<uint16_t>(value & 0xFF);
            chip_->Write16(offset & ~1u, (offset & 1) ? static_cast<uint16_t>(lane << 8 | 0xFF)
                                                      : static_cast<uint16_t>(0xFF00 | lane));
        }
        return;
    }
    const uint32_t at = address - kRamBase;
    if (at >= kRamSize || kRamSize - at < size) {
        strayWrite_ = true;
        return;
    }
    NoteWrite(address, size);
    for (uint32_t i = 0; i < size; ++i)
        ram_[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace tapster::agent_test
