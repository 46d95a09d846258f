// Secondary instructions on the evaluation stack and memory: arithmetic (checked, modulo and
// long), logic, shifts, byte and 16-bit access, device access, move and the flow secondaries.
#include "st20/core.h"

#include "st20/core_impl.h"

#include <algorithm>

namespace tapster::st20 {

namespace {

using Impl = Core::Impl;

int32_t I(uint32_t v) {
    return static_cast<int32_t>(v);
}
uint32_t U(int64_t v) {
    return static_cast<uint32_t>(static_cast<uint64_t>(v));
}

void Checked(Core& c, int64_t wide) {
    Impl::Binary(c.State(), U(wide));
    if (wide < INT32_MIN || wide > INT32_MAX) [[unlikely]]
        Impl::RaiseError(c, trap_cause::kIntegerOverflow);
}

void Range(Core& c, bool inRange) {
    if (!inRange) Impl::RaiseError(c, trap_cause::kIntegerError);
}

uint32_t SignExtend8(uint32_t v) {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v)));
}
uint32_t SignExtend16(uint32_t v) {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
}

// (hi:lo) shifted; 64 and more give zero.
uint64_t LongShift(uint32_t hi, uint32_t lo, uint32_t shift, bool left) {
    const uint64_t v = static_cast<uint64_t>(hi) << 32 | lo;
    if (shift >= 64) return choice::kShiftOutResult;
    return left ? v << shift : v >> shift;
}

// A "store B at A, then A <- C" instruction.
void StoreShape(CoreState& s) {
    s.areg = s.creg;
    s.breg = s.creg = choice::kUndefined;
}

} // namespace

