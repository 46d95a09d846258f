// The IEEE 1149.1 TAP controller: its sixteen states and the TMS-driven moves between them.
#pragma once

#include <cstdint>

namespace tapster::board {

enum class TapState : uint8_t {
    TestLogicReset,
    RunTestIdle,
    SelectDrScan,
    CaptureDr,
    ShiftDr,
    Exit1Dr,
    PauseDr,
    Exit2Dr,
    UpdateDr,
    SelectIrScan,
    CaptureIr,
    ShiftIr,
    Exit1Ir,
    PauseIr,
    Exit2Ir,
    UpdateIr,
};

constexpr int kTapStateCount = 16;

// The state after a rising TCK edge, indexed by [state][tms].
inline constexpr TapState kTapNext[kTapStateCount][2] = {
    {TapState::RunTestIdle, TapState::TestLogicReset}, // TestLogicReset
    {TapState::RunTestIdle, TapState::SelectDrScan},   // RunTestIdle
    {TapState::CaptureDr, TapState::SelectIrScan},     // SelectDrScan
    {TapState::ShiftDr, TapState::Exit1Dr},            // CaptureDr
    {TapState::ShiftDr, TapState::Exit1Dr},            // ShiftDr
    {TapState::PauseDr, TapState::UpdateDr},           // Exit1Dr
    {TapState::PauseDr, TapState::Exit2Dr},            // PauseDr
    {TapState::ShiftDr, TapState::UpdateDr},           // Exit2Dr
    {TapState::RunTestIdle, TapState::SelectDrScan},   // UpdateDr
    {TapState::CaptureIr, TapState::TestLogicReset},   // SelectIrScan
    {TapState::ShiftIr, TapState::Exit1Ir},            // CaptureIr
    {TapState::ShiftIr, TapState::Exit1Ir},            // ShiftIr
    {TapState::PauseIr, TapState::UpdateIr},           // Exit1Ir
    {TapState::PauseIr, TapState::Exit2Ir},            // PauseIr
    {TapState::ShiftIr, TapState::UpdateIr},           // Exit2Ir
    {TapState::RunTestIdle, TapState::SelectDrScan},   // UpdateIr
};

constexpr TapState NextTapState(TapState state, bool tms) {
    return kTapNext[static_cast<int>(state)][tms ? 1 : 0];
}

// The names 1149.1 uses, for messages and test output.
const char* TapStateName(TapState state);

} // namespace tapster::board
