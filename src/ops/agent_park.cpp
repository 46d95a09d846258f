// Moving the CPU off a running agent, so that another image can be loaded in its place.
#include "core/hex.h"
#include "jtag/agent_calls.h"
#include "jtag/link.h"
#include "ops/agent_setup.h"
#include "ops/command_outcome.h"
#include "ops/dcu_tables.h"
#include "ops/target_session.h"

namespace tapster {

namespace {
// "j -2" (bytes 60 0E: nfix 0, j 0xE), a jump to its own first byte, as the word the link writes
// (least significant byte first). A taken jump is where "Trap on interrupt" acts, so the CPU
// waits there for the next Take Trap.
constexpr uint32_t kJumpToItself = 0x00000E60;
} // namespace

bool ParkAgent(uint32_t trap, std::string& reason) {
    const uint32_t mailbox = trap + kTrapWorkspaceOffset;
    const uint32_t loop = mailbox + kMbBuffer;
    {
        TargetSession session(BusyOrder::Never);
        if (!session.Claimed()) {
            reason = "the parallel port could not be opened";
            return false;
        }
        session.Start();
        if (!WriteWord(loop, kJumpToItself)) {
            reason = "the waiting loop could not be written to " + Hex8(loop);
            return false;
        }
        // An idle agent polls its command word with a conditional jump, where no trap is taken;
        // a stop between calls makes it answer again, and it then polls through a jump.
        if (!WriteWord(mailbox + kMbCommand, AGENT_CMD_STOP)) {
            reason = "the stop could not be written to the mailbox at " + Hex8(mailbox);
            return false;
        }
    }
    ClearCommandOutcome();
    InstallTraps(loop, TrapChoice{});
    TakeTrap(kTakeOnInterrupt);
    if (CommandFailed()) reason = "the CPU did not leave the agent at " + Hex8(trap);
    return !CommandFailed();
}

} // namespace tapster
