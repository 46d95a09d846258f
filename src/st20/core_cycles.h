// The instruction table's cycle column as a direct lookup for the core's inner loop.
#pragma once

#include "st20/instruction_table.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tapster::st20 {

inline constexpr size_t kOpCount = static_cast<size_t>(Op::reboot) + 1;

// Indexed by Op: InstructionInfo::cycles.
extern const std::array<uint8_t, kOpCount> kBaseCycles;

} // namespace tapster::st20
