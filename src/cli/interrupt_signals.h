// Ctrl+C, SIGTERM, SIGHUP, SIGPIPE and SIGXFSZ for tapcheck-cli: the first one asks the run to
// stop at its next keep-alive point (the abort lines, then the signal's exit code); a second one,
// later, ends the program at once.
#pragma once

namespace tapster::cli {

// Installs the handlers of the signals of exit_codes.h. They set TerminalForm::interruptFlag.
void InstallInterruptHandlers();

} // namespace tapster::cli
