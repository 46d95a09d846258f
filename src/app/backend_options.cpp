// The command-line options that choose the port backend, shared by the window and the CLI.
#include "app/backend_table.h"
#include "app/port_choice.h"
#include "app/startup.h"

namespace tapster {

namespace {

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

bool ParseBackendOptions(std::vector<std::string>& args, BackendOptions& options,
                         std::string& error) {
    std::vector<std::string> rest;
    bool seenSimulate = false;
    bool seenPort = false;
    for (const std::string& arg : args) {
        if (arg == "--simulate" || arg.rfind("--simulate=", 0) == 0) {
            if (seenSimulate) {
                error = "--simulate given twice";
                return false;
            }
            seenSimulate = true;
            options.simulate = true;
            if (arg.size() > 10) {
                options.preset = arg.substr(11);
                if (options.preset.empty()) {
                    error = "--simulate= needs a preset file (or use --simulate alone)";
                    return false;
                }
            }
        } else if (arg == "--port" || arg.rfind("--port=", 0) == 0) {
            if (seenPort) {
                error = "--port given twice";
                return false;
            }
            seenPort = true;
            options.port = arg.size() > 7 ? arg.substr(7) : std::string();
            if (options.port.empty()) {
                error = "--port needs a value: " + PortUsages(true);
                return false;
            }
        } else {
            rest.push_back(arg);
        }
    }
    if (seenSimulate && seenPort) {
        error = "--simulate and --port exclude each other: choose the simulated board or a port";
        return false;
    }
    args = std::move(rest);
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
