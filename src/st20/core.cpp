#include "st20/core.h"

#include "st20/core_impl.h"

namespace tapster::st20 {

namespace {

DecodeTables BuildDecodeTables() {
    DecodeTables t;
    for (uint32_t fn = 0; fn < 16; ++fn)
        t.primary[fn] = FindPrimary(fn)->op;
    t.positive.fill(DecodeTables::kIllegal);
    t.negative.fill(DecodeTables::kIllegal);
    for (int32_t v = 0; v < DecodeTables::kRange; ++v) {
        if (const InstructionInfo* row = FindSecondary(v))
            t.positive[static_cast<size_t>(v)] = static_cast<uint8_t>(row->op);
        if (const InstructionInfo* row = FindSecondary(-1 - v))
            t.negative[static_cast<size_t>(v)] = static_cast<uint8_t>(row->op);
    }
    return t;
}

} // namespace

const DecodeTables kDecode = BuildDecodeTables();

TrapGroup GroupOfCause(uint32_t causeBit) {
    if (causeBit == trap_cause::kBreakpoint) return TrapGroup::Breakpoint;
    if (causeBit <= trap_cause::kIntegerOverflow) return TrapGroup::Error;
    if (causeBit <= trap_cause::kStoreTrap) return TrapGroup::System;
    return TrapGroup::Scheduler;
}

Core::Core(CoreBus& bus, CoreConfig config) : bus_(bus), config_(config) {
    if (config_.cpuHz == 0) config_.cpuHz = CoreConfig{}.cpuHz;
    Reset(BootState{0, 0, choice::kBootPriority});
}

Core::~Core() = default;

void Core::Reset(const BootState& boot) {
    const uint64_t cycles = state_.cycles;
    boot_ = boot;
    boot_.priority &= 1;
    state_ = CoreState{};
    state_.cycles = cycles;
    state_.iptr = boot.iptr;
    state_.wptr = boot.wptr;
    state_.priority = boot_.priority;
    state_.status = {choice::kResetStatus, choice::kResetStatus};
    state_.enables = {choice::kResetEnables, choice::kResetEnables};
    state_.clockEnables = choice::kResetClockEnables;
    clockBase_ = {0, 0};
    clockSync_ = {cycles, cycles};
    requestPending_ = false;
    pendingTraps_ = 0;
    stop_.reset();
    waiting_ = false;
    attention_ &= kAttnHooks | kAttnStalled;
}

void Core::SetStalled(bool stalled) {
    stalled_ = stalled;
    if (stalled)
        attention_ |= kAttnStalled;
    else
        attention_ &= ~kAttnStalled;
}

void Core::RequestTrap(TrapGroup group, uint32_t causeBit) {
    requestPending_ = true;
    requestGroup_ = group;
    requestCause_ = causeBit & 31;
    attention_ |= kAttnTrap;
}

void Core::SetObserver(CoreObserver* observer, uint32_t mask) {
    observer_ = observer;
    observeMask_ = observer ? mask : 0;
    if (observeMask_ != 0 || trace_ != nullptr)
        attention_ |= kAttnHooks;
    else
        attention_ &= ~kAttnHooks;
}

void Core::SetTrace(CoreTrace* trace) {
    trace_ = trace;
    SetObserver(observer_, observeMask_);
}

void Core::InvalidateWindows() {
    fetchWindow_ = {};
    loadWindow_ = {};
    storeWindow_ = {};
}

// --- memory slow paths ----------------------------------------------------------------------

namespace {

// The bus's window for `address`, if it really holds it.
bool FindWindow(CoreBus& bus, uint32_t address, uint32_t size, DirectWindow& out) {
    const DirectWindow w = bus.Window(address);
    if (w.data == nullptr || w.size == 0) return false;
    const uint32_t off = address - w.base;
    if (off >= w.size || w.size - off < size) return false;
    out = w;
    return true;
}

} // namespace

uint8_t Core::Impl::SlowFetch(Core& c, uint32_t address) {
    if (FindWindow(c.bus_, address, 1, c.fetchWindow_))
        return c.fetchWindow_.data[address - c.fetchWindow_.base];
    return static_cast<uint8_t>(c.bus_.Load(address, 1, Access::Fetch));
}

uint32_t Core::Impl::SlowLoad(Core& c, uint32_t address, uint32_t size, Access access) {
    if (FindWindow(c.bus_, address, size, c.loadWindow_))
        return Pack(c.loadWindow_.data + (address - c.loadWindow_.base), size);
    return c.bus_.Load(address, size, access);
}

void Core::Impl::SlowStore(Core& c, uint32_t address, uint32_t size, uint32_t v, Access access) {
    DirectWindow w;
    if (FindWindow(c.bus_, address, size, w) && w.writable) {
        c.storeWindow_ = w;
        Unpack(w.data + (address - w.base), size, v);
        return;
    }
    c.bus_.Store(address, size, v, access);
}

uint32_t Core::Impl::DeviceLoad(Core& c, uint32_t address, uint32_t size) {
    address &= ~(size - 1);
    const uint32_t v = c.bus_.Load(address, size, Access::Device);
    if (c.observeMask_ & kObserveData) c.observer_->DataAccess(address, size, false);
    return v;
}

void Core::Impl::DeviceStore(Core& c, uint32_t address, uint32_t size, uint32_t v) {
    address &= ~(size - 1);
    c.bus_.Store(address, size, v, Access::Device);
    if (c.observeMask_ & kObserveData) c.observer_->DataAccess(address, size, true);
}

uint32_t Core::Impl::SystemLoad(Core& c, uint32_t address) {
    address &= ~3u;
    if (Holds(c.loadWindow_, address, 4))
        return Pack(c.loadWindow_.data + (address - c.loadWindow_.base), 4);
    return SlowLoad(c, address, 4, Access::Data);
}

void Core::Impl::SystemStore(Core& c, uint32_t address, uint32_t v) {
    address &= ~3u;
    if (Holds(c.storeWindow_, address, 4))
        Unpack(c.storeWindow_.data + (address - c.storeWindow_.base), 4, v);
    else
        SlowStore(c, address, 4, v, Access::Data);
}

} // namespace tapster::st20
