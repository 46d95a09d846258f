// Board presets: a small JSON file that chooses the CPU, memory contents, faults, link timing,
// flash chip and the CPU's time (format: docs/board-presets.md). Fields left out keep the
// built-in default, so an empty object is the default board.
#pragma once

#include "board/board_config.h"

#include <string>

namespace tapster::board {

// Reads the preset at path into out. False with one line naming the file and the field
// ("board.json: faults.flipEveryBits: expected a number") when the file is missing or bad;
// out is then left unchanged.
bool LoadPreset(const std::string& path, BoardConfig& out, std::string& error);

// The same for preset text already in memory; name stands for the file in messages.
bool ParsePreset(const std::string& text, const std::string& name, BoardConfig& out,
                 std::string& error);

} // namespace tapster::board
