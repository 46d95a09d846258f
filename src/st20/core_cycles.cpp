#include "st20/core_cycles.h"

namespace tapster::st20 {

namespace {

std::array<uint8_t, kOpCount> Build() {
    std::array<uint8_t, kOpCount> cycles{};
    for (const InstructionInfo& row : InstructionTable())
        cycles[static_cast<size_t>(row.op)] = row.cycles;
    return cycles;
}

} // namespace

const std::array<uint8_t, kOpCount> kBaseCycles = Build();

} // namespace tapster::st20
