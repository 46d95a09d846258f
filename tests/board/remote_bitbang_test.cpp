// The remote_bitbang requests as tapcheck-board applies them to the board (no sockets here; the
// OpenOCD interop test covers the server end to end).
#include "board/board.h"
#include "board/remote_bitbang_session.h"

#include <gtest/gtest.h>

#include <string>

using namespace tapster::board;

namespace {

// One TCK period per bit in remote_bitbang characters: levels with TCK low, 'R', TCK high.
std::string Clocks(const std::string& tms, const std::string& tdi, bool read) {
    std::string out;
    for (size_t i = 0; i < tms.size(); ++i) {
        const int low = (tms[i] == '1' ? 2 : 0) | (tdi[i] == '1' ? 1 : 0);
        out += static_cast<char>('0' + low);
        if (read) out += 'R';
        out += static_cast<char>('0' + (low | 4));
    }
    return out;
}

class RemoteBitbang : public ::testing::Test {
  protected:
    RemoteBitbang() : board(BoardConfig{}, Board::Parts::None), session(board) {}
    std::string Send(const std::string& requests, bool expectMore = true) {
        std::string answers;
        EXPECT_EQ(session.Handle(requests, answers), expectMore);
        return answers;
    }
    Board board;
    RemoteBitbangSession session;
};

TEST_F(RemoteBitbang, ReadsIdcodeThroughTheRequests) {
    EXPECT_TRUE(board.ControlLineHigh()) << "no reset asserted at the start";
    Send(Clocks("111110", "000000", false)); // Run-Test/Idle
    Send(Clocks("100", "000", false));       // Shift-DR
    std::string bits = Send(Clocks(std::string(31, '0') + "1", std::string(32, '0'), true));
    ASSERT_EQ(bits.size(), 32u);
    uint32_t value = 0;
    for (int i = 0; i < 32; ++i)
        value |= (bits[i] == '1' ? 1u : 0u) << i;
    EXPECT_EQ(value, kSti5510Idcode);
}

TEST_F(RemoteBitbang, ResetRequestsDriveTheControlLine) {
    Send("s");
    EXPECT_FALSE(board.ControlLineHigh()) << "SRST";
    Send("r");
    EXPECT_TRUE(board.ControlLineHigh());
    Send("t");
    EXPECT_FALSE(board.ControlLineHigh()) << "TRST";
    Send("u");
    EXPECT_FALSE(board.ControlLineHigh()) << "both";
    Send("r");
    EXPECT_TRUE(board.ControlLineHigh());
    // Held in reset, clocks do not move the TAP.
    Send("s" + Clocks("1100", "0000", false));
    EXPECT_EQ(board.State(), TapState::TestLogicReset);
    Send("r" + Clocks("0", "0", false));
    EXPECT_EQ(board.State(), TapState::RunTestIdle);
}

TEST_F(RemoteBitbang, IgnoresBlinkAndUnknownCharactersAndStopsAtQuit) {
    Send(Clocks("111110", "000000", false));
    EXPECT_EQ(Send("Bb\n\r Zz"), "");
    EXPECT_EQ(board.State(), TapState::RunTestIdle);
    // After 'Q' nothing more is looked at: this TMS 1 clock must not happen.
    EXPECT_EQ(Send("RQ" + Clocks("1", "0", true), false), "1");
    EXPECT_EQ(board.State(), TapState::RunTestIdle);
    // The next client finds the board as it was.
    EXPECT_EQ(Send(Clocks("1", "0", false)), "");
    EXPECT_EQ(board.State(), TapState::SelectDrScan);
}

TEST_F(RemoteBitbang, WriteRequestsMapTckTmsTdi) {
    Send("7");
    EXPECT_EQ(board.ReadRegister(0x378), 0x08 | 0x02 | 0x01 | 0x04);
    Send("4");
    EXPECT_EQ(board.ReadRegister(0x378), 0x08 | 0x02);
    Send("2");
    EXPECT_EQ(board.ReadRegister(0x378), 0x08 | 0x01);
    Send("1");
    EXPECT_EQ(board.ReadRegister(0x378), 0x08 | 0x04);
}

} // namespace
