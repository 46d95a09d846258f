#include "cli/aliases.h"

#include "core/safe_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace tapster::cli {

namespace {

struct Alias {
    const char* name;
    const char* usage;
    const char* summary;
    std::vector<std::string> options; // accepted --options, each taking a value
    size_t positionals;               // required positional arguments
    bool needsAgent;                  // a flash command: start the agent first if needed
};

const std::vector<Alias>& Aliases() {
    static const std::vector<Alias> table = {
        {"check", "check", "hardware check and clock calibration (cmdDelay)", {}, 0, false},
        {"find-free-mem",
         "find-free-mem",
         "search RAM and video RAM for free space (cmdMemSeek)",
         {},
         0,
         false},
        {"check-traps",
         "check-traps",
         "survey the DCU registers and trap slots (cmdChkTraps)",
         {},
         0,
         false},
        {"start-agent",
         "start-agent [--at ADDR]",
         "load, install and take the trap routine: the flash agent runs",
         {"at"},
         0,
         false},
        {"verify-agent",
         "verify-agent",
         "compare the loaded routine with fl4_trap.bin (cmdVrfTrap)",
         {},
         0,
         false},
        {"flash-id",
         "flash-id [--base B]",
         "identify the flash chip (cmdGetDevCode)",
         {"base"},
         0,
         true},
        {"protect-status",
         "protect-status ADDR [--base B]",
         "block protection status of the sector at ADDR",
         {"base"},
         1,
         true},
        {"erase-sector",
         "erase-sector ADDR [--base B]",
         "erase the sector at ADDR (answers OK)",
         {"base"},
         1,
         true},
        {"erase-chip",
         "erase-chip [--base B]",
         "erase the whole flash chip (answers OK)",
         {"base"},
         0,
         true},
        {"write-flash",
         "write-flash --from A [--length L] [--base B] FILE",
         "program FILE into flash at A (length: the file's size; answers OK)",
         {"from", "length", "base"},
         1,
         true},
        {"read-to-file",
         "read-to-file --from A --length L FILE",
         "dump target memory from A to FILE (cmdReadToFile)",
         {"from", "length"},
         1,
         false},
        {"read-rom", "read-rom", "dump the internal ROM to intRom.bin (cmdReadRom)", {}, 0, false},
        {"read-word", "read-word ADDR", "read one word and print txtManData", {}, 1, false},
        {"write-word", "write-word ADDR DATA", "write one word (cmdManWrite)", {}, 2, false},
        {"run-batch",
         "run-batch",
         "write the batch list to DCU_CONTROL (cmdRunBatch)",
         {},
         0,
         false},
    };
    return table;
}

const Alias* Find(const std::string& word) {
    for (const Alias& alias : Aliases())
        if (word == alias.name) return &alias;
    return nullptr;
}

// Collects --name VALUE / --name=VALUE options and the positional arguments of one alias.
bool TakeArguments(const Alias& alias, const std::vector<std::string>& args, size_t& index,
                   std::map<std::string, std::string>& options,
                   std::vector<std::string>& positional, std::string& error) {
    ++index; // the alias itself
    while (index < args.size() &&
           (positional.size() < alias.positionals || args[index].rfind("--", 0) == 0)) {
        const std::string& arg = args[index];
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            ++index;
            continue;
        }
        std::string name = arg.substr(2);
        std::string value;
        size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        } else if (index + 1 < args.size()) {
            value = args[++index];
        } else {
            error = std::string(alias.name) + ": --" + name + " needs a value";
            return false;
        }
        if (std::find(alias.options.begin(), alias.options.end(), name) == alias.options.end()) {
            error = std::string(alias.name) + ": unknown option --" + name +
                    " (usage: " + alias.usage + ")";
            return false;
        }
        options[name] = value;
        ++index;
    }
    if (positional.size() < alias.positionals) {
        error = std::string(alias.name) + ": missing argument (usage: " + alias.usage + ")";
        return false;
    }
    return true;
}

std::string HexLength(uintmax_t size) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(size));
    return text;
}

} // namespace

bool IsAlias(const std::string& word) {
    return Find(word) != nullptr;
}

