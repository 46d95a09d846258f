// The cable and the TAP, driven bit by bit through the port registers only.
#include "bitbang_host.h"
#include "board/board.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

using tapster::board::Board;
using tapster::board::BoardConfig;

namespace {

// An 1149.1 reference written for the test: the state diagram as a transition list and the
// registers the board offers apart from the link (IR capture 00001, IDCODE, BYPASS). TDO is 1
// outside the shift states.
struct ReferenceTap {
    enum S {
        TLR,
        RTI,
        SelDR,
        CapDR,
        ShDR,
        Ex1DR,
        PauDR,
        Ex2DR,
        UpdDR,
        SelIR,
        CapIR,
        ShIR,
        Ex1IR,
        PauIR,
        Ex2IR,
        UpdIR
    };
    static S Next(S s, bool tms) {
        switch (s) {
        case TLR:
            return tms ? TLR : RTI;
        case RTI:
            return tms ? SelDR : RTI;
        case SelDR:
            return tms ? SelIR : CapDR;
        case CapDR:
            return tms ? Ex1DR : ShDR;
        case ShDR:
            return tms ? Ex1DR : ShDR;
        case Ex1DR:
            return tms ? UpdDR : PauDR;
        case PauDR:
            return tms ? Ex2DR : PauDR;
        case Ex2DR:
            return tms ? UpdDR : ShDR;
        case UpdDR:
            return tms ? SelDR : RTI;
        case SelIR:
            return tms ? TLR : CapIR;
        case CapIR:
            return tms ? Ex1IR : ShIR;
        case ShIR:
            return tms ? Ex1IR : ShIR;
        case Ex1IR:
            return tms ? UpdIR : PauIR;
        case PauIR:
            return tms ? Ex2IR : PauIR;
        case Ex2IR:
            return tms ? UpdIR : ShIR;
        case UpdIR:
            return tms ? SelDR : RTI;
        }
        return TLR;
    }

    explicit ReferenceTap(uint32_t idcode) : idcode(idcode) {}

    // Returns the TDO sampled before the rising edge.
    bool Clock(bool tms, bool tdi) {
        const bool sample = tdo;
        if (state == CapDR) dr = ir == 2 ? idcode : 0;
        if (state == ShDR) dr = ir == 2 ? (dr >> 1) | (uint32_t{tdi} << 31) : uint32_t{tdi};
        if (state == CapIR) irShift = 1;
        if (state == ShIR) irShift = (irShift >> 1) | (uint32_t{tdi} << 4);
        state = Next(state, tms);
        if (state == TLR) ir = 2;
        // Falling edge.
        if (state == UpdIR) ir = irShift;
        tdo = state == ShDR ? (dr & 1) != 0 : state == ShIR ? (irShift & 1) != 0 : true;
        return sample;
    }

