#include "cli/cli_arguments.h"

#include "app/backend_flags.h"
#include "tapster_version.h"

#include <CLI/CLI.hpp>
#include <cstdlib>

namespace tapster::cli {

namespace {

constexpr double kLongestDeadline = 604800; // a week

// The --deadline option's value, or false with a message for a missing, repeated or bad one.
bool TakeDeadline(const std::vector<std::string>& args, const CLI::Option& option,
                  const std::vector<std::string>& values, double& seconds, std::string& error) {
    if (option.count() == 0) return true;
    if (option.count() > 1) {
        error = "--deadline given twice";
        return false;
    }
    // "--deadline=" may have taken the next word as its value.
    const bool givenEmpty = GivenEmpty(args, "--deadline");
    const std::string value = givenEmpty ? std::string() : values.front();
    if (value.empty() && !givenEmpty) {
        error = "--deadline needs a number of seconds";
        return false;
    }
    char* end = nullptr;
    seconds = value.empty() ? 0 : std::strtod(value.c_str(), &end);
    if (value.empty() || end != value.c_str() + value.size() || !(seconds > 0) ||
        seconds > kLongestDeadline) {
        error = "bad --deadline: '" + value + "' (expected seconds, more than 0, at most a week)";
        return false;
    }
    return true;
}

} // namespace

CliArguments ParseCliArguments(const std::vector<std::string>& args) {
    using Action = CliArguments::Action;
    CliArguments result;
    CLI::App app("tapcheck-cli");
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", std::string("tapcheck-cli ") + TAPSTER_VERSION_TEXT);
    const BackendFlags backend(app);
    std::vector<std::string> deadlines;
    const CLI::Option* deadline = app.add_option("--deadline", deadlines)
                                      ->expected(0, 1)
                                      ->allow_extra_args(false)
                                      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    // The steps and the job's own options are left over, in order; an absolute path is no
    // option on Windows either.
    app.allow_extras();
    app.allow_windows_style_options(false);
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::CallForHelp&) {
        result.action = Action::kHelp;
        // The help names the backend the options choose, or why they choose none.
        backend.Take(args, result.options, result.text);
        return result;
    } catch (const CLI::CallForVersion& version) {
        result.action = Action::kVersion;
        result.text = std::string(version.what()) + "\n";
        return result;
    } catch (const CLI::ParseError& error) {
        result.action = Action::kRefuse;
        result.text = error.what();
        return result;
    }
    if (!backend.Take(args, result.options, result.text) ||
        !TakeDeadline(args, *deadline, deadlines, result.deadlineSeconds, result.text))
        result.action = Action::kRefuse;
    result.rest = app.remaining();
    return result;
}

} // namespace tapster::cli
