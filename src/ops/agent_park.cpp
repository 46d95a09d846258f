// Moving the CPU off a running agent, so that another image can be loaded in its place.
#include "core/hex.h"
#include "jtag/agent_calls.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "ops/agent_setup.h"
#include "ops/dcu_tables.h"

namespace tapster {

namespace {
// "j -2" (bytes 60 0E: nfix 0, j 0xE), a jump to its own first byte, as the word the link writes
// (least significant byte first). A taken jump is where "Trap on interrupt" acts, so the CPU
// waits there for the next Take Trap.
constexpr uint32_t kJumpToItself = 0x00000E60;
// An agent answers a stop, and the CPU reaches the loop, within microseconds; this bounds a
// target that does neither.
constexpr int kParkPolls = 50;
constexpr uint32_t kParkPollMs = 10;

// Polls the word at `address` until it reads `value` (`equal`) or anything else (!`equal`).
bool WaitForWord(uint32_t address, uint32_t value, bool equal) {
    for (int poll = 0; poll < kParkPolls; ++poll) {
        const WordRead word = ReadWord(address);
        if (!word.failed && (word.value == value) == equal) return true;
        DelayMs(kParkPollMs);
    }
    return false;
}
} // namespace

ParkOutcome ParkAgent(uint32_t mailbox, std::string& reason) {
    // A running agent answers a stop (between calls with its last verdict, in a call by ending
    // it) and then polls its command word through a jump, where a trap is taken; before that it
    // may poll with a conditional jump, where none is. No answer: no agent runs there (a board
    // reset since, or a CPU that has stopped), and a load cannot disturb it.
    if (!WriteWord(mailbox + kMbCommand, AGENT_CMD_STOP) ||
        !WaitForWord(mailbox + kMbCommand, AGENT_CMD_STOP, false))
        return ParkOutcome::NoAgent;
    // The loop, the slot pointing at it, and the trap armed as Take Trap arms it.
    const uint32_t loop = mailbox + kMbBuffer;
    const BreakCondition& take = kBreakConditions[kTakeOnInterrupt];
    const uint32_t slot = take.slotWord - kSlotWptr; // the slot the install fills
    if (!WriteWord(loop, kJumpToItself) || !WriteWord(slot + kSlotIptr, loop) ||
        !WriteWord(DCU_JUMPTRACE_CONTROL, kDcuTraceReadEnable) ||
        !WriteWord(take.armRegister, take.armValue)) {
        reason = "the DCU or the target memory could not be written";
        return ParkOutcome::Failed;
    }
    if (WaitForWord(DCU_JUMPTRACE_IPTR, loop, true)) return ParkOutcome::Parked;
    reason = "the CPU did not leave the agent at " + Hex8(mailbox - kTrapWorkspaceOffset);
    return ParkOutcome::Failed;
}

} // namespace tapster
