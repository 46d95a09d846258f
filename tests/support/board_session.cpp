#include "board_session.h"

#include "flash_agent.h"
#include "jtag/agent_calls.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/port_backend.h"
#include "process_state.h"

#include <fstream>
#include <iterator>

namespace tapster::test {

std::filesystem::path TestDirectory(const std::string& suffix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "tapster-test-";
    name += info != nullptr ? std::string(info->test_suite_name()) + "-" + info->name() : "run";
    for (char& c : name)
        if (c == '/') c = '_';
    return std::filesystem::temp_directory_path() / (name + suffix);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

board::FillArea Fill(uint32_t address, uint32_t length, uint8_t value) {
    board::FillArea area;
    area.address = address;
    area.length = length;
    area.value = value;
    return area;
}

board::BytePatch Patch(uint32_t address, std::vector<uint8_t> bytes) {
    board::BytePatch patch;
    patch.address = address;
    patch.bytes = std::move(bytes);
    return patch;
}

board::BoardConfig FlashClearOfRom(board::BoardConfig config) {
    config.flash.base = kClearFlashBase;
    return config;
}

BoardSession::BoardSession(std::filesystem::path directory) : dir(std::move(directory)) {
    ResetProcessState();
    frmMain = &form;
    form.SetVisible("ProgressBar1", false); // as the window's start-up leaves it
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    StartDirectory = dir.string();
}

BoardSession::~BoardSession() {
    ResetProcessState();
    wire.reset();
    board.reset(); // before the recorder it points at
    link.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

board::Board& BoardSession::StartBoard(board::BoardConfig config) {
    SetPortBackend(nullptr);
    wire.reset();
    board = std::make_unique<board::Board>(std::move(config));
    link.reset();
    SetPortBackend(board.get());
    return *board;
}

board::Board& BoardSession::Start(board::BoardConfig config) {
    board::Board& b = StartBoard(std::move(config));
    link = std::make_unique<LinkRecorder>(b.Bus());
    b.AddObserver(link.get());
    return b;
}

board::Board& BoardSession::StartOnWire(board::BoardConfig config) {
    board::Board& b = StartBoard(std::move(config));
    wire = std::make_unique<WirePort>(b);
    SetPortBackend(wire.get());
    return b;
}

void BoardSession::UseA2400MHzPc() {
    CpuSpeedMHz = 2400;
    form.SetRange("trkDelay", 0, 2378);
    form.SetTickInterval("trkDelay", 118);
    form.SetPosition("trkDelay", 0);
}

std::string BoardSession::WriteFile(const std::string& name, size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = Pattern(i, seed);
    return WriteBytes(name, bytes);
}

std::string BoardSession::WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = Path(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<uint8_t> BoardSession::TargetBytes(uint32_t address, size_t count) {
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = board->Bus().Read8(address + static_cast<uint32_t>(i));
    return out;
}

void BoardSession::WriteAgentImage(std::span<const uint8_t> image) {
    if (image.empty()) image = kFlashAgentBytes();
    WriteBytes("fl4_trap.bin", std::vector<uint8_t>(image.begin(), image.end()));
}

bool BoardSession::TakeAgent(std::span<const uint8_t> image) {
    WriteAgentImage(image);
    const size_t boxes = form.errorBoxes.size();
    cmdLoadTrapClick();
    cmdInstTrapClick();
    cmdLoadDCUClick();
    return MailboxBase == kMailbox && form.Logged("Trap routine loaded successfully.") &&
           form.errorBoxes.size() == boxes;
}

void BoardSession::WriteFlash(const std::string& path, const std::string& length,
                              const std::string& base) {
    form.SetText("lstFlashBase", base);
    WriteFromFile(path, base, length);
}

void BoardSession::WriteFromFile(const std::string& path, const std::string& from,
                                 const std::string& length) {
    form.SetText("txtFromAddr", from);
    form.SetText("txtFlashLen", length);
    form.files.push_back(path);
    form.warningAnswers.push_back(true);
    cmdWriteFlashClick();
}

std::vector<uint8_t> BoardSession::ReadToFile(const std::string& from, const std::string& length,
                                              const std::string& name) {
    const std::string path = Path(name);
    form.SetText("txtFromAddr", from);
    form.SetText("txtFlashLen", length);
    form.files.push_back(path);
    cmdReadToFileClick();
    return ReadFileBytes(path);
}

bool BoardSession::LoggedSince(size_t mark, const std::string& line) const {
    for (const std::string& l : form.LogFrom(mark))
        if (l == line) return true;
    return false;
}

std::vector<std::string> BoardSession::LogAfter(const std::string& marker) const {
    const auto& lines = form.LogLines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == marker) return form.LogFrom(i + 1);
    return form.LogFrom(0);
}

bool BoardSession::Idle() {
    for (const char* c : {"Panel1", "Panel3", "Panel5", "GroupBox5", "GroupBox7"})
        if (!form.Enabled(c)) return false;
    return !form.Visible("cmdCancel");
}

bool BoardSession::ProgressHidden() {
    return !form.Visible("ProgressBar1") && !form.Visible("lblAdr");
}

} // namespace tapster::test
