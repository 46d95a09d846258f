// The command-line options that choose the port backend, shared by the window and the CLI.
#include "app/backend_flags.h"
#include "app/backend_table.h"
#include "app/port_choice.h"
#include "app/startup.h"

#include <CLI/CLI.hpp>

namespace tapster {

namespace {

// What CLI11 stores for --simulate given without a preset: no argument is this control byte.
constexpr const char* kAlone = "\x01";

constexpr size_t kHelpIndent = 30; // where the descriptions start
constexpr size_t kHelpWidth = 100;

// "  OPTION" padded to the description column, then `text` folded at spaces to the help's width.
std::string HelpLine(const std::string& option, const std::string& text) {
    std::string out = "  " + option;
    out += out.size() < kHelpIndent ? std::string(kHelpIndent - out.size(), ' ')
                                    : "\n" + std::string(kHelpIndent, ' ');
    size_t column = kHelpIndent;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const size_t length = end - at;
        if (column > kHelpIndent && column + 1 + length > kHelpWidth) {
            out += "\n" + std::string(kHelpIndent, ' ');
            column = kHelpIndent;
        } else if (column > kHelpIndent) {
            out += ' ';
            ++column;
        }
        out.append(text, at, length);
        column += length;
        at = end + 1;
    }
    return out + "\n";
}

} // namespace

bool GivenEmpty(const std::vector<std::string>& args, const std::string& option) {
    for (const std::string& arg : args)
        if (arg == option + "=") return true;
    return false;
}

BackendFlags::BackendFlags(CLI::App& app) {
    simulate_ = app.add_flag("--simulate{" + std::string(kAlone) + "}", presets_)
                    ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    port_ = app.add_option("--port", ports_)
                ->expected(0, 1)
                ->allow_extra_args(false)
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

bool BackendFlags::Take(const std::vector<std::string>& args, BackendOptions& options,
                        std::string& error) const {
    if (GivenEmpty(args, "--simulate")) {
        error = "--simulate= needs a preset file (or use --simulate alone)";
    } else if (GivenEmpty(args, "--port") || (port_->count() == 1 && ports_.front().empty())) {
        error = "--port needs a value: " + PortUsages(true);
    } else if (simulate_->count() > 1 || port_->count() > 1) {
        error = std::string(simulate_->count() > 1 ? "--simulate" : "--port") + " given twice";
    } else if (simulate_->count() == 1 && port_->count() == 1) {
        error = "--simulate and --port exclude each other: choose the simulated board or a port";
    }
    if (!error.empty()) return false;
    options.simulate = simulate_->count() == 1;
    if (options.simulate && presets_.front() != kAlone) options.preset = presets_.front();
    if (port_->count() == 1) options.port = ports_.front();
    return true;
}

std::string BackendOptionsHelp() {
    std::string help =
        "Port backend (one of):\n" +
        HelpLine("--simulate", "the built-in simulated board (no hardware needed)") +
        HelpLine("--simulate=PRESET.json", "the simulated board configured by a preset file");
    for (const PortBackendRow& row : PortBackendRows()) {
        std::string text(row.help);
        if (row.create == nullptr)
            text += " [" + std::string(row.platforms) + " only: not in this build]";
        help += HelpLine("--port=" + std::string(row.usage), text);
    }
    return help +
           HelpLine("(none)", "the first real parallel port: " + std::string(DefaultPortName())) +
           "  The program never falls back to the simulated board on its own.\n";
}

} // namespace tapster
