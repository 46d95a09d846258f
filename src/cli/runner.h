// Runs the steps of a command line, left to right in one process, against the commands of the
// window through a TerminalForm.
#pragma once

#include "cli/exit_codes.h"
#include "cli/steps.h"
#include "cli/terminal_form.h"

#include <vector>

namespace tapster::cli {

// The handler behind a button, by the button's name; null for a name that is not a button.
using Handler = void (*)();
Handler ButtonHandler(const std::string& name);

class Runner {
  public:
    explicit Runner(TerminalForm& form);
    // Runs every step; stops after the step that showed an error box, left a question
    // unanswered, was refused, or was interrupted. A command that reported failure in the log
    // does not stop the run, but decides the exit code. Closes stdout's open line; stdout that
    // could not be written makes the run a failed one. Returns the exit code.
    int Run(const std::vector<Step>& steps);

  private:
    int RunSteps(const std::vector<Step>& steps);
    bool Set(const Step& step);
    bool Click(const Step& step);
    void Print(const Step& step);
    bool Refuse(const Step& step, const std::string& why);

    TerminalForm& form_;
    int failedCommands_ = 0;
    int missedAborts_ = 0;
    bool cableLost_ = false; // the backend can no longer reach its cable: the run ends
};

// What the CLI does before the first step, as the window does at its creation: the start
// directory, the CPU-speed measurement and the delay widgets (FormCreate), and the control
// dialog's wiring into the form.
void StartWindow(TerminalForm& form);

} // namespace tapster::cli
