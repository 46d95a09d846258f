// Each instruction's effect, from bytes written out by hand: registers, workspace, memory and
// flags before and after one instruction, with the manual's definitions worked out by hand.
#include "core_test_machine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

namespace tapster::st20::test {
namespace {

constexpr uint32_t P = kPoison;
constexpr uint32_t kGie = 0x00FF0000; // Enables after reset: every GIE bit, no trap

struct Regs {
    uint32_t a, b, c;
};
struct Mem {
    uint32_t address, value;
};
struct Case {
    const char* name;
    std::vector<uint8_t> code;
    Regs in;
    std::vector<Mem> memIn = {};
    Regs out;
    std::vector<Mem> memOut = {};
    uint32_t w = kWs;
    uint32_t iptr = 0; // 0: the byte after the code
    bool errIn = false, errOut = false;
    bool haltIn = false, haltOut = false;
    uint32_t enablesIn = kGie, enablesOut = kGie;
    uint32_t statusOut = 0;
    uint64_t cycles = 0; // 0: not checked
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<Case> kCases = {
    // --- primaries, prefixes, negative operands -------------------------------------------
    {.name = "ldc 0x35", .code = {0x23, 0x45}, .in = {1, 2, 3}, .out = {0x35, 1, 2}, .cycles = 2},
    {.name = "ldc 0x987", .code = {0x29, 0x28, 0x47}, .in = {1, 2, 3}, .out = {0x987, 1, 2}},
    {.name = "ldc -31", .code = {0x61, 0x41}, .in = {1, 2, 3}, .out = {0xFFFFFFE1, 1, 2}},
    {.name = "ldc -1", .code = {0x60, 0x4F}, .in = {1, 2, 3}, .out = {0xFFFFFFFF, 1, 2}},
    {.name = "pfix before nfix",
     .code = {0x21, 0x60, 0x4F},
     .in = {1, 2, 3},
     .out = {0xFFFFFEFF, 1, 2}},
    {.name = "ldlp 3", .code = {0x13}, .in = {1, 2, 3}, .out = {0x8000200C, 1, 2}, .cycles = 1},
    {.name = "ldlp -1", .code = {0x60, 0x1F}, .in = {1, 2, 3}, .out = {0x80001FFC, 1, 2}},
    {.name = "ldl 2",
     .code = {0x72},
     .in = {1, 2, 3},
     .memIn = {{kWs + 8, 0x11223344}},
     .out = {0x11223344, 1, 2},
     .cycles = 1},
    {.name = "stl 1", .code = {0xD1}, .in = {9, 2, 3}, .out = {2, 3, P}, .memOut = {{kWs + 4, 9}}},
    {.name = "ldnl 1",
     .code = {0x31},
     .in = {kData, 2, 3},
     .memIn = {{kData + 4, 0xCAFEBABE}},
     .out = {0xCAFEBABE, 2, 3},
     .cycles = 2},
    {.name = "stnl 2",
     .code = {0xE2},
     .in = {kData, 0x55, 7},
     .out = {7, P, P},
     .memOut = {{kData + 8, 0x55}}},
    {.name = "ldnlp 3", .code = {0x53}, .in = {0x100, 2, 3}, .out = {0x10C, 2, 3}},
    {.name = "ldnlp -1", .code = {0x60, 0x5F}, .in = {0x100, 2, 3}, .out = {0xFC, 2, 3}},
    {.name = "adc 5", .code = {0x85}, .in = {10, 2, 3}, .out = {15, 2, 3}},
    {.name = "adc -3", .code = {0x60, 0x8D}, .in = {1, 2, 3}, .out = {0xFFFFFFFE, 2, 3}},
    {.name = "eqc 7 equal", .code = {0xC7}, .in = {7, 2, 3}, .out = {1, 2, 3}},
    {.name = "eqc 7 not equal", .code = {0xC7}, .in = {8, 2, 3}, .out = {0, 2, 3}},
    {.name = "ajw -4", .code = {0x60, 0xBC}, .in = {1, 2, 3}, .out = {1, 2, 3}, .w = kWs - 16},
    {.name = "ajw 4", .code = {0xB4}, .in = {1, 2, 3}, .out = {1, 2, 3}, .w = kWs + 16},
    {.name = "cj not taken pops", .code = {0xA5}, .in = {1, 2, 3}, .out = {2, 3, P}, .cycles = 1},
    {.name = "cj taken keeps A",
     .code = {0xA5},
     .in = {0, 2, 3},
     .out = {0, 2, 3},
     .iptr = kCode + 6,
     .cycles = 5},
    {.name = "j 5",
     .code = {0x05},
     .in = {1, 2, 3},
     .out = {P, P, P},
     .iptr = kCode + 6,
     .cycles = 5},
    {.name = "j -2 (to itself)",
     .code = {0x60, 0x0E},
     .in = {1, 2, 3},
     .out = {P, P, P},
     .iptr = kCode},
    {.name = "call 4",
     .code = {0x94},
     .in = {1, 2, 3},
     .out = {kCode + 1, P, P},
     .memOut = {{kWs - 16, kCode + 1}, {kWs - 12, 1}, {kWs - 8, 2}, {kWs - 4, 3}},
     .w = kWs - 16,
     .iptr = kCode + 5,
     .cycles = 8},
    // --- secondaries --------------------------------------------------------------------------
    {.name = "rev", .code = {0xF0}, .in = {1, 2, 3}, .out = {2, 1, 3}},
    {.name = "lb",
     .code = {0xF1},
     .in = {kData + 2, 2, 3},
     .memIn = {{kData, 0x44332211}},
     .out = {0x33, 2, 3}},
    {.name = "bsub", .code = {0xF2}, .in = {5, 0x100, 3}, .out = {0x105, 3, P}},
    {.name = "diff", .code = {0xF4}, .in = {5, 3, 7}, .out = {0xFFFFFFFE, 7, P}},
    {.name = "add", .code = {0xF5}, .in = {5, 3, 7}, .out = {8, 7, P}},
    {.name = "gcall",
     .code = {0xF6},
     .in = {0x80001100, 2, 3},
     .out = {kCode + 1, 2, 3},
     .iptr = 0x80001100},
    {.name = "prod wraps", .code = {0xF8}, .in = {0x10000, 0x10001, 3}, .out = {0x10000, 3, P}},
    {.name = "gt signed false", .code = {0xF9}, .in = {1, 0xFFFFFFFF, 3}, .out = {0, 3, P}},
    {.name = "gt signed true", .code = {0xF9}, .in = {0xFFFFFFFF, 1, 3}, .out = {1, 3, P}},
    {.name = "wsub", .code = {0xFA}, .in = {0x1000, 3, 5}, .out = {0x100C, 5, P}},
    {.name = "sub", .code = {0xFC}, .in = {3, 10, 5}, .out = {7, 5, P}},
    {.name = "seterr", .code = {0x21, 0xF0}, .in = {1, 2, 3}, .out = {1, 2, 3}, .errOut = true},
    {.name = "ladd with carry",
     .code = {0x21, 0xF6},
     .in = {5, 7, 1},
     .out = {13, P, P},
     .cycles = 3},
    {.name = "ldpi", .code = {0x21, 0xFB}, .in = {0x10, 2, 3}, .out = {kCode + 2 + 0x10, 2, 3}},
    {.name = "xdble",
     .code = {0x21, 0xFD},
     .in = {0xFFFFFFFB, 2, 3},
     .out = {0xFFFFFFFB, 0xFFFFFFFF, 2}},
    {.name = "ldpri (low)", .code = {0x21, 0xFE}, .in = {1, 2, 3}, .out = {1, 1, 2}},
    {.name = "ret",
     .code = {0x22, 0xF0},
     .in = {1, 2, 3},
     .memIn = {{kWs, 0x80001234}},
     .out = {1, 2, 3},
     .w = kWs + 16,
     .iptr = 0x80001234},
    {.name = "lend loops",
     .code = {0x22, 0xF1},
     .in = {0x20, kData, 3},
     .memIn = {{kData, 3}, {kData + 4, 2}},
     .out = {P, P, P},
     .memOut = {{kData, 4}, {kData + 4, 1}},
     .iptr = kCode + 2 - 0x20,
     .cycles = 9},
    {.name = "lend leaves",
     .code = {0x22, 0xF1},
     .in = {0x20, kData, 3},
     .memIn = {{kData, 3}, {kData + 4, 1}},
     .out = {P, P, P},
     .memOut = {{kData, 3}, {kData + 4, 0}},
     .cycles = 6},
    {.name = "testerr with the flag set",
     .code = {0x22, 0xF9},
     .in = {1, 2, 3},
     .out = {0, 1, 2},
     .errIn = true,
     .errOut = false},
    {.name = "testerr with the flag clear",
     .code = {0x22, 0xF9},
     .in = {1, 2, 3},
     .out = {1, 1, 2}},
    {.name = "not", .code = {0x23, 0xF2}, .in = {0x0F0F0F0F, 2, 3}, .out = {0xF0F0F0F0, 2, 3}},
    {.name = "xor", .code = {0x23, 0xF3}, .in = {0xFF00, 0x0FF0, 3}, .out = {0xF0F0, 3, P}},
    {.name = "bcnt", .code = {0x23, 0xF4}, .in = {5, 2, 3}, .out = {20, 2, 3}},
    {.name = "lshr", .code = {0x23, 0xF5}, .in = {4, 0, 1}, .out = {0x10000000, 0, P}},
    {.name = "lshl", .code = {0x23, 0xF6}, .in = {4, 0x80000001, 0}, .out = {0x10, 0x8, P}},
    {.name = "lshl by 64", .code = {0x23, 0xF6}, .in = {64, 0x80000001, 5}, .out = {0, 0, P}},
    {.name = "lsum carries", .code = {0x23, 0xF7}, .in = {0xFFFFFFFF, 1, 1}, .out = {1, 1, P}},
    {.name = "lsub with borrow in", .code = {0x23, 0xF8}, .in = {3, 10, 1}, .out = {6, P, P}},
    {.name = "lmul", .code = {0x23, 0xF1}, .in = {0x10000, 0x10000, 5}, .out = {5, 1, P}},
    {.name = "sb",
     .code = {0x23, 0xFB},
     .in = {kData + 1, 0x1AB, 7},
     .memIn = {{kData, 0x11111111}},
     .out = {7, P, P},
     .memOut = {{kData, 0x1111AB11}}},
    {.name = "gajw",
     .code = {0x23, 0xFC},
     .in = {0x80004000, 2, 3},
     .out = {kWs, 2, 3},
     .w = 0x80004000},
    {.name = "wcnt", .code = {0x23, 0xFF}, .in = {0x17, 2, 3}, .out = {5, 3, 2}},
    {.name = "wcnt negative",
     .code = {0x23, 0xFF},
     .in = {0xFFFFFFFB, 2, 3},
     .out = {0xFFFFFFFE, 3, 2}},
    {.name = "shr logical",
     .code = {0x24, 0xF0},
     .in = {4, 0x80000000, 3},
     .out = {0x08000000, 3, P}},
    {.name = "shr by 32", .code = {0x24, 0xF0}, .in = {32, 0x80000000, 3}, .out = {0, 3, P}},
    {.name = "shl", .code = {0x24, 0xF1}, .in = {31, 1, 3}, .out = {0x80000000, 3, P}},
    {.name = "mint", .code = {0x24, 0xF2}, .in = {1, 2, 3}, .out = {0x80000000, 1, 2}},
    {.name = "and", .code = {0x24, 0xF6}, .in = {0x0FF0, 0xFF00, 3}, .out = {0x0F00, 3, P}},
    {.name = "or", .code = {0x24, 0xFB}, .in = {0x0FF0, 0xFF00, 3}, .out = {0xFFF0, 3, P}},
    {.name = "move 6 bytes",
     .code = {0x24, 0xFA},
     .in = {6, kData + 0x10, kData},
     .memIn = {{kData, 0x04030201}, {kData + 4, 0x08070605}},
     .out = {P, P, P},
     .memOut = {{kData + 0x10, 0x04030201}, {kData + 0x14, 0x00000605}},
     .cycles = 11},
    {.name = "move overlapping upwards",
     .code = {0x24, 0xFA},
     .in = {3, kData + 1, kData},
     .memIn = {{kData, 0x04030201}},
     .out = {P, P, P},
     .memOut = {{kData, 0x01010101}}},
    {.name = "ldiff borrows", .code = {0x24, 0xFF}, .in = {5, 3, 0}, .out = {0xFFFFFFFE, 1, P}},
    {.name = "sum wraps unchecked",
     .code = {0x25, 0xF2},
     .in = {1, 0x7FFFFFFF, 3},
     .out = {0x80000000, 3, P}},
    {.name = "mul", .code = {0x25, 0xF3}, .in = {6, 7, 3}, .out = {42, 3, P}},
    {.name = "clrhalterr",
     .code = {0x25, 0xF7},
     .in = {1, 2, 3},
     .out = {1, 2, 3},
     .haltIn = true,
     .haltOut = false},
    {.name = "sethalterr",
     .code = {0x25, 0xF8},
     .in = {1, 2, 3},
     .out = {1, 2, 3},
     .haltOut = true},
    {.name = "testhalterr",
     .code = {0x25, 0xF9},
     .in = {1, 2, 3},
     .out = {1, 1, 2},
     .haltIn = true,
     .haltOut = true},
    {.name = "dup", .code = {0x25, 0xFA}, .in = {1, 2, 3}, .out = {1, 1, 2}},
    {.name = "gtu", .code = {0x25, 0xFF}, .in = {1, 0xFFFFFFFF, 3}, .out = {1, 3, P}},
    {.name = "ldtraph (HP error handler)",
     .code = {0x26, 0xFE},
     .in = {1, kData, 0},
     .memIn = {{kData, 0x11}, {kData + 4, 0x22}, {kData + 8, 0x33}, {kData + 12, 0x44}},
     .out = {P, P, P},
     .memOut = {{0x80000060, 0x11}, {0x80000064, 0x22}, {0x80000068, 0x33}, {0x8000006C, 0x44}}},
    {.name = "sttraph (LP system handler)",
     .code = {0x26, 0xFF},
     .in = {2, kData, 1},
     .memIn = {{0x80000100, 0xA}, {0x80000104, 0xB}, {0x80000108, 0xC}, {0x8000010C, 0xD}},
     .out = {P, P, P},
     .memOut = {{kData, 0xA}, {kData + 4, 0xB}, {kData + 8, 0xC}, {kData + 12, 0xD}}},
    {.name = "ldtrapped (current priority, scheduler)",
     .code = {0x2C, 0xF6},
     .in = {3, kData, 0},
     .memIn = {{kData, 1}, {kData + 4, 2}, {kData + 8, 3}, {kData + 12, 4}},
     .out = {P, P, P},
     .memOut = {{0x80000130, 1}, {0x80000134, 2}, {0x80000138, 3}, {0x8000013C, 4}}},
    {.name = "sttrapped (current priority, breakpoint)",
     .code = {0x2C, 0xFB},
     .in = {0, kData, 0},
     .memIn = {{0x800000D0, 5}, {0x800000D4, 6}, {0x800000D8, 7}, {0x800000DC, 8}},
     .out = {P, P, P},
     .memOut = {{kData, 5}, {kData + 4, 6}, {kData + 8, 7}, {kData + 12, 8}}},
    {.name = "pop", .code = {0x27, 0xF9}, .in = {1, 2, 3}, .out = {2, 3, P}},
    {.name = "ldmemstartval", .code = {0x27, 0xFE}, .in = {1, 2, 3}, .out = {0x80000140, 1, 2}},
    {.name = "wsubdb", .code = {0x28, 0xF1}, .in = {0x1000, 3, 5}, .out = {0x1018, 5, P}},
    {.name = "settimeslice on",
     .code = {0x2B, 0xF0},
     .in = {1, 2, 3},
     .out = {0, 2, 3},
     .statusOut = 0x00100000},
    {.name = "xbword", .code = {0x2B, 0xF8}, .in = {0x180, 2, 3}, .out = {0xFFFFFF80, 2, 3}},
    {.name = "lbx",
     .code = {0x2B, 0xF9},
     .in = {kData + 3, 2, 3},
     .memIn = {{kData, 0x80000000}},
     .out = {0xFFFFFF80, 2, 3}},
    {.name = "cb in range",
     .code = {0x2B, 0xFA},
     .in = {0xFFFFFF80, 2, 3},
     .out = {0xFFFFFF80, 2, 3}},
    {.name = "cb out of range",
     .code = {0x2B, 0xFA},
     .in = {128, 2, 3},
     .out = {128, 2, 3},
     .errOut = true},
    {.name = "cbu in range", .code = {0x2B, 0xFB}, .in = {255, 2, 3}, .out = {255, 2, 3}},
    {.name = "cbu out of range",
     .code = {0x2B, 0xFB},
     .in = {256, 2, 3},
     .out = {256, 2, 3},
     .errOut = true},
    {.name = "ssub", .code = {0x2C, 0xF1}, .in = {0x1000, 3, 5}, .out = {0x1006, 5, P}},
    {.name = "ss",
     .code = {0x2C, 0xF8},
     .in = {kData + 2, 0x12345, 7},
     .memIn = {{kData, 0x11111111}},
     .out = {7, P, P},
     .memOut = {{kData, 0x23451111}}},
    {.name = "ls",
     .code = {0x2C, 0xFA},
     .in = {kData + 2, 2, 3},
     .memIn = {{kData, 0xBEEF1234}},
     .out = {0xBEEF, 2, 3}},
    {.name = "lsx",
     .code = {0x2F, 0xF9},
     .in = {kData + 2, 2, 3},
     .memIn = {{kData, 0xBEEF1234}},
     .out = {0xFFFFBEEF, 2, 3}},
    {.name = "gintdis",
     .code = {0x2C, 0xFD},
     .in = {0x0F, 2, 3},
     .out = {0xFF, 2, 3},
     .enablesOut = 0x00F00000},
    {.name = "gintenb",
     .code = {0x2C, 0xFE},
     .in = {0x81, 2, 3},
     .out = {0, 2, 3},
     .enablesIn = 0,
     .enablesOut = 0x00810000},
    {.name = "xsword", .code = {0x2F, 0xF8}, .in = {0x18000, 2, 3}, .out = {0xFFFF8000, 2, 3}},
    {.name = "cs in range",
     .code = {0x2F, 0xFA},
     .in = {0xFFFF8000, 2, 3},
     .out = {0xFFFF8000, 2, 3}},
    {.name = "cs out of range",
     .code = {0x2F, 0xFA},
     .in = {0x8000, 2, 3},
     .out = {0x8000, 2, 3},
     .errOut = true},
    {.name = "csu out of range",
     .code = {0x2F, 0xFB},
     .in = {0x10000, 2, 3},
     .out = {0x10000, 2, 3},
     .errOut = true},
    {.name = "lddevid", .code = {0x21, 0x27, 0xFC}, .in = {1, 2, 3}, .out = {kProductId, 1, 2}},
    {.name = "ldprodid", .code = {0x68, 0xFC}, .in = {1, 2, 3}, .out = {kProductId, 1, 2}},
    {.name = "nop", .code = {0x63, 0xF0}, .in = {1, 2, 3}, .out = {1, 2, 3}},
    {.name = "timeslice (empty queue)", .code = {0x60, 0xF3}, .in = {1, 2, 3}, .out = {1, 2, 3}},
    {.name = "trapenb",
     .code = {0x60, 0xF7},
     .in = {0x4009, 1, 3},
     .out = {0, P, P},
     .enablesOut = 0x00FF0009},
    {.name = "trapdis",
     .code = {0x60, 0xF6},
     .in = {0x5, 1, 3},
     .out = {0xF, P, P},
     .enablesIn = 0x00FF000F,
     .enablesOut = 0x00FF000A},
};

class InstructionEffect : public ::testing::TestWithParam<Case> {};

TEST_P(InstructionEffect, RegistersMemoryAndFlags) {
    const Case& t = GetParam();
    for (bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct windows" : "through the bus");
        Machine m;
        m.bus.direct = direct;
        m.Code(t.code);
        for (const Mem& w : t.memIn)
            m.bus.SetWord(w.address, w.value);
        CoreState& s = m.S();
        s.areg = t.in.a;
        s.breg = t.in.b;
        s.creg = t.in.c;
        s.errorFlag = t.errIn;
        s.haltOnError = t.haltIn;
        s.enables[1] = t.enablesIn;

        const RunResult r = m.core.Run(Budget{1, UINT64_MAX});
        EXPECT_EQ(r.instructions, 1u);
        EXPECT_EQ(r.reason, StopReason::Budget);
        EXPECT_EQ(s.areg, t.out.a);
        EXPECT_EQ(s.breg, t.out.b);
        EXPECT_EQ(s.creg, t.out.c);
        EXPECT_EQ(s.wptr, t.w);
        EXPECT_EQ(s.iptr, t.iptr != 0 ? t.iptr : kCode + static_cast<uint32_t>(t.code.size()));
        EXPECT_EQ(s.errorFlag, t.errOut);
        EXPECT_EQ(s.haltOnError, t.haltOut);
        EXPECT_EQ(s.enables[1], t.enablesOut);
        EXPECT_EQ(s.status[1], t.statusOut);
        EXPECT_EQ(s.oreg, 0u);
        for (const Mem& w : t.memOut)
            EXPECT_EQ(m.bus.Word(w.address), w.value) << std::hex << w.address;
        if (t.cycles != 0) {
            EXPECT_EQ(r.cycles, t.cycles);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Core, InstructionEffect, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name + "_" + std::to_string(info.index);
                         });

// Long prefix runs are legal (pfix 0 repeated): they are spread over steps so no step can hang,
// no trap or hook lands inside them, and the instruction at their end gets the whole operand.
TEST(CorePrefixes, LongPrefixRunCompletesAcrossSteps) {
    Machine m;
    uint32_t at = kCode;
    for (int i = 0; i < 200; ++i)
        m.bus.SetBytes(at++, {0x20});
    m.bus.SetBytes(at, {0x21, 0x43}); // pfix 1; ldc 3
    m.S().areg = 1;
    RunResult r = m.core.Run(Budget{3, UINT64_MAX});
    EXPECT_EQ(r.instructions, 0u);
    EXPECT_EQ(m.S().areg, 1u);
    m.core.RequestTrap(TrapGroup::Breakpoint, 0); // must wait for the instruction boundary
    m.Handler(1, TrapGroup::Breakpoint, 0, 0, kWs - 0x100, kCode + 0x800);
    r = m.core.Step();
    EXPECT_EQ(r.instructions, 1u);
    EXPECT_EQ(r.traps, 0u);
    EXPECT_EQ(m.S().areg, 0x13u);
    EXPECT_EQ(m.S().iptr, at + 2);
    EXPECT_EQ(m.S().cycles, 202u); // 201 prefixes and the ldc
    r = m.core.Step();
    EXPECT_EQ(r.traps, 1u);
    EXPECT_EQ(m.bus.Word(0x800000DC), at + 2);
}

} // namespace
} // namespace tapster::st20::test
