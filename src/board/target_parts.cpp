#include "board/target_parts.h"

#include "board/board.h"
#include "board/cpu_system.h"
#include "board/memory_map.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tapster::board {

namespace {

struct OwnedCpuSystem final : BoardPart {
    OwnedCpuSystem(MemoryMap& memory, const BoardConfig& config, std::function<uint64_t()> tckClock)
        : system(memory, config, std::move(tckClock)) {}
    CpuSystem system;
};

} // namespace

// The DCU with the CPU and the flash chip, as the preset describes them.
void AttachTargetParts(Board& board) {
    auto owned = std::make_unique<OwnedCpuSystem>(board.Memory(), board.Config(),
                                                  [&board] { return board.TckCount(); });
    CpuSystem& system = owned->system;
    for (const DeviceWindow& window : system.Windows())
        board.Map(window.base, VisibleDeviceSize(window.base, window.size), window.device);
    system.GetCpu().Core().InvalidateWindows(); // the windows change what the CPU reaches directly
    board.AddObserver(&system);
    board.AddPart(std::move(owned));
}

} // namespace tapster::board
