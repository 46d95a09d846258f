// Instruction encoding: the shortest chain of pfix/nfix components in front of the final one, as
// the instruction set manual gives it. Stored byte for byte at increasing addresses.
#pragma once

#include <cstdint>
#include <vector>

#include "st20/instruction_table.h"

namespace tapster::st20 {

// The most bytes any 32-bit operand needs (seven prefixes and the final component).
constexpr uint32_t kMaxEncodedLength = 8;

// Appends `functionCode` (0..15) with `operand`, prefixed as needed.
void AppendPrimary(std::vector<uint8_t>& out, uint32_t functionCode, int32_t operand);

// Appends the same, padded at the front with `pfix 0` bytes to exactly `length` bytes; a pfix 0
// leaves the operand register at 0, so the value is unchanged. `length` below the shortest
// encoding gives the shortest encoding.
void AppendPrimaryPadded(std::vector<uint8_t>& out, uint32_t functionCode, int32_t operand,
                         uint32_t length);

// How many bytes the shortest encoding of a primary with `operand` takes.
uint32_t EncodedLength(int32_t operand);

// The bytes of an instruction: a primary with `operand`, or a secondary as `opr code` (the
// operand is ignored).
std::vector<uint8_t> Encode(const InstructionInfo& row, int32_t operand = 0);

} // namespace tapster::st20
