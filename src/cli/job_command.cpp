#include "cli/job_command.h"

#include "cli/runner.h"
#include "core/hex.h"
#include "core/safe_file.h"
#include "ops/flash_window.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tapster::cli {

namespace {

constexpr uint32_t kDefaultBase = 0x7FE00000; // the window's default lstFlashBase
constexpr uint32_t kMaxLength = 0x200000;

struct JobVerb {
    const char* name;
    FlashJobKind kind;
    std::vector<std::string> options; // taking a value
    std::vector<std::string> flags;   // taking none
};
const std::vector<JobVerb>& Verbs() {
    static const std::vector<JobVerb> verbs = {
        {"program",
         FlashJobKind::Program,
         {"at", "base", "erase", "agent", "log"},
         {"no-verify", "q", "v"}},
        {"verify", FlashJobKind::Verify, {"at", "base", "agent", "log"}, {"q", "v"}},
        {"dump", FlashJobKind::Dump, {"at", "base", "length", "log"}, {"q", "v"}},
    };
    return verbs;
}

const JobVerb* FindVerb(const std::string& word) {
    for (const JobVerb& verb : Verbs())
        if (word == verb.name) return &verb;
    return nullptr;
}

bool Contains(const std::vector<std::string>& list, const std::string& word) {
    for (const std::string& item : list)
        if (item == word) return true;
    return false;
}

// Splits the arguments after the verb into options, flags and positional words.
bool SplitArguments(const JobVerb& verb, const std::vector<std::string>& args,
                    std::map<std::string, std::string>& options, std::vector<std::string>& flags,
                    std::vector<std::string>& words, std::string& error) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            continue;
        }
        std::string name = arg.substr(arg.rfind("--", 0) == 0 ? 2 : 1);
        std::string value;
        const size_t eq = name.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (Contains(verb.flags, name) && !inlineValue) {
            flags.push_back(name);
            continue;
        }
        if (!Contains(verb.options, name)) {
            error = std::string(verb.name) + ": unknown option " + arg;
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = std::string(verb.name) + ": --" + name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (options.count(name) != 0) {
            error = std::string(verb.name) + ": --" + name + " given twice";
            return false;
        }
        options[name] = value;
    }
    return true;
}

bool NumberOption(const std::map<std::string, std::string>& options, const std::string& name,
                  uint32_t& value, std::string& error) {
    const auto it = options.find(name);
    if (it == options.end()) return true;
    const std::optional<uint32_t> parsed = ParseJobNumber(it->second);
    if (!parsed) {
        error = "bad --" + name + ": '" + it->second +
                "' (expected hex such as 7FE00000 or 0x7FE00000, or a size such as 64K or 2M)";
        return false;
    }
    value = *parsed;
    return true;
}

// A file the job reads: a regular file that opens.
bool ReadableFile(const std::string& path, const std::string& what, std::string& error) {
    uint64_t size = 0;
    std::string reason;
    std::FILE* f = path.empty() ? nullptr : OpenRegularFile(path, size, reason);
    if (f == nullptr) {
        error = "cannot use " + what + " '" + path + "': " + (path.empty() ? "no name" : reason);
        return false;
    }
    std::fclose(f);
    return true;
}

// A file the job writes: a name, in a folder that exists, not a folder or device itself.
bool WritableFile(const std::string& path, const std::string& what, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p(path);
    const fs::path folder = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    if (path.empty() || p.filename().empty())
        error = what + " needs a file name";
    else if (!fs::is_directory(folder, ec))
        error = "cannot write " + what + " '" + path + "': no folder " + folder.string();
    else if (fs::exists(fs::symlink_status(p, ec)) &&
             !fs::is_regular_file(fs::symlink_status(p, ec)) && !fs::is_symlink(p, ec))
        error = "cannot write " + what + " '" + path + "': not a regular file";
    return error.empty();
}

bool ImageSize(const std::string& path, uint64_t& size) {
    std::string reason;
    std::FILE* f = OpenRegularFile(path, size, reason);
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

bool IsTerminal(std::FILE* f) {
#ifdef _WIN32
    return _isatty(_fileno(f)) != 0;
#else
    return isatty(fileno(f)) != 0;
#endif
}

std::string Seconds(double s) {
    char text[32];
    if (s >= 60)
        std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(s) / 60,
                      static_cast<int>(s) % 60);
    else
        std::snprintf(text, sizeof text, "%.0f s", s);
    return text;
}

} // namespace

