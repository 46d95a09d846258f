// Puts the process-wide values of the commands, and of the layers under them, back to their
// start values, so that every test starts from a freshly started program.
#include "jtag/agent_calls.h"
#include "jtag/tap_engine.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/scan_dump.h"
#include "ops/services.h"
#include "ops/state_reset.h"

namespace tapster {

void ResetCommandState() {
    hardwareCheckState = {};
    memorySearchState = {};
    CloseScanDumpFile();
    ScanDumpWriteFailed = false;
    StartDirectory.clear();
    ClearCommandOutcome();

    ResetTrapState();
    ResetMonitorState();
    ResetTapEngineState();
    ResetAgentState();
}

} // namespace tapster
