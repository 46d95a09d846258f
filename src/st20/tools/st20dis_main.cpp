// st20dis: prints the ST20 instructions of a raw binary image.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "st20/assembler.h"
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
    "FILE must be a regular file of at most 64 MiB.\n"
    "Exit status: 0 printed; 1 FILE cannot be read or the text not written; 2 a bad command "
    "line.\n";

// The text goes out in pieces of about this size, so a large image never lies in memory as text.
constexpr size_t kOutputChunk = 64 << 10;

int Fail(const std::string& problem, int code = 1) {
    std::fprintf(stderr, "st20dis: %s\n%s", problem.c_str(), code == 2 ? kUsage : "");
    return code;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tapster::st20;
    std::string file;
    std::string baseText;
    CLI::App app;
    app.add_option("--base", baseText);
    app.add_option("file", file);
    if (int code = ParseToolCommandLine(app, argc, argv, "st20dis " TAPSTER_VERSION_TEXT, kUsage,
                                        kOptions);
        code >= 0)
        return code;
    uint32_t base = 0;
    if (app.count("--base") != 0) {
        const auto value = ParseNumberArgument(baseText);
        if (!value) return Fail("bad number '" + baseText + "' for --base", 2);
        base = *value;
    }
    if (file.empty()) return Fail("no file", 2);
    std::string error;
    const auto contents = ReadWholeFile(file, kMaxImageSize, error);
    if (!contents) return Fail(error);
    const std::vector<uint8_t> image(contents->begin(), contents->end());
    std::string text;
    bool written = DisassembleEach(image, base, [&](const DisassembledLine& line) {
        text += FormatDisassembledLine(line);
        if (text.size() < kOutputChunk) return true;
        const bool ok = WriteStdout(text);
        text.clear();
        return ok;
    });
    written = written && WriteStdout(text) && std::fflush(stdout) == 0;
    return written ? 0 : Fail("cannot write the text to stdout");
}
