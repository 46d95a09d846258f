// "Load Trap Routine", "Install Traps" and "Take Trap" as functions of a typed request: what the
// flash job runs to start the agent, and what the buttons call once they have read their widgets.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tapster {

// Loads the first 484 bytes of the image at `trap` in a session of its own, moving the CPU off a
// running agent first (ParkAgent). False with the reason when the image cannot be read or the CPU
// could not be moved (nothing was written then), or a poke was refused.
bool LoadTrapRoutine(uint32_t trap, const std::string& imagePath, std::string& reason);

// Which slots the install points at the routine: the priorities and the groups in the order
// BreakPoint, Errors, System, Scheduler.
struct TrapChoice {
    bool high = true;
    bool low = false;
    std::array<bool, 4> groups = {true, false, false, false};
};
void InstallTraps(uint32_t trap, const TrapChoice& choice);

// Takes the trap of break condition `condition` (0 to 3, the items of selBrkCond).
void TakeTrap(int condition);

// The break condition a started agent is taken with: "Trap on interrupt", through the slot the
// install fills with its default choice.
constexpr int kTakeOnInterrupt = 0;

// Moves the CPU out of the agent whose mailbox is at `mailbox` before another image is loaded
// over it: a load over the code the CPU runs lets it execute a mix of both images (it then
// strays, often into its workspace, and stops on an illegal instruction, where no later Take Trap
// reaches it). The CPU is taken, as Take Trap takes it but without its reports and pause, to a
// jump to itself in the mailbox's host buffer, which the load does not touch and where the next
// Take Trap finds it at a jump. Runs in the caller's link scan.
enum class ParkOutcome {
    Parked,  // the CPU runs the jump to itself
    NoAgent, // no agent answered a stop there: nothing runs that a load could disturb
    Failed,  // the agent answered but the CPU did not get to the loop (the reason says why)
};
ParkOutcome ParkAgent(uint32_t mailbox, std::string& reason);

} // namespace tapster
