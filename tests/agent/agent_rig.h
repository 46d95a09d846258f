// A bench board for the flash agent images: an ST20 core on a bus with RAM and one flash chip,
// the image loaded at a trap routine address and entered there with its workspace at +0x200,
// and the mailbox written the way the host writes it (parameters first, the command word last).
// Every data write the core makes to RAM is checked against the agent's own area.
#pragma once

#include "board/flash_chip.h"
#include "st20/core.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tapster::agent_test {

inline constexpr uint32_t kRamBase = 0x80000000;
inline constexpr uint32_t kRamSize = 0x20000;
inline constexpr uint32_t kStatusReleased = 0x0001;
inline constexpr uint32_t kStatusAborted = 0x0008;
inline constexpr uint32_t kStop = 0x0004;
// The agent's own reason bits above the answer.
inline constexpr uint32_t kReasonFailed = 0x00010000;
inline constexpr uint32_t kReasonTimeout = 0x00020000;
inline constexpr uint32_t kReasonLocked = 0x00040000;
inline constexpr uint32_t kReasonFamily = 0x00080000;
inline constexpr uint32_t kReasonBadCall = 0x00100000;
inline constexpr uint32_t kReasonSkipped = 0x00200000;
// The lowest byte the agent may write, from the trap routine address (LOW_WATER in the source).
inline constexpr uint32_t kLowWater = 0x200 - 4 * 5 - 16;

struct RigSetup {
    std::span<const uint8_t> image;
    const board::FlashChipInfo* chip = nullptr;
    uint32_t flashBase = 0x7FE00000;
    uint32_t trapAddress = 0x80000800;
    uint32_t busyPercent = 1;
    uint8_t priority = 0; // the trap's priority: 0 high (a HIGH slot), 1 low
    board::FlashFaults faults;
    // Bytes of the chip the bus reaches (0: all); above them a ROM answers, as on a chip whose
    // top lies behind the internal ROM. Its words read 0x0000 and take no writes.
    uint32_t reachable = 0;
};

class AgentRig final : public st20::CoreBus {
  public:
    explicit AgentRig(const RigSetup& setup);

    board::FlashChip& Chip() { return *chip_; }
    st20::Core& Core() { return core_; }
    uint32_t Mailbox() const { return trap_ + 0x200; }
    uint32_t FlashBase() const { return base_; }

    uint32_t Word(uint32_t address) const;
    void SetWord(uint32_t address, uint32_t value);

    // One call as the host makes it; runs the core until the agent answers (or `budget` cycles
    // pass: then nullopt). `stopAfter`: write the stop code once this many cycles have passed
    // and the chip is busy (so it lands inside one of the agent's waits).
    std::optional<uint32_t> Call(uint32_t command, uint32_t flashAddress = 0, uint32_t length = 0,
                                 uint64_t budget = 400'000'000,
                                 std::optional<uint64_t> stopAfter = std::nullopt);
    // Programs `bytes` at `flashAddress` in chunks of at most 4096, as Write from File does.
    uint32_t Program(uint32_t flashAddress, std::span<const uint8_t> bytes);
    // Runs until the answer arrives; nullopt when `budget` cycles pass first.
    std::optional<uint32_t> RunUntilAnswered(uint64_t budget,
                                             std::optional<uint64_t> stopAfter = std::nullopt);

    // Bytes of the flash as the array holds them.
    std::vector<uint8_t> FlashBytes(uint32_t offset, uint32_t length) const;
    // The lowest and highest RAM byte the core wrote (data writes, not the rig's own).
    uint32_t LowestWrite() const { return lowestWrite_; }
    uint32_t HighestWrite() const { return highestWrite_; }
    bool WroteOutsideAgentArea() const { return strayWrite_; }
    // A normal (possibly cached) load or store reached the mailbox or the flash.
    bool CachedAccessToSharedWords() const { return cachedShared_; }

    // CoreBus.
    uint32_t Load(uint32_t address, uint32_t size, st20::Access access) override;
    void Store(uint32_t address, uint32_t size, uint32_t value, st20::Access access) override;

  private:
    bool InFlash(uint32_t address) const { return address - base_ < reachable_; }
    bool InHiddenFlash(uint32_t address) const {
        return address - base_ >= reachable_ && address - base_ < chip_->Size();
    }
    void NoteWrite(uint32_t address, uint32_t size);
    void NoteAccess(uint32_t address, st20::Access access);

    std::vector<uint8_t> ram_;
    std::unique_ptr<board::FlashChip> chip_;
    st20::Core core_;
    uint32_t base_;
    uint32_t reachable_;
    uint32_t trap_;
    uint32_t lowestWrite_ = UINT32_MAX;
    uint32_t highestWrite_ = 0;
    bool strayWrite_ = false;
    bool cachedShared_ = false;
};

} // namespace tapster::agent_test
