// The simulated board behind the parallel port's registers. It sees only the bytes written to
// the data register (0x378) and answers reads of the status register (0x379):
//   data bit 0 TMS, bit 1 TCK, bit 2 TDI, bit 3 the control line (low: TAP held in
//   Test-Logic-Reset, debug link idle, target in reset);
//   status bit 4 (0x10) TDO; the other status bits always read kLptStatusIdle's pattern.
// TMS and TDI are taken on the rising TCK edge and TDO changes on the falling edge, so a host
// that samples before raising TCK sees the bit of the previous clock. Outside Shift-IR and
// Shift-DR (and while the control line is low) TDO floats and reads 1.
//
// Instructions (5 bits, Capture-IR loads 0b00001): 0x02 IDCODE (selected by Test-Logic-Reset),
// 0x10 the debug link (debug_link.h), every other code BYPASS.
//
// Nothing here depends on time; the host's clock speed reaches the board only through
// NoteHostDelay (see there).
#pragma once

#include "board/board_config.h"
#include "board/debug_link.h"
#include "board/memory_map.h"
#include "board/tap_controller.h"
#include "board/target_bus.h"
#include "port/lpt_registers.h"
#include "port/port_backend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tapster::board {

constexpr uint16_t kDataPort = kLptDataPort;
constexpr uint16_t kStatusPort = kLptStatusPort;

constexpr uint8_t kIrCapture = 0b00001;
constexpr uint8_t kIdcodeInstruction = 0x02;
constexpr uint8_t kLinkInstruction = 0x10;
constexpr uint8_t kBypassInstruction = 0x1F;
constexpr uint32_t kSti5510Idcode = 0x2D4CD041;
constexpr uint32_t kSti5512Idcode = 0x5D406041;

// An active part of the board (DCU and CPU, flash chip) that the board owns.
class BoardPart {
  public:
    virtual ~BoardPart() = default;
};

class Board final : public PortBackend {
  public:
    enum class Parts { Attach, None };

    // Parts::Attach lets AttachTargetParts (target_parts.h) add the active parts; Parts::None
    // gives the bare board: cable, TAP, link and memories only.
    explicit Board(BoardConfig config = BoardConfig{}, Parts parts = Parts::Attach);
    ~Board() override;
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // PortBackend.
    void WriteRegister(uint16_t port, uint8_t value) override;
    uint8_t ReadRegister(uint16_t port) override;
    std::string Name() const override { return "simulated board"; }

    // The extension points for the active parts.
    TargetBus& Bus() { return memory_; }
    MemoryMap& Memory() { return memory_; }
    // Devices take precedence over the board's memories (and over earlier devices).
    void Map(uint32_t base, uint32_t size, MappedDevice* device) {
        memory_.Map(base, size, device);
    }
    void AddObserver(LinkObserver* observer);
    BoardPart& AddPart(std::unique_ptr<BoardPart> part);
    // The configuration in force; idcode is the effective one (derived from cpu).
    const BoardConfig& Config() const { return config_; }

    // Simulation aid: the host's current JtagDelay (the front end calls this whenever the delay
    // slider moves). The board cannot see how long TCK stays high, so a cable fault that depends
    // on it (faults.minWorkingDelay) needs to be told. Below the minimum, TDO has not settled
    // when the host samples it: the host reads the bit of one clock earlier.
    void NoteHostDelay(int32_t jtagDelay) { hostDelay_ = jtagDelay; }
    // Switches the faults at run time.
    void SetFaults(const FaultConfig& faults);
    // Test hook: the length byte of every later read reply (0x00, meaning 256 bytes, by default).
    void ForceReplyLength(uint8_t lengthByte) { link_.SetReplyLengthByte(lengthByte); }

    // For observers and diagnostics.
    bool ControlLineHigh() const { return controlHigh_; }
    TapState State() const { return state_; }
    uint8_t Instruction() const { return instruction_; }
    uint64_t TckCount() const { return clocks_; }

  private:
    enum class Selected : uint8_t { Idcode, Bypass, Link };

    void RisingEdge(bool tms, bool tdi);
    void FallingEdge();
    void ControlLineChanged(bool high);
    void SelectInstruction(uint8_t code);
    bool ClockedFaults(bool tdo);
    void UpdateFaultState();

    BoardConfig config_;
    MemoryMap memory_;
    std::vector<LinkObserver*> observers_;
    DebugLink link_;

    // Cable.
    uint8_t data_ = 0;
    bool controlHigh_ = false;
    uint8_t status_ = 0;
    uint8_t statusTdoHigh_ = 0; // what a TDO of 1 reads as, after the static faults
    uint8_t statusTdoLow_ = 0;

    // TAP.
    TapState state_ = TapState::TestLogicReset;
    uint8_t instruction_ = kIdcodeInstruction;
    Selected selected_ = Selected::Idcode;
    uint8_t irShift_ = 0;
    uint32_t drShift_ = 0;
    bool bypass_ = false;
    uint32_t idcode_ = 0;
    uint64_t clocks_ = 0;

    // Faults that act clock by clock.
    bool clockedFaults_ = false;
    int32_t hostDelay_ = 0;
    bool unsettledTdo_ = false; // the previous clock's TDO, for a too fast host
    uint32_t flipCounter_ = 0;
    bool toggle_ = false;

    // Last, so the parts go first and find the board whole while they are destroyed.
    std::vector<std::unique_ptr<BoardPart>> parts_;
};

} // namespace tapster::board