bool ExpandAlias(const std::vector<std::string>& args, size_t& index, AliasState& state,
                 std::vector<std::string>& out, std::string& error) {
    const Alias* alias = Find(args[index]);
    if (alias == nullptr) {
        error = "unknown alias: '" + args[index] + "'";
        return false;
    }
    std::map<std::string, std::string> opt;
    std::vector<std::string> pos;
    if (!TakeArguments(*alias, args, index, opt, pos, error)) return false;

    const std::string name = alias->name;
    if (alias->needsAgent && !state.agentStarted) {
        // A flash command needs the agent running; on a fresh command line start it the usual
        // way: check the cable, then load, install and take the trap routine.
        for (const char* step : {"cmdDelay", "cmdLoadTrap", "cmdInstTrap", "cmdTakeTrap"})
            out.push_back(step);
        state.agentStarted = true;
    }
    if (opt.count("base")) out.push_back("lstFlashBase=" + opt["base"]);

    if (name == "check") {
        out.push_back("cmdDelay");
    } else if (name == "find-free-mem") {
        out.push_back("cmdMemSeek");
    } else if (name == "check-traps") {
        out.push_back("cmdChkTraps");
    } else if (name == "start-agent") {
        if (opt.count("at")) out.push_back("lstTrapAddr=" + opt["at"]);
        for (const char* step : {"cmdLoadTrap", "cmdInstTrap", "cmdTakeTrap"})
            out.push_back(step);
        state.agentStarted = true;
    } else if (name == "verify-agent") {
        out.push_back("cmdVrfTrap");
    } else if (name == "flash-id") {
        out.push_back("cmdGetDevCode");
    } else if (name == "protect-status") {
        out.push_back("txtBlkBase=" + pos[0]);
        out.push_back("cmdProtect");
    } else if (name == "erase-sector") {
        out.push_back("txtBlkBase=" + pos[0]);
        out.push_back("answer=ok");
        out.push_back("cmdBlkErase");
    } else if (name == "erase-chip") {
        out.push_back("answer=ok");
        out.push_back("cmdChipErase");
    } else if (name == "write-flash") {
        if (!opt.count("from")) {
            error = "write-flash: --from is required (usage: " + std::string(alias->usage) + ")";
            return false;
        }
        // The image is looked at before any step runs, so a file that cannot be programmed (a
        // FIFO or device, too large) stops the job before the target is touched. With --length
        // it may still be missing: an earlier step can write it.
        std::string length = opt["length"];
        uint64_t size = 0;
        std::string reason;
        std::FILE* image = OpenRegularFile(pos[0], size, reason);
        if (image != nullptr) std::fclose(image);
        std::error_code ec;
        const bool mayComeLater = !length.empty() && !std::filesystem::exists(pos[0], ec);
        if (image == nullptr && !mayComeLater) {
            error = "write-flash: cannot use '" + pos[0] + "': " + reason;
            return false;
        }
        if (length.empty()) {
            if (size > kLargestFileSize) {
                error = "write-flash: '" + pos[0] +
                        "' is 4 GiB or larger; its size is no flash length (give --length)";
                return false;
            }
            length = HexLength(size);
        }
        out.push_back("txtFromAddr=" + opt["from"]);
        out.push_back("txtFlashLen=" + length);
        out.push_back("file=" + pos[0]);
        out.push_back("answer=ok");
        out.push_back("cmdWriteFlash");
    } else if (name == "read-to-file") {
        if (!opt.count("from") || !opt.count("length")) {
            error = "read-to-file: --from and --length are required";
            return false;
        }
        out.push_back("txtFromAddr=" + opt["from"]);
        out.push_back("txtFlashLen=" + opt["length"]);
        out.push_back("file=" + pos[0]);
        out.push_back("cmdReadToFile");
    } else if (name == "read-rom") {
        out.push_back("cmdReadRom");
    } else if (name == "read-word") {
        out.push_back("txtManAddr=" + pos[0]);
        out.push_back("cmdManRead");
        out.push_back("print=txtManData");
    } else if (name == "write-word") {
        out.push_back("txtManAddr=" + pos[0]);
        out.push_back("txtManData=" + pos[1]);
        out.push_back("cmdManWrite");
    } else if (name == "run-batch") {
        out.push_back("cmdRunBatch");
    }
    return true;
}

std::string AliasHelp() {
    std::string text = "Aliases (each expands into the steps above):\n";
    // The summary starts in column 52, at least two spaces after the usage (help2man, which
    // makes the manual page from this text, splits an entry there); a longer usage has its
    // summary on the next line.
    constexpr size_t kColumn = 50;
    for (const Alias& alias : Aliases()) {
        const std::string usage = alias.usage;
        const std::string gap = usage.size() + 2 <= kColumn
                                    ? std::string(kColumn - usage.size(), ' ')
                                    : "\n" + std::string(kColumn + 2, ' ');
        text += "  " + usage + gap + alias.summary + "\n";
    }
    text += "\n"
            "The flash aliases (flash-id, protect-status, erase-*, write-flash) first run check\n"
            "and start-agent when no trap was taken earlier on the command line. Addresses and\n"
            "lengths are hex, as in the window.\n";
    return text;
}

} // namespace tapster::cli
