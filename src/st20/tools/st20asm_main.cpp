// st20asm: assembles one ST20 source file into a raw binary image and, on request, a listing.
// Nothing is written unless the whole source assembles.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "st20/assembler.h"
#include "st20/tools/tool_files.h"
#include "tapster_version.h"

namespace {

// A source is a few hundred kilobytes at most; anything larger is no source file.
constexpr uint64_t kMaxSourceBytes = 4u << 20;

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
    "SOURCE must be a regular file of at most 4 MiB; an output may not be a symbolic link, a\n"
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

} // namespace

int main(int argc, char** argv) {
    using namespace tapster::st20;
    std::string source;
    std::string output;
    std::string listing;
    std::string baseText;
    std::string maxSizeText;
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
    std::vector<OutputFile> files{{output, {}}};
    if (!listing.empty()) files.push_back({listing, {}});
    if (const std::string refused = RefusedOutputs(files, {source}); !refused.empty())
        return Fail(refused);

    std::string error;
    const auto text = ReadWholeFile(source, kMaxSourceBytes, error);
    if (!text) return Fail(error);
    options.fileName = source;
    const AssemblyResult result = Assemble(*text, options);
    for (const AssemblyError& e : result.errors)
        std::fprintf(stderr, "%s\n", e.ToString().c_str());
    if (!result.Ok())
        return Fail(std::to_string(result.errors.size()) + " error(s); nothing written");
    if (maxSize && result.image.size() > *maxSize)
        return Fail(source + ": the image is " + std::to_string(result.image.size()) +
                    " bytes, more than the maximum of " + std::to_string(*maxSize));
    files[0].contents.assign(result.image.begin(), result.image.end());
    if (!listing.empty()) files[1].contents = result.listing;
    if (!WriteFilesAtomically(files, error)) return Fail(error);
    return 0;
}
