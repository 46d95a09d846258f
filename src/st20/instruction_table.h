// The ST20-C2 instruction set as one table: every mnemonic with its primary function code or
// secondary operand value, its stack effect and its cycle count. The encoder, the decoder and the
// core all work from this table, so an opcode is written down exactly once. Instructions not listed
// here are illegal to the core (IllegalOpcode) and are shown as a raw `opr n` by the disassembler.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tapster::st20 {

// One enumerator per instruction, named after its mnemonic (a trailing underscore where the
// mnemonic is a C++ keyword or alternative token).
enum class Op : uint8_t {
    // primaries, in function-code order
    j,
    ldlp,
    pfix,
    ldnl,
    ldc,
    ldnlp,
    nfix,
    ldl,
    adc,
    call,
    cj,
    ajw,
    eqc,
    stl,
    stnl,
    opr,
    // secondaries
    rev,
    lb,
    bsub,
    diff,
    add,
    gcall,
    prod,
    gt,
    wsub,
    sub,
    seterr,
    ladd,
    ldpi,
    xdble,
    ldpri,
    ret,
    lend,
    ldtimer,
    testerr,
    tin,
    lmul,
    not_,
    xor_,
    bcnt,
    lshr,
    lshl,
    lsum,
    lsub,
    sb,
    gajw,
    wcnt,
    shr,
    shl,
    mint,
    and_,
    move,
    or_,
    ldiff,
    sum,
    mul,
    clrhalterr,
    sethalterr,
    testhalterr,
    dup,
    gtu,
    ldtraph,
    sttraph,
    pop,
    ldmemstartval,
    wsubdb,
    settimeslice,
    xbword,
    lbx,
    cb,
    cbu,
    ssub,
    intdis,
    intenb,
    ldtrapped,
    ss,
    ls,
    sttrapped,
    gintdis,
    gintenb,
    devlb,
    devsb,
    devls,
    devss,
    devlw,
    devsw,
    xsword,
    lsx,
    cs,
    csu,
    lddevid,
    swapqueue,
    timeslice,
    trapdis,
    trapenb,
    tret,
    ldshadow,
    stshadow,
    iret,
    restart,
    causeerror,
    nop,
    stclock,
    ldclock,
    clockdis,
    clockenb,
    ldprodid,
    reboot,
};

enum class Form : uint8_t {
    Primary,   // `code` is the function code 0..15; the operand is the instruction data value
    Secondary, // `code` is the operand given to opr (negative ones need nfix)
};

// Properties the tools and the core need beyond the stack effect.
enum InstructionFlag : uint8_t {
    kPrefix = 1 << 0,       // pfix, nfix: builds the operand, not an instruction by itself
    kRelative = 1 << 1,     // j, cj, call: the operand is an offset from the next instruction
    kChecked = 1 << 2,      // overflow-checked arithmetic (sets the error flag)
    kUndefinesAbc = 1 << 3, // leaves Areg, Breg and Creg undefined
    kDescheduling = 1 << 4, // a descheduling or timeslicing point
    kDevice = 1 << 5,       // a device access (ordered, never cached)
};

struct InstructionInfo {
    Op op;
    std::string_view mnemonic;
    Form form;
    int32_t code;   // function code (primary) or opr operand value (secondary)
    uint8_t pops;   // how many of A, B, C the instruction consumes
    uint8_t pushes; // how many values it leaves on the stack
    uint8_t flags;  // InstructionFlag bits
    // Cycles, from the STi5518 datasheet's timing column (2-cycle internal memory). Where it
    // gives a range or nothing, the base here is completed by core_choices.h.
    uint8_t cycles;
};

// Every instruction, primaries first in function-code order.
std::span<const InstructionInfo> InstructionTable();

// The row of an instruction.
const InstructionInfo& Info(Op op);

// Lookups; nullptr when there is no such instruction. Mnemonics match without regard to case.
const InstructionInfo* FindMnemonic(std::string_view mnemonic);
const InstructionInfo* FindPrimary(uint32_t functionCode);
const InstructionInfo* FindSecondary(int32_t operand);

} // namespace tapster::st20
