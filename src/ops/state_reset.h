// Per-file resets of the commands' process-wide values, called by ResetCommandState (tests).
//
// ResetCommandState (command_state.cpp) calls every function below. Each file of src/ops that
// keeps a process-wide value implements its reset here, putting the value back to what it holds
// at program start:
// - ResetTrapState: the trap survey and trap load/install/take files (trap_*.cpp).
// - ResetMonitorState: the DCU monitor, control-register dialog and batch files (monitor state,
//   frmControl).
// The hardware check, the block scan and the memory commands reset their own values inside
// command_state.cpp.
#pragma once

namespace tapster {

void ResetTrapState();
void ResetMonitorState();

} // namespace tapster
