#include "board/target_parts.h"

#include "board/board.h"
#include "board/cpu_system.h"
#include "board/memory_map.h"

#include <memory>
#include <utility>
#include <vector>

namespace tapster::board {

namespace {

struct OwnedCpuSystem final : BoardPart {
    OwnedCpuSystem(TargetBus& bus, const BoardConfig& config, std::vector<RamRange> ram)
        : system(bus, config, std::move(ram)) {}
    CpuSystem system;
};

// A device window stops where one of the board's own memories begins above its base: the
// internal ROM at the top of the default flash bank keeps answering its addresses.
uint32_t VisibleSize(uint32_t base, uint32_t size) {
    static constexpr uint32_t kMemoryBases[] = {kSramBase, kSdramBase, kVramBase, kRomBase,
                                                kDcuBase};
    uint64_t end = uint64_t{base} + size;
    for (uint32_t memory : kMemoryBases) {
        if (memory > base && memory < end) end = memory;
    }
    return static_cast<uint32_t>(end - base);
}

} // namespace

// The DCU with the CPU, the flash agent and the flash chip, as the preset describes them.
void AttachTargetParts(Board& board) {
    std::vector<RamRange> ram = {
        {kSramBase, kSramSize}, {kSdramBase, kSdramSize}, {kVramBase, kVramSize}};
    auto owned = std::make_unique<OwnedCpuSystem>(board.Bus(), board.Config(), std::move(ram));
    CpuSystem& system = owned->system;
    for (const DeviceWindow& window : system.Windows())
        board.Map(window.base, VisibleSize(window.base, window.size), window.device);
    board.AddObserver(&system);
    board.AddPart(std::move(owned));
}

} // namespace tapster::board