void Core::Impl::Secondary(Core& c, Op op, uint32_t start) {
    CoreState& s = c.state_;
    const uint32_t a = s.areg, b = s.breg, cr = s.creg;
    switch (op) {
    // --- stack and arithmetic -------------------------------------------------------------------
    case Op::rev:
        s.areg = b;
        s.breg = a;
        return;
    case Op::dup:
        Push(s, a);
        return;
    case Op::pop:
        Pop(s);
        return;
    case Op::mint:
        Push(s, 0x80000000u);
        return;
    case Op::bsub:
        Binary(s, a + b);
        return;
    case Op::ssub:
        Binary(s, a + 2 * b);
        return;
    case Op::wsub:
        Binary(s, a + 4 * b);
        return;
    case Op::wsubdb:
        Binary(s, a + 8 * b);
        return;
    case Op::bcnt:
        s.areg = a * 4;
        return;
    case Op::wcnt:
        s.creg = b;
        s.breg = a & 3;
        s.areg = static_cast<uint32_t>(I(a) >> 2);
        return;
    case Op::diff:
        Binary(s, b - a);
        return;
    case Op::sum:
        Binary(s, b + a);
        return;
    case Op::prod:
        Binary(s, a * b);
        return;
    case Op::add:
        Checked(c, int64_t{I(b)} + I(a));
        return;
    case Op::sub:
        Checked(c, int64_t{I(b)} - I(a));
        return;
    case Op::mul:
        Checked(c, int64_t{I(b)} * I(a));
        return;
    case Op::gt:
        Binary(s, I(b) > I(a) ? 1 : 0);
        return;
    case Op::gtu:
        Binary(s, b > a ? 1 : 0);
        return;
    case Op::xdble:
        s.creg = b;
        s.breg = I(a) < 0 ? 0xFFFFFFFFu : 0;
        return;
    case Op::ladd:
        Checked(c, int64_t{I(b)} + I(a) + (cr & 1));
        s.breg = choice::kUndefined;
        return;
    case Op::lsub:
        Checked(c, int64_t{I(b)} - I(a) - (cr & 1));
        s.breg = choice::kUndefined;
        return;
    case Op::lsum: {
        const uint64_t sum = uint64_t{a} + b + (cr & 1);
        s.areg = static_cast<uint32_t>(sum);
        s.breg = static_cast<uint32_t>(sum >> 32);
        s.creg = choice::kUndefined;
        return;
    }
    case Op::ldiff: {
        const uint64_t diff = uint64_t{b} - a - (cr & 1);
        s.areg = static_cast<uint32_t>(diff);
        s.breg = (diff >> 63) != 0 ? 1 : 0;
        s.creg = choice::kUndefined;
        return;
    }
    case Op::lmul: {
        const uint64_t product = uint64_t{b} * a + cr;
        s.areg = static_cast<uint32_t>(product);
        s.breg = static_cast<uint32_t>(product >> 32);
        s.creg = choice::kUndefined;
        return;
    }
    // --- logic and shifts ---------------------------------------------------------------------
    case Op::not_:
        s.areg = ~a;
        return;
    case Op::and_:
        Binary(s, b & a);
        return;
    case Op::or_:
        Binary(s, b | a);
        return;
    case Op::xor_:
        Binary(s, b ^ a);
        return;
    case Op::shl:
        Binary(s, a < 32 ? b << a : choice::kShiftOutResult);
        return;
    case Op::shr:
        Binary(s, a < 32 ? b >> a : choice::kShiftOutResult);
        return;
    case Op::lshl:
    case Op::lshr: {
        const uint64_t v = LongShift(cr, b, a, op == Op::lshl);
        s.areg = static_cast<uint32_t>(v);
        s.breg = static_cast<uint32_t>(v >> 32);
        s.creg = choice::kUndefined;
        return;
    }
    // --- byte and 16-bit values ---------------------------------------------------------------
    case Op::xbword:
        s.areg = SignExtend8(a);
        return;
    case Op::xsword:
        s.areg = SignExtend16(a);
        return;
    case Op::cb:
        Range(c, I(a) >= -128 && I(a) <= 127);
        return;
    case Op::cbu:
        Range(c, a <= 0xFF);
        return;
    case Op::cs:
        Range(c, I(a) >= -32768 && I(a) <= 32767);
        return;
    case Op::csu:
        Range(c, a <= 0xFFFF);
        return;
    // --- memory -------------------------------------------------------------------------------
    case Op::lb:
        s.areg = Load(c, a, 1);
        return;
    case Op::lbx:
        s.areg = SignExtend8(Load(c, a, 1));
        return;
    case Op::ls:
        s.areg = Load(c, a, 2);
        return;
    case Op::lsx:
        s.areg = SignExtend16(Load(c, a, 2));
        return;
    case Op::sb:
        Store(c, a, 1, b & 0xFF);
        StoreShape(s);
        return;
    case Op::ss:
        Store(c, a, 2, b & 0xFFFF);
        StoreShape(s);
        return;
    case Op::devlb:
        s.areg = DeviceLoad(c, a, 1);
        return;
    case Op::devls:
        s.areg = DeviceLoad(c, a, 2);
        return;
    case Op::devlw:
        s.areg = DeviceLoad(c, a, 4);
        return;
    case Op::devsb:
        DeviceStore(c, a, 1, b & 0xFF);
        StoreShape(s);
        return;
    case Op::devss:
        DeviceStore(c, a, 2, b & 0xFFFF);
        StoreShape(s);
        return;
    case Op::devsw:
        DeviceStore(c, a, 4, b);
        StoreShape(s);
        return;
    case Op::move:
        Move(c, start);
        return;
    // --- flow ---------------------------------------------------------------------------------
    case Op::ldpi:
        s.areg = s.iptr + a;
        return;
    case Op::gcall:
        s.areg = s.iptr;
        s.iptr = a;
        NoteJump(c, start, s.iptr);
        return;
    case Op::ret:
        s.iptr = Load(c, s.wptr, 4);
        s.wptr += 16;
        NoteJump(c, start, s.iptr);
        return;
    case Op::gajw:
        s.areg = s.wptr;
        s.wptr = a & ~3u;
        return;
    case Op::lend: {
        const uint32_t count = Load(c, b + 4, 4) - 1;
        Store(c, b + 4, 4, count);
        if (I(count) > 0) {
            Store(c, b, 4, Load(c, b, 4) + 1);
            s.iptr -= a;
            s.cycles += choice::kLendLoopExtra;
            NoteJump(c, start, s.iptr);
        }
        UndefineAbc(s);
        return;
    }
    default:
        System(c, op, start);
        return;
    }
}
// Copies forward, byte by byte; a long move continues in the next step with the registers
// advanced, so it stays interruptible and bounded per step.
void Core::Impl::Move(Core& c, uint32_t start) {
    CoreState& s = c.State();
    const int32_t length = I(s.areg);
    if (length <= 0) {
        s.cycles += choice::kMoveBaseCycles;
        Impl::UndefineAbc(s);
        return;
    }
    const uint32_t count =
        std::min<uint32_t>(static_cast<uint32_t>(length), choice::kMoveChunkBytes);
    const uint32_t src = s.creg;
    const uint32_t dst = s.breg;
    const bool observed = (c.observeMask_ & kObserveData) != 0;
    if (!observed && Impl::Holds(c.loadWindow_, src, count) &&
        Impl::Holds(c.storeWindow_, dst, count)) {
        const uint8_t* from = c.loadWindow_.data + (src - c.loadWindow_.base);
        uint8_t* to = c.storeWindow_.data + (dst - c.storeWindow_.base);
        for (uint32_t i = 0; i < count; ++i)
            to[i] = from[i];
    } else {
        for (uint32_t i = 0; i < count; ++i)
            Impl::Store(c, dst + i, 1, Impl::Load(c, src + i, 1));
    }
    s.cycles += (count + 3) / 4;
    if (count < static_cast<uint32_t>(length)) {
        s.areg -= count;
        s.breg += count;
        s.creg += count;
        s.iptr = start;
        return;
    }
    s.cycles += choice::kMoveBaseCycles;
    Impl::UndefineAbc(s);
}

} // namespace tapster::st20
