// The disassembler's lines for a small image written out by hand.
#include <gtest/gtest.h>

#include <vector>

#include "st20/disassembler.h"

namespace tapster::st20 {
namespace {

TEST(St20Disassembler, ShowsOperandsTargetsIllegalCodesAndCutOffPrefixes) {
    const std::vector<uint8_t> image = {
        0x29, 0x28, 0x47,                                     // ldc 0x987
        0x61, 0x41,                                           // ldc -31
        0xF5,                                                 // add
        0x60, 0xFB,                                           // tret
        0x27, 0xFB,                                           // opr 0x7B: not on the C2
        0x00,                                                 // j 0
        0x61, 0x05,                                           // j -27
        0xA3,                                                 // cj +3
        0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x41, // ldc 1, padded
        0x21,                                                 // a prefix and no more
    };
    const auto lines = Disassemble(image, 0x80000000u);
    const std::string expected =
        "80000000  29 28 47                 ldc 2439  ; 0x987\n"
        "80000003  61 41                    ldc -31\n"
        "80000005  F5                       add\n"
        "80000006  60 FB                    tret\n"
        "80000008  27 FB                    opr 0x7B  ; not a C2 instruction\n"
        "8000000A  00                       breakpoint\n"
        "8000000B  61 05                    j 0x7FFFFFF2\n"
        "8000000D  A3                       cj 0x80000011\n"
        "8000000E  20 20 20 20 20 20 20 20  ldc 1\n"
        "80000016  41\n"
        "80000017  21                       pfix 1  ; prefix cut off by the end\n";
    EXPECT_EQ(FormatDisassembly(lines), expected);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[6].target, 0x7FFFFFF2u);
    EXPECT_EQ(lines[7].target, 0x80000011u);
    EXPECT_FALSE(lines[0].target.has_value());
    EXPECT_TRUE(Disassemble({}, 0).empty());
}

} // namespace
} // namespace tapster::st20
