#include "cli/aliases.h"

#include "core/hex.h"
#include "core/main_form.h"
#include "core/safe_file.h"
#include "core/widget_table.h"
#include "ops/flash_requests.h"
#include "ops/memory_requests.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace tapster::cli {

namespace {

using Options = std::map<std::string, std::string>;
using Positionals = std::vector<std::string>;

// Fills in what a row's expansion needs beyond its arguments; false with a message.
using Prepare = bool (*)(Options& options, const Positionals& positional, std::string& error);
bool PrepareWriteFlash(Options& options, const Positionals& positional, std::string& error);

// The typed request of a row, with its arguments (checked already).
using MakeCall = std::function<void()> (*)(const Options& options, const Positionals& positional);
std::function<void()> IdentifyCall(const Options& options, const Positionals& positional);
std::function<void()> ProtectCall(const Options& options, const Positionals& positional);
std::function<void()> BlockEraseCall(const Options& options, const Positionals& positional);
std::function<void()> ChipEraseCall(const Options& options, const Positionals& positional);
std::function<void()> WriteFlashCall(const Options& options, const Positionals& positional);
std::function<void()> ReadToFileCall(const Options& options, const Positionals& positional);
std::function<void()> ReadWordCall(const Options& options, const Positionals& positional);
std::function<void()> WriteWordCall(const Options& options, const Positionals& positional);

// An alias and what it runs: the typed request `call` through the button `button`, its values
// checked as the `checks` settings would be; or else its `steps`. In checks and steps, "{0}"
// and "{1}" stand for the positional arguments and "{name}" for the value of --name; one with a
// "?" in front is left out when an option it names was not given.
struct Alias {
    const char* name = "";
    const char* usage = "";
    const char* summary = "";
    std::vector<std::string> options = {};  // accepted --options, each taking a value
    size_t positionals = 0;                 // required positional arguments
    bool needsAgent = false;                // a flash command: start the agent first if needed
    bool startsAgent = false;               // takes a trap: the agent runs afterwards
    bool checkedReads = false;              // a dump: each block read twice and compared
    std::vector<std::string> required = {}; // options that must be given
    Prepare prepare = nullptr;
    std::vector<std::string> checks = {};
    const char* button = nullptr;
    MakeCall call = nullptr;
    std::vector<std::string> steps = {};
};

// clang-format off
const std::vector<Alias>& Aliases() {
    static const std::vector<Alias> table = {
        {.name = "check", .usage = "check", .summary = "hardware check and clock calibration (cmdDelay)",
         .steps = {"cmdDelay"}},
        {.name = "find-free-mem", .usage = "find-free-mem", .summary = "search RAM and video RAM for free space (cmdMemSeek)",
         .steps = {"cmdMemSeek"}},
        {.name = "check-traps", .usage = "check-traps", .summary = "survey the DCU registers and trap slots (cmdChkTraps)",
         .steps = {"cmdChkTraps"}},
        {.name = "start-agent", .usage = "start-agent [--at ADDR]", .summary = "load, install and take the trap routine: the flash agent runs",
         .options = {"at"}, .startsAgent = true,
         .steps = {"?lstTrapAddr={at}", "cmdLoadTrap", "cmdInstTrap", "cmdTakeTrap"}},
        {.name = "verify-agent", .usage = "verify-agent", .summary = "compare the loaded routine with fl4_trap.bin (cmdVrfTrap)",
         .steps = {"cmdVrfTrap"}},
        {.name = "flash-id", .usage = "flash-id [--base B]", .summary = "identify the flash chip (cmdGetDevCode)",
         .options = {"base"}, .needsAgent = true,
         .checks = {"?lstFlashBase={base}"}, .button = "cmdGetDevCode", .call = &IdentifyCall},
        {.name = "protect-status", .usage = "protect-status ADDR [--base B]", .summary = "block protection status of the sector at ADDR",
         .options = {"base"}, .positionals = 1, .needsAgent = true,
         .checks = {"?lstFlashBase={base}", "txtBlkBase={0}"}, .button = "cmdProtect", .call = &ProtectCall},
        {.name = "erase-sector", .usage = "erase-sector ADDR [--base B]", .summary = "erase the sector at ADDR (answers OK)",
         .options = {"base"}, .positionals = 1, .needsAgent = true,
         .checks = {"?lstFlashBase={base}", "txtBlkBase={0}"}, .button = "cmdBlkErase", .call = &BlockEraseCall},
        {.name = "erase-chip", .usage = "erase-chip [--base B]", .summary = "erase the whole flash chip (answers OK)",
         .options = {"base"}, .needsAgent = true,
         .checks = {"?lstFlashBase={base}"}, .button = "cmdChipErase", .call = &ChipEraseCall},
        {.name = "write-flash", .usage = "write-flash --from A [--length L] [--base B] FILE",
         .summary = "program FILE into flash at A (length: the file's size; answers OK)",
         .options = {"from", "length", "base"}, .positionals = 1, .needsAgent = true,
         .required = {"from"}, .prepare = &PrepareWriteFlash,
         .checks = {"?lstFlashBase={base}", "txtFromAddr={from}", "txtFlashLen={length}"}, .button = "cmdWriteFlash", .call = &WriteFlashCall},
        {.name = "read-to-file", .usage = "read-to-file --from A --length L FILE", .summary = "dump target memory from A to FILE (cmdReadToFile)",
         .options = {"from", "length"}, .positionals = 1, .checkedReads = true, .required = {"from", "length"},
         .checks = {"txtFromAddr={from}", "txtFlashLen={length}"}, .button = "cmdReadToFile", .call = &ReadToFileCall},
        {.name = "read-rom", .usage = "read-rom", .summary = "dump the internal ROM to intRom.bin (cmdReadRom)",
         .checkedReads = true, .steps = {"cmdReadRom"}},
        {.name = "read-word", .usage = "read-word ADDR", .summary = "read one word and print txtManData",
         .positionals = 1, .checks = {"txtManAddr={0}"}, .button = "cmdManRead", .call = &ReadWordCall,
         .steps = {"print=txtManData"}},
        {.name = "write-word", .usage = "write-word ADDR DATA", .summary = "write one word (cmdManWrite)",
         .positionals = 2, .checks = {"txtManAddr={0}", "txtManData={1}"}, .button = "cmdManWrite", .call = &WriteWordCall},
        {.name = "run-batch", .usage = "run-batch", .summary = "write the batch list to DCU_CONTROL (cmdRunBatch)",
         .steps = {"cmdRunBatch"}},
    };
    return table;
}
// clang-format on

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
        if (arg.empty()) {
            // An empty file name or address would do nothing and still count as done.
            error = std::string(alias.name) + ": an empty argument (usage: " + alias.usage + ")";
            return false;
        }
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

// The image is looked at before any step runs, so a file that cannot be programmed (a FIFO or
// device, too large) stops the job before the target is touched. With --length it may still be
// missing: an earlier step can write it. Without, the length is the file's size.
bool PrepareWriteFlash(Options& options, const Positionals& positional, std::string& error) {
    const std::string& path = positional[0];
    uint64_t size = 0;
    std::string reason;
    std::FILE* image = OpenRegularFile(path, size, reason);
    if (image != nullptr) std::fclose(image);
    std::error_code ec;
    const bool hasLength = options.count("length") != 0;
    const bool mayComeLater = hasLength && !std::filesystem::exists(path, ec);
    if (image == nullptr && !mayComeLater) {
        error = "write-flash: cannot use '" + path + "': " + reason;
        return false;
    }
    if (!hasLength) {
        if (size > kLargestFileSize) {
            error = "write-flash: '" + path +
                    "' is 4 GiB or larger; its size is no flash length (give --length)";
            return false;
        }
        options["length"] = HexLength(size);
    }
    return true;
}

// One step of a row with its placeholders filled in; false when a "?" step names an option
// that was not given (the step is left out).
bool FillStep(std::string step, const Options& options, const Positionals& positional,
              std::string& out) {
    const bool optional = !step.empty() && step[0] == '?';
    if (optional) step.erase(0, 1);
    out.clear();
    for (size_t i = 0; i < step.size(); ++i) {
        const size_t close = step[i] == '{' ? step.find('}', i) : std::string::npos;
        if (close == std::string::npos) {
            out += step[i];
            continue;
        }
        const std::string key = step.substr(i + 1, close - i - 1);
        const bool isIndex = key.size() == 1 && key[0] >= '0' && key[0] <= '9';
        const auto it = options.find(key);
        if (isIndex)
            out += positional[static_cast<size_t>(key[0] - '0')];
        else if (it != options.end())
            out += it->second;
        else if (optional)
            return false;
        i = close;
    }
    return true;
}

// A hex value as the window's field parse reads it (the rows require the options they read).
uint64_t Hex(const Options& options, const std::string& name) {
    const auto it = options.find(name);
    return it == options.end() ? 0 : ParseHex(it->second);
}

// The flash base: --base, or else lstFlashBase's text when the request runs (an earlier step
// may set it), as the button reads it.
std::function<uint64_t()> BaseOf(const Options& options) {
    const auto given = options.find("base");
    if (given == options.end()) return [] { return ParseHex(frmMain->Text(w::lstFlashBase)); };
    return [base = ParseHex(given->second)] { return base; };
}

std::function<void()> IdentifyCall(const Options& options, const Positionals&) {
    return [base = BaseOf(options)] { IdentifyRequest(base()); };
}

std::function<void()> ProtectCall(const Options& options, const Positionals& positional) {
    return [base = BaseOf(options), block = ParseHex(positional[0])] {
        ProtectStatusRequest({.block = block, .base = base()});
    };
}

std::function<void()> BlockEraseCall(const Options& options, const Positionals& positional) {
    return [base = BaseOf(options), block = ParseHex(positional[0])] {
        BlockEraseRequest({.block = block, .base = base(), .confirmed = true});
    };
}

std::function<void()> ChipEraseCall(const Options& options, const Positionals&) {
    return [base = BaseOf(options)] { ChipEraseRequest(base(), true); };
}

std::function<void()> WriteFlashCall(const Options& options, const Positionals& positional) {
    FileRequest request{.from = Hex(options, "from"),
                        .length = Hex(options, "length"),
                        .path = positional[0],
                        .confirmed = true};
    return [request, base = BaseOf(options)]() mutable {
        request.base = base();
        WriteFlashRequest(request);
    };
}

std::function<void()> ReadToFileCall(const Options& options, const Positionals& positional) {
    const FileRequest request{
        .from = Hex(options, "from"), .length = Hex(options, "length"), .path = positional[0]};
    return [request] { ReadToFileRequest(request); };
}

std::function<void()> ReadWordCall(const Options&, const Positionals& positional) {
    return [address = ParseHex(positional[0])] { ManualReadRequest(address); };
}

std::function<void()> WriteWordCall(const Options&, const Positionals& positional) {
    return [address = ParseHex(positional[0]), data = ParseHex(positional[1])] {
        ManualWriteRequest(address, data);
    };
}

} // namespace

