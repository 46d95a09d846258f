// What the images are, instruction by instruction: what real ST20-C2 silicon needs of them.
#include "agent_amd_image.h"
#include "agent_intel_image.h"
#include "agent_rig.h"
#include "agent_sst_image.h"

#include "st20/decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace tapster::agent_test {
namespace {

struct ImageCase {
    const char* name;
    std::span<const uint8_t> (*bytes)();
};

class AgentImage : public ::testing::TestWithParam<ImageCase> {};

// Fits the host's buffer and ends below the agent's workspace; every instruction decodes to a
// C2 instruction; nothing overflow-checked (an address crossing 0x80000000 would set the error
// flag or trap), no breakpoint, no descheduling point but j (harmless while the slot's Enables
// mask timeslicing), and control only moves by relative jumps and calls (position independent).
TEST_P(AgentImage, FitsAndUsesOnlyWhatSiliconAllows) {
    const std::span<const uint8_t> image = GetParam().bytes();
    ASSERT_LE(image.size(), 484u);
    ASSERT_LE(image.size(), kLowWater);
    uint32_t at = 0;
    while (at < image.size()) {
        const st20::DecodedInstruction d = st20::Decode(image.subspan(at), at);
        ASSERT_EQ(d.kind, st20::DecodeKind::Instruction) << "at " << at;
        const std::string where = std::string(d.info->mnemonic) + " at " + std::to_string(at);
        EXPECT_FALSE(d.breakpoint) << where;
        EXPECT_FALSE(d.info->flags & st20::kChecked) << where;
        if (d.info->op != st20::Op::j) {
            EXPECT_FALSE(d.info->flags & st20::kDescheduling) << where;
        }
        EXPECT_NE(d.info->op, st20::Op::gcall) << where;
        EXPECT_NE(d.info->op, st20::Op::ldpi) << where;
        EXPECT_NE(d.info->op, st20::Op::tret) << where;
        if (d.target) {
            EXPECT_LT(*d.target, image.size()) << where;
        }
        at = d.Next();
    }
}

INSTANTIATE_TEST_SUITE_P(Images, AgentImage,
                         ::testing::Values(ImageCase{"Amd", kAgentAmdBytes},
                                           ImageCase{"Intel", kAgentIntelBytes},
                                           ImageCase{"Sst", kAgentSstBytes}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tapster::agent_test
