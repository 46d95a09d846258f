#include "fake_target.h"

#include "port/platform.h"

namespace tapster::test {

uint8_t FakeTarget::Read8(uint32_t a) const {
    auto it = memory.find(a);
    return it == memory.end() ? 0 : it->second;
}

uint32_t FakeTarget::Read32(uint32_t a) const {
    return static_cast<uint32_t>(Read8(a)) | static_cast<uint32_t>(Read8(a + 1)) << 8 |
           static_cast<uint32_t>(Read8(a + 2)) << 16 | static_cast<uint32_t>(Read8(a + 3)) << 24;
}

void FakeTarget::Write32(uint32_t a, uint32_t v) {
    for (uint32_t i = 0; i < 4; ++i)
        memory[a + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint32_t> FakeTarget::WordsWrittenTo(uint32_t address) const {
    std::vector<uint32_t> words;
    for (const Transaction& t : transactions) {
        if (t.command == 0x04 && t.address == address && t.data.size() == 4)
            words.push_back(
                static_cast<uint32_t>(t.data[0]) | static_cast<uint32_t>(t.data[1]) << 8 |
                static_cast<uint32_t>(t.data[2]) << 16 | static_cast<uint32_t>(t.data[3]) << 24);
    }
    return words;
}

size_t FakeTarget::LinkClocksFrom(size_t from) const {
    size_t n = 0;
    for (size_t i = from; i < edges.size(); ++i)
        n += edges[i].linkClock ? 1 : 0;
    return n;
}

void FakeTarget::WriteRegister(uint16_t port, uint8_t value) {
    if (port != 0x378) return;
    const bool control = (value & 0x08) != 0;
    if (!haveWritten_ || control != ((lastWrite_ & 0x08) != 0))
        lineChanges.push_back({control, platform::GetTickCount()});
    const bool rising = (value & 0x02) != 0 && (!haveWritten_ || (lastWrite_ & 0x02) == 0);
    lastWrite_ = value;
    haveWritten_ = true;
    if (rising) {
        if (recordEdges)
            edges.push_back({(value & 0x01) != 0, (value & 0x04) != 0, control,
                             state_ == Tap::ShDr && ir_ == 0x10});
        RisingEdge((value & 0x01) != 0, (value & 0x04) != 0);
    }
}

uint8_t FakeTarget::ReadRegister(uint16_t port) {
    if (port != 0x379) return 0xFF;
    bool tdo = present_;
    switch (tdoMode) {
    case TdoMode::StuckLow:
        tdo = false;
        break;
    case TdoMode::StuckHigh:
        tdo = true;
        break;
    case TdoMode::Toggling:
        tdo = toggle_;
        break;
    case TdoMode::Normal:
        break;
    }
    // Other status bits set, so a host that looks beyond bit 0x10 goes wrong.
    return static_cast<uint8_t>(0x47 | (tdo ? 0x10 : 0));
}

FakeTarget::Tap FakeTarget::Next(Tap s, bool tms) {
    switch (s) {
    case Tap::Reset:
        return tms ? Tap::Reset : Tap::Idle;
    case Tap::Idle:
        return tms ? Tap::SelDr : Tap::Idle;
    case Tap::SelDr:
        return tms ? Tap::SelIr : Tap::CapDr;
    case Tap::CapDr:
    case Tap::ShDr:
        return tms ? Tap::Ex1Dr : Tap::ShDr;
    case Tap::Ex1Dr:
        return tms ? Tap::UpdDr : Tap::PauseDr;
    case Tap::PauseDr:
        return tms ? Tap::Ex2Dr : Tap::PauseDr;
    case Tap::Ex2Dr:
        return tms ? Tap::UpdDr : Tap::ShDr;
    case Tap::UpdDr:
    case Tap::UpdIr:
        return tms ? Tap::SelDr : Tap::Idle;
    case Tap::SelIr:
        return tms ? Tap::Reset : Tap::CapIr;
    case Tap::CapIr:
    case Tap::ShIr:
        return tms ? Tap::Ex1Ir : Tap::ShIr;
    case Tap::Ex1Ir:
        return tms ? Tap::UpdIr : Tap::PauseIr;
    case Tap::PauseIr:
        return tms ? Tap::Ex2Ir : Tap::PauseIr;
    case Tap::Ex2Ir:
        return tms ? Tap::UpdIr : Tap::ShIr;
    }
    return Tap::Reset;
}

void FakeTarget::RisingEdge(bool tms, bool tdi) {
    toggle_ = !toggle_;
    switch (state_) {
    case Tap::Reset:
        ir_ = 0x02;
        ResetLink();
        break;
    case Tap::CapIr:
        irShift_ = 0b00001;
        break;
    case Tap::ShIr:
        irShift_ = (irShift_ >> 1) | (tdi ? 0x10u : 0u);
        break;
    case Tap::CapDr:
        dr_ = ir_ == 0x02 ? idcode : 0;
        break;
    case Tap::ShDr:
        if (ir_ == 0x02)
            dr_ = (dr_ >> 1) | (tdi ? 0x80000000u : 0u);
        else if (ir_ == 0x10)
            LinkClock(tdi);
        else
            dr_ = tdi ? 1 : 0; // bypass
        break;
    default:
        break;
    }
    state_ = Next(state_, tms);
    if (state_ == Tap::UpdIr) ir_ = irShift_;
    if (state_ == Tap::ShIr)
        present_ = (irShift_ & 1) != 0;
    else if (state_ == Tap::ShDr)
        present_ = ir_ == 0x10 ? PopOut() : (dr_ & 1) != 0;
}

bool FakeTarget::PopOut() {
    if (out_.empty() && keptSent < keepSending) {
        PushFrame(keptByte(keptSent));
        ++keptSent;
    }
    if (out_.empty()) return false;
    const bool b = out_.front();
    out_.pop_front();
    return b;
}

void FakeTarget::PushFrame(uint8_t byte) {
    out_.push_back(false);
    out_.push_back(true);
    out_.push_back(true);
    for (int i = 0; i < 8; ++i)
        out_.push_back(((byte >> i) & 1) != 0);
}

void FakeTarget::ResetLink() {
    out_.clear();
    rxWindow_ = 0;
    rxBit_ = -1;
    inTransaction_ = false;
}

void FakeTarget::LinkClock(bool tdi) {
    if (rxBit_ < 0) {
        rxWindow_ = ((rxWindow_ << 1) | (tdi ? 1u : 0u)) & 7u;
        if (rxWindow_ == 0b010) {
            inTransaction_ = false; // the host's acknowledge opens a new transaction
        } else if (rxWindow_ == 0b011) {
            rxBit_ = 0;
            rxByte_ = 0;
            const int index = inTransaction_ ? byteIndex_ : 0;
            if (index != noAckAtByte) {
                if (ackMode == AckMode::DuringData) {
                    out_.push_back(false);
                    out_.push_back(true);
                } else if (ackMode == AckMode::FirstSample) {
                    out_.push_back(true);
                }
            }
        }
        return;
    }
    if (tdi) rxByte_ = static_cast<uint8_t>(rxByte_ | (1u << rxBit_));
    if (++rxBit_ == 8) {
        rxBit_ = -1;
        rxWindow_ = 0;
        HostByte(rxByte_);
    }
}

void FakeTarget::HostByte(uint8_t byte) {
    if (!inTransaction_) {
        transactions.push_back({byte, 0, {}, false});
        inTransaction_ = true;
        byteIndex_ = 0;
    }
    const int index = byteIndex_++;
    if (ackMode == AckMode::AfterData && index != noAckAtByte) {
        for (uint32_t i = 0; i < ackDelay; ++i)
            out_.push_back(false);
        out_.push_back(false);
        out_.push_back(true);
        out_.push_back(false);
    }
    Transaction& t = transactions.back();
    if (index == 0) return;
    if (index <= 4) {
        t.address |= static_cast<uint32_t>(byte) << (8 * (index - 1));
        if (index == 4 && t.command == 0x01) {
            t.complete = true;
            inTransaction_ = false;
            const uint32_t declared = (lengthByte & 0xFC) == 0 ? 256u : (lengthByte & 0xFCu);
            if (beforeRead) beforeRead(t.address, declared);
            const uint32_t sent = replyBytes < 0 ? declared : static_cast<uint32_t>(replyBytes);
            for (uint32_t i = 0; i < replyDelay; ++i)
                out_.push_back(false);
            PushFrame(static_cast<uint8_t>(lengthByte));
            for (uint32_t i = 0; i < sent; ++i)
                PushFrame(Read8(t.address + i));
        }
        return;
    }
    t.data.push_back(byte);
    const size_t n = (t.command & 0xFC) == 0 ? 256u : (t.command & 0xFCu);
    if (t.data.size() == n) {
        for (size_t i = 0; i < n; ++i)
            memory[t.address + static_cast<uint32_t>(i)] = t.data[i];
        t.complete = true;
        inTransaction_ = false;
        if (afterWrite) afterWrite(t.address, static_cast<uint32_t>(n));
    }
}

} // namespace tapster::test