std::optional<uint32_t> ParseJobNumber(const std::string& text) {
    std::string digits = text;
    uint64_t scale = 1;
    if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k' || digits.back() == 'M' ||
                            digits.back() == 'm')) {
        scale = (digits.back() == 'K' || digits.back() == 'k') ? 1024 : 1024 * 1024;
        digits.pop_back();
    }
    const bool prefixed = digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0;
    if (prefixed) digits = digits.substr(2);
    const bool hex = prefixed || scale == 1;
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    }
    value *= scale;
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<uint32_t>(value);
}

bool IsJobCommand(const std::vector<std::string>& args) {
    return !args.empty() && FindVerb(args[0]) != nullptr;
}

bool TakeJobPort(std::vector<std::string>& args, BackendOptions& options, std::string& error) {
    if (args.size() < 2 || IsJobCommand(args) || args[0].rfind("-", 0) == 0 ||
        FindVerb(args[1]) == nullptr)
        return true;
    if (options.simulate || !options.port.empty()) {
        error = "the port '" + args[0] + "' before " + args[1] + " and " +
                (options.simulate ? "--simulate" : "--port") + " exclude each other";
        return false;
    }
    options.port = args[0];
    args.erase(args.begin());
    return true;
}

bool ParseJobCommand(const std::vector<std::string>& args, const std::string& programFolder,
                     const std::string& startFolder, JobCommand& job, std::string& error) {
    const JobVerb* verb = args.empty() ? nullptr : FindVerb(args[0]);
    if (verb == nullptr) {
        error = "not a job";
        return false;
    }
    std::map<std::string, std::string> options;
    std::vector<std::string> flags, words;
    if (!SplitArguments(*verb, args, options, flags, words, error)) return false;
    const std::string name = verb->name;
    if (words.size() != 1) {
        error = name +
                (words.empty() ? ": missing file name" : ": one file only, got '" + words[1] + "'");
        return false;
    }
    FlashJobRequest& req = job.request;
    req.kind = verb->kind;
    req.flashBase = kDefaultBase;
    job.quiet = Contains(flags, "q");
    job.verbose = Contains(flags, "v");
    req.verify = !Contains(flags, "no-verify");
    if (!NumberOption(options, "base", req.flashBase, error)) return false;
    req.at = req.flashBase;
    if (!NumberOption(options, "at", req.at, error) ||
        !NumberOption(options, "length", req.length, error))
        return false;
    if (options.count("erase")) {
        const std::string& mode = options["erase"];
        if (mode == "auto")
            req.erase = EraseMode::Auto;
        else if (mode == "chip")
            req.erase = EraseMode::Chip;
        else if (mode == "none")
            req.erase = EraseMode::None;
        else {
            error = "bad --erase: '" + mode + "' (expected auto, chip or none)";
            return false;
        }
    }
    if (options.count("log")) {
        job.logPath = options["log"];
        if (!WritableFile(job.logPath, "--log", error)) return false;
    }
    if (options.count("agent")) {
        req.agentPath = options["agent"];
        if (!ReadableFile(req.agentPath, "the agent image", error)) return false;
    }
    namespace fs = std::filesystem;
    req.agentFolders = AgentFolders(programFolder, startFolder);

    uint32_t length = req.length;
    if (req.kind == FlashJobKind::Dump) {
        req.dumpPath = words[0];
        if (!options.count("at") || !options.count("length")) {
            error = "dump: --at and --length are required";
            return false;
        }
        if (length == 0 || length > kMaxLength) {
            error = "dump: --length must be 1 to 2M (0x200000) bytes";
            return false;
        }
        if (!WritableFile(req.dumpPath, "the dump", error)) return false;
        if (!job.logPath.empty() && fs::absolute(job.logPath) == fs::absolute(req.dumpPath)) {
            error = "dump: the log and the dump name the same file";
            return false;
        }
    } else {
        req.imagePath = words[0];
        if (!ReadableFile(req.imagePath, "the image", error)) return false;
        uint64_t size = 0;
        ImageSize(req.imagePath, size);
        if (size == 0 || size > kMaxLength) {
            error = name + ": the image '" + req.imagePath + "' holds " + std::to_string(size) +
                    " bytes; a flash job takes 1 byte to 2M (0x200000)";
            return false;
        }
        length = static_cast<uint32_t>(size);
    }
    std::optional<std::string> outside = FlashWindowFault(req.flashBase, req.at, length);
    if (!outside) outside = InternalRomFault(req.at, length);
    if (outside) {
        error = name + ": " + *outside;
        return false;
    }
    return true;
}

