// The board preset loader against arbitrary text: it never throws, never crashes, answers every
// bad preset with a message naming the file and leaves the configuration alone, and every preset
// it accepts builds a board.
#include "board/board.h"
#include "board/memory_map.h"
#include "board/preset.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>

using tapster::board::BoardConfig;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    BoardConfig config;
    config.cpu = "untouched";
    config.idcode = 0x12345678;
    config.flash.chip = "untouched";
    config.fills.push_back({0x80000000, 1, 0x5A});
    std::string error;
    bool ok = false;
    try {
        ok = tapster::board::ParsePreset(text, "fuzz.json", config, error);
    } catch (...) {
        FUZZ_CHECK(!"ParsePreset let an exception out");
    }

    if (!ok) {
        FUZZ_CHECK(error.rfind("fuzz.json: ", 0) == 0);
        FUZZ_CHECK(error.size() > 11);
        FUZZ_CHECK(config.cpu == "untouched" && config.idcode == 0x12345678);
        FUZZ_CHECK(config.flash.chip == "untouched" && config.fills.size() == 1);
        return 0;
    }

    FUZZ_CHECK(config.cpu == "STi5510" || config.cpu == "STi5512" || config.cpu == "custom");
    if (config.cpu == "STi5510") FUZZ_CHECK(config.idcode == tapster::board::kSti5510Idcode);
    if (config.cpu == "STi5512") FUZZ_CHECK(config.idcode == tapster::board::kSti5512Idcode);
    uint64_t filled = 0;
    for (const auto& fill : config.fills) {
        FUZZ_CHECK(tapster::board::MemoryMap::InStorage(fill.address, fill.length));
        filled += fill.length;
    }
    for (const auto& patch : config.patches) {
        FUZZ_CHECK(!patch.bytes.empty());
        FUZZ_CHECK(tapster::board::MemoryMap::InStorage(patch.address,
                                                        static_cast<uint32_t>(patch.bytes.size())));
    }

    // An accepted preset makes a board (the fills are bounded only by the memories' sizes, so
    // very large ones are left out to keep each run short).
    if (filled <= 4u * 1024 * 1024) {
        tapster::board::Board board(config);
        FUZZ_CHECK(board.Config().idcode == config.idcode);
    }
    return 0;
}
