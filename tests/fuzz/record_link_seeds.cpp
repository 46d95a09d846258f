// Records seeds for the link fuzz entry points from real exchanges with the simulated board: the
// TDO bits the host sampled (corpus/link) and the host's clocks as the board saw them
// (corpus/board_link). Usage: record_link_seeds <corpus folder>
#include "board/board.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "port/port_backend.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using tapster::board::Board;
using tapster::board::BoardConfig;

class Recorder final : public tapster::PortBackend {
  public:
    explicit Recorder(Board& board) : board(board) {}
    void WriteRegister(uint16_t port, uint8_t value) override {
        if (port == tapster::kDataPort) {
            if ((value & 0x08) != 0 && (last & 0x08) == 0) controlRaised = true;
            if ((value & 0x02) != 0 && (last & 0x02) == 0)
                clocks.push_back(static_cast<uint8_t>(value & 0x05)); // TMS and TDI
            last = value;
        }
        board.WriteRegister(port, value);
    }
    uint8_t ReadRegister(uint16_t port) override {
        const uint8_t value = board.ReadRegister(port);
        if (port == tapster::kStatusPort) tdo.push_back((value & 0x10) != 0);
        return value;
    }
    std::string Name() const override { return "recorder"; }

    Board& board;
    uint8_t last = 0;
    bool controlRaised = false;
    std::vector<bool> tdo;
    std::vector<uint8_t> clocks;
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
}

// One recorded exchange: link header fields, the board, and the operations to run.
struct Exchange {
    std::string name;
    uint8_t op;
    bool twice;
    uint32_t address;
    uint32_t value;
    uint8_t count;
    uint8_t boardChoice; // as board_link_fuzz.cpp reads byte 0
    uint8_t boardParameter;
    uint8_t replyLength;
    BoardConfig config;
};

void RunOp(int op, uint32_t address, uint32_t value, uint8_t count) {
    uint8_t buffer[256] = {};
    std::vector<uint8_t> data(count);
    for (uint32_t i = 0; i < count; ++i)
        data[i] = static_cast<uint8_t>(value >> (8 * (i % 4)));
    switch (op) {
    case 0:
        std::printf("  ReadBlock -> %u\n", tapster::ReadBlock(address, buffer));
        break;
    case 1: {
        const auto w = tapster::ReadWord(address);
        std::printf("  ReadWord -> failed %d value %08X\n", w.failed, w.value);
        break;
    }
    case 2:
        std::printf("  WriteBlock -> %u\n", tapster::WriteBlock(address, data.data(), count));
        break;
    default:
        std::printf("  WriteWord -> %d\n", tapster::WriteWord(address, value));
        break;
    }
}

// The board_link input for recorded clocks: the three header bytes, the control line raised, then
// runs of equal clocks (up to 16 per byte).
std::vector<uint8_t> HostActivity(std::vector<uint8_t> header, const std::vector<uint8_t>& c) {
    header.push_back(0xC8);
    for (size_t i = 0; i < c.size();) {
        size_t run = 1;
        while (run < 16 && i + run < c.size() && c[i + run] == c[i])
            ++run;
        const uint8_t tms = (c[i] & 0x01) != 0 ? 0x10 : 0;
        const uint8_t tdi = (c[i] & 0x04) != 0 ? 0x20 : 0;
        header.push_back(static_cast<uint8_t>(0x80 | tdi | tms | (run - 1)));
        i += run;
    }
    return header;
}

void Record(const std::string& corpus, const Exchange& x) {
    Board board(x.config, (x.boardChoice & 0x08) != 0 ? Board::Parts::None : Board::Parts::Attach);
    if ((x.boardChoice & 0x10) != 0) board.ForceReplyLength(x.replyLength);
    Recorder recorder(board);
    tapster::SetPortBackend(&recorder);
    tapster::ResetTapEngineState();
    tapster::SetControlLine(true);
    recorder.tdo.clear();
    std::printf("%s\n", x.name.c_str());
    RunOp(x.op, x.address, x.value, x.count);
    if (x.twice) RunOp((x.op + 1) & 3, x.value, x.address, x.count);
    tapster::SetPortBackend(nullptr);

    // corpus/link: header, then the sampled TDO bits, least significant bit first.
    std::vector<uint8_t> link = {static_cast<uint8_t>(x.op | (x.twice ? 0x40 : 0))};
    Put32(link, x.address);
    Put32(link, x.value);
    link.push_back(x.count);
    for (size_t i = 0; i < recorder.tdo.size(); i += 8) {
        uint8_t byte = 0;
        for (size_t k = 0; k < 8 && i + k < recorder.tdo.size(); ++k)
            byte = static_cast<uint8_t>(byte | (recorder.tdo[i + k] ? 1u << k : 0u));
        link.push_back(byte);
    }
    Save(corpus + "/link/" + x.name, link);

    Save(corpus + "/board_link/" + x.name,
         HostActivity({x.boardChoice, x.boardParameter, x.replyLength}, recorder.clocks));
}

