// The build-time path: tapster_st20_image assembled data/embed_sample.s with st20asm and
// tapster_st20_embed compiled the image into this test as an array.
#include <gtest/gtest.h>

#include <vector>

#include "st20_embed_sample.h"

namespace tapster::st20 {
namespace {

TEST(St20Embed, BuildTimeImageMatchesHandAssembly) {
    // ldc 2 (table - here); ldpi (21 FB); here: j entry (offset -5 -> 60 0B); table: .word
    const std::vector<uint8_t> expected{0x42, 0x21, 0xFB, 0x60, 0x0B, 0x44, 0x33, 0x22, 0x11};
    const auto bytes = test::kEmbedSampleBytes();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);
}

} // namespace
} // namespace tapster::st20
