// The command line of the two windows (the Qt window and the native Win32 one): the backend
// options, --help and --version. One parser, so both windows say the same.
#pragma once

#include "app/startup.h"

#include <string>
#include <vector>

namespace tapster {

struct WindowArguments {
    enum class Action {
        kRun,    // start the window with `options`
        kTell,   // print `text` (the help or the version line) and end with 0
        kRefuse, // show `text` as the start-up failure and end with kBadWindowStart
    };
    Action action = Action::kRun;
    BackendOptions options;
    std::string text;
};

// The exit code of a refused start.
inline constexpr int kBadWindowStart = 2;

// --help (-h) and --version win wherever they stand; otherwise the backend options, and anything
// else is refused as an unknown option.
WindowArguments ParseWindowArguments(const std::vector<std::string>& args);

} // namespace tapster
