// Runs a fuzz entry point once over every file of the seed corpus folders given on the command
// line, so an ordinary build catches a regression on the seeds without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int files = 0;
    for (int a = 1; a < argc; ++a) {
        std::error_code error;
        std::vector<fs::path> paths;
        for (const auto& entry : fs::directory_iterator(argv[a], error)) {
            if (entry.is_regular_file()) paths.push_back(entry.path());
        }
        if (error) {
            std::fprintf(stderr, "cannot list %s: %s\n", argv[a], error.message().c_str());
            return 2;
        }
        for (const fs::path& path : paths) {
            std::ifstream file(path, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
            std::printf("%s (%zu bytes)\n", path.filename().string().c_str(), bytes.size());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++files;
        }
    }
    std::printf("%d inputs ran\n", files);
    // An empty corpus would make the test pass without running anything.
    return files > 0 ? 0 : 1;
}
