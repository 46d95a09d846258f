#include "st20/instruction_table.h"

#include <array>
#include <cctype>

namespace tapster::st20 {

namespace {

constexpr uint8_t P = kPrefix;
constexpr uint8_t R = kRelative;
constexpr uint8_t K = kChecked;
constexpr uint8_t U = kUndefinesAbc;
constexpr uint8_t D = kDescheduling;
constexpr uint8_t V = kDevice;
constexpr Form Pri = Form::Primary;
constexpr Form Sec = Form::Secondary;

// Stack effects follow the instruction set manual's definitions: `pops` values of A, B, C are
// consumed and `pushes` are left. Instructions whose effect on the stack is not a simple
// pop-and-push (call, cj, lend, the scheduler group) record what they read and leave; their
// flags say the rest. The last column is the base cycle count.
// clang-format off
constexpr std::array kTable = {
    InstructionInfo{Op::j,      "j",      Pri, 0x0, 0, 0, R | U | D, 5},
    InstructionInfo{Op::ldlp,   "ldlp",   Pri, 0x1, 0, 1, 0, 1},
    InstructionInfo{Op::pfix,   "pfix",   Pri, 0x2, 0, 0, P, 1},
    InstructionInfo{Op::ldnl,   "ldnl",   Pri, 0x3, 1, 1, 0, 2},
    InstructionInfo{Op::ldc,    "ldc",    Pri, 0x4, 0, 1, 0, 1},
    InstructionInfo{Op::ldnlp,  "ldnlp",  Pri, 0x5, 1, 1, 0, 1},
    InstructionInfo{Op::nfix,   "nfix",   Pri, 0x6, 0, 0, P, 1},
    InstructionInfo{Op::ldl,    "ldl",    Pri, 0x7, 0, 1, 0, 1},
    InstructionInfo{Op::adc,    "adc",    Pri, 0x8, 1, 1, K, 1},
    InstructionInfo{Op::call,   "call",   Pri, 0x9, 3, 1, R, 8},
    InstructionInfo{Op::cj,     "cj",     Pri, 0xA, 1, 0, R, 1}, // pops only when it does not jump; + kCjTakenExtra when it does
    InstructionInfo{Op::ajw,    "ajw",    Pri, 0xB, 0, 0, 0, 2},
    InstructionInfo{Op::eqc,    "eqc",    Pri, 0xC, 1, 1, 0, 1},
    InstructionInfo{Op::stl,    "stl",    Pri, 0xD, 1, 0, 0, 1},
    InstructionInfo{Op::stnl,   "stnl",   Pri, 0xE, 2, 0, 0, 2},
    InstructionInfo{Op::opr,    "opr",    Pri, 0xF, 0, 0, 0, 0},

    InstructionInfo{Op::rev,           "rev",           Sec, 0x00, 2, 2, 0, 1},
    InstructionInfo{Op::lb,            "lb",            Sec, 0x01, 1, 1, 0, 1},
    InstructionInfo{Op::bsub,          "bsub",          Sec, 0x02, 2, 1, 0, 1},
    InstructionInfo{Op::diff,          "diff",          Sec, 0x04, 2, 1, 0, 1},
    InstructionInfo{Op::add,           "add",           Sec, 0x05, 2, 1, K, 1},
    InstructionInfo{Op::gcall,         "gcall",         Sec, 0x06, 1, 1, 0, 6},
    InstructionInfo{Op::prod,          "prod",          Sec, 0x08, 2, 1, 0, 4},
    InstructionInfo{Op::gt,            "gt",            Sec, 0x09, 2, 1, 0, 1},
    InstructionInfo{Op::wsub,          "wsub",          Sec, 0x0A, 2, 1, 0, 1},
    InstructionInfo{Op::sub,           "sub",           Sec, 0x0C, 2, 1, K, 1},
    InstructionInfo{Op::seterr,        "seterr",        Sec, 0x10, 0, 0, 0, 2},
    InstructionInfo{Op::ladd,          "ladd",          Sec, 0x16, 3, 1, K, 2},
    InstructionInfo{Op::ldpi,          "ldpi",          Sec, 0x1B, 1, 1, 0, 1},
    InstructionInfo{Op::xdble,         "xdble",         Sec, 0x1D, 1, 2, 0, 2},
    InstructionInfo{Op::ldpri,         "ldpri",         Sec, 0x1E, 0, 1, 0, 1},
    InstructionInfo{Op::ret,           "ret",           Sec, 0x20, 0, 0, 0, 3},
    InstructionInfo{Op::lend,          "lend",          Sec, 0x21, 2, 0, U | D, 5}, // + kLendLoopExtra when it loops
    InstructionInfo{Op::ldtimer,       "ldtimer",       Sec, 0x22, 0, 1, 0, 1},
    InstructionInfo{Op::testerr,       "testerr",       Sec, 0x29, 0, 1, 0, 2},
    InstructionInfo{Op::tin,           "tin",           Sec, 0x2B, 1, 0, U | D, 0}, // kTinCycles / kTinDescheduleCycles
    InstructionInfo{Op::lmul,          "lmul",          Sec, 0x31, 3, 2, 0, 6},
    InstructionInfo{Op::not_,          "not",           Sec, 0x32, 1, 1, 0, 1},
    InstructionInfo{Op::xor_,          "xor",           Sec, 0x33, 2, 1, 0, 1},
    InstructionInfo{Op::bcnt,          "bcnt",          Sec, 0x34, 1, 1, 0, 1},
    InstructionInfo{Op::lshr,          "lshr",          Sec, 0x35, 3, 2, 0, 2},
    InstructionInfo{Op::lshl,          "lshl",          Sec, 0x36, 3, 2, 0, 2},
    InstructionInfo{Op::lsum,          "lsum",          Sec, 0x37, 3, 2, 0, 2},
    InstructionInfo{Op::lsub,          "lsub",          Sec, 0x38, 3, 1, K, 2},
    InstructionInfo{Op::sb,            "sb",            Sec, 0x3B, 2, 0, 0, 2},
    InstructionInfo{Op::gajw,          "gajw",          Sec, 0x3C, 1, 1, 0, 3},
    InstructionInfo{Op::wcnt,          "wcnt",          Sec, 0x3F, 1, 2, 0, 1},
    InstructionInfo{Op::shr,           "shr",           Sec, 0x40, 2, 1, 0, 1},
    InstructionInfo{Op::shl,           "shl",           Sec, 0x41, 2, 1, 0, 1},
    InstructionInfo{Op::mint,          "mint",          Sec, 0x42, 0, 1, 0, 1},
    InstructionInfo{Op::and_,          "and",           Sec, 0x46, 2, 1, 0, 1},
    InstructionInfo{Op::move,          "move",          Sec, 0x4A, 3, 0, U, 0}, // kMoveBaseCycles + words
    InstructionInfo{Op::or_,           "or",            Sec, 0x4B, 2, 1, 0, 1},
    InstructionInfo{Op::ldiff,         "ldiff",         Sec, 0x4F, 3, 2, 0, 2},
    InstructionInfo{Op::sum,           "sum",           Sec, 0x52, 2, 1, 0, 1},
    InstructionInfo{Op::mul,           "mul",           Sec, 0x53, 2, 1, K, 4},
    InstructionInfo{Op::clrhalterr,    "clrhalterr",    Sec, 0x57, 0, 0, 0, 1},
    InstructionInfo{Op::sethalterr,    "sethalterr",    Sec, 0x58, 0, 0, 0, 1},
    InstructionInfo{Op::testhalterr,   "testhalterr",   Sec, 0x59, 0, 1, 0, 2},
    InstructionInfo{Op::dup,           "dup",           Sec, 0x5A, 1, 2, 0, 1},
    InstructionInfo{Op::gtu,           "gtu",           Sec, 0x5F, 2, 1, 0, 1},
    InstructionInfo{Op::ldtraph,       "ldtraph",       Sec, 0x6E, 3, 0, U, 12},
    InstructionInfo{Op::sttraph,       "sttraph",       Sec, 0x6F, 3, 0, U, 12},
    InstructionInfo{Op::pop,           "pop",           Sec, 0x79, 1, 0, 0, 1},
    InstructionInfo{Op::ldmemstartval, "ldmemstartval", Sec, 0x7E, 0, 1, 0, 1},
    InstructionInfo{Op::wsubdb,        "wsubdb",        Sec, 0x81, 2, 1, 0, 1},
    InstructionInfo{Op::settimeslice,  "settimeslice",  Sec, 0xB0, 1, 1, 0, 2},
    InstructionInfo{Op::xbword,        "xbword",        Sec, 0xB8, 1, 1, 0, 3},
    InstructionInfo{Op::lbx,           "lbx",           Sec, 0xB9, 1, 1, 0, 1},
    InstructionInfo{Op::cb,            "cb",            Sec, 0xBA, 1, 1, 0, 3},
    InstructionInfo{Op::cbu,           "cbu",           Sec, 0xBB, 1, 1, 0, 2},
    InstructionInfo{Op::ssub,          "ssub",          Sec, 0xC1, 2, 1, 0, 1},
    InstructionInfo{Op::intdis,        "intdis",        Sec, 0xC4, 0, 0, 0, 2},
    InstructionInfo{Op::intenb,        "intenb",        Sec, 0xC5, 0, 0, 0, 2},
    InstructionInfo{Op::ldtrapped,     "ldtrapped",     Sec, 0xC6, 3, 0, U, 12},
    InstructionInfo{Op::ss,            "ss",            Sec, 0xC8, 2, 0, 0, 2},
    InstructionInfo{Op::ls,            "ls",            Sec, 0xCA, 1, 1, 0, 1},
    InstructionInfo{Op::sttrapped,     "sttrapped",     Sec, 0xCB, 3, 0, U, 12},
    InstructionInfo{Op::gintdis,       "gintdis",       Sec, 0xCD, 1, 1, 0, 5},
    InstructionInfo{Op::gintenb,       "gintenb",       Sec, 0xCE, 1, 1, 0, 5},
    InstructionInfo{Op::devlb,         "devlb",         Sec, 0xF0, 1, 1, V, 3},
    InstructionInfo{Op::devsb,         "devsb",         Sec, 0xF1, 2, 0, V, 3},
    InstructionInfo{Op::devls,         "devls",         Sec, 0xF2, 1, 1, V, 3},
    InstructionInfo{Op::devss,         "devss",         Sec, 0xF3, 2, 0, V, 3},
    InstructionInfo{Op::devlw,         "devlw",         Sec, 0xF4, 1, 1, V, 3},
    InstructionInfo{Op::devsw,         "devsw",         Sec, 0xF5, 2, 0, V, 3},
    InstructionInfo{Op::xsword,        "xsword",        Sec, 0xF8, 1, 1, 0, 3},
    InstructionInfo{Op::lsx,           "lsx",           Sec, 0xF9, 1, 1, 0, 1},
    InstructionInfo{Op::cs,            "cs",            Sec, 0xFA, 1, 1, 0, 3},
    InstructionInfo{Op::csu,           "csu",           Sec, 0xFB, 1, 1, 0, 2},
    InstructionInfo{Op::lddevid,       "lddevid",       Sec, 0x17C, 0, 1, 0, 1},
    InstructionInfo{Op::swapqueue,     "swapqueue",     Sec, -16,  0, 0, U, 4},
    InstructionInfo{Op::timeslice,     "timeslice",     Sec, -13,  0, 0, U | D, 3},
    InstructionInfo{Op::trapdis,       "trapdis",       Sec, -10,  2, 1, 0, 4},
    InstructionInfo{Op::trapenb,       "trapenb",       Sec, -9,   2, 1, 0, 4},
    InstructionInfo{Op::tret,          "tret",          Sec, -5,   0, 0, 0, 10},
    InstructionInfo{Op::ldshadow,      "ldshadow",      Sec, -4,   3, 0, U, 6},
    InstructionInfo{Op::stshadow,      "stshadow",      Sec, -3,   3, 0, U, 6},
    InstructionInfo{Op::iret,          "iret",          Sec, -17,  0, 0, 0, 3},
    InstructionInfo{Op::restart,       "restart",       Sec, -34,  1, 0, U, 20},
    InstructionInfo{Op::causeerror,    "causeerror",    Sec, -33,  2, 0, U, 8},
    InstructionInfo{Op::nop,           "nop",           Sec, -64,  0, 0, 0, 1},
    InstructionInfo{Op::stclock,       "stclock",       Sec, -68,  2, 0, 0, 2},
    InstructionInfo{Op::ldclock,       "ldclock",       Sec, -67,  1, 1, 0, 2},
    InstructionInfo{Op::clockdis,      "clockdis",      Sec, -66,  1, 1, 0, 2},
    InstructionInfo{Op::clockenb,      "clockenb",      Sec, -65,  1, 1, 0, 2},
    InstructionInfo{Op::ldprodid,      "ldprodid",      Sec, -132, 0, 1, 0, 1},
    InstructionInfo{Op::reboot,        "reboot",        Sec, -131, 0, 0, U, 1},
};
// clang-format on

// Each row sits at the index of its enumerator, so Info() is a plain index.
constexpr bool RowsInEnumOrder() {
    for (size_t i = 0; i < kTable.size(); ++i)
        if (static_cast<size_t>(kTable[i].op) != i) return false;
    return true;
}
static_assert(RowsInEnumOrder(), "instruction table rows must follow the Op enumeration");
static_assert(kTable.size() == static_cast<size_t>(Op::reboot) + 1, "one row per Op");

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

std::span<const InstructionInfo> InstructionTable() {
    return kTable;
}

const InstructionInfo& Info(Op op) {
    return kTable[static_cast<size_t>(op)];
}

const InstructionInfo* FindMnemonic(std::string_view mnemonic) {
    for (const InstructionInfo& row : kTable)
        if (SameLetters(row.mnemonic, mnemonic)) return &row;
    return nullptr;
}

const InstructionInfo* FindPrimary(uint32_t functionCode) {
    if (functionCode > 0xF) return nullptr;
    return &kTable[functionCode];
}

const InstructionInfo* FindSecondary(int32_t operand) {
    // A direct index for the common non-negative range keeps the core's dispatch cheap.
    static const auto byOperand = [] {
        std::array<const InstructionInfo*, 0x200> index{};
        for (const InstructionInfo& row : kTable)
            if (row.form == Form::Secondary && row.code >= 0 && row.code < 0x200)
                index[static_cast<size_t>(row.code)] = &row;
        return index;
    }();
    if (operand >= 0 && operand < 0x200) return byOperand[static_cast<size_t>(operand)];
    for (const InstructionInfo& row : kTable)
        if (row.form == Form::Secondary && row.code == operand) return &row;
    return nullptr;
}

} // namespace tapster::st20
