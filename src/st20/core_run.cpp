// The run loop, instruction decoding and the primary instructions: the hot path, kept in one
// file so the compiler can inline it.
#include "st20/core.h"

#include "st20/core_impl.h"

#include <algorithm>

namespace tapster::st20 {

namespace {

using Impl = Core::Impl;

uint32_t Word(int32_t n) {
    return static_cast<uint32_t>(n) * 4u;
}

} // namespace

template <bool kHooked> bool Core::Impl::Execute(Core& c) {
    CoreState& s = c.state_;
    uint32_t ip = s.iptr;
    uint32_t start = ip;
    uint32_t oreg = 0;
    if (c.attention_ & Core::kAttnPrefix) [[unlikely]] {
        start = c.prefixStart_;
        oreg = s.oreg;
        c.attention_ &= ~Core::kAttnPrefix;
    }
    for (uint32_t prefixes = 0;; ++prefixes) {
        const uint8_t byte = Impl::Fetch(c, ip++);
        oreg |= byte & 0xFu;
        const Op op = kDecode.primary[byte >> 4];
        if (op == Op::pfix) {
            oreg <<= 4;
        } else if (op == Op::nfix) {
            oreg = ~oreg << 4;
        } else {
            s.iptr = ip;
            s.oreg = 0;
            s.cycles += prefixes * choice::kPrefixCycles;
            if constexpr (kHooked) {
                c.lastOp_ = op;
                c.lastOperand_ = static_cast<int32_t>(oreg);
            }
            Primary(c, op, oreg, start);
            return true;
        }
        if (prefixes + 1 >= choice::kMaxPrefixesPerStep) [[unlikely]] {
            s.cycles += (prefixes + 1) * choice::kPrefixCycles;
            s.iptr = ip;
            s.oreg = oreg;
            c.prefixStart_ = start;
            c.attention_ |= Core::kAttnPrefix;
            return false;
        }
    }
}

void Core::Impl::Primary(Core& c, Op op, uint32_t oreg, uint32_t start) {
    CoreState& s = c.state_;
    const int32_t n = static_cast<int32_t>(oreg);
    s.cycles += kBaseCycles[static_cast<size_t>(op)];
    switch (op) {
    case Op::j:
        if (n == 0) {
            // The breakpoint instruction: the trap keeps A, B, C; without it, a plain j.
            if (Impl::TrapAvailable(c, trap_cause::kBreakpoint)) {
                Impl::Raise(c, trap_cause::kBreakpoint);
                return;
            }
            Impl::UndefineAbc(s);
            return;
        }
        Impl::UndefineAbc(s);
        s.iptr += oreg;
        Impl::NoteJump(c, start, s.iptr);
        return;
    case Op::ldlp:
        Impl::Push(s, s.wptr + Word(n));
        return;
    case Op::ldnl:
        s.areg = Impl::Load(c, s.areg + Word(n), 4);
        return;
    case Op::ldc:
        Impl::Push(s, oreg);
        return;
    case Op::ldnlp:
        s.areg += Word(n);
        return;
    case Op::ldl:
        Impl::Push(s, Impl::Load(c, s.wptr + Word(n), 4));
        return;
    case Op::adc: {
        int32_t r;
        const bool overflow = __builtin_add_overflow(static_cast<int32_t>(s.areg), n, &r);
        s.areg = static_cast<uint32_t>(r);
        if (overflow) [[unlikely]]
            Impl::RaiseError(c, trap_cause::kIntegerOverflow);
        return;
    }
    case Op::call: {
        const uint32_t w = s.wptr - 16;
        Impl::Store(c, w, 4, s.iptr);
        Impl::Store(c, w + 4, 4, s.areg);
        Impl::Store(c, w + 8, 4, s.breg);
        Impl::Store(c, w + 12, 4, s.creg);
        s.wptr = w;
        s.areg = s.iptr;
        s.breg = s.creg = choice::kUndefined;
        s.iptr += oreg;
        Impl::NoteJump(c, start, s.iptr);
        return;
    }
    case Op::cj:
        if (s.areg == 0) {
            s.iptr += oreg;
            s.cycles += choice::kCjTakenExtra;
            Impl::NoteJump(c, start, s.iptr);
        } else {
            Impl::Pop(s);
        }
        return;
    case Op::ajw:
        s.wptr += Word(n);
        return;
    case Op::eqc:
        s.areg = s.areg == oreg ? 1 : 0;
        return;
    case Op::stl:
        Impl::Store(c, s.wptr + Word(n), 4, s.areg);
        Impl::Pop(s);
        return;
    case Op::stnl:
        Impl::Store(c, s.areg + Word(n), 4, s.breg);
        s.areg = s.creg;
        s.breg = s.creg = choice::kUndefined;
        return;
    case Op::opr: {
        const uint8_t code = SecondaryOp(oreg);
        if (code == DecodeTables::kIllegal) [[unlikely]] {
            Impl::Illegal(c, start);
            return;
        }
        const Op sec = static_cast<Op>(code);
        c.lastOp_ = sec;
        s.cycles += kBaseCycles[code];
        Impl::Secondary(c, sec, start);
        return;
    }
    default: // pfix and nfix never get here
        return;
    }
}

RunResult Core::Run(Budget budget) {
    RunResult r;
    const uint64_t first = state_.cycles;
    const uint64_t cycleLimit =
        budget.cycles > UINT64_MAX - first ? UINT64_MAX : first + budget.cycles;
    uint64_t units = 0;
    auto finish = [&](StopReason why) {
        r.reason = why;
        r.cycles = state_.cycles - first;
        return r;
    };
    for (;;) {
        if (attention_ & ~kAttnHooks) {
            if (attention_ & kAttnStalled) return finish(StopReason::Stalled);
            if (attention_ & kAttnStopRequest) {
                attention_ &= ~kAttnStopRequest;
                return finish(StopReason::Stopped);
            }
            if (units >= budget.instructions || state_.cycles >= cycleLimit)
                return finish(StopReason::Budget);
            if (attention_ & kAttnPrefix) {
                // The rest of a long prefix run: no boundary, so no observer and no trap here.
                const uint32_t iptr = prefixStart_;
                ++units;
                if (Impl::Execute<true>(*this)) {
                    ++r.instructions;
                    if (trace_)
                        trace_->Executed({iptr, lastOp_, lastOperand_, state_.areg, state_.breg,
                                          state_.creg, state_.wptr});
                }
                continue;
            }
            if ((attention_ & kAttnTrap) && Impl::TakeTraps(*this)) {
                ++r.traps;
                ++units;
                continue;
            }
            if (attention_ & kAttnStop) return finish(*stop_);
            if (attention_ & kAttnWaiting) {
                if (!Impl::Wait(*this, cycleLimit)) return finish(StopReason::Waiting);
                continue;
            }
        }
        if (units >= budget.instructions || state_.cycles >= cycleLimit)
            return finish(StopReason::Budget);
        if (attention_ & kAttnHooks) {
            const uint32_t iptr = state_.iptr;
            if (observeMask_ & kObserveInstructions) {
                if (!observer_->BeforeInstruction(iptr)) return finish(StopReason::Stopped);
                if (attention_ & kAttnTrap) continue; // a trap in place of this instruction
            }
            const bool done = Impl::Execute<true>(*this);
            ++units;
            if (done) {
                ++r.instructions;
                if (trace_)
                    trace_->Executed({iptr, lastOp_, lastOperand_, state_.areg, state_.breg,
                                      state_.creg, state_.wptr});
            }
            continue;
        }
        // The fast path: plain execution until something needs attention.
        const uint64_t n = budget.instructions - units;
        uint64_t done = 0;
        while (done < n && state_.cycles < cycleLimit) {
            Impl::Execute<false>(*this);
            ++done;
            if (attention_) break;
        }
        units += done;
        r.instructions += done;
        if (attention_ & kAttnPrefix) --r.instructions; // counted when it completes
    }
}

RunResult Core::Step() {
    return Run(Budget{1, UINT64_MAX});
}

} // namespace tapster::st20
