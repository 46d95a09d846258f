#include "board/agent.h"

namespace tapster::board {

namespace {
// Command cycle addresses as byte offsets from the chip base (word addresses 0x555 and 0x2AA).
constexpr uint32_t kUnlock1 = 0x555 * 2;
constexpr uint32_t kUnlock2 = 0x2AA * 2;
// Autoselect word 2 of a sector holds its protection status.
constexpr uint32_t kProtectionWord = 0x02 * 2;
// Sectors start on boundaries far coarser than this.
constexpr uint32_t kSectorAlignMask = ~0x1FFu;

bool IsCommand(uint32_t word) {
    switch (word) {
    case kAgentCmdReadId:
    case kAgentCmdProtectStatus:
    case kAgentCmdProgram:
    case kAgentCmdEraseBlock:
    case kAgentCmdEraseChip:
        return true;
    default:
        return false;
    }
}
} // namespace

void Agent::Start(uint32_t mailbox) {
    running_ = true;
    mailbox_ = mailbox;
    commandWritten_ = false;
    call_.reset();
}

void Agent::Halt() {
    running_ = false;
    commandWritten_ = false;
    call_.reset();
}

bool Agent::CoversCommandWord(uint32_t address, uint32_t length) const {
    if (length == 0) return false;
    return static_cast<uint32_t>(mailbox_ - address) < length ||
           static_cast<uint32_t>(address - mailbox_) < 4;
}

void Agent::NoteHostWrite(uint32_t address, uint32_t length) {
    if (running_ && CoversCommandWord(address, length)) commandWritten_ = true;
}

uint32_t Agent::BusyPolls(uint32_t command) const {
    switch (command) {
    case kAgentCmdReadId:
        return config_.identifyPolls;
    case kAgentCmdProtectStatus:
        return config_.protectPolls;
    case kAgentCmdProgram:
        return config_.programPolls;
    case kAgentCmdEraseBlock:
        return config_.eraseBlockPolls;
    default:
        return config_.eraseChipPolls;
    }
}

void Agent::Begin(uint32_t command) {
    call_ = Call{command, BusyPolls(command), 0};
}

void Agent::Step() {
    if (!running_ || !commandWritten_) return;
    commandWritten_ = false;
    const uint32_t word = Word(kMailboxCommand);
    if (call_) {
        if (word == kAgentCmdStop) {
            call_.reset();
            SetStatus(kAgentStAborted);
        } else if (IsCommand(word)) {
            Begin(word); // the host started over with a new call
        } else if (word == 0) {
            call_.reset(); // the host withdrew the command
        }
        return;
    }
    if (word == kAgentCmdStop)
        SetStatus(kAgentStReleased); // nothing running: the last call finished before the stop
    else if (IsCommand(word))
        Begin(word);
}

void Agent::Poll(uint32_t address, uint32_t length) {
    if (!running_ || !call_ || !CoversCommandWord(address, length)) return;
    ++call_->pollsSeen;
    if (call_->busyLeft == 0) {
        const uint32_t command = call_->command;
        call_.reset();
        // Result words are in place before the status bit that lets the host read them.
        SetStatus(Execute(command) ? kAgentStReleased : kAgentStAborted);
        return;
    }
    --call_->busyLeft;
    if (config_.timeLimitPolls != 0 && call_->pollsSeen >= config_.timeLimitPolls) {
        call_.reset();
        SetStatus(kAgentStAborted);
    }
}

bool Agent::Execute(uint32_t command) {
    switch (command) {
    case kAgentCmdReadId:
        ReadId();
        return true;
    case kAgentCmdProtectStatus:
        ReadProtection();
        return true;
    case kAgentCmdProgram:
        return ProgramBuffer();
    case kAgentCmdEraseBlock:
        EraseBlock();
        return true;
    default:
        EraseChip();
        return true;
    }
}

void Agent::Write16(uint32_t address, uint16_t value) {
    bus_.Write8(address, static_cast<uint8_t>(value));
    bus_.Write8(address + 1, static_cast<uint8_t>(value >> 8));
}

uint16_t Agent::Read16(uint32_t address) {
    const uint8_t low = bus_.Read8(address);
    return static_cast<uint16_t>(low | bus_.Read8(address + 1) << 8);
}

void Agent::Unlock(uint32_t base) {
    Write16(base + kUnlock1, 0xAA);
    Write16(base + kUnlock2, 0x55);
}

void Agent::Command(uint32_t base, uint8_t code) {
    Unlock(base);
    Write16(base + kUnlock1, code);
}

void Agent::ReadId() {
    const uint32_t base = Word(kMailboxFlashBase);
    Command(base, 0x90);
    const uint16_t manufacturer = Read16(base);
    const uint16_t device = Read16(base + 2);
    Write16(base, 0xF0);
    SetWord(kMailboxResult1, manufacturer);
    SetWord(kMailboxResult2, device);
}

void Agent::ReadProtection() {
    const uint32_t base = Word(kMailboxFlashBase);
    const uint32_t block = Word(kMailboxFlashAddress);
    Command(base, 0x90);
    const uint16_t status = Read16((block & kSectorAlignMask) + kProtectionWord);
    Write16(base, 0xF0);
    SetWord(kMailboxResult1, status);
}

bool Agent::ProgramBuffer() {
    const uint32_t address = Word(kMailboxFlashAddress);
    const uint32_t source = Word(kMailboxSource);
    const uint32_t length = Word(kMailboxLength);
    const uint32_t base = Word(kMailboxFlashBase);
    if (length > kAgentBufferSize)
        return false; // more than the buffer holds: refuse rather than program past it
    const uint32_t first = address & ~1u;
    const uint32_t words = (length + (address & 1) + 1) / 2;
    for (uint32_t w = 0; w < words; ++w) {
        const uint32_t at = first + 2 * w;
        uint16_t value = 0;
        for (uint32_t lane = 0; lane < 2; ++lane) {
            const uint32_t index = at + lane - address; // wraps to a huge value before the start
            const uint8_t byte = index < length ? bus_.Read8(source + index) : uint8_t{0xFF};
            value = static_cast<uint16_t>(value | byte << (8 * lane));
        }
        if (value == 0xFFFF) continue; // nothing to clear
        Command(base, 0xA0);
        Write16(at, value);
        // Verify as a real flash routine does: a word that does not read back as written (set
        // bits over unerased data, or an address the chip does not answer) ends the call as
        // aborted, with the chip put back into read mode, instead of going on regardless.
        if (Read16(at) != value) {
            Write16(base, 0xF0);
            return false;
        }
    }
    return true;
}

void Agent::EraseBlock() {
    const uint32_t base = Word(kMailboxFlashBase);
    const uint32_t block = Word(kMailboxFlashAddress);
    Command(base, 0x80);
    Unlock(base);
    Write16(block & ~1u, 0x30);
}

void Agent::EraseChip() {
    const uint32_t base = Word(kMailboxFlashBase);
    Command(base, 0x80);
    Command(base, 0x10);
}

} // namespace tapster::board
