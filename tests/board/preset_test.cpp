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

TEST_F(PresetFile, BadFilesNameTheFileAndTheField) {
    EXPECT_EQ(Problem(R"({"faults": {"flipEveryBits": "often"}})"),
              "preset.json: faults.flipEveryBits: expected a number");
    EXPECT_EQ(Problem(R"({"faults": {"flipEveryBits": 2.5}})"),
              "preset.json: faults.flipEveryBits: expected a whole number");
    EXPECT_EQ(Problem(R"({"faults": {"flipEveryBits": -1}})"),
              "preset.json: faults.flipEveryBits: expected a whole number from 0 to 4294967295");
    EXPECT_EQ(Problem(R"({"faults": {"minWorkingDelay": 3000000000}})"),
              "preset.json: faults.minWorkingDelay: expected a whole number from 0 to 2147483647");
    EXPECT_EQ(Problem(R"({"faults": {"noTarget": 1}})"),
              "preset.json: faults.noTarget: expected true or false");
    EXPECT_EQ(Problem(R"({"faults": {"noTraget": true}})"),
              "preset.json: faults.noTraget: unknown field");
    EXPECT_EQ(Problem(R"({"colour": "red"})"), "preset.json: colour: unknown field");
    EXPECT_EQ(Problem(R"({"faults": []})"), "preset.json: faults: expected an object");
    EXPECT_EQ(Problem(R"({"cpu": "STi5518"})"),
              "preset.json: cpu: expected \"STi5510\", \"STi5512\" or \"custom\"");
    EXPECT_EQ(Problem(R"({"cpu": "custom"})"),
              "preset.json: idcode: needed when cpu is \"custom\"");
    EXPECT_EQ(Problem(R"({"idcode": "12345678"})"),
              "preset.json: idcode: only with cpu \"custom\" (STi5510 has its own)");
    EXPECT_EQ(Problem(R"({"cpu": "custom", "idcode": "123456789"})"),
              "preset.json: idcode: expected up to eight hex digits");
    EXPECT_EQ(Problem(R"({"patches": [{"address": "80000000", "bytes": "ABC"}]})"),
              "preset.json: patches[0].bytes: expected hex digit pairs");
    EXPECT_EQ(Problem(R"({"patches": [{"address": "8000000G", "bytes": "AB"}]})"),
              "preset.json: patches[0].address: expected up to eight hex digits");
    EXPECT_EQ(Problem(R"({"patches": [{"address": "80000000"}]})"),
              "preset.json: patches[0].bytes: missing");
    EXPECT_EQ(Problem(R"({"fills": [{"address": "3000", "length": "10", "value": "100"}]})"),
              "preset.json: fills[0].value: must be at most FF (hex)");
    EXPECT_EQ(Problem(R"({"fills": {"address": "3000"}})"), "preset.json: fills: expected a list");
    EXPECT_EQ(Problem(R"({"flash": {"protectedSectors": ["0", true]}})"),
              "preset.json: flash.protectedSectors[1]: expected a hex string");
    EXPECT_EQ(Problem(R"({"link": {"ackDelayClocks": null}})"),
              "preset.json: link.ackDelayClocks: expected a number");
    EXPECT_EQ(Problem(R"({"core": {"cyclesPerTck": 0}})"),
              "preset.json: core.cyclesPerTck: expected a whole number from 1 to 100000");
    EXPECT_EQ(Problem(R"({"core": {"trace": 7}})"),
              "preset.json: core.trace: expected the path of the trace file");
    EXPECT_EQ(Problem(R"({"core": {"speed": 7}})"), "preset.json: core.speed: unknown field");
    EXPECT_EQ(Problem(R"({"core": {"traceLimitBytes": 18446744073709551615}})"),
              "preset.json: core.traceLimitBytes: expected a whole number from 0 to 1073741824");
    EXPECT_EQ(Problem(R"({"flash": {"base": "7FE00001"}})"),
              "preset.json: flash.base: 7FE00001 is odd; the chip answers on 16-bit words");
    EXPECT_EQ(Problem(R"({"flash": {"base": "FFFFF000"}})"),
              "preset.json: flash.base: the AM29LV160DB (200000 bytes) at FFFFF000 runs past the "
              "top of the address space");
    EXPECT_EQ(Problem(R"({"agent": {"programPolls": "2"}})"),
              "preset.json: agent.programPolls: expected a number");
    EXPECT_EQ(Problem(R"({"core": {"cppAgent": 1}})"),
              "preset.json: core.cppAgent: expected true or false");
}

TEST_F(PresetFile, ContentsOutsideTheBoardsMemoriesAreRejected) {
    const std::string where = "not inside one of the board's memories (DCU window, SRAM, SDRAM, "
                              "video RAM, ROM)";
    EXPECT_EQ(Problem(R"({"fills": [{"address": "20000000", "length": "10", "value": "0"}]})"),
              "preset.json: fills[0]: " + where);
    // Runs past the end of SDRAM.
    EXPECT_EQ(Problem(R"({"fills": [{"address": "401FFFF0", "length": "11", "value": "0"}]})"),
              "preset.json: fills[0]: " + where);
    EXPECT_EQ(
        Problem(
            R"({"patches": [{"address": "0", "bytes": "00"}, {"address": "7FE00000", "bytes": "00"}]})"),
        "preset.json: patches[0]: " + where);
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
