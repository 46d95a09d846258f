#include "board/board.h"

#include "board/target_parts.h"

#include <utility>

namespace tapster::board {

const char* TapStateName(TapState state) {
    static constexpr const char* kNames[kTapStateCount] = {
        "Test-Logic-Reset", "Run-Test/Idle",  "Select-DR-Scan", "Capture-DR",
        "Shift-DR",         "Exit1-DR",       "Pause-DR",       "Exit2-DR",
        "Update-DR",        "Select-IR-Scan", "Capture-IR",     "Shift-IR",
        "Exit1-IR",         "Pause-IR",       "Exit2-IR",       "Update-IR"};
    return kNames[static_cast<int>(state)];
}

namespace {
uint32_t IdcodeFor(const BoardConfig& config) {
    if (config.cpu == "STi5510") return kSti5510Idcode;
    if (config.cpu == "STi5512") return kSti5512Idcode;
    return config.idcode;
}
} // namespace

Board::Board(BoardConfig configIn, Parts partsChoice)
    : config(std::move(configIn)), link(memory, observers) {
    config.idcode = IdcodeFor(config);
    idcode = config.idcode;
    for (const FillArea& fill : config.fills) {
        for (uint32_t i = 0; i < fill.length; ++i)
            memory.Poke(fill.address + i, fill.value);
    }
    for (const BytePatch& patch : config.patches) {
        for (size_t i = 0; i < patch.bytes.size(); ++i)
            memory.Poke(patch.address + static_cast<uint32_t>(i), patch.bytes[i]);
    }
    link.Configure(config.link, config.faults);
    UpdateFaultState();
    status = statusTdoHigh; // the control line starts low: TDO floats
    if (partsChoice == Parts::Attach) AttachTargetParts(*this);
}

Board::~Board() = default;

void Board::AddObserver(LinkObserver* observer) {
    if (observer != nullptr) observers.push_back(observer);
}

BoardPart& Board::AddPart(std::unique_ptr<BoardPart> part) {
    parts.push_back(std::move(part));
    return *parts.back();
}

void Board::SetFaults(const FaultConfig& faults) {
    config.faults = faults;
    link.Configure(config.link, config.faults);
    UpdateFaultState();
}

void Board::UpdateFaultState() {
    const FaultConfig& faults = config.faults;
    statusTdoHigh = static_cast<uint8_t>(kLptStatusIdle | (faults.tdoStuckLow ? 0 : kPinTdo));
    statusTdoLow = kLptStatusIdle;
    if (faults.noTarget) statusTdoHigh = statusTdoLow = kLptStatusIdle | kPinTdo;
    clockedFaults = faults.minWorkingDelay > 0 || faults.flipEveryBits != 0 || faults.tdoToggling;
    // Keep the current level under the new static faults.
    status = (status & kPinTdo) != 0 ? statusTdoHigh : statusTdoLow;
}

void Board::WriteRegister(uint16_t port, uint8_t value) {
    if (port != kDataPort) return;
    const uint8_t changed = static_cast<uint8_t>(data ^ value);
    data = value;
    if ((changed & kPinControl) != 0) ControlLineChanged((value & kPinControl) != 0);
    if ((changed & kPinTck) == 0 || !controlHigh) return;
    if ((value & kPinTck) != 0)
        RisingEdge((value & kPinTms) != 0, (value & kPinTdi) != 0);
    else
        FallingEdge();
}

uint8_t Board::ReadRegister(uint16_t port) {
    if (port == kStatusPort) return status;
    if (port == kDataPort) return data; // the data latch reads back
    return 0xFF;
}

void Board::RisingEdge(bool tms, bool tdi) {
    switch (state) {
    case TapState::ShiftDr:
        if (selected == Selected::Link)
            link.Clock(tdi);
        else if (selected == Selected::Bypass)
            bypass = tdi;
        else
            drShift = (drShift >> 1) | (tdi ? 0x80000000u : 0u);
        break;
    case TapState::CaptureDr:
        drShift = idcode;
        bypass = false;
        break;
    case TapState::ShiftIr:
        irShift = static_cast<uint8_t>((irShift >> 1) | (tdi ? 0x10 : 0));
        break;
    case TapState::CaptureIr:
        irShift = kIrCapture;
        break;
    default:
        break;
    }
    state = NextTapState(state, tms);
    if (state == TapState::TestLogicReset) SelectInstruction(kIdcodeInstruction);
    ++clocks;
}

void Board::FallingEdge() {
    bool tdo = true;
    if (state == TapState::ShiftDr) {
        if (selected == Selected::Link)
            tdo = link.Out();
        else if (selected == Selected::Bypass)
            tdo = bypass;
        else
            tdo = (drShift & 1) != 0;
    } else if (state == TapState::ShiftIr) {
        tdo = (irShift & 1) != 0;
    } else if (state == TapState::UpdateIr) {
        SelectInstruction(irShift);
    }
    if (clockedFaults) tdo = ClockedFaults(tdo);
    status = tdo ? statusTdoHigh : statusTdoLow;
}

bool Board::ClockedFaults(bool tdo) {
    const FaultConfig& faults = config.faults;
    if (faults.minWorkingDelay > 0) {
        const bool previous = unsettledTdo;
        unsettledTdo = tdo;
        if (hostDelay < faults.minWorkingDelay) tdo = previous;
    }
    if (faults.flipEveryBits != 0 && ++flipCounter >= faults.flipEveryBits) {
        flipCounter = 0;
        tdo = !tdo;
    }
    if (faults.tdoToggling) {
        toggle = !toggle;
        tdo = toggle;
    }
    return tdo;
}

void Board::ControlLineChanged(bool high) {
    controlHigh = high;
    if (!high) {
        state = TapState::TestLogicReset;
        SelectInstruction(kIdcodeInstruction);
        link.Reset();
    }
    status = statusTdoHigh; // TDO floats in Test-Logic-Reset and while held
    for (LinkObserver* observer : observers)
        observer->ResetLine(!high);
}

void Board::SelectInstruction(uint8_t code) {
    instruction = code & 0x1F;
    if (instruction == kIdcodeInstruction)
        selected = Selected::Idcode;
    else if (instruction == kLinkInstruction)
        selected = Selected::Link;
    else
        selected = Selected::Bypass;
}

} // namespace tapster::board
