// An ST20-C2 core that executes machine code. It decodes through the instruction table, reaches
// memory through a CoreBus (with direct pointers for plain RAM and ROM), keeps the C2's
// registers, traps and the two clocks, and counts cycles so time is derived from execution,
// never from the wall clock. The debug unit watches it through CoreObserver and acts on it with
// RequestTrap, SetStalled and Reset. Every value the manuals leave open is fixed in
// core_choices.h.
#pragma once

#include "st20/instruction_table.h"

#include <array>
#include <cstdint>
#include <optional>

namespace tapster::st20 {

// --- memory -----------------------------------------------------------------------------------

enum class Access : uint8_t {
    Fetch,  // instruction bytes
    Data,   // normal loads and stores (ldl, stnl, lb, ss, move, ...)
    Device, // dev* instructions: ordered, never cached, always through the bus
};

// A stretch of plain memory the core may read, and if `writable` write, without the bus.
struct DirectWindow {
    uint32_t base = 0;
    uint32_t size = 0; // 0: no window at that address
    uint8_t* data = nullptr;
    bool writable = false;
};

// The board's address space as the core sees it. `size` is 1, 2 or 4 and the address is aligned
// to it; values are little-endian in the low bits.
class CoreBus {
  public:
    virtual ~CoreBus() = default;
    virtual uint32_t Load(uint32_t address, uint32_t size, Access access) = 0;
    virtual void Store(uint32_t address, uint32_t size, uint32_t value, Access access) = 0;
    // The direct window holding `address`, if plain memory is there. The core caches windows it
    // is given until InvalidateWindows(); device accesses never use them.
    virtual DirectWindow Window(uint32_t address) {
        (void)address;
        return {};
    }
};

// --- watching -----------------------------------------------------------------------------------

// What the debug unit sees. Only the kinds selected in SetObserver's mask are called, so an
// unwatched core pays one flag test per instruction.
class CoreObserver {
  public:
    virtual ~CoreObserver() = default;
    // Before the instruction starting at `iptr` (its first prefix byte). Return false to stop
    // the core in front of it (Run returns StopReason::Stopped). RequestTrap from here takes the
    // trap in place of this instruction.
    virtual bool BeforeInstruction(uint32_t iptr) {
        (void)iptr;
        return true;
    }
    // After each normal or device data access by an instruction (not fetches, not the trap
    // mechanism's own accesses to the trap structures).
    virtual void DataAccess(uint32_t address, uint32_t size, bool write) {
        (void)address;
        (void)size;
        (void)write;
    }
    // After each taken control transfer by an instruction: j, cj taken, call, gcall, ret, lend
    // looping, tret. `from` is the address of the transferring instruction.
    virtual void Jump(uint32_t from, uint32_t to) {
        (void)from;
        (void)to;
    }
};

enum ObserveFlag : uint32_t {
    kObserveInstructions = 1u << 0,
    kObserveData = 1u << 1,
    kObserveJumps = 1u << 2,
};

// One executed instruction; the registers are the values after it ran.
struct TraceRecord {
    uint32_t iptr = 0; // address of its first byte (prefixes included)
    Op op = Op::opr;   // Op::opr with operand = the opr value for an illegal secondary
    int32_t operand = 0;
    uint32_t areg = 0, breg = 0, creg = 0, wptr = 0;
};

class CoreTrace {
  public:
    virtual ~CoreTrace() = default;
    virtual void Executed(const TraceRecord& record) = 0;
};

// --- traps ------------------------------------------------------------------------------------

enum class TrapGroup : uint8_t { Breakpoint = 0, Error = 1, System = 2, Scheduler = 3 };

// Bit numbers of the trap causes in Status and Enables.
namespace trap_cause {
inline constexpr uint32_t kBreakpoint = 0;
inline constexpr uint32_t kIntegerError = 1;
inline constexpr uint32_t kIntegerOverflow = 2;
inline constexpr uint32_t kIllegalOpcode = 3;
inline constexpr uint32_t kLoadTrap = 4;
inline constexpr uint32_t kStoreTrap = 5;
inline constexpr uint32_t kInternalChannel = 6;
inline constexpr uint32_t kExternalChannel = 7;
inline constexpr uint32_t kTimer = 8;
inline constexpr uint32_t kTimeslice = 9;
inline constexpr uint32_t kRun = 10;
inline constexpr uint32_t kSignal = 11;
inline constexpr uint32_t kProcessInterrupt = 12;
inline constexpr uint32_t kQueueEmpty = 13;
inline constexpr uint32_t kCauseError = 15; // Status only
} // namespace trap_cause

// The trap group a cause bit belongs to.
TrapGroup GroupOfCause(uint32_t causeBit);

inline constexpr uint32_t kTrapStructuresBase = 0x80000040;
inline constexpr uint32_t kMemStart = 0x80000140;
inline constexpr uint32_t kStatusValid = 1u << 31;
inline constexpr uint32_t kTrapEnableMask = 0x00003FFF; // Enables bits 13..0
inline constexpr uint32_t kGieShift = 16;               // Enables bits 23..16
inline constexpr uint32_t kGieMask = 0x00FF0000;

// The four-word handler structure (Enables, Status, Wptr, Iptr) of a group at a priority, and the
// trapped-process structure 0x10 above it.
constexpr uint32_t TrapHandlerAddress(uint32_t priority, TrapGroup group) {
    return kTrapStructuresBase + 0x80 * priority + 0x20 * static_cast<uint32_t>(group);
}
constexpr uint32_t TrappedProcessAddress(uint32_t priority, TrapGroup group) {
    return TrapHandlerAddress(priority, group) + 0x10;
}

// --- the core -----------------------------------------------------------------------------------

struct CoreConfig {
    uint32_t productId = 0;      // what ldprodid and lddevid push
    uint64_t cpuHz = 40'000'000; // cycles per second: the clocks tick from the cycle count
};

// Where the core starts after Reset (and reboot).
struct BootState {
    uint32_t iptr = 0;
    uint32_t wptr = 0;
    uint8_t priority = 1; // 0 high, 1 low
};

// The registers. The clock registers are not here: they follow the cycle count (ClockReg).
struct CoreState {
    uint32_t areg = 0, breg = 0, creg = 0;
    uint32_t oreg = 0; // zero between instructions
    uint32_t wptr = 0, iptr = 0;
    uint8_t priority = 1;              // 0 high, 1 low
    std::array<uint32_t, 2> status{};  // per priority
    std::array<uint32_t, 2> enables{}; // per priority: TrapEnables 13..0, GIE 23..16
    bool errorFlag = false;
    bool haltOnError = false;
    bool interruptsDisabled = false; // intdis / intenb
    uint32_t clockEnables = 0;       // bit 0 high-priority clock, bit 1 low-priority clock
    uint64_t cycles = 0;
};

enum class StopReason : uint8_t {
    Budget,        // the instruction or cycle budget is used up
    HaltedOnError, // an error with HaltOnError set
    IllegalOpcode, // an opcode not in the table and the IllegalOpcode trap not taken
    Waiting,       // tin: waiting for the clock (WakeCycle says until when)
    Stopped,       // the observer stopped it, or RequestStop
    Stalled,       // SetStalled(true)
};

struct Budget {
    uint64_t instructions = UINT64_MAX; // instructions executed plus traps taken
    uint64_t cycles = UINT64_MAX;
};

struct RunResult {
    uint64_t instructions = 0; // instructions completed
    uint64_t traps = 0;        // traps taken
    uint64_t cycles = 0;
    StopReason reason = StopReason::Budget;
};

class Core {
  public:
    Core(CoreBus& bus, CoreConfig config = {});
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    // Back to the boot state: registers, flags, clocks and every stop condition cleared.
    void Reset(const BootState& boot);

