// Moving the CPU off a running agent, so that another image can be loaded in its place.
#include "core/hex.h"
#include "jtag/agent_calls.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "ops/agent_setup.h"
#include "ops/dcu_tables.h"
#include "ops/target_session.h"

namespace tapster {

namespace {
// "j -2" (bytes 60 0E: nfix 0, j 0xE), a jump to its own first byte, as the word the link writes
// (least significant byte first). A taken jump is where "Trap on interrupt" acts, so the CPU
// waits there for the next Take Trap.
constexpr uint32_t kJumpToItself = 0x00000E60;
// The CPU reaches the loop within microseconds of the arming; this bounds a CPU that does not.
constexpr int kParkPolls = 50;
constexpr uint32_t kParkPollMs = 10;
} // namespace

bool ParkAgent(uint32_t trap, std::string& reason) {
    const uint32_t mailbox = trap + kTrapWorkspaceOffset;
    const uint32_t loop = mailbox + kMbBuffer;
    const BreakCondition& take = kBreakConditions[kTakeOnInterrupt];
    const uint32_t slot = take.slotWord - kSlotWptr; // the slot the install fills
    TargetSession session(BusyOrder::Never);
    if (!session.Claimed()) {
        reason = "the parallel port could not be opened";
        return false;
    }
    session.Start();
    // The loop, the slot pointing at it, and a stop: an idle agent polls its command word with a
    // conditional jump, where no trap is taken; a stop makes it answer again, and it then polls
    // through a jump. Then the trap is armed as Take Trap arms it.
    if (!WriteWord(loop, kJumpToItself) || !WriteWord(slot + kSlotIptr, loop) ||
        !WriteWord(mailbox + kMbCommand, AGENT_CMD_STOP) ||
        !WriteWord(DCU_JUMPTRACE_CONTROL, kDcuTraceReadEnable) ||
        !WriteWord(take.armRegister, take.armValue)) {
        reason = "the DCU or the target memory could not be written";
        return false;
    }
    for (int poll = 0; poll < kParkPolls; ++poll) {
        const WordRead jumped = ReadWord(DCU_JUMPTRACE_IPTR);
        if (!jumped.failed && jumped.value == loop) return true;
        DelayMs(kParkPollMs);
    }
    reason = "the CPU did not leave the agent at " + Hex8(trap);
    return false;
}

} // namespace tapster
