// The backend options on a program's CLI11 command line, shared by the windows and the CLI:
// --simulate[=PRESET.json] and --port=VALUE (or --port VALUE).
#pragma once

#include "app/startup.h"

#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace tapster {

// True when `args` hold `option` written with '=' and nothing after it ("--port="). CLI11 reads
// that as the option alone and may then take the next word as its value; an empty value is far
// more likely an empty shell variable than a wish, so the programs refuse it.
bool GivenEmpty(const std::vector<std::string>& args, const std::string& option);

class BackendFlags {
  public:
    // Adds the options to `app`. --simulate is a flag: it never takes the next word, which may
    // be a step.
    explicit BackendFlags(CLI::App& app);

    // After the parse of `args` (the words as given): the options, or false with a one-line
    // message for an empty, repeated or conflicting option.
    bool Take(const std::vector<std::string>& args, BackendOptions& options,
              std::string& error) const;

  private:
    CLI::Option* simulate_;
    CLI::Option* port_;
    std::vector<std::string> presets_; // one per --simulate; a marker for the flag alone
    std::vector<std::string> ports_;   // one per --port
};

} // namespace tapster
