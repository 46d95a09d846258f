#include "board/debug_link.h"

namespace tapster::board {

namespace {
constexpr uint8_t kReadCommand = 0x01;
constexpr uint32_t kFrameBits = 11; // 0, 1, 1, d0..d7
constexpr uint32_t kAckBit = 3 + 4; // d4 within the frame
} // namespace

DebugLink::DebugLink(TargetBus& bus, const std::vector<LinkObserver*>& observers)
    : bus(bus), observers(observers) {}

void DebugLink::Configure(const LinkTiming& timing, const FaultConfig& faults) {
    ackDuringData = timing.ackDuringData;
    ackDelayClocks = timing.ackDelayClocks;
    replyDelayClocks = timing.replyDelayClocks;
    neverAcknowledge = faults.neverAcknowledge;
    keepsSending = faults.keepsSending;
}

void DebugLink::Reset() {
    rxWindow = 0;
    rxBitsLeft = 0;
    rxByte = 0;
    phase = Phase::Command;
    operandCount = 0;
    DropTransmission();
    out = false;
}

void DebugLink::DropTransmission() {
    ackCheck = false;
    zeros = 0;
    queued = 0;
    bits = 0;
    marks = 0;
    replyPending = false;
    replyNext = replyCount = 0;
}

void DebugLink::HostByteStarts() {
    rxBitsLeft = 8;
    rxByte = 0;
    rxWindow = 0;
    // The host talks, so it no longer listens: whatever the target was sending is over.
    DropTransmission();
    if (!neverAcknowledge && ackDuringData) {
        bits = 0b10; // 0 on d0, 1 on d1
        queued = 2;
    }
}

void DebugLink::ByteReceived(uint8_t value) {
    switch (phase) {
    case Phase::Command:
        if (value == kReadCommand || (value != 0 && (value & 3) == 0)) {
            reading = value == kReadCommand;
            writeLength = value;
            writeCount = 0;
            address = 0;
            operandCount = 0;
            phase = Phase::Address;
        }
        break;
    case Phase::Address:
        address |= static_cast<uint32_t>(value) << (8 * operandCount);
        if (++operandCount == 4) {
            if (reading) {
                phase = Phase::Command;
                StartRead();
            } else {
                phase = Phase::Data;
            }
        }
        break;
    case Phase::Data:
        writeData[writeCount++] = value;
        if (writeCount == writeLength) {
            phase = Phase::Command;
            LandWrite();
        }
        break;
    }
    if (!neverAcknowledge && !ackDuringData) {
        zeros = ackDelayClocks;
        bits = 0b01; // 1, then 0
        queued = 2;
    }
}

void DebugLink::StartRead() {
    uint32_t length = replyLengthByte & 0xFCu;
    if (length == 0) length = 256;
    for (LinkObserver* observer : observers)
        observer->BeforeRead(address, length);
    reply[0] = replyLengthByte;
    for (uint32_t i = 0; i < length; ++i)
        reply[1 + i] = bus.Read8(address + i);
    replyCount = 1 + length;
    replyNext = 0;
    replyPending = true;
}

void DebugLink::LandWrite() {
    for (LinkObserver* observer : observers)
        observer->BeforeWrite(address, writeLength);
    for (uint32_t i = 0; i < writeLength; ++i)
        bus.Write8(address + i, writeData[i]);
    for (LinkObserver* observer : observers)
        observer->AfterWrite(address, writeLength);
}

void DebugLink::QueueFrame(uint8_t value, bool expectAck) {
    const uint64_t frame = 0b110u | static_cast<uint64_t>(value) << 3;
    bits |= frame << queued;
    if (expectAck) marks |= uint64_t{1} << (queued + kAckBit);
    queued += kFrameBits;
}

void DebugLink::QueueNextReply() {
    if (keepsSending) {
        QueueFrame(kKeepsSendingByte, false);
        return;
    }
    replyPending = false;
    zeros = replyDelayClocks;
    QueueFrame(reply[replyNext++], true);
}

void DebugLink::ReplyByteAcknowledged(bool acknowledged) {
    if (acknowledged && replyNext < replyCount)
        QueueFrame(reply[replyNext++], true);
    else if (!acknowledged)
        replyNext = replyCount;
}

} // namespace tapster::board
