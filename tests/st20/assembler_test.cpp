// The assembler: jump and label-difference sizes settle across the one- and two-prefix edges,
// every kind of error names its line, the directives and the listing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "st20/assembler.h"

namespace tapster::st20 {
namespace {

std::vector<uint8_t> Zeros(size_t n) {
    return std::vector<uint8_t>(n, 0x00);
}

std::vector<uint8_t> Join(std::vector<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::string Space(size_t n) {
    return "        .space " + std::to_string(n) + "\n";
}

struct BytesCase {
    std::string name;
    std::string source;
    std::vector<uint8_t> bytes;
    uint32_t base = 0;
};

void ExpectBytes(const std::vector<BytesCase>& cases) {
    for (const BytesCase& c : cases) {
        SCOPED_TRACE(c.name);
        AssembleOptions options;
        options.base = c.base;
        const AssemblyResult result = Assemble(c.source, options);
        for (const AssemblyError& e : result.errors)
            ADD_FAILURE() << e.ToString();
        EXPECT_EQ(result.image, c.bytes);
    }
}

TEST(St20Assembler, JumpsAndLabelDifferencesSettleAtTheShortestSize) {
    ExpectBytes({
        {"forward, offset 15", "j end\n" + Space(15) + "end: nop\n",
         Join({{0x0F}, Zeros(15), {0x63, 0xF0}})},
        {"forward, offset 16", "j end\n" + Space(16) + "end: nop\n",
         Join({{0x21, 0x00}, Zeros(16), {0x63, 0xF0}})},
        {"forward, offset 255", "cj end\n" + Space(255) + "end: nop\n",
         Join({{0x2F, 0xAF}, Zeros(255), {0x63, 0xF0}})},
        {"forward, offset 256", "call end\n" + Space(256) + "end: nop\n",
         Join({{0x21, 0x20, 0x90}, Zeros(256), {0x63, 0xF0}})},
        {"backward, offset -16", "top:\n" + Space(14) + "j top\n", Join({Zeros(14), {0x60, 0x00}})},
        {"backward, offset -17", "top:\n" + Space(15) + "j top\n", Join({Zeros(15), {0x61, 0x0F}})},
        {"backward, offset -256", "top:\n" + Space(254) + "j top\n",
         Join({Zeros(254), {0x6F, 0x00}})},
        {"backward, offset -258", "top:\n" + Space(255) + "j top\n",
         Join({Zeros(255), {0x21, 0x60, 0x0E}})},
        {"jump to itself", "j .\n", {0x60, 0x0E}},
        // The forward jump fits one byte until the backward one grows past it.
        {"interlocking", "start: j end\n" + Space(14) + "j start\nend:\n",
         Join({{0x21, 0x00}, Zeros(14), {0x61, 0x0E}})},
        // ldc of a label difference that crosses 16 when the ldc itself grows.
        {"ldc difference, 15", "a: ldc b - a\n" + Space(14) + "b:\n", Join({{0x4F}, Zeros(14)})},
        {"ldc difference, 17", "a: ldc b - a\n" + Space(15) + "b:\n",
         Join({{0x21, 0x41}, Zeros(15)})},
        // The position-independent address load: ldpi adds the address after itself.
        {"ldc + ldpi",
         "ldc msg - here\nldpi\nhere: breakpoint\nmsg: .byte 1\n",
         {0x41, 0x21, 0xFB, 0x00, 0x01}},
        {"jumps at a base address", "top: nop\nj top\n", {0x63, 0xF0, 0x60, 0x0C}, 0x80000000u},
    });
}

TEST(St20Assembler, DirectivesExpressionsAndMnemonics) {
    ExpectBytes({
        {".byte", ".byte 1, -1, 'a', 0xFF, -128, ';'", {0x01, 0xFF, 0x61, 0xFF, 0x80, 0x3B}},
        {".half", ".half 0x1234, -2, 65535", {0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF}},
        {".word", ".word 0x12345678, -1", {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF}},
        {".ascii",
         ".ascii \"a;b\\n\\x01\", \"\\\"\" ; comment",
         {0x61, 0x3B, 0x62, 0x0A, 0x01, 0x22}},
        {".align",
         "nop\n.align 4\n.byte 7\n.align 4\n.align 1",
         {0x63, 0xF0, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00}},
        {".align at a base", ".byte 1\n.align 8", {0x01, 0x00, 0x00, 0x00}, 0x1004},
        {".space", ".space 3\n.space 2, 0xAA\n.space 0", {0x00, 0x00, 0x00, 0xAA, 0xAA}},
        {".equ and =", "N = 3\n.equ M, N << 2 | 1\nldc M", {0x4D}},
        {"forward .equ of a label",
         "ldc size\n.equ size, end - start\nstart: .space 2\nend:",
         {0x42, 0x00, 0x00}},
        {"precedence",
         "ldc 1 + 2 * 3 << 1\nldc (0x10 - 1) & ~3\nldc 0b101 ^ 1 | 8",
         {0x4E, 0x4C, 0x4C}},
        {"signed / % >>",
         ".byte 7 / 2, -7 % 3, -7 / 2\n.word -8 >> 1",
         {0x03, 0xFF, 0xFD, 0xFC, 0xFF, 0xFF, 0xFF}},
        {"here", "ldc .", {0x27, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x6F, 0x40}, 0x80000000u},
        {"raw components", "pfix 2\nnfix 3\nopr 4\nPFIX 0xF", {0x22, 0x63, 0xF4, 0x2F}},
        {"breakpoint is j 0", "breakpoint\nBREAKPOINT", {0x00, 0x00}},
        {"case and labels", ".l1: l_2: LDC 1 ; two labels\nAdd\nldNL -1", {0x41, 0xF5, 0x60, 0x3F}},
        {"empty source", "", {}},
    });
}

TEST(St20Assembler, EveryErrorNamesItsLineAndNothingIsProduced) {
    struct Case {
        std::string source;
        int line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"ldc 1\n  frob 3\n", 2, "unknown mnemonic 'frob'"},
        {"nop\n\nj nowhere\n", 3, "undefined label 'nowhere'"},
        {"a: nop\nb: nop\na: nop\n", 3, "duplicate label 'a' (first defined at line 1)"},
        {"a = 1\na: nop\n", 2, "duplicate label 'a'"},
        {".byte 256\n", 1, "operand out of range: 256 does not fit .byte (-128..255)"},
        {".byte -129\n", 1, "operand out of range"},
        {".half 65536\n", 1, "operand out of range"},
        {".half -32769\n", 1, "operand out of range"},
        {"pfix 16\n", 1, "operand out of range"},
        {".space 4, 256\n", 1, "operand out of range"},
        {".align 0\n", 1, "operand out of range"},
        {"nop\nj next\nnext: nop\n", 2, "jump to the next instruction"},
        {"cj next\nnext:\n", 1, "jump to the next instruction"},
        {"call next\nnext:\n", 1, "jump to the next instruction"},
        {"ldc (1\n", 1, "syntax error"},
        {"ldc 1 2\n", 1, "syntax error"},
        {"ldc\n", 1, "syntax error: ldc needs an operand"},
        {"add 3\n", 1, "syntax error: add takes no operand"},
        {".byte 1,\n", 1, "syntax error"},
        {".ascii \"open\n", 1, "syntax error: unterminated string"},
        {"ldc 0x1G\n", 1, "syntax error: bad number '0x1G'"},
        {"ldc 99999999999\n", 1, "syntax error: bad number"},
        {"ldc 'ab'\n", 1, "syntax error"},
        {"3: nop\n", 1, "syntax error"},
        {".frob 1\n", 1, "unknown directive '.frob'"},
        {"ldc 1 / 0\n", 1, "division by zero"},
        {"x = x + 1\n", 1, "'x' has no value"},
        {"a: .space 1 - (b - a)\nb:\n", 1, "does not settle"},
        {".space 0x7FFFFFFF\n", 1, "out of range"},
        {"nop\nldc " + std::string(300, '(') + "1" + std::string(300, ')'), 2,
         "syntax error: expression nested too deeply"},
        {"ldc 1" +
             [] {
                 std::string terms;
                 for (int i = 0; i < 5000; ++i)
                     terms += "+1";
                 return terms;
             }(),
         1, "syntax error: expression too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        AssembleOptions options;
        options.fileName = "boot.s";
        const AssemblyResult result = Assemble(c.source, options);
        ASSERT_FALSE(result.Ok());
        EXPECT_TRUE(result.image.empty());
        EXPECT_TRUE(result.listing.empty());
        const std::string text = result.errors.front().ToString();
        const std::string where = "boot.s:" + std::to_string(c.line) + ": error: ";
        EXPECT_EQ(text.rfind(where, 0), 0u) << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
    }
    // Every error is reported, in line order.
    // A label in front of a bad statement still counts: no second error for it.
    const AssemblyResult many = Assemble("j x\nl: frob\n.byte 300\nj l\nj y\n");
    ASSERT_EQ(many.errors.size(), 4u);
    EXPECT_EQ(many.errors[0].line, 1);
    EXPECT_EQ(many.errors[1].line, 2);
    EXPECT_EQ(many.errors[2].line, 3);
    EXPECT_EQ(many.errors[3].line, 5);
}

TEST(St20Assembler, ListingShowsAddressBytesAndSourceThenTheSymbols) {
    const std::string source = "; demo\r\n"
                               "start:  ldc 0x987\n"
                               "        .ascii \"0123456789\"\n"
                               "N = 2\n"
                               "        .space 20, 1\n"
                               "        j start";
    AssembleOptions options;
    options.base = 0x40;
    const AssemblyResult result = Assemble(source, options);
    ASSERT_TRUE(result.Ok());
    const std::string expected =
        "00000040                           ; demo\n"
        "00000040  29 28 47                 start:  ldc 0x987\n"
        "00000043  30 31 32 33 34 35 36 37          .ascii \"0123456789\"\n"
        "0000004B  38 39\n"
        "0000004D                           N = 2\n"
        "0000004D  01 01 01 01 01 01 01 01          .space 20, 1\n"
        "          ... 12 more bytes\n"
        "00000061  62 0D                            j start\n"
        "\n"
        "Symbols:\n"
        "00000002  N\n"
        "00000040  start\n";
    EXPECT_EQ(result.listing, expected);
    EXPECT_EQ(result.symbols.at("start"), 0x40u);
    EXPECT_EQ(result.image.size(), 3u + 10u + 20u + 2u);
}

} // namespace
} // namespace tapster::st20
