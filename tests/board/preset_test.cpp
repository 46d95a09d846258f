// Board presets: what a file selects, and the messages for files that cannot be used.
#include "bitbang_host.h"
#include "board/board.h"
#include "board/preset.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace tapster::board;

namespace {

class PresetFile : public ::testing::Test {
  protected:
    PresetFile() {
        dir =
            std::filesystem::temp_directory_path() /
            ("tapster_preset_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    ~PresetFile() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string Write(const std::string& text, const std::string& name = "preset.json") {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    // The message for a bad preset text, with the file's name in front.
    static std::string Problem(const std::string& text) {
        BoardConfig config;
        std::string error;
        EXPECT_FALSE(ParsePreset(text, "preset.json", config, error)) << text;
        return error;
    }
    std::filesystem::path dir;
};

TEST_F(PresetFile, EmptyObjectIsTheBuiltInDefault) {
    BoardConfig config;
    config.faults.noTarget = true; // overwritten
    std::string error;
    ASSERT_TRUE(LoadPreset(Write("{}"), config, error)) << error;
    const BoardConfig defaults;
    EXPECT_EQ(config.cpu, defaults.cpu);
    EXPECT_EQ(config.idcode, kSti5510Idcode);
    EXPECT_FALSE(config.faults.noTarget);
    EXPECT_EQ(config.link.replyDelayClocks, defaults.link.replyDelayClocks);
    EXPECT_EQ(config.flash.base, defaults.flash.base);
}

// "agent" and "core.cppAgent" come from older presets: accepted, with no effect.
TEST_F(PresetFile, EveryFieldIsRead) {
    const std::string text = R"({
      "cpu": "custom", "idcode": "0x0BADF00D",
      "fills": [{"address": "40000000", "length": "100", "value": "00"},
                {"address": 3221225472, "length": "0x10", "value": 90}],
      "patches": [{"address": "80000040", "bytes": "DE AD be ef"}],
      "faults": {"noTarget": false, "tdoStuckLow": true, "tdoToggling": true,
                 "minWorkingDelay": 300, "neverAcknowledge": true, "keepsSending": true,
                 "flipEveryBits": 1000},
      "link": {"ackDuringData": false, "ackDelayClocks": 12, "replyDelayClocks": 40},
      "flash": {"chip": "AM29LV800BB", "base": "7FF00000", "protectedSectors": ["0", "0x4000"]},
      "agent": {"identifyPolls": 2, "protectPolls": 3, "programPolls": 4,
                "eraseBlockPolls": 6, "eraseChipPolls": 30, "timeLimitPolls": 500},
      "core": {"cyclesPerTck": 160, "trace": "cpu.trace", "traceLimitBytes": 1000000,
               "cppAgent": false}
    })";
    BoardConfig c;
    std::string error;
    ASSERT_TRUE(LoadPreset(Write(text), c, error)) << error;
    EXPECT_EQ(c.cpu, "custom");
    EXPECT_EQ(c.idcode, 0x0BADF00Du);
    ASSERT_EQ(c.fills.size(), 2u);
    EXPECT_EQ(c.fills[0].address, 0x40000000u);
    EXPECT_EQ(c.fills[0].length, 0x100u);
    EXPECT_EQ(c.fills[0].value, 0x00);
    EXPECT_EQ(c.fills[1].address, 0xC0000000u);
    EXPECT_EQ(c.fills[1].length, 0x10u);
    EXPECT_EQ(c.fills[1].value, 90);
    ASSERT_EQ(c.patches.size(), 1u);
    EXPECT_EQ(c.patches[0].address, 0x80000040u);
    EXPECT_EQ(c.patches[0].bytes, (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_TRUE(c.faults.tdoStuckLow && c.faults.tdoToggling && c.faults.neverAcknowledge &&
                c.faults.keepsSending);
    EXPECT_FALSE(c.faults.noTarget);
    EXPECT_EQ(c.faults.minWorkingDelay, 300);
    EXPECT_EQ(c.faults.flipEveryBits, 1000u);
    EXPECT_FALSE(c.link.ackDuringData);
    EXPECT_EQ(c.link.ackDelayClocks, 12u);
    EXPECT_EQ(c.link.replyDelayClocks, 40u);
    EXPECT_EQ(c.flash.chip, "AM29LV800BB");
    EXPECT_EQ(c.flash.base, 0x7FF00000u);
    EXPECT_EQ(c.flash.protectedSectors, (std::vector<uint32_t>{0, 0x4000}));
    EXPECT_EQ(c.core.cyclesPerTck, 160u);
    EXPECT_EQ(c.core.trace, "cpu.trace");
    EXPECT_EQ(c.core.traceLimitBytes, 1000000u);
}

TEST_F(PresetFile, BoardShowsThePresetThroughThePort) {
    const std::string text = R"({"cpu": "STi5512",
      "fills": [{"address": "40000000", "length": "200", "value": "00"}],
      "patches": [{"address": "40000010", "bytes": "0102030405"},
                  {"address": "7FFE0000", "bytes": "AA"}]})";
    BoardConfig config;
    std::string error;
    ASSERT_TRUE(LoadPreset(Write(text), config, error)) << error;
    Board board(config, Board::Parts::None);
    board_test::BitbangHost host(board);
    host.SetControl(true);
    host.Reset();
    EXPECT_EQ(host.ShiftDr(0, 32), kSti5512Idcode);
    host.EnterLink();
    std::vector<uint8_t> data;
    ASSERT_EQ(host.ReadBlock(0x40000000, data), 256);
    EXPECT_EQ(data[0x0F], 0x00);
    EXPECT_EQ(data[0x10], 0x01);
    EXPECT_EQ(data[0x14], 0x05);
    EXPECT_EQ(data[0x15], 0x00);
    EXPECT_EQ(data[0xFF], 0x00);
    ASSERT_EQ(host.ReadBlock(kRomBase, data), 256);
    EXPECT_EQ(data[0], 0xAA) << "a preset may set ROM contents";
    EXPECT_EQ(data[1], RomByte(1));
}

TEST_F(PresetFile, NamedCpuDerivesItsIdcode) {
    BoardConfig config;
    std::string error;
    ASSERT_TRUE(ParsePreset(R"({"cpu": "STi5512"})", "p.json", config, error)) << error;
    EXPECT_EQ(config.idcode, kSti5512Idcode);
}

// Each bad text names the file and the field; contents outside the board's memories name the list
// entry.
TEST_F(PresetFile, BadFilesNameTheFileAndTheField) {
    const std::string where =
        "not inside one of the board's memories (DCU window, SRAM, SDRAM, video RAM, ROM)";
    const struct {
        const char* text;
        std::string message; // after "preset.json: "
    } cases[] = {
        {R"({"faults": {"flipEveryBits": "often"}})", "faults.flipEveryBits: expected a number"},
        {R"({"faults": {"flipEveryBits": 2.5}})", "faults.flipEveryBits: expected a whole number"},
        {R"({"faults": {"flipEveryBits": -1}})",
         "faults.flipEveryBits: expected a whole number from 0 to 4294967295"},
        {R"({"faults": {"minWorkingDelay": 3000000000}})",
         "faults.minWorkingDelay: expected a whole number from 0 to 2147483647"},
        {R"({"faults": {"noTarget": 1}})", "faults.noTarget: expected true or false"},
        {R"({"faults": {"noTraget": true}})", "faults.noTraget: unknown field"},
        {R"({"colour": "red"})", "colour: unknown field"},
        {R"({"faults": []})", "faults: expected an object"},
        {R"({"cpu": "STi5518"})", "cpu: expected \"STi5510\", \"STi5512\" or \"custom\""},
        {R"({"cpu": "custom"})", "idcode: needed when cpu is \"custom\""},
        {R"({"idcode": "12345678"})", "idcode: only with cpu \"custom\" (STi5510 has its own)"},
        {R"({"cpu": "custom", "idcode": "123456789"})", "idcode: expected up to eight hex digits"},
        {R"({"patches": [{"address": "80000000", "bytes": "ABC"}]})",
         "patches[0].bytes: expected hex digit pairs"},
        {R"({"patches": [{"address": "8000000G", "bytes": "AB"}]})",
         "patches[0].address: expected up to eight hex digits"},
        {R"({"patches": [{"address": "80000000"}]})", "patches[0].bytes: missing"},
        {R"({"fills": [{"address": "3000", "length": "10", "value": "100"}]})",
         "fills[0].value: must be at most FF (hex)"},
        {R"({"fills": {"address": "3000"}})", "fills: expected a list"},
        {R"({"flash": {"protectedSectors": ["0", true]}})",
         "flash.protectedSectors[1]: expected a hex string"},
        {R"({"link": {"ackDelayClocks": null}})", "link.ackDelayClocks: expected a number"},
        {R"({"core": {"cyclesPerTck": 0}})",
         "core.cyclesPerTck: expected a whole number from 1 to 100000"},
        {R"({"core": {"trace": 7}})", "core.trace: expected the path of the trace file"},
        {R"({"core": {"speed": 7}})", "core.speed: unknown field"},
        {R"({"core": {"traceLimitBytes": 18446744073709551615}})",
         "core.traceLimitBytes: expected a whole number from 0 to 1073741824"},
        {R"({"flash": {"base": "7FE00001"}})",
         "flash.base: 7FE00001 is odd; the chip answers on 16-bit words"},
        {R"({"flash": {"base": "FFFFF000"}})",
         "flash.base: the AM29LV160DB (200000 bytes) at FFFFF000 runs past the top of the "
         "address space"},
        {R"({"agent": {"programPolls": "2"}})", "agent.programPolls: expected a number"},
        {R"({"core": {"cppAgent": 1}})", "core.cppAgent: expected true or false"},
        {R"({"fills": [{"address": "20000000", "length": "10", "value": "0"}]})",
         "fills[0]: " + where},
        // Runs past the end of SDRAM.
        {R"({"fills": [{"address": "401FFFF0", "length": "11", "value": "0"}]})",
         "fills[0]: " + where},
        {R"({"patches": [{"address": "0", "bytes": "00"}, {"address": "7FE00000", "bytes": "00"}]})",
         "patches[0]: " + where},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Problem(c.text), "preset.json: " + c.message) << c.text;
}

TEST_F(PresetFile, UnreadableOrMalformedFilesGiveAMessage) {
    BoardConfig config;
    config.cpu = "STi5512";
    std::string error;
    const std::string missing = (dir / "missing.json").string();
    EXPECT_FALSE(LoadPreset(missing, config, error));
    EXPECT_EQ(error, missing + ": cannot open the preset file");
    EXPECT_FALSE(LoadPreset(dir.string(), config, error));
    EXPECT_EQ(error, dir.string() + ": a folder, not a preset file");

    const std::string broken = Write("{\n  \"cpu\": \"STi5510\",\n}\n", "broken.json");
    EXPECT_FALSE(LoadPreset(broken, config, error));
    EXPECT_EQ(error.rfind(broken + ": not valid JSON: parse error at line 3", 0), 0u) << error;

    EXPECT_FALSE(LoadPreset(Write("", "empty.json"), config, error));
    EXPECT_EQ(error.rfind((dir / "empty.json").string() + ": not valid JSON", 0), 0u) << error;
    EXPECT_FALSE(LoadPreset(Write("[1, 2]", "list.json"), config, error));
    EXPECT_EQ(error,
              (dir / "list.json").string() + ": expected a JSON object ({ ... }) at the top level");
    EXPECT_FALSE(
        LoadPreset(Write(std::string("{\"cpu\": \"\xff\"}"), "bytes.json"), config, error));
    EXPECT_EQ(error.rfind((dir / "bytes.json").string() + ": not valid JSON", 0), 0u) << error;

    EXPECT_EQ(config.cpu, "STi5512") << "a failed load leaves the configuration alone";
}

} // namespace
