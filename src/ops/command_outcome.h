// Whether the command that ran last did its job. A front end clears the outcome before it runs a
// handler and reads it afterwards; a handler reports a failure where it logs its failure line,
// so a failure that only the log shows (an agent that gave up, a difference found, a dump cut
// short) reaches a script as well as the user. Error boxes are counted by the front end itself.
#pragma once

#include <string>

namespace tapster {

void ClearCommandOutcome();
void ReportCommandFailure();
// True when the command since the last clear reported a failure.
bool CommandFailed();

// Logs a failure line and reports the failure.
void LogFailure(const std::string& line);

} // namespace tapster
