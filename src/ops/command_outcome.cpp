#include "ops/command_outcome.h"

#include "core/main_form.h"

namespace tapster {

namespace {
bool failed = false;
} // namespace

void ClearCommandOutcome() {
    failed = false;
}

void ReportCommandFailure() {
    failed = true;
}

bool CommandFailed() {
    return failed;
}

void LogFailure(const std::string& line) {
    Log(line);
    failed = true;
}

} // namespace tapster
