// st20dis: prints the ST20 instructions of a raw binary image.
#include <cstdio>
#include <string>
#include <vector>

#include "st20/disassembler.h"
#include "st20/tools/tool_files.h"
#include "tapster_version.h"

namespace {

constexpr const char* kUsage = "Usage: st20dis FILE [--base ADDR]\n";
constexpr const char* kOptions =
    "  or:  st20dis --help | --version\n"
    "Prints one line per instruction of the raw image FILE: address, bytes, mnemonic, operand.\n"
    "  --base ADDR     the address of the image's first byte (default 0); decimal, 0x hex or\n"
    "                  0b binary\n"
    "Exit status: 0 printed; 1 FILE cannot be read or the text not written; 2 a bad command "
    "line.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "st20dis: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tapster::st20;
    std::string file;
    uint32_t base = 0;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kOptions, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("st20dis %s\n", TAPSTER_VERSION_TEXT);
            return 0;
        }
        if (arg == "--base") {
            if (i + 1 >= args.size()) return Usage("--base needs a value");
            const auto value = ParseNumberArgument(args[++i]);
            if (!value) return Usage("bad number '" + args[i] + "' for --base");
            base = *value;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage("unknown option '" + arg + "'");
        } else if (file.empty()) {
            file = arg;
        } else {
            return Usage("more than one file");
        }
    }
    if (file.empty()) return Usage("no file");
    std::string error;
    const auto contents = ReadWholeFile(file, error);
    if (!contents) {
        std::fprintf(stderr, "st20dis: %s\n", error.c_str());
        return 1;
    }
    const std::vector<uint8_t> image(contents->begin(), contents->end());
    const std::string text = FormatDisassembly(Disassemble(image, base));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::ferror(stdout) ? 1 : 0;
}
