#include "app/window_arguments.h"

#include "app/backend_flags.h"
#include "tapster_version.h"

#include <CLI/CLI.hpp>

namespace tapster {

namespace {

WindowArguments Ending(WindowArguments::Action action, std::string text) {
    WindowArguments result;
    result.action = action;
    result.text = std::move(text);
    return result;
}

} // namespace

WindowArguments ParseWindowArguments(const std::vector<std::string>& args) {
    using Action = WindowArguments::Action;
    CLI::App app("tapcheck");
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", std::string("tapcheck ") + TAPSTER_VERSION_TEXT);
    const BackendFlags backend(app);
    // Whatever is unknown is refused below; an absolute path is no option on Windows either.
    app.allow_extras();
    app.allow_windows_style_options(false);
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::CallForHelp&) {
        return Ending(Action::kTell,
                      "Usage: tapcheck [option]\n  or:  tapcheck --help | --version\n" +
                          BackendOptionsHelp());
    } catch (const CLI::CallForVersion& version) {
        return Ending(Action::kTell, std::string(version.what()) + "\n");
    } catch (const CLI::ParseError& error) {
        return Ending(Action::kRefuse, error.what());
    }
    const std::vector<std::string> rest = app.remaining();
    WindowArguments result;
    if (!backend.Take(args, result.options, result.text))
        result.action = Action::kRefuse;
    else if (!rest.empty())
        return Ending(Action::kRefuse, "unknown option " + rest.front() + " (see --help)");
    return result;
}

} // namespace tapster
