#include "st20/encoder.h"

namespace tapster::st20 {

namespace {

constexpr uint32_t kPfix = 0x2;
constexpr uint32_t kNfix = 0x6;
constexpr uint32_t kOpr = 0xF;

uint8_t Component(uint32_t functionCode, uint32_t data) {
    return static_cast<uint8_t>(((functionCode & 0xF) << 4) | (data & 0xF));
}

// prefix(op, e): 0 <= e < 16 -> op(e); e >= 16 -> prefix(pfix, e >> 4), op(e & 15);
// e < 0 -> prefix(nfix, ~e >> 4), op(e & 15). The shifts are logical; ~e of a negative e is
// non-negative, so the recursion always ends.
void Prefix(std::vector<uint8_t>& out, uint32_t functionCode, int32_t operand) {
    const auto bits = static_cast<uint32_t>(operand);
    if (operand >= 16) {
        Prefix(out, kPfix, static_cast<int32_t>(bits >> 4));
    } else if (operand < 0) {
        Prefix(out, kNfix, static_cast<int32_t>(~bits >> 4));
    }
    out.push_back(Component(functionCode, bits));
}

} // namespace

void AppendPrimary(std::vector<uint8_t>& out, uint32_t functionCode, int32_t operand) {
    Prefix(out, functionCode, operand);
}

void AppendPrimaryPadded(std::vector<uint8_t>& out, uint32_t functionCode, int32_t operand,
                         uint32_t length) {
    for (uint32_t n = EncodedLength(operand); n < length; ++n)
        out.push_back(Component(kPfix, 0));
    Prefix(out, functionCode, operand);
}

uint32_t EncodedLength(int32_t operand) {
    uint32_t length = 1;
    auto bits = static_cast<uint32_t>(operand);
    for (;;) {
        const auto value = static_cast<int32_t>(bits);
        if (value >= 0 && value < 16) return length;
        bits = value >= 16 ? bits >> 4 : ~bits >> 4;
        ++length;
    }
}

std::vector<uint8_t> Encode(const InstructionInfo& row, int32_t operand) {
    std::vector<uint8_t> out;
    if (row.form == Form::Secondary)
        Prefix(out, kOpr, row.code);
    else
        Prefix(out, static_cast<uint32_t>(row.code), operand);
    return out;
}

} // namespace tapster::st20
