// A session on the simulated board with a WirePort between the port and the board: the port
// claimed through the stand-in permission driver, a start directory holding a placeholder agent
// image, the flash chip at 0x60000000 (clear of the internal ROM) and the process-wide values of
// the commands at their start values before and after.
#pragma once

#include "board/board.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/port_backend.h"
#include "port/port_permission.h"
#include "port/win_standin.h"
#include "test_form.h"
#include "wire_port.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace tapster::test {

constexpr uint32_t kPerfFlashBase = 0x60000000;

class PerfSession : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetCommandState();
        win::standin::Reset();
        PermitAllPorts(false);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              (std::string("tapster-perf-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        StartDirectory = dir.string();
        // A 2400 MHz PC: slider 0 to 2378, the check starting at delay 0.
        CpuSpeedMHz = 2400;
        form.SetRange("trkDelay", 0, 2378);
        form.SetTickInterval("trkDelay", 118);
        form.SetPosition("trkDelay", 0);
        form.SetVisible("ProgressBar1", false);
    }
    void TearDown() override {
        SetPortBackend(nullptr);
        win::standin::Reset();
        ResetCommandState();
        wire.reset();
        board.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void Start() {
        board::BoardConfig config;
        config.flash.base = kPerfFlashBase;
        board = std::make_unique<board::Board>(std::move(config));
        wire = std::make_unique<WirePort>(*board);
        SetPortBackend(wire.get());
    }

    // A file in the start directory of `size` bytes, byte i = (i * 7 + seed) & 0xFF.
    std::string WriteFile(const std::string& name, size_t size, uint8_t seed) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(static_cast<char>(i * 7 + seed));
        return path;
    }
    static std::vector<uint8_t> ReadFileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // Load Trap Routine, Install Traps and Take Trap with the placeholder image: the agent then
    // serves its mailbox.
    void TakeAgent() {
        WriteFile("fl4_trap.bin", 484, 0x5A);
        cmdLoadTrapClick();
        cmdInstTrapClick();
        cmdLoadDCUClick();
        ASSERT_TRUE(form.Logged("Trap routine loaded successfully."));
        ASSERT_TRUE(form.errorBoxes.empty());
    }

    // "Write from File" of the first `length` bytes of `path` to the start of the flash chip.
    void WriteFlash(const std::string& path, const std::string& length) {
        form.SetText("lstFlashBase", "60000000");
        form.SetText("txtFromAddr", "60000000");
        form.SetText("txtFlashLen", length);
        form.files.push_back(path);
        form.warningAnswers.push_back(true);
        cmdWriteFlashClick();
    }

    // "Read to File" of `length` bytes at `from` into `name`; the file's contents.
    std::vector<uint8_t> ReadToFile(const std::string& from, const std::string& length,
                                    const std::string& name) {
        const std::string path = (dir / name).string();
        form.SetText("txtFromAddr", from);
        form.SetText("txtFlashLen", length);
        form.files.push_back(path);
        cmdReadToFileClick();
        return ReadFileBytes(path);
    }

    TestForm form;
    std::unique_ptr<board::Board> board;
    std::unique_ptr<WirePort> wire;
    std::filesystem::path dir;
};

} // namespace tapster::test
