// The target side of the debug link: the DCU's byte protocol carried one bit per TCK in the
// link data register's scan (Shift-DR with instruction 0x10).
//
// Host -> target. The receiver watches TDI through a three-bit window: 0,1,1 starts a data byte
// (the next eight bits are d0..d7, least significant first); 0,1,0 is the host's acknowledge,
// which needs no action because every target byte is acknowledged on its fifth data clock.
// A transaction is a command byte and its operands:
//   0x01                     read block: address (4 bytes, LSB first); reply below
//   n, n a multiple of 4     write n bytes (4..252; 0x04 is the word write): address, n data bytes
//   anything else            ignored (acknowledged, no effect)
// Every received byte is acknowledged on TDO: during its data bits (0 on d0, 1 on d1) or, with
// ackDuringData off, after d7 by a 1 then a 0 once ackDelayClocks clocks have passed.
// Written bytes land on the bus together once the last one is in; then AfterWrite.
//
// Target -> host. After BeforeRead the reply is taken from the bus at once: a length byte
// (0x00 = 256 bytes unless a test forces another) and the data bytes. Each byte travels as
// 0,1,1,d0..d7 on TDO, the first one replyDelayClocks clocks after the read command ended. The
// host must put TDI = 1 on the clock in which it samples d4; the next byte then follows at once,
// and a byte the host does not acknowledge ends the reply. The start of a new host byte also
// ends any reply still running. Idle, TDO is 0.
#pragma once

#include "board/board_config.h"
#include "board/target_bus.h"

#include <cstdint>
#include <vector>

namespace tapster::board {

// What a target that keeps sending puts on the link, byte after byte.
constexpr uint8_t kKeepsSendingByte = 0xA5;

class DebugLink {
  public:
    DebugLink(TargetBus& bus, const std::vector<LinkObserver*>& observers);

    void Configure(const LinkTiming& timing, const FaultConfig& faults);
    // The control line went low: drop every transaction and fall silent.
    void Reset();
    // The length byte of every later read reply (default 0x00: 256 bytes).
    void SetReplyLengthByte(uint8_t value) { replyLengthByte_ = value; }

    // One link clock: tdi as the rising TCK edge found it. Out() is what TDO shows from the
    // following falling edge on.
    void Clock(bool tdi) {
        if (ackCheck_) {
            ackCheck_ = false;
            ReplyByteAcknowledged(tdi);
        }
        if (!keepsSending_) {
            if (rxBitsLeft_ != 0) {
                rxByte_ = static_cast<uint8_t>((rxByte_ >> 1) | (tdi ? 0x80 : 0x00));
                if (--rxBitsLeft_ == 0) ByteReceived(rxByte_);
            } else {
                rxWindow_ = static_cast<uint8_t>(((rxWindow_ << 1) | (tdi ? 1 : 0)) & 7);
                if (rxWindow_ == 0b011) HostByteStarts();
            }
        }
        if (zeros_ != 0) {
            --zeros_;
            out_ = false;
        } else if (queued_ != 0) {
            out_ = (bits_ & 1) != 0;
            ackCheck_ = (marks_ & 1) != 0;
            bits_ >>= 1;
            marks_ >>= 1;
            --queued_;
        } else {
            out_ = false;
            if (replyPending_ || keepsSending_) QueueNextReply();
        }
    }
    bool Out() const { return out_; }

  private:
    enum class Phase : uint8_t { Command, Address, Data };

    void HostByteStarts();
    void ByteReceived(uint8_t value);
    void ReplyByteAcknowledged(bool acknowledged);
    void QueueNextReply();
    void QueueFrame(uint8_t value, bool expectAck);
    void StartRead();
    void LandWrite();
    void DropTransmission();

    TargetBus& bus_;
    const std::vector<LinkObserver*>& observers_;

    // Settings.
    bool ackDuringData_ = true;
    uint32_t ackDelayClocks_ = 0;
    uint32_t replyDelayClocks_ = 4;
    bool neverAcknowledge_ = false;
    bool keepsSending_ = false;
    uint8_t replyLengthByte_ = 0x00;

    // Receiver.
    uint8_t rxWindow_ = 0;
    uint8_t rxBitsLeft_ = 0;
    uint8_t rxByte_ = 0;
    Phase phase_ = Phase::Command;
    bool reading_ = false;
    uint8_t operandCount_ = 0;
    uint32_t address_ = 0;
    uint32_t writeLength_ = 0;
    uint32_t writeCount_ = 0;
    uint8_t writeData_[256] = {};

    // Transmitter: `zeros` idle bits, then `queued` bits of `bits` (oldest in bit 0); a set bit
    // of `marks` flags the d4 whose clock must carry the host's acknowledge.
    bool out_ = false;
    bool ackCheck_ = false;
    uint32_t zeros_ = 0;
    uint32_t queued_ = 0;
    uint64_t bits_ = 0;
    uint64_t marks_ = 0;

    // Read reply: the length byte, then the data.
    bool replyPending_ = false;
    uint32_t replyNext_ = 0;
    uint32_t replyCount_ = 0;
    uint8_t reply_[257] = {};
};

} // namespace tapster::board
