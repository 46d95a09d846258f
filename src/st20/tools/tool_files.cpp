#include "st20/tools/tool_files.h"

#include "core/safe_file.h"
#include "st20/expression.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace tapster::st20 {

std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t maxBytes,
                                         std::string& error) {
    uint64_t size = 0;
    std::string reason;
    std::FILE* file = OpenRegularFile(path, size, reason);
    if (file == nullptr) {
        error = "cannot read '" + path + "': " + reason;
        return std::nullopt;
    }
    const std::string tooLarge = "'" + path + "' is larger than " + std::to_string(maxBytes) +
                                 " bytes (" + std::to_string(maxBytes >> 20) +
                                 " MiB), the most this tool reads";
    if (size > maxBytes) {
        std::fclose(file);
        error = tooLarge;
        return std::nullopt;
    }
    // One byte more than the size said: a file that grew meanwhile is caught too.
    std::string contents(static_cast<size_t>(size) + 1, '\0');
    const size_t got = std::fread(contents.data(), 1, contents.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || got > maxBytes) {
        error = failed ? "cannot read '" + path + "'" : tooLarge;
        return std::nullopt;
    }
    contents.resize(got);
    return contents;
}

std::string RefusedOutputs(const std::vector<OutputFile>& files,
                           const std::vector<std::string>& inputs) {
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i].path;
        if (const std::string why = RefusedTarget(path, Existing::kReplaceFile); !why.empty())
            return "will not write '" + path + "': " + why;
        for (const std::string& input : inputs) {
            if (path == input || SameFile(path, input))
                return "will not write '" + path + "': it is the input";
        }
        for (size_t j = 0; j < i; ++j) {
            if (path == files[j].path || SameFile(path, files[j].path))
                return "'" + path + "' is named for two outputs";
        }
    }
    return {};
}

bool WriteFilesAtomically(const std::vector<OutputFile>& files, std::string& error) {
    std::vector<std::unique_ptr<SafeFileWriter>> writers;
    std::string reason;
    for (const OutputFile& file : files) {
        writers.push_back(std::make_unique<SafeFileWriter>());
        SafeFileWriter& writer = *writers.back();
        if (!writer.Open(file.path, Existing::kReplaceFile, reason) || !file.write(writer.File()) ||
            std::fflush(writer.File()) != 0) {
            error = "cannot write '" + file.path + "'" + (reason.empty() ? "" : ": " + reason);
            return false; // the writers delete their temporary files
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (!writers[i]->Commit(reason)) {
            error = "cannot write '" + files[i].path + "': " + reason;
            return false;
        }
    }
    return true;
}

std::optional<uint32_t> ParseNumberArgument(const std::string& text) {
    return ParseInteger(text);
}

int ParseToolCommandLine(CLI::App& app, int argc, char** argv, const std::string& version,
                         const std::string& usage, const std::string& help) {
    const std::string tool = version.substr(0, version.find(' '));
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", version);
    // On Windows CLI11 would read "/path/file.s" as an option "/path"; the tools take only
    // dash options on every platform, and an absolute POSIX path (under wine) is a file.
    app.allow_windows_style_options(false);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs((usage + help).c_str(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "%s: %s\n%s", tool.c_str(), e.what(), usage.c_str());
        return 2;
    }
    return -1;
}

bool WriteText(std::FILE* file, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

} // namespace tapster::st20
