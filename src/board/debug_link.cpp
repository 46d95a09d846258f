#include "board/debug_link.h"

namespace tapster::board {

namespace {
constexpr uint8_t kReadCommand = 0x01;
constexpr uint32_t kFrameBits = 11; // 0, 1, 1, d0..d7
constexpr uint32_t kAckBit = 3 + 4; // d4 within the frame
} // namespace

DebugLink::DebugLink(TargetBus& bus, const std::vector<LinkObserver*>& observers)
    : bus_(bus), observers_(observers) {}

void DebugLink::Configure(const LinkTiming& timing, const FaultConfig& faults) {
    ackDuringData_ = timing.ackDuringData;
    ackDelayClocks_ = timing.ackDelayClocks;
    replyDelayClocks_ = timing.replyDelayClocks;
    neverAcknowledge_ = faults.neverAcknowledge;
    keepsSending_ = faults.keepsSending;
}

void DebugLink::Reset() {
    rxWindow_ = 0;
    rxBitsLeft_ = 0;
    rxByte_ = 0;
    phase_ = Phase::Command;
    operandCount_ = 0;
    DropTransmission();
    out_ = false;
}

void DebugLink::DropTransmission() {
    ackCheck_ = false;
    zeros_ = 0;
    queued_ = 0;
    bits_ = 0;
    marks_ = 0;
    replyPending_ = false;
    replyNext_ = replyCount_ = 0;
}

void DebugLink::HostByteStarts() {
    rxBitsLeft_ = 8;
    rxByte_ = 0;
    rxWindow_ = 0;
    // The host talks, so it no longer listens: whatever the target was sending is over.
    DropTransmission();
    if (!neverAcknowledge_ && ackDuringData_) {
        bits_ = 0b10; // 0 on d0, 1 on d1
        queued_ = 2;
    }
}

void DebugLink::ByteReceived(uint8_t value) {
    switch (phase_) {
    case Phase::Command:
        if (value == kReadCommand || (value != 0 && (value & 3) == 0)) {
            reading_ = value == kReadCommand;
            writeLength_ = value;
            writeCount_ = 0;
            address_ = 0;
            operandCount_ = 0;
            phase_ = Phase::Address;
        }
        break;
    case Phase::Address:
        address_ |= static_cast<uint32_t>(value) << (8 * operandCount_);
        if (++operandCount_ == 4) {
            if (reading_) {
                phase_ = Phase::Command;
                StartRead();
            } else {
                phase_ = Phase::Data;
            }
        }
        break;
    case Phase::Data:
        writeData_[writeCount_++] = value;
        if (writeCount_ == writeLength_) {
            phase_ = Phase::Command;
            LandWrite();
        }
        break;
    }
    if (!neverAcknowledge_ && !ackDuringData_) {
        zeros_ = ackDelayClocks_;
        bits_ = 0b01; // 1, then 0
        queued_ = 2;
    }
}

void DebugLink::StartRead() {
    uint32_t length = replyLengthByte_ & 0xFCu;
    if (length == 0) length = 256;
    for (LinkObserver* observer : observers_)
        observer->BeforeRead(address_, length);
    reply_[0] = replyLengthByte_;
    for (uint32_t i = 0; i < length; ++i)
        reply_[1 + i] = bus_.Read8(address_ + i);
    replyCount_ = 1 + length;
    replyNext_ = 0;
    replyPending_ = true;
}

void DebugLink::LandWrite() {
    for (LinkObserver* observer : observers_)
        observer->BeforeWrite(address_, writeLength_);
    for (uint32_t i = 0; i < writeLength_; ++i)
        bus_.Write8(address_ + i, writeData_[i]);
    for (LinkObserver* observer : observers_)
        observer->AfterWrite(address_, writeLength_);
}

void DebugLink::QueueFrame(uint8_t value, bool expectAck) {
    const uint64_t frame = 0b110u | static_cast<uint64_t>(value) << 3;
    bits_ |= frame << queued_;
    if (expectAck) marks_ |= uint64_t{1} << (queued_ + kAckBit);
    queued_ += kFrameBits;
}

void DebugLink::QueueNextReply() {
    if (keepsSending_) {
        QueueFrame(kKeepsSendingByte, false);
        return;
    }
    replyPending_ = false;
    zeros_ = replyDelayClocks_;
    QueueFrame(reply_[replyNext_++], true);
}

void DebugLink::ReplyByteAcknowledged(bool acknowledged) {
    if (acknowledged && replyNext_ < replyCount_)
        QueueFrame(reply_[replyNext_++], true);
    else if (!acknowledged)
        replyNext_ = replyCount_;
}

} // namespace tapster::board
