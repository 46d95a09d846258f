// tapcheck-cli: the window's commands driven from the command line.
#include "app/startup.h"
#include "cli/help.h"
#include "cli/runner.h"
#include "cli/steps.h"
#include "cli/terminal_form.h"
#include "core/main_form.h"
#include "tapster_version.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

extern "C" void OnInterrupt(int) {
    tapster::cli::TerminalForm::interruptFlag = 1;
    // A second Ctrl+C ends the program at once, even inside a loop with no keep-alive point.
    std::signal(SIGINT, SIG_DFL);
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "tapcheck-cli: %s (see tapcheck-cli --help)\n", message.c_str());
    return tapster::cli::kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tapster;
    std::vector<std::string> args(argv + 1, argv + argc);

    BackendOptions options;
    std::string error;
    if (!ParseBackendOptions(args, options, error)) return Usage(error);

    cli::TerminalForm form(stdout, stderr);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::unique_ptr<PortBackend> backend = CreateBackend(options, error);
            std::string name = backend ? backend->Name() : "none (" + error + ")";
            SetPortBackend(nullptr);
            std::fputs(cli::HelpText(form, name).c_str(), stdout);
            return cli::kExitOk;
        }
        if (arg == "--version") {
            std::printf("tapcheck-cli %s\n", TAPSTER_VERSION_TEXT);
            return cli::kExitOk;
        }
    }

    std::vector<cli::Step> steps;
    if (!cli::ParseSteps(args, form, steps, error)) return Usage(error);
    if (steps.empty()) return Usage("no steps given");

    std::unique_ptr<PortBackend> backend = CreateBackend(options, error);
    if (!backend) return Usage(error);

    frmMain = &form;
    std::signal(SIGINT, OnInterrupt);
    cli::StartWindow(form);
    // The simulated board needs no real time: waits pass on a clock that only moves while the
    // window processes events. A real target gets real time.
    form.UseVirtualTime(options.simulate);

    int code = cli::Runner(form).Run(steps);
    form.Finish();
    form.UseVirtualTime(false);
    frmMain = nullptr;
    SetPortBackend(nullptr);
    return code;
}
