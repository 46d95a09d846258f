// The core's internals shared by its source files: decoding from the instruction table, the
// evaluation stack, memory through the cached direct windows, and the entry points of the
// instruction groups. Not part of the library's interface.
#pragma once

#include "st20/core.h"
#include "st20/core_choices.h"
#include "st20/core_cycles.h"

#include <array>
#include <cstdint>

namespace tapster::st20 {

// The table's opcodes as direct lookups for the decoder, built once from FindPrimary and
// FindSecondary so no opcode number is written here.
struct DecodeTables {
    static constexpr uint8_t kIllegal = 0xFF;
    static constexpr int32_t kRange = 0x200; // opr values -kRange .. kRange-1 are indexed
    std::array<Op, 16> primary{};
    std::array<uint8_t, kRange> positive{}; // Op of opr value v, or kIllegal
    std::array<uint8_t, kRange> negative{}; // Op of opr value -1-v, or kIllegal
};
extern const DecodeTables kDecode;

// The Op of a secondary operand, or DecodeTables::kIllegal.
inline uint8_t SecondaryOp(uint32_t oreg) {
    const int32_t v = static_cast<int32_t>(oreg);
    if (v >= 0 && v < DecodeTables::kRange) return kDecode.positive[static_cast<size_t>(v)];
    if (v < 0 && v >= -DecodeTables::kRange) return kDecode.negative[static_cast<size_t>(-1 - v)];
    return DecodeTables::kIllegal;
}

struct Core::Impl {
    // --- evaluation stack -----------------------------------------------------------------------
    static void Push(CoreState& s, uint32_t v) {
        s.creg = s.breg;
        s.breg = s.areg;
        s.areg = v;
    }
    static void Pop(CoreState& s) {
        s.areg = s.breg;
        s.breg = s.creg;
        s.creg = choice::kUndefined;
    }
    // A <- v, B <- C, C undefined: the common "two in, one out" shape.
    static void Binary(CoreState& s, uint32_t v) {
        s.areg = v;
        s.breg = s.creg;
        s.creg = choice::kUndefined;
    }
    static void UndefineAbc(CoreState& s) { s.areg = s.breg = s.creg = choice::kUndefined; }

    // --- memory ---------------------------------------------------------------------------------
    static uint32_t Pack(const uint8_t* p, uint32_t size) {
        if (size == 1) return p[0];
        if (size == 2) return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    static void Unpack(uint8_t* p, uint32_t size, uint32_t v) {
        p[0] = static_cast<uint8_t>(v);
        if (size == 1) return;
        p[1] = static_cast<uint8_t>(v >> 8);
        if (size == 2) return;
        p[2] = static_cast<uint8_t>(v >> 16);
        p[3] = static_cast<uint8_t>(v >> 24);
    }
    static bool Holds(const DirectWindow& w, uint32_t address, uint32_t size) {
        const uint32_t off = address - w.base;
        return off < w.size && w.size - off >= size;
    }

    static uint8_t Fetch(Core& c, uint32_t address) {
        const uint32_t off = address - c.fetchWindow_.base;
        if (off < c.fetchWindow_.size) return c.fetchWindow_.data[off];
        return SlowFetch(c, address);
    }
    static uint8_t SlowFetch(Core& c, uint32_t address);

    // Normal data loads and stores by instructions; `size` 1, 2 or 4, aligned here.
    static uint32_t Load(Core& c, uint32_t address, uint32_t size) {
        address &= ~(size - 1);
        uint32_t v;
        if (Holds(c.loadWindow_, address, size))
            v = Pack(c.loadWindow_.data + (address - c.loadWindow_.base), size);
        else
            v = SlowLoad(c, address, size, Access::Data);
        if (c.observeMask_ & kObserveData) c.observer_->DataAccess(address, size, false);
        return v;
    }
    static void Store(Core& c, uint32_t address, uint32_t size, uint32_t v) {
        address &= ~(size - 1);
        if (Holds(c.storeWindow_, address, size))
            Unpack(c.storeWindow_.data + (address - c.storeWindow_.base), size, v);
        else
            SlowStore(c, address, size, v, Access::Data);
        if (c.observeMask_ & kObserveData) c.observer_->DataAccess(address, size, true);
    }
    // dev* accesses: always the bus, as device accesses.
    static uint32_t DeviceLoad(Core& c, uint32_t address, uint32_t size);
    static void DeviceStore(Core& c, uint32_t address, uint32_t size, uint32_t v);
    // Words of the trap structures and the workspace as the processor itself uses them: not
    // reported to the observer.
    static uint32_t SystemLoad(Core& c, uint32_t address);
    static void SystemStore(Core& c, uint32_t address, uint32_t v);

    static uint32_t SlowLoad(Core& c, uint32_t address, uint32_t size, Access access);
    static void SlowStore(Core& c, uint32_t address, uint32_t size, uint32_t v, Access access);

    // --- flow -----------------------------------------------------------------------------------
    static void NoteJump(Core& c, uint32_t from, uint32_t to) {
        if (c.observeMask_ & kObserveJumps) c.observer_->Jump(from, to);
    }

    // --- execution (core_run.cpp) ---------------------------------------------------------------
    // One instruction: its prefixes, then the function. False when a long prefix run continues
    // in the next step.
    template <bool kHooked> static bool Execute(Core& c);
    static void Primary(Core& c, Op op, uint32_t oreg, uint32_t start);

    // --- instruction groups (core_secondary.cpp, core_system.cpp, core_timers.cpp) --------------
    // `start` is the instruction's first byte; Iptr already points past it.
    static void Secondary(Core& c, Op op, uint32_t start);
    static void System(Core& c, Op op, uint32_t start);
    static void Timer(Core& c, Op op);
    static void Illegal(Core& c, uint32_t start);
    static void Move(Core& c, uint32_t start);

    // --- errors and traps (core_traps.cpp) ------------------------------------------------------
    // An error condition of an instruction: the trap when enabled and installed, else ErrorFlag
    // (and a halt with HaltOnError).
    static void RaiseError(Core& c, uint32_t causeBit);
    // Whether a trap of this cause would be taken now (enabled and its handler installed).
    static bool TrapAvailable(Core& c, uint32_t causeBit);
    // Marks a trap to be taken at the next boundary.
    static void Raise(Core& c, uint32_t causeBit);
    // At an instruction boundary: takes the debug unit's request or the lowest enabled raised
    // trap. True when a trap was entered.
    static bool TakeTraps(Core& c);
    static bool Enter(Core& c, TrapGroup group, uint32_t statusBits);
    static void Tret(Core& c, uint32_t start);
    static void Halt(Core& c);
    // Recomputes the attention bit for raised traps after Enables changed.
    static void EnablesChanged(Core& c);

    // --- timers (core_timers.cpp) ---------------------------------------------------------------
    static void Tin(Core& c);
    static void StartWait(Core& c, uint32_t time);
    // Time passes while waiting: true when the wait ended before `cycleLimit`.
    static bool Wait(Core& c, uint64_t cycleLimit);
    static void SyncClocks(Core& c);
};

} // namespace tapster::st20
