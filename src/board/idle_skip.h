// Moves time on through a loop that changes nothing, bit for bit as running it would. While it
// watches, the core stops at every backward jump (a loop head). When two passes through the
// same head in a row leave every register as it was (all but the cycle count), wrote the same
// values to the same plain RAM, made no other data access and used nothing that depends on
// time (clock, timer, timeslice), then each further pass does exactly the same: the whole passes
// that fit before the target are skipped by adding their cycles. The DCU's trace registers,
// which show the last jump and the last data access, are those of every pass.
#pragma once

#include "board/core_bus.h"
#include "st20/core.h"

#include <cstdint>
#include <vector>

namespace tapster::board {

class IdleSkip final : public st20::CoreTrace {
  public:
    IdleSkip(st20::Core& core, MemoryMap& memory, CoreBusAdapter& bus)
        : core_(core), memory_(memory), bus_(bus) {}

    // Runs the core toward `targetCycles` while it watches; returns after a skip or when the
    // loop turns out not to be idle. `restoreTrace` is the trace to put back afterwards.
    void Try(uint64_t targetCycles, st20::CoreTrace* restoreTrace);
    bool Watching() const { return watching_; }

    // Fed by the CPU's observer while watching.
    void Jumped(uint32_t from, uint32_t to);
    void Accessed(uint32_t address, uint32_t size, bool write);
    void Executed(const st20::TraceRecord& record) override;

    uint64_t SkippedCycles() const { return skipped_; }

  private:
    struct Write {
        uint32_t address, size, value;
        bool operator==(const Write&) const = default;
    };
    struct Pass {
        st20::CoreState state;
        std::vector<Write> writes;
        bool clean = false;
    };
    static bool SameRegisters(const st20::CoreState& a, const st20::CoreState& b);

    st20::Core& core_;
    MemoryMap& memory_;
    CoreBusAdapter& bus_;
    bool watching_ = false;
    bool atHead_ = false;
    bool clean_ = true;
    std::vector<Write> writes_;
    uint64_t skipped_ = 0;
};

} // namespace tapster::board
