// Friendly aliases of tapcheck-cli: short verbs that expand into contract steps, e.g.
//   write-flash --from 7FE00000 --length 200000 image.bin
// becomes txtFromAddr=7FE00000 txtFlashLen=200000 file=image.bin answer=ok cmdWriteFlash.
#pragma once

#include <cstddef>
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

// Expands the alias at args[index] with the arguments it takes into contract steps (appended to
// out) and moves index past them. False with a one-line message for a malformed alias.
bool ExpandAlias(const std::vector<std::string>& args, size_t& index, AliasState& state,
                 std::vector<std::string>& out, std::string& error);

// The --help section that lists the aliases.
std::string AliasHelp();

} // namespace tapster::cli
