// st20asm: assembles one ST20 source file into a raw binary image and, on request, a listing.
// Nothing is written unless the whole source assembles.
#include <cstdio>
#include <string>
#include <vector>

#include "st20/assembler.h"
#include "st20/tools/tool_files.h"
#include "tapster_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: st20asm [--base ADDR] [-o OUT.bin] [-l OUT.lst] [--max-size N] SOURCE.s\n";
constexpr const char* kOptions =
    "  or:  st20asm --help | --version\n"
    "  -o OUT.bin      the image (default: the source's name with .bin)\n"
    "  -l OUT.lst      also write a listing\n"
    "  --base ADDR     the address of the image's first byte (default 0)\n"
    "  --max-size N    fail when the image is larger than N bytes\n"
    "Numbers are decimal, 0x hex or 0b binary. Nothing is written unless the whole source\n"
    "assembles. Exit status: 0 assembled; 1 assembly errors, an image over --max-size or a file\n"
    "that cannot be read or written; 2 a bad command line.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "st20asm: %s\n%s", problem.c_str(), kUsage);
    return 2;
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
    AssembleOptions options;
    std::optional<uint32_t> maxSize;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kOptions, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("st20asm %s\n", TAPSTER_VERSION_TEXT);
            return 0;
        }
        const bool takesValue =
            arg == "--base" || arg == "-o" || arg == "-l" || arg == "--max-size";
        if (takesValue && i + 1 >= args.size()) return Usage(arg + " needs a value");
        if (arg == "--base" || arg == "--max-size") {
            const auto value = ParseNumberArgument(args[++i]);
            if (!value) return Usage("bad number '" + args[i] + "' for " + arg);
            (arg == "--base" ? options.base : maxSize.emplace()) = *value;
        } else if (arg == "-o") {
            output = args[++i];
        } else if (arg == "-l") {
            listing = args[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage("unknown option '" + arg + "'");
        } else if (source.empty()) {
            source = arg;
        } else {
            return Usage("more than one source file");
        }
    }
    if (source.empty()) return Usage("no source file");
    if (output.empty()) output = DefaultOutput(source);

    std::string error;
    const auto text = ReadWholeFile(source, error);
    if (!text) {
        std::fprintf(stderr, "st20asm: %s\n", error.c_str());
        return 1;
    }
    options.fileName = source;
    const AssemblyResult result = Assemble(*text, options);
    for (const AssemblyError& e : result.errors)
        std::fprintf(stderr, "%s\n", e.ToString().c_str());
    if (!result.Ok()) {
        std::fprintf(stderr, "st20asm: %zu error(s); nothing written\n", result.errors.size());
        return 1;
    }
    if (maxSize && result.image.size() > *maxSize) {
        std::fprintf(stderr, "st20asm: %s: the image is %zu bytes, more than the maximum of %u\n",
                     source.c_str(), result.image.size(), static_cast<unsigned>(*maxSize));
        return 1;
    }
    std::vector<OutputFile> files{{output, std::string(result.image.begin(), result.image.end())}};
    if (!listing.empty()) files.push_back({listing, result.listing});
    if (!WriteFilesAtomically(files, error)) {
        std::fprintf(stderr, "st20asm: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
