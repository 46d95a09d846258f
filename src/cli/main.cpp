// tapcheck-cli: the window's commands driven from the command line.
#include "app/startup.h"
#include "cli/cli_arguments.h"
#include "cli/help.h"
#include "cli/interrupt_signals.h"
#include "cli/job_command.h"
#include "cli/runner.h"
#include "cli/steps.h"
#include "cli/terminal_form.h"
#include "core/main_form.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

// The folder tapcheck-cli lies in (where the flash job looks for agent images).
std::string ProgramFolder(const char* argv0) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path self = fs::canonical("/proc/self/exe", ec);
    if (ec) self = fs::absolute(argv0, ec);
    return self.parent_path().string();
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "tapcheck-cli: %s (see tapcheck-cli --help)\n", message.c_str());
    return tapster::cli::kExitUsage;
}

// The help, naming the backend the options choose (or why they choose none).
int Help(const tapster::BackendOptions& options, std::string whyNone) {
    using namespace tapster;
    cli::TerminalForm form(stdout, stderr);
    std::unique_ptr<PortBackend> backend;
    if (whyNone.empty()) backend = CreateBackend(options, whyNone);
    const std::string name = backend ? backend->Name() : "none (" + whyNone + ")";
    SetPortBackend(nullptr);
    std::fputs(cli::HelpText(form, name).c_str(), stdout);
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tapster;
    cli::CliArguments arguments =
        cli::ParseCliArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.action == cli::CliArguments::Action::kRefuse) return Usage(arguments.text);
    if (arguments.action == cli::CliArguments::Action::kVersion) {
        std::fputs(arguments.text.c_str(), stdout);
        return cli::kExitOk;
    }
    BackendOptions& options = arguments.options;
    std::vector<std::string>& args = arguments.rest;
    std::string error;
    if (arguments.action == cli::CliArguments::Action::kHelp) return Help(options, arguments.text);

    // The flash job (program, verify, dump) is checked whole before anything else happens.
    if (!cli::TakeJobPort(args, options, error)) return Usage(error);
    const bool isJob = cli::IsJobCommand(args);
    cli::JobCommand job;
    std::error_code cwdError;
    if (isJob &&
        !cli::ParseJobCommand(args, ProgramFolder(argv[0]),
                              std::filesystem::current_path(cwdError).string(), job, error))
        return Usage(error);

    cli::TerminalForm form(isJob && !job.verbose ? nullptr : stdout, stderr);
    std::vector<cli::Step> steps;
    if (!isJob && !cli::ParseSteps(args, form, steps, error)) return Usage(error);
    if (!isJob && steps.empty()) return Usage("no steps given");

    // The simulated board's memories take a few MiB: too little memory for them is a refused
    // start with a message, not a crash.
    std::unique_ptr<PortBackend> backend;
    try {
        backend = CreateBackend(options, error);
    } catch (const std::bad_alloc&) {
        SetPortBackend(nullptr);
        return Usage("not enough memory for the " +
                     std::string(options.simulate ? "simulated board" : "port backend"));
    }
    if (!backend) return Usage(error);

    frmMain = &form;
    // SIGINT (Ctrl+C) and SIGTERM both act as "Abort !" answered No at the next keep-alive point.
    cli::InstallInterruptHandlers();
    if (arguments.deadlineSeconds > 0)
        form.SetDeadline(std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(arguments.deadlineSeconds)));
    cli::StartWindow(form);
    // The simulated board needs no real time: waits pass on a clock that only moves while the
    // window processes events. A real target gets real time.
    form.UseVirtualTime(options.simulate);

    int code = isJob ? cli::RunJob(form, job) : cli::Runner(form).Run(steps);
    form.Finish();
    form.UseVirtualTime(false);
    frmMain = nullptr;
    SetPortBackend(nullptr);
    return code;
}
