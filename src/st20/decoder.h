// Instruction decoding: folds the prefix chain at an address into one instruction with its
// operand, the way the processor builds its operand register.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "st20/instruction_table.h"

namespace tapster::st20 {

enum class DecodeKind : uint8_t {
    Instruction,      // a primary, or a secondary the table lists
    UnknownSecondary, // opr with an operand no row has (illegal on the C2)
    Truncated,        // the bytes end inside a prefix chain
};

struct DecodedInstruction {
    DecodeKind kind = DecodeKind::Truncated;
    const InstructionInfo* info = nullptr; // the row; nullptr unless kind is Instruction
    uint32_t functionCode = 0;             // function of the final component (0xF for opr)
    int32_t operand = 0;                   // the operand register at the final component
    uint32_t address = 0;                  // address of the first byte
    uint32_t length = 0;                   // bytes consumed, prefixes included
    std::optional<uint32_t> target; // j, cj, call: the address after the instruction + operand
    bool breakpoint = false;        // `j 0`, the breakpoint instruction

    uint32_t Next() const { return address + length; }
};

// Decodes the instruction whose first byte is bytes[0], stored at `address`. Every pfix and nfix
// in front is folded in (`Oreg = (Oreg | n) << 4`, `Oreg = ~(Oreg | n) << 4`). An empty span
// gives a Truncated result of length 0.
DecodedInstruction Decode(std::span<const uint8_t> bytes, uint32_t address);

} // namespace tapster::st20
