// A session of commands on the simulated board, for the tests and the benchmarks: a test window,
// the port claimed through the stand-in permission driver as on the NT family, every
// process-wide value at its start value before and after, a start directory of its own, and the
// steps that get the project's flash agent running in the target.
#pragma once

#include "board/board.h"
#include "core/hex.h"
#include "jtag/agent_calls.h"
#include "jtag/tap_engine.h"
#include "link_recorder.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/port_backend.h"
#include "standin/port_permission.h"
#include "standin/win_standin.h"
#include "test_form.h"
#include "wire_port.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tapster::test {

// Where "Load Trap Routine" puts the routine by default, its mailbox, and the image size the
// host loads.
inline constexpr uint32_t kTrap = 0x80000800;
inline constexpr uint32_t kMailbox = kTrap + 0x200;
inline constexpr size_t kImageSize = 484;
// A flash base clear of the internal ROM, which hides the top of a chip at the default base.
inline constexpr uint32_t kClearFlashBase = 0x60000000;

// The lines of InitJtag and of the link entry after it, which every command that initialises
// the chain logs first.
inline const std::vector<std::string> kInitLines = {
    "Initializing JTAG ...", "Reseting TAP ... Done.", "Setting TAP on Run-Test/Idle state ...",
    "Done", "Reseting TAP ... Done."};
inline const std::string kTapReset = "Reseting TAP ... Done.";
// A command's whole log: those lines, `body`, and the closing TAP reset.
inline std::vector<std::string> InitThen(std::vector<std::string> body) {
    std::vector<std::string> out = kInitLines;
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(kTapReset);
    return out;
}

// A directory under the system's temporary directory named after the running test (or "run"
// outside a test), with `suffix` appended.
std::filesystem::path TestDirectory(const std::string& suffix = "");

// The bytes of the files the sessions write: byte i = (i * 7 + seed) & 0xFF.
inline uint8_t Pattern(size_t i, uint8_t seed) {
    return static_cast<uint8_t>(i * 7 + seed);
}
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// The board's memory contents, for presets.
board::FillArea Fill(uint32_t address, uint32_t length, uint8_t value);
board::BytePatch Patch(uint32_t address, std::vector<uint8_t> bytes);
// `config` with the flash chip at kClearFlashBase.
board::BoardConfig FlashClearOfRom(board::BoardConfig config = {});

class BoardSession {
  public:
    explicit BoardSession(std::filesystem::path directory = TestDirectory());
    virtual ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Puts a board with `config` behind the port.
    board::Board& StartBoard(board::BoardConfig config = {});
    // The same with a recorder of the link transactions the board serves (`link`).
    board::Board& Start(board::BoardConfig config = {});
    // The same with a WirePort (`wire`) between the port and the board.
    board::Board& StartOnWire(board::BoardConfig config = {});

    // A 2400 MHz PC: the delay slider from 0 to 2378, the check starting at delay 0.
    void UseA2400MHzPc();

    std::string Path(const std::string& name) const { return (dir / name).string(); }
    // A file in the start directory of `size` bytes of Pattern(i, seed); its path.
    std::string WriteFile(const std::string& name, size_t size, uint8_t seed = 0x11);
    // A file in the start directory holding `bytes`; its path.
    std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> TargetBytes(uint32_t address, size_t count);

    // `image` (empty: the project's flash agent for AMD chips, src/agent) as fl4_trap.bin in the
    // start directory.
    void WriteAgentImage(std::span<const uint8_t> image = {});
    // Load Trap Routine at the default address, Install Traps (BRK_TRAP_HIGH) and Take Trap on
    // interrupt with that image: true when it then serves the mailbox at kMailbox as on a
    // working board.
    [[nodiscard]] bool TakeAgent(std::span<const uint8_t> image = {});

    // "Write from File" of the first `length` bytes of `path` to the chip at `base`, the warning
    // confirmed.
    void WriteFlash(const std::string& path, const std::string& length,
                    const std::string& base = "60000000");
    // "Write from File" of `length` bytes of `path` at `from`, the flash base as it stands, the
    // warning confirmed.
    void WriteFromFile(const std::string& path, const std::string& from, const std::string& length);
    void WriteFlashAt(const std::string& path, uint32_t from, uint32_t length) {
        WriteFromFile(path, Hex8(from), HexMin(length, 1));
    }
    // "Read to File" of `length` bytes at `from` into `name` in the start directory; its bytes.
    std::vector<uint8_t> ReadToFile(const std::string& from, const std::string& length,
                                    const std::string& name);
    std::vector<uint8_t> ReadToFile(uint32_t from, uint32_t length,
                                    const std::string& name = "dump.bin") {
        return ReadToFile(Hex8(from), HexMin(length, 1), name);
    }

    size_t Mark() const { return form.LogLines().size(); }
    bool LoggedSince(size_t mark, const std::string& line) const;
    // The log lines after the first line equal to `marker` (all of them when it is absent).
    std::vector<std::string> LogAfter(const std::string& marker) const;
    // Busy mode left: every command container enabled, "Abort !" hidden.
    bool Idle();
    bool ProgressHidden();

    std::filesystem::path dir;
    TestForm form;
    std::unique_ptr<board::Board> board;
    std::unique_ptr<LinkRecorder> link;
    std::unique_ptr<WirePort> wire;
};

// The session as a test fixture: one per test, named after it.
class BoardTest : public ::testing::Test, public BoardSession {};

} // namespace tapster::test