int RunJob(TerminalForm& form, const JobCommand& job) {
    std::FILE* log = nullptr;
    SafeFileWriter logWriter;
    if (!job.logPath.empty()) {
        // In place at once: the log grows as the job runs, and a job ended by a signal keeps it.
        std::string reason;
        if (logWriter.Open(job.logPath, Existing::kReplaceFileOrLink, reason) &&
            logWriter.Publish(reason))
            log = logWriter.File();
        if (log == nullptr) {
            std::fprintf(stderr, "tapcheck-cli: cannot write the log '%s': %s\n",
                         job.logPath.c_str(), reason.c_str());
            return kExitUsage;
        }
        form.SetLogCopy(log);
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point phaseStart = start;
    Clock::time_point lastShown{};
    FlashJobPhase lastPhase = FlashJobPhase::Check;
    const bool showProgress = !job.quiet && IsTerminal(stderr);
    const FlashJobProgressFn progress = [&](const FlashJobProgress& p) {
        if (p.phase != lastPhase) {
            lastPhase = p.phase;
            phaseStart = Clock::now();
        }
        if (!showProgress) return;
        // At most five lines a second, and always the last one of a phase.
        const Clock::time_point now = Clock::now();
        if (p.total > 0 && p.done < p.total && now - lastShown < std::chrono::milliseconds(200))
            return;
        lastShown = now;
        std::string line = std::string(PhaseName(p.phase)) + " ...";
        if (p.total > 0) {
            char text[160];
            std::snprintf(text, sizeof text, "%-8s %3u%%  %s of %s", PhaseName(p.phase),
                          static_cast<unsigned>(uint64_t{p.done} * 100 / p.total),
                          SizeText(p.done).c_str(), SizeText(p.total).c_str());
            line = text;
            const double s = std::chrono::duration<double>(now - phaseStart).count();
            if (const std::optional<PhaseRate> rate = RateOfPhase(p.done, p.total, s)) {
                std::snprintf(text, sizeof text, "  %.0f KiB/s  %s left", rate->kibPerSecond,
                              Seconds(rate->secondsLeft).c_str());
                line += text;
            }
        }
        form.ShowProgress(line);
    };
    const FlashJobOutcome out = RunFlashJob(job.request, progress);
    form.Finish();
    if (showProgress) form.ShowProgress("");
    int code = kExitOk;
    if (int stop = form.StopCode(); stop != 0)
        code = stop;
    else if (!out.ok)
        code = out.reachedTarget ? kExitCommandFailed : kExitUsage;
    std::FILE* verdictTo = out.ok ? stdout : stderr;
    std::fprintf(verdictTo, "%s%s\n", out.ok ? "" : "tapcheck-cli: ", out.verdict.c_str());
    std::fflush(verdictTo);
    std::string reason;
    if (log != nullptr && !logWriter.Commit(reason)) {
        std::fprintf(stderr, "tapcheck-cli: the log '%s' could not be written to its end\n",
                     job.logPath.c_str());
        if (code == kExitOk) code = kExitErrorBox;
    }
    form.SetLogCopy(nullptr);
    return code;
}

std::string JobHelp() {
    return "Flash job (one command does it all: check, agent, identify, erase, program, verify):\n"
           "  [PORT] program IMAGE [--at ADDR] [--base ADDR] [--erase auto|chip|none]\n"
           "                [--no-verify]\n"
           "  [PORT] verify IMAGE [--at ADDR] [--base ADDR]\n"
           "  [PORT] dump FILE --at ADDR --length N [--base ADDR]\n"
           "  PORT: as --port= takes it (ppdev:/dev/parport0, direct:0x378, remote:HOST:PORT)\n"
           "  with  -q (no progress line)  -v (the log on stdout)  --log FILE (the log in FILE)\n"
           "        --agent FILE (load this agent image whatever the chip)\n"
           "Numbers are hex with or without 0x (7FE00000, 0x7FE00000) or sizes with K or M\n"
           "(64K, 2M: decimal before the suffix unless written 0x40K). --base is the flash\n"
           "window's start (default 7FE00000), --at defaults to it; addresses must lie in the\n"
           "window. Exit 0 when VERIFIED (or dumped), 3 when the target failed, 2 for usage.\n";
}

} // namespace tapster::cli
