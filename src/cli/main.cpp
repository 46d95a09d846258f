// tapcheck-cli: the window's commands driven from the command line.
#include "app/startup.h"
#include "cli/help.h"
#include "cli/interrupt_signals.h"
#include "cli/job_command.h"
#include "cli/runner.h"
#include "cli/steps.h"
#include "cli/terminal_form.h"
#include "core/main_form.h"
#include "tapster_version.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

// Takes --deadline SECONDS (or --deadline=SECONDS) out of the arguments. False with a message
// for a missing or bad value; seconds stays 0 when the option is not given.
bool TakeDeadline(std::vector<std::string>& args, double& seconds, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        size_t count = 1;
        if (args[i] == "--deadline") {
            if (i + 1 >= args.size()) {
                error = "--deadline needs a number of seconds";
                return false;
            }
            value = args[i + 1];
            count = 2;
        } else if (args[i].rfind("--deadline=", 0) == 0) {
            value = args[i].substr(11);
        } else {
            continue;
        }
        if (seconds != 0) {
            error = "--deadline given twice";
            return false;
        }
        char* end = nullptr;
        seconds = value.empty() ? 0 : std::strtod(value.c_str(), &end);
        if (value.empty() || end != value.c_str() + value.size() || !(seconds > 0) ||
            seconds > 604800) {
            error =
                "bad --deadline: '" + value + "' (expected seconds, more than 0, at most a week)";
            return false;
        }
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + count));
        --i;
    }
    return true;
}

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

} // namespace

int main(int argc, char** argv) {
    using namespace tapster;
    std::vector<std::string> args(argv + 1, argv + argc);

    BackendOptions options;
    std::string error;
    if (!ParseBackendOptions(args, options, error)) return Usage(error);
    double deadlineSeconds = 0;
    if (!TakeDeadline(args, deadlineSeconds, error)) return Usage(error);

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
    if (deadlineSeconds > 0)
        form.SetDeadline(std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(deadlineSeconds)));
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
