#include "mpsse_model.h"

#include <algorithm>
#include <cstdio>

namespace tapster::test {

namespace {

// The parallel cable's register view of the pins.
constexpr uint16_t kData = 0x378;
constexpr uint16_t kStatus = 0x379;
constexpr uint8_t kTdoStatus = 0x10;
// The JTAG lines on ADBUS.
constexpr uint8_t kTck = 0x01, kTdi = 0x02, kTdo = 0x04, kTms = 0x08;

// Bytes each opcode takes, itself included (AN_108); 0 for an opcode the chip refuses.
size_t CommandLength(uint8_t opcode) {
    switch (opcode) {
    case 0x80: // set ADBUS value, direction
    case 0x82: // set ACBUS value, direction
    case 0x86: // clock divisor low, high
        return 3;
    case 0x81: // read ADBUS
    case 0x83: // read ACBUS
    case 0x84: // loop-back on
    case 0x85: // loop-back off
    case 0x87: // send immediate
    case 0x8A: // 60 MHz base clock
    case 0x8B: // 12 MHz base clock
    case 0x8D: // three-phase clocking off
    case 0x97: // adaptive clocking off
        return 1;
    default:
        return 0;
    }
}

std::string Hex(uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%02llX", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

MpsseModel::MpsseModel(PortBackend& pins, int ctlPin, uint16_t vid, uint16_t pid, size_t bufferSize)
    : pins_(pins), ctlPin_(ctlPin), vid_(vid), pid_(pid), bufferSize_(bufferSize) {}

bool MpsseModel::Open(const FtdiTarget& target, FtdiDevice& device) {
    if (!present_ || unplugAfter_ == 0 || target.vid != vid_ || target.pid != pid_) {
        error_ = "device not found";
        return false;
    }
    open_ = true;
    Flush();
    device.description = bufferSize_ == 1024 ? "FT232H" : "FT2232H";
    device.bufferSize = bufferSize_;
    return true;
}

void MpsseModel::Flush() {
    partial_.clear();
    produced_.clear();
    sent_.clear();
}

void MpsseModel::Close() {
    open_ = false;
}

void MpsseModel::Refuse(const std::string& what) {
    refusals_.push_back(what);
    if (report_ != nullptr) std::fprintf(report_, "mpsse model refuses: %s\n", what.c_str());
}

int MpsseModel::Write(const uint8_t* data, size_t size) {
    if (!open_) return -1;
    ++writeCalls_;
    if (size > bufferSize_)
        Refuse("a write of " + std::to_string(size) + " bytes, more than the chip's buffer of " +
               std::to_string(bufferSize_));
    for (size_t i = 0; i < size && unplugAfter_ > 0; ++i, --unplugAfter_) {
        ++bytesWritten_;
        Execute(data[i]);
    }
    return static_cast<int>(size); // an unplugged chip's bytes vanish on the way
}

int MpsseModel::Read(uint8_t* data, size_t size) {
    if (!open_) return -1;
    if (unplugAfter_ == 0) return 0;
    if (size > sent_.size())
        Refuse("a read of " + std::to_string(size) + " answers when 0x87 sent " +
               std::to_string(sent_.size()));
    const size_t n = std::min(size, sent_.size());
    std::copy_n(sent_.begin(), n, data);
    sent_.erase(sent_.begin(), sent_.begin() + static_cast<std::ptrdiff_t>(n));
    if (n > 0) ++answeredReads_;
    return static_cast<int>(n);
}

void MpsseModel::Answer(uint8_t byte) {
    produced_.push_back(byte);
    if (produced_.size() + sent_.size() > bufferSize_)
        Refuse("more unread answers than the chip's buffer holds");
}

void MpsseModel::Execute(uint8_t byte) {
    partial_.push_back(byte);
    const size_t length = CommandLength(partial_[0]);
    if (length == 0) { // a bad opcode is answered and forgotten
        Answer(0xFA);
        Answer(partial_[0]);
        partial_.clear();
    } else if (partial_.size() == length) {
        Run(partial_);
        partial_.clear();
    }
}

void MpsseModel::Run(const std::vector<uint8_t>& command) {
    switch (command[0]) {
    case 0x80:
        SetLow(command[1], command[2]);
        break;
    case 0x81: {
        const bool tdo = (pins_.ReadRegister(kStatus) & kTdoStatus) != 0;
        const uint8_t inputs = static_cast<uint8_t>(tdo ? 0xFF : 0xFF & ~kTdo); // pulled up
        Answer(static_cast<uint8_t>((low_ & lowDirection_) | (inputs & ~lowDirection_)));
        break;
    }
    case 0x82:
        high_ = command[1];
        highDirection_ = command[2];
        break;
    case 0x83:
        Answer(static_cast<uint8_t>(high_ | ~highDirection_));
        break;
    case 0x87:
        sent_.insert(sent_.end(), produced_.begin(), produced_.end());
        produced_.clear();
        break;
    default: // clocking and loop-back: nothing the pins show
        break;
    }
}

// The board sees a register write only while the cable drives TCK, TDI and TMS.
void MpsseModel::SetLow(uint8_t value, uint8_t direction) {
    if ((direction & kTdo) != 0)
        Refuse("direction " + Hex(direction) + " drives TDO (ADBUS2) against the target");
    low_ = value;
    lowDirection_ = direction;
    const uint8_t jtag = kTck | kTdi | kTms;
    if ((direction & jtag) != jtag) return;
    const uint8_t ctl = static_cast<uint8_t>(1u << ctlPin_);
    const uint8_t data = static_cast<uint8_t>(
        ((value & kTms) != 0 ? 0x01 : 0) | ((value & kTck) != 0 ? 0x02 : 0) |
        ((value & kTdi) != 0 ? 0x04 : 0) | ((value | ~direction) & ctl ? 0x08 : 0));
    pins_.WriteRegister(kData, data);
}

} // namespace tapster::test
