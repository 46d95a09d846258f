// The flash agent: the trap routine running in the target after a trap was taken into it. It
// serves the mailbox at the trap slot's workspace pointer: the host writes a command code into
// the word at +0 and polls that word; the agent answers by setting the released or aborted bit.
// It drives the flash chip through the chip's own command cycles on the target bus.
//
// Busy time is counted in mailbox polls (host reads covering the word at +0), never in wall-clock
// time. A call configured for N busy polls shows busy to N polls and is answered at the next one.
#pragma once

#include "board/board_config.h"
#include "board/target_bus.h"

#include <cstdint>
#include <optional>

namespace tapster::board {

// Mailbox offsets and codes shared with the host side.
inline constexpr uint32_t kMailboxCommand = 0;
inline constexpr uint32_t kMailboxFlashAddress = 4;
inline constexpr uint32_t kMailboxSource = 8;
inline constexpr uint32_t kMailboxLength = 12;
inline constexpr uint32_t kMailboxFlashBase = 16;
inline constexpr uint32_t kMailboxResult1 = 20; // also the trap workspace word OP_TEMP
inline constexpr uint32_t kMailboxResult2 = 24;

inline constexpr uint32_t kAgentCmdReadId = 0x0010;
inline constexpr uint32_t kAgentCmdProtectStatus = 0x0020;
inline constexpr uint32_t kAgentCmdProgram = 0x0100;
inline constexpr uint32_t kAgentCmdEraseBlock = 0x0200;
inline constexpr uint32_t kAgentCmdEraseChip = 0x0400;
inline constexpr uint32_t kAgentCmdStop = 0x0004;
inline constexpr uint32_t kAgentStReleased = 0x0001;
inline constexpr uint32_t kAgentStAborted = 0x0008;

// The agent's buffer holds one programming chunk; a longer program call is refused (aborted).
inline constexpr uint32_t kAgentBufferSize = 4096;

class Agent {
  public:
    Agent(TargetBus& bus, const AgentConfig& config) : bus_(bus), config_(config) {}

    // The routine was entered through a trap with this workspace (mailbox) address. A call in
    // progress under an earlier entry is dropped.
    void Start(uint32_t mailbox);
    // The CPU was reset: the routine no longer runs.
    void Halt();

    bool Running() const { return running_; }
    uint32_t Mailbox() const { return mailbox_; }
    bool Busy() const { return call_.has_value(); }

    // The host wrote [address, address + length) through the link. Recorded even while the
    // CPU is stalled, so a command written meanwhile is seen once the CPU runs again.
    void NoteHostWrite(uint32_t address, uint32_t length);
    // One step of the routine while the CPU executes: looks at a command word the host wrote.
    void Step();
    // The host is about to read [address, address + length) while the CPU executes; a read
    // covering the command word is one poll.
    void Poll(uint32_t address, uint32_t length);

  private:
    struct Call {
        uint32_t command = 0;
        uint32_t busyLeft = 0;  // polls still to show busy
        uint32_t pollsSeen = 0; // polls since the call started
    };

    bool CoversCommandWord(uint32_t address, uint32_t length) const;
    uint32_t Word(uint32_t offset) { return bus_.Read32(mailbox_ + offset); }
    void SetWord(uint32_t offset, uint32_t value) { bus_.Write32(mailbox_ + offset, value); }
    void SetStatus(uint32_t bits) { SetWord(kMailboxCommand, Word(kMailboxCommand) | bits); }
    uint32_t BusyPolls(uint32_t command) const;
    void Begin(uint32_t command);
    // Does the call's work; false when the call cannot be carried out (then it aborts).
    bool Execute(uint32_t command);

    // Flash command cycles (16-bit bus cycles through the byte bus).
    void Write16(uint32_t address, uint16_t value);
    uint16_t Read16(uint32_t address);
    void Unlock(uint32_t base);
    void Command(uint32_t base, uint8_t code);
    void ReadId();
    void ReadProtection();
    bool ProgramBuffer();
    void EraseBlock();
    void EraseChip();

    TargetBus& bus_;
    AgentConfig config_;
    bool running_ = false;
    uint32_t mailbox_ = 0;
    bool commandWritten_ = false; // the host wrote the command word since the agent last looked
    std::optional<Call> call_;
};

} // namespace tapster::board
