// The flash chip a board configuration asks for: the table row, the clock and scale of its busy
// times, its protected or locked sectors, WP# and its faults.
#pragma once

#include "board/board_config.h"
#include "board/flash_chip.h"

#include <memory>

namespace tapster::board {

// nullptr when the chip name is not in the table (the board then has no flash). The board
// still has to hand the chip its cycle count: chip->SetCycleSource(&cycles).
std::unique_ptr<FlashChip> BuildFlashChip(const BoardConfig& config);

} // namespace tapster::board
