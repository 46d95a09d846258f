// Cycles per instruction, from the STi5518 datasheet's timing column (2-cycle internal memory).
// Where it gives a range or nothing, the base here is completed by core_choices.h.
#pragma once

#include "st20/instruction_table.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tapster::st20 {

inline constexpr size_t kOpCount = static_cast<size_t>(Op::reboot) + 1;

// Indexed by Op.
extern const std::array<uint8_t, kOpCount> kBaseCycles;

} // namespace tapster::st20
