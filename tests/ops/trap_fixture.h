// Tests of the trap, flash and DCU monitor commands on the simulated board: a recorder of the
// link writes and reads the board serves, a start directory holding the flash agent's image,
// and the steps that get the flash agent running (load, install, take).
#pragma once

#include "board/board.h"
#include "board_session.h"
#include "core/hex.h"
#include "flash_agent.h"
#include "jtag/agent_calls.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/services.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tapster::test {

// Every link transaction the board served, in order; word writes with the word that landed.
class LinkRecorder : public board::LinkObserver {
  public:
    struct Access {
        uint32_t address;
        uint32_t length;
        uint32_t word; // the word at address after a 4-byte write
    };

    explicit LinkRecorder(board::TargetBus& bus) : bus_(bus) {}

    void AfterWrite(uint32_t address, uint32_t length) override {
        writes.push_back({address, length, length == 4 ? bus_.Read32(address) : 0});
        sequence.push_back("W" + Hex8(address));
    }
    void BeforeRead(uint32_t address, uint32_t length) override {
        reads.push_back({address, length, 0});
        sequence.push_back("R" + Hex8(address));
    }

    // The words written to `address` by 4-byte writes, in order.
    std::vector<uint32_t> WordsTo(uint32_t address) const {
        std::vector<uint32_t> out;
        for (const Access& w : writes)
            if (w.address == address && w.length == 4) out.push_back(w.word);
        return out;
    }
    // Writes that touch [from, to).
    size_t WritesWithin(uint32_t from, uint32_t to) const {
        return static_cast<size_t>(
            std::count_if(writes.begin(), writes.end(), [&](const Access& w) {
                return w.address < to && w.address + w.length > from;
            }));
    }
    void Clear() {
        writes.clear();
        reads.clear();
        sequence.clear();
    }

    std::vector<Access> writes;
    std::vector<Access> reads;
    // Reads and writes interleaved as they happened: "R00003000", "W0000308C", ...
    std::vector<std::string> sequence;

  private:
    board::TargetBus& bus_;
};

class OpsBoardTest : public BoardSession {
  protected:
    static constexpr uint32_t kTrap = 0x80000800;
    static constexpr uint32_t kMailbox = kTrap + 0x200;
    static constexpr size_t kImageSize = 484;

    void SetUp() override {
        BoardSession::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              (std::string("tapster-ops-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        StartDirectory = dir.string();
    }
    void TearDown() override {
        BoardSession::TearDown();
        board.reset(); // before the recorder it points at
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // The board with a recorder of its link traffic. Its CPU executes the routine the host
    // loads (the flash agent), with the flash chip's busy times at the board's default, a
    // hundredth of the data sheet's (a chip erase takes 10 M cycles), unless the test chose
    // otherwise.
    board::Board& Start(board::BoardConfig config = {}) {
        board::Board& b = StartBoard(std::move(config));
        link = std::make_unique<LinkRecorder>(b.Bus());
        b.AddObserver(link.get());
        return b;
    }

    // A file in the start directory of `size` bytes, byte i = (i * 7 + seed) & 0xFF.
    std::string WriteFile(const std::string& name, size_t size, uint8_t seed = 0x11) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(static_cast<char>(Pattern(i, seed)));
        return path;
    }
    static uint8_t Pattern(size_t i, uint8_t seed) { return static_cast<uint8_t>(i * 7 + seed); }

    std::vector<uint8_t> ReadFileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<uint8_t> TargetBytes(uint32_t address, size_t count) {
        std::vector<uint8_t> out(count);
        for (size_t i = 0; i < count; ++i)
            out[i] = board->Bus().Read8(address + static_cast<uint32_t>(i));
        return out;
    }

    size_t Mark() const { return form.LogLines().size(); }

    // The flash agent's image (src/agent) as fl4_trap.bin in the start directory.
    void WriteAgentImage() {
        std::ofstream out(dir / "fl4_trap.bin", std::ios::binary);
        const auto bytes = kFlashAgentBytes();
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    // Load the flash agent at the default address, install BRK_TRAP_HIGH and take a trap on
    // interrupt: the agent then serves the mailbox at kMailbox.
    void TakeAgent() {
        WriteAgentImage();
        cmdLoadTrapClick();
        cmdInstTrapClick();
        cmdLoadDCUClick();
        ASSERT_EQ(MailboxBase, kMailbox);
        ASSERT_TRUE(form.Logged("Trap routine loaded successfully."));
        ASSERT_TRUE(form.errorBoxes.empty());
    }

    std::filesystem::path dir;
    std::unique_ptr<LinkRecorder> link;
};

// The lines of InitJtag and of the link entry after it, which every command that initialises
// the chain logs first.
inline const std::vector<std::string> kInitLines = {
    "Initializing JTAG ...", "Reseting TAP ... Done.", "Setting TAP on Run-Test/Idle state ...",
    "Done", "Reseting TAP ... Done."};
inline const std::string kTapReset = "Reseting TAP ... Done.";

} // namespace tapster::test