// The host's side of a flash agent call, as link operations only: a routine loaded into SRAM, a
// trap slot pointing at it, the trap armed and taken, then one mailbox call polled to its end.
void RecordAgentCall(const std::string& corpus, const std::string& name, uint32_t command) {
    constexpr uint32_t kRoutine = 0x80001000;
    constexpr uint32_t kMailbox = kRoutine + 0x200;
    constexpr uint32_t kFlash = 0x7FE00000;
    Board board;
    board.ForceReplyLength(0x04); // one word per read keeps the seed small
    Recorder recorder(board);
    tapster::SetPortBackend(&recorder);
    tapster::ResetTapEngineState();
    tapster::SetControlLine(true);
    std::printf("%s\n", name.c_str());
    const std::vector<uint8_t> routine(484, 0x4E);
    bool ok = tapster::WriteBlock(kRoutine, routine.data(), 252) == 252;
    ok = ok && tapster::WriteBlock(kRoutine + 252, routine.data() + 252, 232) == 232;
    ok = ok && tapster::WriteWord(0x80000060 + 0x0C, kRoutine); // ERR_TRAP_HIGH slot: IPTR
    ok = ok && tapster::WriteWord(0x80000060 + 0x08, kMailbox); // and WPTR
    ok = ok && tapster::WriteWord(0x3004, 1u << 28);            // trap at the next instruction
    ok = ok && !tapster::ReadWord(0x3000).failed;               // the trap is taken
    ok = ok && tapster::WriteWord(kMailbox + 4, kFlash);
    ok = ok && tapster::WriteWord(kMailbox + 8, kMailbox + 28);
    ok = ok && tapster::WriteWord(kMailbox + 12, 8);
    ok = ok && tapster::WriteWord(kMailbox + 16, kFlash);
    ok = ok && tapster::WriteWord(kMailbox, command);
    uint32_t status = 0;
    for (int poll = 0; poll < 30 && (status & 0x9) == 0; ++poll)
        status = tapster::ReadWord(kMailbox).value;
    tapster::SetPortBackend(nullptr);
    std::printf("  links %s, mailbox status %08X\n", ok ? "ok" : "FAILED", status);
    Save(corpus + "/board_link/" + name, HostActivity({0x10, 0, 0x04}, recorder.clocks));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_link_seeds <corpus folder>\n");
        return 2;
    }
    const std::string corpus = argv[1];

    BoardConfig plain;
    BoardConfig lateAck;
    lateAck.link.ackDuringData = false;
    lateAck.link.ackDelayClocks = 10;
    BoardConfig keepsSending;
    keepsSending.faults.keepsSending = true;

    Record(corpus, {"readword_sram", 1, false, 0x80000040, 0, 0, 0x00, 0, 0, plain});
    Record(corpus, {"readblock_sdram", 0, false, 0x40000000, 0, 0, 0x00, 0, 0, plain});
    Record(corpus, {"writeword_sram", 3, false, 0x80000100, 0xDEADBEEF, 0, 0x00, 0, 0, plain});
    Record(corpus, {"writeblock_16", 2, false, 0x80000200, 0x11223344, 16, 0x00, 0, 0, plain});
    Record(corpus,
           {"writeword_then_readblock", 3, true, 0x80000300, 0x80000300, 0, 0x00, 0, 0, plain});
    Record(corpus, {"readword_late_ack", 1, false, 0x80000040, 0, 0, 0x03, 10, 0, lateAck});
    Record(corpus, {"readblock_length_05", 0, false, 0x7FFE0000, 0, 0, 0x10, 0, 0x05, plain});
    Record(corpus,
           {"readword_keeps_sending", 1, false, 0x80000040, 0, 0, 0x01, 0, 0, keepsSending});
    Record(corpus, {"writeblock_keeps_sending", 2, false, 0x80000200, 0x11223344, 8, 0x01, 0, 0,
                    keepsSending});
    Record(corpus, {"writeword_keeps_sending", 3, false, 0x80000100, 0xDEADBEEF, 0, 0x01, 0, 0,
                    keepsSending});
    BoardConfig silent;
    silent.faults.neverAcknowledge = true;
    Record(corpus, {"writeblock_never_acknowledged", 2, false, 0x80000200, 0x11223344, 8, 0x02, 0,
                    0, silent});
    RecordAgentCall(corpus, "agent_read_id", 0x0010);
    RecordAgentCall(corpus, "agent_erase_block", 0x0200);
    RecordAgentCall(corpus, "agent_program", 0x0100);
    return 0;
}
