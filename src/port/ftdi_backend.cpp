#include "port/ftdi_backend.h"

#include "port/lpt_registers.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace tapster {

namespace {

// MPSSE opcodes (FTDI AN_108).
constexpr uint8_t kSetLow = 0x80;  // value, direction of ADBUS0-7
constexpr uint8_t kReadLow = 0x81; // answers one byte: the ADBUS levels
constexpr uint8_t kLoopbackOff = 0x85;
constexpr uint8_t kSendImmediate = 0x87; // what was read goes to the host now
constexpr uint8_t kNoDivideBy5 = 0x8A;
constexpr uint8_t kNoThreePhase = 0x8D;
constexpr uint8_t kNoAdaptive = 0x97;
constexpr uint8_t kBadOpcode = 0xAB; // answered 0xFA, then the opcode
constexpr uint8_t kBadOpcodeAnswer = 0xFA;

constexpr uint8_t kTdoHigh = kLptStatusIdle | kPinTdo;

// A zero-length read has waited a USB frame on the real chip already; this keeps a link that
// answers at once from spinning.
constexpr auto kEmptyReadPause = std::chrono::microseconds(50);

uint8_t Bit(int pin) {
    return pin >= 0 ? static_cast<uint8_t>(1u << pin) : 0;
}

std::string Hex2(uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string Channel(const FtdiOptions& options) {
    return options.channel == 0 ? "interface A" : "interface B";
}

std::string IdsText(const FtdiOptions& options) {
    std::string text;
    for (size_t i = 0; i < options.ids.size(); ++i) {
        if (i > 0) text += i + 1 == options.ids.size() ? " and " : ", ";
        text += FtdiIdText(options.ids[i].first, options.ids[i].second);
    }
    return text;
}

} // namespace

FtdiBackend::FtdiBackend(FtdiOptions options, std::unique_ptr<FtdiLink> link, int timeoutMs)
    : options_(std::move(options)), link_(std::move(link)),
      timeoutMs_(timeoutMs > 0 ? timeoutMs : 1) {
    direction_ = static_cast<uint8_t>(Bit(kFtdiTckPin) | Bit(kFtdiTdiPin) | Bit(kFtdiTmsPin) |
                                      Bit(options_.ctlPin) | Bit(options_.oePin));
}

FtdiBackend::~FtdiBackend() {
    Relinquish();
}

std::string FtdiBackend::Name() const {
    if (!found_.empty()) return "ftdi:" + found_;
    return "ftdi:" + IdsText(options_) + " (" + Channel(options_) + ")";
}

std::string FtdiBackend::LostMessage() const {
    return "lost the FTDI cable " + (found_.empty() ? IdsText(options_) : found_) +
           ": it stopped answering (unplugged?)";
}

// The data register's cable lines on their ADBUS pins; the output enable stays low.
uint8_t FtdiBackend::PinByte(uint8_t data) const {
    struct Line {
        uint8_t lptBit;
        int pin;
    };
    const Line lines[] = {{kPinTck, kFtdiTckPin},
                          {kPinTdi, kFtdiTdiPin},
                          {kPinTms, kFtdiTmsPin},
                          {kPinControl, options_.ctlPin}};
    uint8_t pins = 0;
    for (const Line& line : lines)
        if ((data & line.lptBit) != 0) pins = static_cast<uint8_t>(pins | Bit(line.pin));
    return pins;
}

void FtdiBackend::Put(uint8_t byte) {
    out_.push_back(byte);
    if (out_.size() >= writeChunk_) Send();
}

// Sends the buffered commands in pieces the chip can take.
bool FtdiBackend::Send() {
    size_t sent = 0;
    while (open_ && sent < out_.size()) {
        const size_t piece = std::min(writeChunk_, out_.size() - sent);
        const int n = link_->Write(out_.data() + sent, piece);
        if (n <= 0) {
            Drop();
            return false;
        }
        sent += static_cast<size_t>(n);
        bytesSent_ += static_cast<uint64_t>(n);
    }
    out_.clear();
    return open_;
}

// Exactly `count` answers into `into`, within the time limit.
bool FtdiBackend::Receive(size_t count, uint8_t* into) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    size_t got = 0;
    while (got < count) {
        const int n = link_->Read(into + got, count - got);
        if (n < 0) return false;
        if (n == 0) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(kEmptyReadPause);
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

// One round trip: everything asked for so far is pushed to the host and read back.
void FtdiBackend::Collect() {
    if (!open_) return;
    ++roundTrips_;
    Flush();
    std::vector<uint8_t> answers(pushed_);
    if (!open_ || !Receive(pushed_, answers.data())) {
        Drop();
        return;
    }
    pushed_ = 0;
    for (uint8_t pins : answers)
        inbox_.push_back((pins & Bit(kFtdiTdoPin)) != 0 ? kTdoHigh : kLptStatusIdle);
}

uint8_t FtdiBackend::Answer() {
    if (inbox_.empty()) Collect();
    if (inbox_.empty()) return kTdoHigh;
    const uint8_t value = inbox_.front();
    inbox_.pop_front();
    return value;
}

void FtdiBackend::Drop() {
    if (open_) link_->Close();
    open_ = false;
    lost_ = true;
    out_.clear();
    inbox_.clear();
    asked_ = pushed_ = 0;
}

void FtdiBackend::WriteRegister(uint16_t port, uint8_t value) {
    if (!open_ || port != kLptDataPort) return;
    Put(kSetLow);
    Put(PinByte(value));
    Put(direction_);
}

void FtdiBackend::QueueSample(uint16_t port) {
    if (!open_ || port != kLptStatusPort) {
        queued_.push_back(false);
        return;
    }
    Put(kReadLow);
    ++asked_;
    queued_.push_back(true);
}

uint8_t FtdiBackend::ReadSample() {
    if (queued_.empty()) return kTdoHigh;
    const bool fromChip = queued_.front();
    queued_.pop_front();
    return fromChip ? Answer() : kTdoHigh;
}

uint8_t FtdiBackend::ReadRegister(uint16_t port) {
    if (!open_ || port != kLptStatusPort) return kTdoHigh;
    Put(kReadLow);
    ++asked_;
    Collect(); // the answers still queued come first and stay for ReadSample
    if (inbox_.empty()) return kTdoHigh;
    const uint8_t value = inbox_.back();
    inbox_.pop_back();
    return value;
}

// Sends what is buffered, with the answers asked for so far pushed on their way; waits for none.
void FtdiBackend::Flush() {
    if (asked_ > 0) {
        Put(kSendImmediate);
        pushed_ += asked_;
        asked_ = 0;
    }
    Send();
}

bool FtdiBackend::OpenFirst(FtdiDevice& device, std::string& error) {
    std::string why;
    for (const auto& [vid, pid] : options_.ids) {
        const FtdiTarget target{vid, pid, options_.serial, options_.channel};
        if (link_->Open(target, device)) {
            found_ = FtdiIdText(vid, pid) + " " + device.description + " " + Channel(options_);
            return true;
        }
        why = link_->ErrorText();
    }
    error = "no FTDI cable found: looked for " + IdsText(options_) + " (" + Channel(options_) +
            (options_.serial.empty() ? "" : ", serial " + options_.serial) + "): " + why +
            ". If the cable is plugged in, the user may not have access to it: install the "
            "udev rule 60-tapster-ftdi.rules (the tapster package does) or add the user to the "
            "plugdev group, then plug the cable in again.";
    return false;
}

// A bad opcode must come back as 0xFA and the opcode: the MPSSE is there and listening.
bool FtdiBackend::CheckMpsse(std::string& error) {
    out_ = {kBadOpcode, kSendImmediate};
    uint8_t answer[2] = {0, 0};
    if (Send() && Receive(2, answer) && answer[0] == kBadOpcodeAnswer && answer[1] == kBadOpcode)
        return true;
    error =
        "the FTDI chip " + found_ + " " +
        (answer[0] == 0 && answer[1] == 0 ? std::string("did not answer the MPSSE check")
                                          : "answered " + Hex2(answer[0]) + " " + Hex2(answer[1]) +
                                                " to a bad opcode, not FA AB") +
        ": is it an H-series chip (FT2232H, FT232H) whose interface no other program uses?";
    return false;
}

bool FtdiBackend::Acquire(std::string& error) {
    if (open_) return true;
    FtdiDevice device;
    found_.clear();
    if (!OpenFirst(device, error)) return false;
    open_ = true;
    lost_ = false;
    writeChunk_ = device.bufferSize > 0 ? device.bufferSize : 1;
    out_.clear();
    inbox_.clear();
    queued_.clear();
    asked_ = pushed_ = 0;
    if (!CheckMpsse(error)) {
        if (open_) link_->Close();
        open_ = false;
        lost_ = false;
        return false;
    }
    // The pins only: a 60 MHz base clock, no adaptive or three-phase clocking, no loop-back.
    for (uint8_t command : {kNoDivideBy5, kNoAdaptive, kNoThreePhase, kLoopbackOff})
        Put(command);
    return Send();
}

void FtdiBackend::Relinquish() {
    if (!open_) return;
    Flush();
    if (open_) link_->Close();
    open_ = false;
    out_.clear();
    inbox_.clear();
    queued_.clear();
    asked_ = pushed_ = 0;
}

} // namespace tapster
