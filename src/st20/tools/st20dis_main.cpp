// st20dis: prints the ST20 instructions of a raw binary image.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "st20/assembler.h"
#include "st20/disassembler.h"
#include "st20/tools/tool_files.h"
#include "tapster_version.h"

namespace {

constexpr const char* kUsage = "Usage: st20dis FILE [--base ADDR] [-o OUT.txt]\n";
constexpr const char* kOptions =
    "  or:  st20dis --help | --version\n"
    "Prints one line per instruction of the raw image FILE: address, bytes, mnemonic, operand.\n"
    "  --base ADDR     the address of the image's first byte (default 0); decimal, 0x hex or\n"
    "                  0b binary\n"
    "  -o OUT.txt      write the text to OUT.txt instead of stdout (a new file that replaces\n"
    "                  the old one only when complete)\n"
    "FILE must be a regular file of at most 64 MiB; OUT.txt may not be a symbolic link, a folder\n"
    "or another non-file, nor FILE.\n"
    "Exit status: 0 written; 1 FILE cannot be read or the text not written; 2 a bad command "
    "line.\n";

// The text goes out in pieces of about this size, so a large image never lies in memory as text.
constexpr size_t kOutputChunk = 64 << 10;

// The text of the whole image, a piece at a time, into `out`; false when a write failed.
bool WriteDisassembly(std::span<const uint8_t> image, uint32_t base, std::FILE* out) {
    using namespace tapster::st20;
    std::string text;
    const bool written = DisassembleEach(image, base, [&](const DisassembledLine& line) {
        text += FormatDisassembledLine(line);
        if (text.size() < kOutputChunk) return true;
        const bool ok = WriteText(out, text);
        text.clear();
        return ok;
    });
    return written && WriteText(out, text);
}

int Fail(const std::string& problem, int code = 1) {
    std::fprintf(stderr, "st20dis: %s\n%s", problem.c_str(), code == 2 ? kUsage : "");
    return code;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tapster::st20;
    std::string file;
    std::string baseText;
    std::string output;
#ifdef SIGXFSZ
    // Past the file size limit a write fails (and the temporary file is deleted) instead of the
    // signal ending the program with the file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    CLI::App app;
    app.add_option("--base", baseText);
    app.add_option("-o", output);
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
    std::vector<OutputFile> files{{output, nullptr}};
    if (!output.empty()) {
        if (const std::string refused = RefusedOutputs(files, {file}); !refused.empty())
            return Fail(refused);
    }
    std::string error;
    const auto contents = ReadWholeFile(file, kMaxImageSize, error);
    if (!contents) return Fail(error);
    const std::span<const uint8_t> image(reinterpret_cast<const uint8_t*>(contents->data()),
                                         contents->size());
    if (output.empty()) {
        const bool written = WriteDisassembly(image, base, stdout) && std::fflush(stdout) == 0;
        return written ? 0 : Fail("cannot write the text to stdout");
    }
    files[0].write = [&](std::FILE* out) { return WriteDisassembly(image, base, out); };
    if (!WriteFilesAtomically(files, error)) return Fail(error);
    return 0;
}