    S state = TLR;
    uint32_t idcode;
    uint32_t ir = 2, irShift = 0, dr = 0;
    bool tdo = true;
};

// The shortest TMS path from Test-Logic-Reset to each state.
std::vector<bool> PathTo(ReferenceTap::S target) {
    struct Item {
        ReferenceTap::S state;
        std::vector<bool> path;
    };
    std::vector<Item> queue{{ReferenceTap::TLR, {}}};
    std::array<bool, 16> seen{};
    seen[ReferenceTap::TLR] = true;
    for (size_t i = 0; i < queue.size(); ++i) {
        if (queue[i].state == target) return queue[i].path;
        for (bool tms : {false, true}) {
            const auto next = ReferenceTap::Next(queue[i].state, tms);
            if (seen[next]) continue;
            seen[next] = true;
            auto path = queue[i].path;
            path.push_back(tms);
            queue.push_back({next, path});
        }
    }
    return {};
}

class TapTest : public ::testing::Test {
  protected:
    TapTest() : board(BoardConfig{}, Board::Parts::None), host(board) { host.SetControl(true); }
    // Clocks board and reference alike and compares TDO, except in the link's Shift-DR (the
    // link has tests of its own).
    void Compare(ReferenceTap& reference, bool tms, bool tdi, const std::string& where) {
        const bool linkShift = reference.state == ReferenceTap::ShDR && reference.ir == 0x10;
        const bool want = reference.Clock(tms, tdi);
        const bool got = host.Clock(tms, tdi);
        if (!linkShift) {
            ASSERT_EQ(got, want) << where;
        }
    }
    Board board;
    board_test::BitbangHost host;
};

// Once entered, Update-DR and Update-IR behave like Run-Test/Idle, so a wrong move among those
// three shows only through Update-IR's instruction load; any other wrong move ends in a state
// that answers differently. After each transition a random continuation (TMS and TDI) runs
// against the reference, long enough for a parted board to show it.
TEST_F(TapTest, EveryTransitionLeadsToTheStandardState) {
    std::mt19937 random(5510);
    for (int s = 0; s < 16; ++s) {
        for (bool tms : {false, true}) {
            const std::string where =
                std::string("from ") +
                tapster::board::TapStateName(static_cast<tapster::board::TapState>(s)) +
                " with TMS " + (tms ? "1" : "0");
            for (int i = 0; i < 5; ++i)
                host.Clock(true, false); // wherever the last case ended
            ReferenceTap reference(tapster::board::kSti5510Idcode);
            for (bool t : PathTo(static_cast<ReferenceTap::S>(s)))
                ASSERT_NO_FATAL_FAILURE(Compare(reference, t, false, where));
            ASSERT_EQ(reference.state, s);
            ASSERT_NO_FATAL_FAILURE(Compare(reference, tms, false, where));
            for (int i = 0; i < 300; ++i) {
                const bool t = random() % 3 == 0;
                ASSERT_NO_FATAL_FAILURE(Compare(reference, t, random() % 2 == 0, where));
            }
        }
    }
}

TEST_F(TapTest, RandomWalkMatchesTheReferenceAndCoversAllTransitions) {
    for (int i = 0; i < 5; ++i)
        host.Clock(true, false);
    ReferenceTap reference(tapster::board::kSti5510Idcode);
    std::mt19937 random(1149);
    std::array<std::array<bool, 2>, 16> covered{};
    for (int i = 0; i < 20000; ++i) {
        const bool tms = (random() % 3) == 0; // linger in the shift and pause states
        covered[reference.state][tms] = true;
        ASSERT_NO_FATAL_FAILURE(
            Compare(reference, tms, random() % 2 == 0, "clock " + std::to_string(i)));
    }
    for (int s = 0; s < 16; ++s) {
        EXPECT_TRUE(covered[s][0] && covered[s][1]) << "state " << s;
    }
}

TEST_F(TapTest, InstructionRegisterCapturesZeroZeroZeroZeroOne) {
    host.Reset();
    EXPECT_EQ(host.ShiftIr(0x1F), 0b00001u);
    // The capture does not depend on the instruction loaded before.
    EXPECT_EQ(host.ShiftIr(0x10), 0b00001u);
    EXPECT_EQ(host.ShiftIr(0x02), 0b00001u);
    // A longer shift shows the bits shifted in behind the capture: a five-bit register.
    EXPECT_EQ(host.ShiftIr(0b10110, 10), 0b1011000001u);
}

TEST_F(TapTest, ResetSelectsIdcodeOfTheConfiguredCpu) {
    host.Reset();
    EXPECT_EQ(host.ShiftDr(0, 32), 0x2D4CD041u);
    // Captured afresh on every pass through Capture-DR.
    EXPECT_EQ(host.ShiftDr(0xFFFFFFFF, 32), 0x2D4CD041u);
    // A 64-bit shift shows the TDI bits behind the 32 register bits.
    EXPECT_EQ(host.ShiftDr(0x12345678, 64), 0x123456782D4CD041ull);

    BoardConfig config;
    config.cpu = "STi5512";
    Board b5512(config, Board::Parts::None);
    board_test::BitbangHost h5512(b5512);
    h5512.SetControl(true);
    h5512.Reset();
    h5512.ShiftIr(0x02);
    EXPECT_EQ(h5512.ShiftDr(0, 32), 0x5D406041u);
    EXPECT_EQ(b5512.Config().idcode, 0x5D406041u);

    config.cpu = "custom";
    config.idcode = 0x0BADF00D;
    Board custom(config, Board::Parts::None);
    board_test::BitbangHost hCustom(custom);
    hCustom.SetControl(true);
    hCustom.Reset();
    EXPECT_EQ(hCustom.ShiftDr(0, 32), 0x0BADF00Du);
}

TEST_F(TapTest, TestLogicResetReturnsToIdcodeFromAnyInstruction) {
    host.Reset();
    host.ShiftIr(0x1F);
    EXPECT_EQ(host.ShiftDr(0, 32), 0u); // bypass: a one-bit register captured as 0
    host.Reset();
    EXPECT_EQ(host.ShiftDr(0, 32), 0x2D4CD041u);
}

TEST_F(TapTest, BypassDelaysByOneBitForAllUnusedCodes) {
    for (uint32_t code = 0; code < 32; ++code) {
        if (code == 0x02 || code == 0x10) continue;
        host.Reset();
        host.ShiftIr(code);
        // Captured 0 first, then every TDI bit one clock late.
        const uint64_t pattern = 0xC3A5F00F12345678ull;
        EXPECT_EQ(host.ShiftDr(pattern, 64), pattern << 1) << "code " << code;
    }
}

TEST_F(TapTest, ControlLineLowHoldsTheTapInReset) {
    host.Reset();
    host.ShiftIr(0x1F);
    host.SetControl(false);
    // While held, clocks do nothing: this would load BYPASS and show a one-bit delay.
    host.ShiftIr(0x1F);
    EXPECT_EQ(host.ShiftDr(0, 32), 0xFFFFFFFFu) << "TDO floats while the TAP is held";
    host.SetControl(true);
    // Released in Test-Logic-Reset with IDCODE selected.
    host.Clock(false, false);
    EXPECT_EQ(host.ShiftDr(0, 32), 0x2D4CD041u);
}

TEST_F(TapTest, TdoChangesOnlyOnTheFallingEdge) {
    host.Reset();
    host.ShiftIr(0x1F);
    host.Clock(true, false);  // Select-DR-Scan
    host.Clock(false, false); // Capture-DR
    host.Clock(false, false); // Shift-DR: TDO shows the captured 0
    EXPECT_FALSE(host.Tdo());
    // TDI 1 with TCK rising: the bypass bit takes it, but TDO must wait for TCK to fall.
    board.WriteRegister(0x378, 0x08 | 0x04);
    board.WriteRegister(0x378, 0x08 | 0x04 | 0x02);
    EXPECT_FALSE(host.Tdo());
    board.WriteRegister(0x378, 0x08 | 0x04);
    EXPECT_TRUE(host.Tdo());
    // TDI changes while TCK stays low are not taken.
    board.WriteRegister(0x378, 0x08);
    board.WriteRegister(0x378, 0x08 | 0x04);
    board.WriteRegister(0x378, 0x08);
    EXPECT_TRUE(host.Tdo());
}

TEST_F(TapTest, StatusBitsOtherThanTdoHoldTheirIdleValue) {
    host.Reset();
    host.ShiftIr(0x1F);
    host.Clock(true, false);
    host.Clock(false, false);
    host.Clock(false, false);
    for (int i = 0; i < 8; ++i) {
        const bool tdi = (i & 1) != 0;
        host.Clock(false, tdi);
        EXPECT_EQ(board.ReadRegister(0x379), tdi ? 0x7F : 0x6F);
    }
    EXPECT_EQ(board.ReadRegister(0x378), 0x0C) << "the data latch reads back";
    EXPECT_EQ(board.Name(), "simulated board");
}

} // namespace
