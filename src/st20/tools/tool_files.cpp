#include "st20/tools/tool_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "st20/expression.h"

namespace tapster::st20 {

namespace fs = std::filesystem;

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open '" + path + "'";
        return std::nullopt;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) {
        error = "cannot read '" + path + "'";
        return std::nullopt;
    }
    return contents.str();
}

bool WriteFilesAtomically(const std::vector<OutputFile>& files, std::string& error) {
    std::vector<std::string> temporaries;
    const auto discard = [&] {
        std::error_code ignored;
        for (const std::string& temporary : temporaries)
            fs::remove(temporary, ignored);
    };
    for (const OutputFile& file : files) {
        const std::string temporary = file.path + ".tmp";
        temporaries.push_back(temporary);
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(file.contents.data(), static_cast<std::streamsize>(file.contents.size()));
        out.close();
        if (!out) {
            error = "cannot write '" + file.path + "'";
            discard();
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        std::error_code failure;
        fs::rename(temporaries[i], files[i].path, failure);
        if (failure) {
            error = "cannot write '" + files[i].path + "': " + failure.message();
            discard();
            return false;
        }
    }
    return true;
}

std::optional<uint32_t> ParseNumberArgument(const std::string& text) {
    return ParseInteger(text);
}

} // namespace tapster::st20
