// st20dis: prints the ST20 instructions of a raw binary image.
#include <cstdio>
#include <string>
#include <vector>

#include "st20/disassembler.h"
#include "st20/tools/tool_files.h"

namespace {

constexpr const char* kUsage = "usage: st20dis FILE [--base ADDR]\n";

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
