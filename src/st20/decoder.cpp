#include "st20/decoder.h"

namespace tapster::st20 {

DecodedInstruction Decode(std::span<const uint8_t> bytes, uint32_t address) {
    DecodedInstruction result;
    result.address = address;
    uint32_t oreg = 0;
    for (const uint8_t byte : bytes) {
        ++result.length;
        const uint32_t function = byte >> 4;
        oreg |= byte & 0xFu;
        const InstructionInfo* row = FindPrimary(function);
        if (row->op == Op::pfix) {
            oreg <<= 4;
            continue;
        }
        if (row->op == Op::nfix) {
            oreg = ~oreg << 4;
            continue;
        }
        result.functionCode = function;
        result.operand = static_cast<int32_t>(oreg);
        if (row->op == Op::opr) {
            result.info = FindSecondary(result.operand);
            result.kind = result.info ? DecodeKind::Instruction : DecodeKind::UnknownSecondary;
            return result;
        }
        result.info = row;
        result.kind = DecodeKind::Instruction;
        if (row->flags & kRelative) result.target = result.Next() + oreg;
        result.breakpoint = row->op == Op::j && oreg == 0;
        return result;
    }
    result.kind = DecodeKind::Truncated;
    result.operand = static_cast<int32_t>(oreg);
    return result;
}

} // namespace tapster::st20
