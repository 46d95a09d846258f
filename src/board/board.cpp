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
    : config_(std::move(configIn)), link_(memory_, observers_) {
    config_.idcode = IdcodeFor(config_);
    idcode_ = config_.idcode;
    for (const FillArea& fill : config_.fills) {
        for (uint32_t i = 0; i < fill.length; ++i)
            memory_.Poke(fill.address + i, fill.value);
    }
    for (const BytePatch& patch : config_.patches) {
        for (size_t i = 0; i < patch.bytes.size(); ++i)
            memory_.Poke(patch.address + static_cast<uint32_t>(i), patch.bytes[i]);
    }
    link_.Configure(config_.link, config_.faults);
    UpdateFaultState();
    status_ = statusTdoHigh_; // the control line starts low: TDO floats
    if (partsChoice == Parts::Attach) AttachTargetParts(*this);
}

Board::~Board() = default;

void Board::AddObserver(LinkObserver* observer) {
    if (observer != nullptr) observers_.push_back(observer);
}

BoardPart& Board::AddPart(std::unique_ptr<BoardPart> part) {
    parts_.push_back(std::move(part));
    return *parts_.back();
}

void Board::SetFaults(const FaultConfig& faults) {
    config_.faults = faults;
    link_.Configure(config_.link, config_.faults);
    UpdateFaultState();
}

void Board::UpdateFaultState() {
    const FaultConfig& faults = config_.faults;
    statusTdoHigh_ = static_cast<uint8_t>(kLptStatusIdle | (faults.tdoStuckLow ? 0 : kPinTdo));
    statusTdoLow_ = kLptStatusIdle;
    if (faults.noTarget) statusTdoHigh_ = statusTdoLow_ = kLptStatusIdle | kPinTdo;
    clockedFaults_ = faults.minWorkingDelay > 0 || faults.flipEveryBits != 0 || faults.tdoToggling;
    // Keep the current level under the new static faults.
    status_ = (status_ & kPinTdo) != 0 ? statusTdoHigh_ : statusTdoLow_;
}

void Board::WriteRegister(uint16_t port, uint8_t value) {
    if (port != kDataPort) return;
    const uint8_t changed = static_cast<uint8_t>(data_ ^ value);
    data_ = value;
    if ((changed & kPinControl) != 0) ControlLineChanged((value & kPinControl) != 0);
    if ((changed & kPinTck) == 0 || !controlHigh_) return;
    if ((value & kPinTck) != 0)
        RisingEdge((value & kPinTms) != 0, (value & kPinTdi) != 0);
    else
        FallingEdge();
}

uint8_t Board::ReadRegister(uint16_t port) {
    if (port == kStatusPort) return status_;
    if (port == kDataPort) return data_; // the data latch reads back
    return 0xFF;
}

void Board::RisingEdge(bool tms, bool tdi) {
    switch (state_) {
    case TapState::ShiftDr:
        if (selected_ == Selected::Link)
            link_.Clock(tdi);
        else if (selected_ == Selected::Bypass)
            bypass_ = tdi;
        else
            drShift_ = (drShift_ >> 1) | (tdi ? 0x80000000u : 0u);
        break;
    case TapState::CaptureDr:
        drShift_ = idcode_;
        bypass_ = false;
        break;
    case TapState::ShiftIr:
        irShift_ = static_cast<uint8_t>((irShift_ >> 1) | (tdi ? 0x10 : 0));
        break;
    case TapState::CaptureIr:
        irShift_ = kIrCapture;
        break;
    default:
        break;
    }
    state_ = NextTapState(state_, tms);
    if (state_ == TapState::TestLogicReset) SelectInstruction(kIdcodeInstruction);
    ++clocks_;
}

void Board::FallingEdge() {
    bool tdo = true;
    if (state_ == TapState::ShiftDr) {
        if (selected_ == Selected::Link)
            tdo = link_.Out();
        else if (selected_ == Selected::Bypass)
            tdo = bypass_;
        else
            tdo = (drShift_ & 1) != 0;
    } else if (state_ == TapState::ShiftIr) {
        tdo = (irShift_ & 1) != 0;
    } else if (state_ == TapState::UpdateIr) {
        SelectInstruction(irShift_);
    }
    if (clockedFaults_) tdo = ClockedFaults(tdo);
    status_ = tdo ? statusTdoHigh_ : statusTdoLow_;
}

bool Board::ClockedFaults(bool tdo) {
    const FaultConfig& faults = config_.faults;
    if (faults.minWorkingDelay > 0) {
        const bool previous = unsettledTdo_;
        unsettledTdo_ = tdo;
        if (hostDelay_ < faults.minWorkingDelay) tdo = previous;
    }
    if (faults.flipEveryBits != 0 && ++flipCounter_ >= faults.flipEveryBits) {
        flipCounter_ = 0;
        tdo = !tdo;
    }
    if (faults.tdoToggling) {
        toggle_ = !toggle_;
        tdo = toggle_;
    }
    return tdo;
}

void Board::ControlLineChanged(bool high) {
    controlHigh_ = high;
    if (!high) {
        state_ = TapState::TestLogicReset;
        SelectInstruction(kIdcodeInstruction);
        link_.Reset();
    }
    status_ = statusTdoHigh_; // TDO floats in Test-Logic-Reset and while held
    for (LinkObserver* observer : observers_)
        observer->ResetLine(!high);
}

void Board::SelectInstruction(uint8_t code) {
    instruction_ = code & 0x1F;
    if (instruction_ == kIdcodeInstruction)
        selected_ = Selected::Idcode;
    else if (instruction_ == kLinkInstruction)
        selected_ = Selected::Link;
    else
        selected_ = Selected::Bypass;
}

} // namespace tapster::board
