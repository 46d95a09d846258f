// tapcheck-cli's own options (the backend, --deadline, --help, --version), wherever they stand;
// the rest of the line is the steps or the flash job, in order, for their own parsers.
#pragma once

#include "app/startup.h"

#include <string>
#include <vector>

namespace tapster::cli {

struct CliArguments {
    enum class Action {
        kRun,     // run `rest` on the backend `options` name
        kHelp,    // print the help; `text` says why the options name no backend, if they do not
        kVersion, // print `text`
        kRefuse,  // a usage error: `text` says what is wrong
    };
    Action action = Action::kRun;
    BackendOptions options;
    double deadlineSeconds = 0; // 0: none
    std::vector<std::string> rest;
    std::string text;
};

CliArguments ParseCliArguments(const std::vector<std::string>& args);

} // namespace tapster::cli
