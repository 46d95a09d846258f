// Ctrl+C and SIGTERM for tapcheck-cli: the first one asks the run to stop at its next keep-alive
// point; a second one, later, ends the program at once.
#pragma once

namespace tapster::cli {

// Installs the SIGINT and SIGTERM handlers. They set TerminalForm::interruptFlag.
void InstallInterruptHandlers();

} // namespace tapster::cli
