#include "core/hex.h"

#include <gtest/gtest.h>

namespace tapster {
namespace {

TEST(HexField, ParsesDigitsOfEitherCase) {
    EXPECT_EQ(ParseHex("7fe00000"), 0x7FE00000u);
    EXPECT_EQ(ParseHex("7FE00000"), ParseHex("7fe00000"));
    EXPECT_EQ(ParseHex("aBcD"), 0xABCDu);
}

TEST(HexField, EmptyIsZeroAndAnyStrayCharacterIsAllOnes) {
    EXPECT_EQ(ParseHex(""), 0u);
    EXPECT_EQ(ParseHex("0x7FE00000"), ~uint64_t{0});
    EXPECT_EQ(ParseHex("7FE 0000"), ~uint64_t{0});
    EXPECT_EQ(ParseHex("-1"), ~uint64_t{0});
    EXPECT_EQ(ParseHex("12 "), ~uint64_t{0});
    EXPECT_EQ(ParseHex("8000080G"), ~uint64_t{0});
}

TEST(HexField, SeventeenDigitsWrapModulo2To64) {
    EXPECT_EQ(ParseHex("10000000000000005"), 5u);
    EXPECT_EQ(ParseHex("100000000"), 0x100000000u);
}

TEST(HexField, PositiveFieldTestRefusesEmptyZeroAndBadCharacters) {
    EXPECT_FALSE(IsPositiveField(ParseHex("")));
    EXPECT_FALSE(IsPositiveField(ParseHex("0000")));
    EXPECT_FALSE(IsPositiveField(ParseHex("0x10")));
    EXPECT_TRUE(IsPositiveField(ParseHex("100000000")));
    EXPECT_FALSE(IsPositiveField(ParseHex("8000000000000000")));
}

TEST(HexDisplay, EightUpperCaseDigitsAndMinimumWidths) {
    EXPECT_EQ(Hex8(0), "00000000");
    EXPECT_EQ(Hex8(0x7fe00000), "7FE00000");
    EXPECT_EQ(HexMin(1, 4), "0001");
    EXPECT_EQ(HexMin(0x12345, 4), "12345");
    EXPECT_EQ(HexMin(0, 1), "0");
}

} // namespace
} // namespace tapster
