// Friendly aliases of tapcheck-cli: short verbs that run a command of the window with their
// arguments, e.g. write-flash --from 7FE00000 --length 200000 image.bin. The flash and dump
// aliases call the typed requests of src/ops with their values (checked as the window's fields
// would take them, before anything runs); the others expand into contract steps.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tapster::cli {

struct AliasState {
    // A trap was taken earlier on this command line (cmdTakeTrap, cmdLoadDCU, start-agent), so
    // the flash agent runs; the flash aliases start it themselves otherwise.
    bool agentStarted = false;
};

bool IsAlias(const std::string& word);
// The dumps among the aliases read each block twice and compare (read-to-file, read-rom).
bool AliasChecksReads(const std::string& word);

struct Expansion {
    // Contract steps to run: the clicks that start the agent first when needed, then the
    // alias's own (its button, or the steps it stands for).
    std::vector<std::string> words;
    // WIDGET=VALUE words the alias's values are checked as (the window's field rules); not run.
    std::vector<std::string> checks;
    // The typed request run in place of the handler of the last click (empty: the handler).
    std::function<void()> call;
};

// Expands the alias at args[index] with the arguments it takes (appended to out) and moves
// index past them. False with a one-line message for a malformed alias.
bool ExpandAlias(const std::vector<std::string>& args, size_t& index, AliasState& state,
                 Expansion& out, std::string& error);

// The --help section that lists the aliases.
std::string AliasHelp();

} // namespace tapster::cli