    // Executes until the budget is used or something stops it. While waiting in tin with a
    // finite cycle budget, time moves on to the wake-up or the end of the budget.
    RunResult Run(Budget budget);
    // One instruction, or one trap entry.
    RunResult Step();

    CoreState& State() { return state_; }
    const CoreState& State() const { return state_; }

    // The clock of a priority at the current cycle, and setting it (as stclock does).
    uint32_t ClockReg(uint32_t priority) const;
    void SetClockReg(uint32_t priority, uint32_t value);

    // tin: whether the core waits, the cycle it wakes at (none while the clock is stopped), and
    // moving time on to it bit-exactly (returns false when there is nothing to wake for).
    bool Waiting() const { return waiting_; }
    std::optional<uint64_t> WakeCycle() const;
    bool SkipToWake();

    // The debug unit's controls. A requested trap is taken at the next instruction boundary in
    // place of the instruction there (the trapped Iptr is that instruction), with `causeBit` set
    // in the trapped Status; it also ends a halt, an illegal-opcode stop or a tin wait.
    void RequestTrap(TrapGroup group, uint32_t causeBit);
    bool TrapRequested() const { return requestPending_; }
    void SetStalled(bool stalled);
    bool Stalled() const { return stalled_; }
    // Stops Run after the current instruction (callable from observer and trace callbacks).
    void RequestStop() { attention_ |= kAttnStopRequest; }

