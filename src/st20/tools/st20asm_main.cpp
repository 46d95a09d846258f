// st20asm: assembles one ST20 source file into a raw binary image and, on request, a listing.
// Nothing is written unless the whole source assembles.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "st20/assembler.h"
#include "st20/tools/tool_files.h"
#include "tapster_version.h"

namespace {

// The assembler holds the source and a few dozen bytes per line (a few hundred for a line with
// an error), so a 64 MiB source takes at most about 1.5 GB. Real sources are far smaller: the
// boards' flash holds a few MiB, and an image may not exceed 64 MiB either.
constexpr uint64_t kMaxSourceBytes = uint64_t{64} << 20;

constexpr const char* kUsage =
    "Usage: st20asm [--base ADDR] [-o OUT.bin] [-l OUT.lst] [--max-size N] SOURCE.s\n";
constexpr const char* kOptions =
    "  or:  st20asm --help | --version\n"
    "  -o OUT.bin      the image (default: the source's name with .bin)\n"
    "  -l OUT.lst      also write a listing\n"
    "  --base ADDR     the address of the image's first byte (default 0)\n"
    "  --max-size N    fail when the image is larger than N bytes\n"
    "Numbers are decimal, 0x hex or 0b binary. Nothing is written unless the whole source\n"
    "assembles; each output goes to a new file that replaces the old one only when complete.\n"
    "SOURCE must be a regular file of at most 64 MiB; an output may not be a symbolic link, a\n"
    "folder or another non-file, nor the source, nor the other output.\n"
    "Exit status: 0 assembled; 1 assembly errors, an image over --max-size or a file that cannot\n"
    "be read or written; 2 a bad command line.\n";

int Fail(const std::string& problem, int code = 1) {
    std::fprintf(stderr, "st20asm: %s\n%s", problem.c_str(), code == 2 ? kUsage : "");
    return code;
}

std::string DefaultOutput(const std::string& source) {
    const size_t slash = source.find_last_of("/\\");
    const size_t dot = source.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return source.substr(0, dot) + ".bin";
    return source + ".bin";
}

// Every error on its line of stderr, written a piece at a time rather than a call per error.
void PrintErrors(const std::vector<tapster::st20::AssemblyError>& errors) {
    std::string text;
    for (const tapster::st20::AssemblyError& e : errors) {
        text += e.ToString();
        text += '\n';
        if (text.size() < (64u << 10)) continue;
        tapster::st20::WriteText(stderr, text);
        text.clear();
    }
    tapster::st20::WriteText(stderr, text);
}

} // namespace

int main(int argc, char** argv) {
    using namespace tapster::st20;
    std::string source;
    std::string output;
    std::string listing;
    std::string baseText;
    std::string maxSizeText;
#ifdef SIGXFSZ
    // Past the file size limit a write fails (and the temporary file is deleted) instead of the
    // signal ending the program with the file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    CLI::App app;
    app.add_option("-o", output);
    app.add_option("-l", listing);
    app.add_option("--base", baseText);
    app.add_option("--max-size", maxSizeText);
    app.add_option("source", source);
    if (int code = ParseToolCommandLine(app, argc, argv, "st20asm " TAPSTER_VERSION_TEXT, kUsage,
                                        kOptions);
        code >= 0)
        return code;
    AssembleOptions options;
    std::optional<uint32_t> maxSize;
    for (const char* name : {"--base", "--max-size"}) {
        if (app.count(name) == 0) continue;
        const std::string& text = name == std::string("--base") ? baseText : maxSizeText;
        const auto value = ParseNumberArgument(text);
        if (!value) return Fail("bad number '" + text + "' for " + name, 2);
        (name == std::string("--base") ? options.base : maxSize.emplace()) = *value;
    }
    if (source.empty()) return Fail("no source file", 2);
    if (output.empty()) output = DefaultOutput(source);

    // Every output checked before anything is read or written.
    std::vector<OutputFile> files{{output, nullptr}};
    if (!listing.empty()) files.push_back({listing, nullptr});
    if (const std::string refused = RefusedOutputs(files, {source}); !refused.empty())
        return Fail(refused);

    std::string error;
    const auto text = ReadWholeFile(source, kMaxSourceBytes, error);
    if (!text) return Fail(error);
    options.fileName = source;
    options.listingText = false; // written straight to its file instead
    const AssemblyResult result = Assemble(*text, options);
    PrintErrors(result.errors);
    if (!result.Ok())
        return Fail(std::to_string(result.errors.size()) + " error(s); nothing written");
    if (maxSize && result.image.size() > *maxSize)
        return Fail(source + ": the image is " + std::to_string(result.image.size()) +
                    " bytes, more than the maximum of " + std::to_string(*maxSize));
    files[0].write = [&result](std::FILE* file) {
        return WriteText(file, std::string_view(reinterpret_cast<const char*>(result.image.data()),
                                                result.image.size()));
    };
    if (!listing.empty())
        files[1].write = [&](std::FILE* file) {
            return WriteListing(*text, result.rows, result.image, options.base, result.symbols,
                                [file](std::string_view piece) { return WriteText(file, piece); });
        };
    if (!WriteFilesAtomically(files, error)) return Fail(error);
    return 0;
}
