#include "st20/core_cycles.h"

namespace tapster::st20 {

namespace {

constexpr uint8_t Cycles(Op op) {
    switch (op) {
    case Op::j:
        return 5;
    case Op::ldlp:
        return 1;
    case Op::pfix:
        return 1;
    case Op::ldnl:
        return 2;
    case Op::ldc:
        return 1;
    case Op::ldnlp:
        return 1;
    case Op::nfix:
        return 1;
    case Op::ldl:
        return 1;
    case Op::adc:
        return 1;
    case Op::call:
        return 8;
    case Op::cj:
        return 1; // + kCjTakenExtra when it jumps
    case Op::ajw:
        return 2;
    case Op::eqc:
        return 1;
    case Op::stl:
        return 1;
    case Op::stnl:
        return 2;
    case Op::opr:
        return 0;
    case Op::rev:
        return 1;
    case Op::lb:
        return 1;
    case Op::bsub:
        return 1;
    case Op::diff:
        return 1;
    case Op::add:
        return 1;
    case Op::gcall:
        return 6;
    case Op::prod:
        return 4;
    case Op::gt:
        return 1;
    case Op::wsub:
        return 1;
    case Op::sub:
        return 1;
    case Op::seterr:
        return 2;
    case Op::ladd:
        return 2;
    case Op::ldpi:
        return 1;
    case Op::xdble:
        return 2;
    case Op::ldpri:
        return 1;
    case Op::ret:
        return 3;
    case Op::lend:
        return 5; // + kLendLoopExtra when it loops
    case Op::ldtimer:
        return 1;
    case Op::testerr:
        return 2;
    case Op::tin:
        return 0; // kTinCycles / kTinDescheduleCycles
    case Op::lmul:
        return 6;
    case Op::not_:
        return 1;
    case Op::xor_:
        return 1;
    case Op::bcnt:
        return 1;
    case Op::lshr:
        return 2;
    case Op::lshl:
        return 2;
    case Op::lsum:
        return 2;
    case Op::lsub:
        return 2;
    case Op::sb:
        return 2;
    case Op::gajw:
        return 3;
    case Op::wcnt:
        return 1;
    case Op::shr:
        return 1;
    case Op::shl:
        return 1;
    case Op::mint:
        return 1;
    case Op::and_:
        return 1;
    case Op::move:
        return 0; // kMoveBaseCycles + words
    case Op::or_:
        return 1;
    case Op::ldiff:
        return 2;
    case Op::sum:
        return 1;
    case Op::mul:
        return 4;
    case Op::clrhalterr:
        return 1;
    case Op::sethalterr:
        return 1;
    case Op::testhalterr:
        return 2;
    case Op::dup:
        return 1;
    case Op::gtu:
        return 1;
    case Op::ldtraph:
        return 12;
    case Op::sttraph:
        return 12;
    case Op::pop:
        return 1;
    case Op::ldmemstartval:
        return 1;
    case Op::wsubdb:
        return 1;
    case Op::settimeslice:
        return 2;
    case Op::xbword:
        return 3;
    case Op::lbx:
        return 1;
    case Op::cb:
        return 3;
    case Op::cbu:
        return 2;
    case Op::ssub:
        return 1;
    case Op::intdis:
        return 2;
    case Op::intenb:
        return 2;
    case Op::ldtrapped:
        return 12;
    case Op::ss:
        return 2;
    case Op::ls:
        return 1;
    case Op::sttrapped:
        return 12;
    case Op::gintdis:
        return 5;
    case Op::gintenb:
        return 5;
    case Op::devlb:
        return 3;
    case Op::devsb:
        return 3;
    case Op::devls:
        return 3;
    case Op::devss:
        return 3;
    case Op::devlw:
        return 3;
    case Op::devsw:
        return 3;
    case Op::xsword:
        return 3;
    case Op::lsx:
        return 1;
    case Op::cs:
        return 3;
    case Op::csu:
        return 2;
    case Op::lddevid:
        return 1;
    case Op::swapqueue:
        return 4;
    case Op::timeslice:
        return 3;
    case Op::trapdis:
        return 4;
    case Op::trapenb:
        return 4;
    case Op::tret:
        return 10;
    case Op::ldshadow:
        return 6;
    case Op::stshadow:
        return 6;
    case Op::iret:
        return 3;
    case Op::restart:
        return 20;
    case Op::causeerror:
        return 8;
    case Op::nop:
        return 1;
    case Op::stclock:
        return 2;
    case Op::ldclock:
        return 2;
    case Op::clockdis:
        return 2;
    case Op::clockenb:
        return 2;
    case Op::ldprodid:
        return 1;
    case Op::reboot:
        return 1;
    }
    return 1;
}

constexpr std::array<uint8_t, kOpCount> Build() {
    std::array<uint8_t, kOpCount> cycles{};
    for (size_t i = 0; i < kOpCount; ++i)
        cycles[i] = Cycles(static_cast<Op>(i));
    return cycles;
}

} // namespace

const std::array<uint8_t, kOpCount> kBaseCycles = Build();

} // namespace tapster::st20
