// A test on the simulated board: the board behind the port, the port claimed through the
// stand-in permission driver as on the NT family, and every process-wide value of the commands
// back at its start value before and after.
#pragma once

#include "board/board.h"
#include "ops/commands.h"
#include "port/port_backend.h"
#include "port/port_permission.h"
#include "port/win_standin.h"
#include "test_form.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tapster::test {

class BoardSession : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetCommandState();
        win::standin::Reset();
        PermitAllPorts(false);
    }
    void TearDown() override {
        SetPortBackend(nullptr);
        win::standin::Reset();
        ResetCommandState();
    }

    // Puts a board with `config` behind the port.
    board::Board& StartBoard(board::BoardConfig config = {}) {
        SetPortBackend(nullptr);
        board = std::make_unique<board::Board>(std::move(config));
        SetPortBackend(board.get());
        return *board;
    }

    // The log lines after the first line equal to `marker` (all of them when it is absent).
    std::vector<std::string> LogAfter(const std::string& marker) const {
        const auto& lines = form.LogLines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == marker) return form.LogFrom(i + 1);
        return form.LogFrom(0);
    }

    TestForm form;
    std::unique_ptr<board::Board> board;
};

// A fill of `length` bytes of `value` at `address`.
inline board::FillArea Fill(uint32_t address, uint32_t length, uint8_t value) {
    board::FillArea area;
    area.address = address;
    area.length = length;
    area.value = value;
    return area;
}

inline board::BytePatch Patch(uint32_t address, std::vector<uint8_t> bytes) {
    board::BytePatch patch;
    patch.address = address;
    patch.bytes = std::move(bytes);
    return patch;
}

} // namespace tapster::test