    // Why the core does not execute, if it is halted or stopped on an illegal opcode.
    std::optional<StopReason> Stop() const { return stop_; }

    void SetObserver(CoreObserver* observer, uint32_t mask);
    void SetTrace(CoreTrace* trace);

    // Forget cached direct windows (the board remapped memory).
    void InvalidateWindows();

    const CoreConfig& Config() const { return config_; }
    const BootState& Boot() const { return boot_; }

    // The implementation's internals (core_impl.h), not for users of the core.
    struct Impl;
    friend struct Impl;

  private:
    // Reasons for the run loop to leave its fast path; zero while plain execution goes on.
    enum Attention : uint32_t {
        kAttnTrap = 1u << 0,        // a requested or raised trap waits for the boundary
        kAttnStop = 1u << 1,        // halted or stopped on an illegal opcode (stop_)
        kAttnWaiting = 1u << 2,     // tin
        kAttnStalled = 1u << 3,     // SetStalled(true)
        kAttnStopRequest = 1u << 4, // RequestStop()
        kAttnHooks = 1u << 5,       // an observer kind or the trace is active
        kAttnPrefix = 1u << 6,      // a long prefix run continues in the next step
    };

    CoreBus& bus_;
    CoreConfig config_;
    BootState boot_;
    CoreState state_;

    uint32_t attention_ = 0;
    bool requestPending_ = false;
    TrapGroup requestGroup_ = TrapGroup::Breakpoint;
    uint32_t requestCause_ = 0;
    uint32_t pendingTraps_ = 0; // cause bits raised by instructions, taken at the next boundary
    std::optional<StopReason> stop_;
    bool stalled_ = false;
    bool waiting_ = false;
    uint32_t wakeTime_ = 0;    // tin's time while waiting
    uint32_t prefixStart_ = 0; // first byte of an instruction whose prefixes span steps

    CoreObserver* observer_ = nullptr;
    CoreTrace* trace_ = nullptr;
    uint32_t observeMask_ = 0;
    Op lastOp_ = Op::opr; // for the trace
    int32_t lastOperand_ = 0;

    // The clocks: ClockReg[p] = clockBase_[p] + ticks since clockSync_[p] while enabled.
    std::array<uint32_t, 2> clockBase_{};
    std::array<uint64_t, 2> clockSync_{};

    // Cached direct windows: instruction fetch, data loads, data stores (writable only).
    DirectWindow fetchWindow_;
    DirectWindow loadWindow_;
    DirectWindow storeWindow_;
};

} // namespace tapster::st20
