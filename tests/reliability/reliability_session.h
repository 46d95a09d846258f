// One run of a command on a fresh simulated board: a new test window, the port claimed through
// the stand-in permission driver, every process-wide value back at its start value, and a start
// directory of its own holding the placeholder agent image.
#pragma once

#include "board/board.h"
#include "jtag/agent_calls.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/port_backend.h"
#include "port/port_permission.h"
#include "port/win_standin.h"
#include "test_form.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tapster::test {

constexpr uint32_t kTrap = 0x80000800;
constexpr uint32_t kMailbox = kTrap + 0x200;
constexpr size_t kImageSize = 484;
inline const std::string kTapReset = "Reseting TAP ... Done.";

class Session {
  public:
    explicit Session(const std::filesystem::path& directory) : dir(directory) {
        ResetCommandState();
        win::standin::Reset();
        PermitAllPorts(false);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        form = std::make_unique<TestForm>();
        form->SetVisible("ProgressBar1", false); // as the window's start-up leaves it
        StartDirectory = dir.string();
    }
    ~Session() {
        SetPortBackend(nullptr);
        board.reset();
        win::standin::Reset();
        ResetCommandState();
        form.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    board::Board& Start(board::BoardConfig config = {}) {
        SetPortBackend(nullptr);
        board = std::make_unique<board::Board>(std::move(config));
        SetPortBackend(board.get());
        return *board;
    }

    // A file of `size` bytes, byte i = (i * 7 + 0x11) & 0xFF.
    std::string WriteFile(const std::string& name, size_t size) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(static_cast<char>(i * 7 + 0x11));
        return path;
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }

    // The placeholder agent loaded at the default address, installed in BRK_TRAP_HIGH and taken:
    // the agent then serves the mailbox. True when all went as on a working board.
    bool TakeAgent() {
        WriteFile("fl4_trap.bin", kImageSize);
        cmdLoadTrapClick();
        cmdInstTrapClick();
        cmdLoadDCUClick();
        return MailboxBase == kMailbox && form->Logged("Trap routine loaded successfully.") &&
               form->errorBoxes.empty();
    }

    // Busy mode left: every command container enabled, "Abort !" hidden.
    bool Idle() {
        for (const char* c : {"Panel1", "Panel3", "Panel5", "GroupBox5", "GroupBox7"})
            if (!form->Enabled(c)) return false;
        return !form->Visible("cmdCancel");
    }
    bool ProgressHidden() { return !form->Visible("ProgressBar1") && !form->Visible("lblAdr"); }

    size_t Mark() const { return form->LogLines().size(); }
    bool LoggedSince(size_t mark, const std::string& line) const {
        for (const std::string& l : form->LogFrom(mark))
            if (l == line) return true;
        return false;
    }

    std::filesystem::path dir;
    std::unique_ptr<TestForm> form;
    std::unique_ptr<board::Board> board;
};

// A directory under the system's temporary directory named after the running test.
inline std::filesystem::path TestDirectory(const std::string& suffix = "") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tapster-rel-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    return std::filesystem::temp_directory_path() / (name + suffix);
}

} // namespace tapster::test