bool IsAlias(const std::string& word) {
    return Find(word) != nullptr;
}

bool AliasChecksReads(const std::string& word) {
    const Alias* alias = Find(word);
    return alias != nullptr && alias->checkedReads;
}

bool ExpandAlias(const std::vector<std::string>& args, size_t& index, AliasState& state,
                 Expansion& out, std::string& error) {
    const Alias* alias = Find(args[index]);
    if (alias == nullptr) {
        error = "unknown alias: '" + args[index] + "'";
        return false;
    }
    Options opt;
    Positionals pos;
    if (!TakeArguments(*alias, args, index, opt, pos, error)) return false;
    for (const std::string& name : alias->required) {
        if (opt.count(name) == 0) {
            error = std::string(alias->name) + ": --" + name +
                    " is required (usage: " + alias->usage + ")";
            return false;
        }
    }
    if (alias->prepare != nullptr && !alias->prepare(opt, pos, error)) return false;

    if (alias->needsAgent && !state.agentStarted) {
        // A flash command needs the agent running; on a fresh command line start it the usual
        // way: check the cable, then load, install and take the trap routine.
        for (const char* step : {"cmdDelay", "cmdLoadTrap", "cmdInstTrap", "cmdTakeTrap"})
            out.words.push_back(step);
        state.agentStarted = true;
    }
    for (const std::string& check : alias->checks) {
        std::string filled;
        if (FillStep(check, opt, pos, filled)) out.checks.push_back(filled);
    }
    if (alias->call != nullptr) {
        out.words.push_back(alias->button);
        out.call = alias->call(opt, pos);
    }
    for (const std::string& step : alias->steps) {
        std::string filled;
        if (FillStep(step, opt, pos, filled)) out.words.push_back(filled);
    }
    if (alias->startsAgent) state.agentStarted = true;
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
