// The instruction table against bytes written out by hand from the instruction set manual's
// worked examples and the secondary table's "bytes" column, never computed from the table: a
// wrong opcode shared by the assembler and the core would pass every other test. The decoder
// reads the same bytes back.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "st20/decoder.h"
#include "st20/encoder.h"
#include "st20/instruction_table.h"

namespace tapster::st20 {
namespace {

struct HandEncoding {
    std::string mnemonic;
    std::vector<uint8_t> bytes;
};

// Every secondary of the table, bytes copied from the instruction set notes (section 2.1).
const std::vector<HandEncoding> kSecondaries = {
    {"rev", {0xF0}},
    {"lb", {0xF1}},
    {"bsub", {0xF2}},
    {"diff", {0xF4}},
    {"add", {0xF5}},
    {"gcall", {0xF6}},
    {"prod", {0xF8}},
    {"gt", {0xF9}},
    {"wsub", {0xFA}},
    {"sub", {0xFC}},
    {"seterr", {0x21, 0xF0}},
    {"ladd", {0x21, 0xF6}},
    {"ldpi", {0x21, 0xFB}},
    {"xdble", {0x21, 0xFD}},
    {"ldpri", {0x21, 0xFE}},
    {"ret", {0x22, 0xF0}},
    {"lend", {0x22, 0xF1}},
    {"ldtimer", {0x22, 0xF2}},
    {"testerr", {0x22, 0xF9}},
    {"tin", {0x22, 0xFB}},
    {"not", {0x23, 0xF2}},
    {"xor", {0x23, 0xF3}},
    {"bcnt", {0x23, 0xF4}},
    {"lshr", {0x23, 0xF5}},
    {"lshl", {0x23, 0xF6}},
    {"lsum", {0x23, 0xF7}},
    {"lsub", {0x23, 0xF8}},
    {"lmul", {0x23, 0xF1}},
    {"sb", {0x23, 0xFB}},
    {"gajw", {0x23, 0xFC}},
    {"wcnt", {0x23, 0xFF}},
    {"shr", {0x24, 0xF0}},
    {"shl", {0x24, 0xF1}},
    {"mint", {0x24, 0xF2}},
    {"and", {0x24, 0xF6}},
    {"move", {0x24, 0xFA}},
    {"or", {0x24, 0xFB}},
    {"ldiff", {0x24, 0xFF}},
    {"sum", {0x25, 0xF2}},
    {"mul", {0x25, 0xF3}},
    {"clrhalterr", {0x25, 0xF7}},
    {"sethalterr", {0x25, 0xF8}},
    {"testhalterr", {0x25, 0xF9}},
    {"dup", {0x25, 0xFA}},
    {"gtu", {0x25, 0xFF}},
    {"ldtraph", {0x26, 0xFE}},
    {"sttraph", {0x26, 0xFF}},
    {"pop", {0x27, 0xF9}},
    {"ldmemstartval", {0x27, 0xFE}},
    {"wsubdb", {0x28, 0xF1}},
    {"settimeslice", {0x2B, 0xF0}},
    {"xbword", {0x2B, 0xF8}},
    {"lbx", {0x2B, 0xF9}},
    {"cb", {0x2B, 0xFA}},
    {"cbu", {0x2B, 0xFB}},
    {"ssub", {0x2C, 0xF1}},
    {"intdis", {0x2C, 0xF4}},
    {"intenb", {0x2C, 0xF5}},
    {"ldtrapped", {0x2C, 0xF6}},
    {"ss", {0x2C, 0xF8}},
    {"ls", {0x2C, 0xFA}},
    {"sttrapped", {0x2C, 0xFB}},
    {"gintdis", {0x2C, 0xFD}},
    {"gintenb", {0x2C, 0xFE}},
    {"devlb", {0x2F, 0xF0}},
    {"devsb", {0x2F, 0xF1}},
    {"devls", {0x2F, 0xF2}},
    {"devss", {0x2F, 0xF3}},
    {"devlw", {0x2F, 0xF4}},
    {"devsw", {0x2F, 0xF5}},
    {"xsword", {0x2F, 0xF8}},
    {"lsx", {0x2F, 0xF9}},
    {"cs", {0x2F, 0xFA}},
    {"csu", {0x2F, 0xFB}},
    {"lddevid", {0x21, 0x27, 0xFC}},
    {"swapqueue", {0x60, 0xF0}},
    {"timeslice", {0x60, 0xF3}},
    {"trapdis", {0x60, 0xF6}},
    {"trapenb", {0x60, 0xF7}},
    {"tret", {0x60, 0xFB}},
    {"ldshadow", {0x60, 0xFC}},
    {"stshadow", {0x60, 0xFD}},
    {"iret", {0x61, 0xFF}},
    {"restart", {0x62, 0xFE}},
    {"causeerror", {0x62, 0xFF}},
    {"nop", {0x63, 0xF0}},
    {"stclock", {0x64, 0xFC}},
    {"ldclock", {0x64, 0xFD}},
    {"clockdis", {0x64, 0xFE}},
    {"clockenb", {0x64, 0xFF}},
    {"ldprodid", {0x68, 0xFC}},
    {"reboot", {0x68, 0xFD}},
};

const InstructionInfo& Row(const std::string& mnemonic) {
    const InstructionInfo* row = FindMnemonic(mnemonic);
    EXPECT_NE(row, nullptr) << mnemonic;
    static const InstructionInfo none{};
    return row ? *row : none;
}

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) {
    return bytes;
}

TEST(St20Encoding, EverySecondaryOfTheNotesEncodesAndDecodesToItsBytes) {
    std::set<std::string> listed;
    for (const HandEncoding& hand : kSecondaries) {
        SCOPED_TRACE(hand.mnemonic);
        listed.insert(hand.mnemonic);
        const InstructionInfo& row = Row(hand.mnemonic);
        EXPECT_EQ(row.form, Form::Secondary);
        EXPECT_EQ(Encode(row), hand.bytes);
        const DecodedInstruction decoded = Decode(hand.bytes, 0x80000000u);
        ASSERT_EQ(decoded.kind, DecodeKind::Instruction);
        EXPECT_EQ(decoded.info, &row);
        EXPECT_EQ(decoded.length, hand.bytes.size());
        EXPECT_EQ(decoded.functionCode, 0xFu);
        EXPECT_FALSE(decoded.target.has_value());
    }
    // The hand list covers the table: no secondary row goes untested.
    std::set<std::string> rows;
    for (const InstructionInfo& row : InstructionTable())
        if (row.form == Form::Secondary) rows.insert(std::string(row.mnemonic));
    EXPECT_EQ(listed, rows);
    EXPECT_EQ(listed.size(), kSecondaries.size()) << "a mnemonic is listed twice";
}

TEST(St20Encoding, PrimariesTakeTheShortestPrefixChain) {
    struct Case {
        std::string mnemonic;
        int32_t operand;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        // The manual's worked examples.
        {"ldc", 0x35, Bytes({0x23, 0x45})},
        {"ldc", 0x987, Bytes({0x29, 0x28, 0x47})},
        {"ldc", -31, Bytes({0x61, 0x41})},
        {"ldc", -1, Bytes({0x60, 0x4F})},
        {"ldc", 17, Bytes({0x21, 0x41})},
        // Each edge of one and two prefixes, and the widest operands.
        {"ldc", 15, Bytes({0x4F})},
        {"ldc", 16, Bytes({0x21, 0x40})},
        {"ldc", -16, Bytes({0x60, 0x40})},
        {"ldc", -17, Bytes({0x61, 0x4F})},
        {"ldc", 255, Bytes({0x2F, 0x4F})},
        {"ldc", 256, Bytes({0x21, 0x20, 0x40})},
        {"ldc", -256, Bytes({0x6F, 0x40})},
        {"ldc", -257, Bytes({0x21, 0x60, 0x4F})},
        {"ldc", 0x7FFFFFFF, Bytes({0x27, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x4F})},
        {"ldc", INT32_MIN, Bytes({0x27, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x6F, 0x40})},
        // Every function code (section 1.2), operand 7.
        {"j", 7, Bytes({0x07})},
        {"ldlp", 7, Bytes({0x17})},
        {"pfix", 7, Bytes({0x27})},
        {"ldnl", 7, Bytes({0x37})},
        {"ldc", 7, Bytes({0x47})},
        {"ldnlp", 7, Bytes({0x57})},
        {"nfix", 7, Bytes({0x67})},
        {"ldl", 7, Bytes({0x77})},
        {"adc", 7, Bytes({0x87})},
        {"call", 7, Bytes({0x97})},
        {"cj", 7, Bytes({0xA7})},
        {"ajw", 7, Bytes({0xB7})},
        {"eqc", 7, Bytes({0xC7})},
        {"stl", 7, Bytes({0xD7})},
        {"stnl", 7, Bytes({0xE7})},
        {"opr", 7, Bytes({0xF7})},
        {"ajw", -8, Bytes({0x60, 0xB8})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mnemonic + " " + std::to_string(c.operand));
        const InstructionInfo& row = Row(c.mnemonic);
        EXPECT_EQ(row.form, Form::Primary);
        EXPECT_EQ(Encode(row, c.operand), c.bytes);
        EXPECT_EQ(EncodedLength(c.operand), c.bytes.size());
        // A lone prefix is no instruction, and opr 7 is the (absent) secondary 7.
        if (row.flags & kPrefix || row.op == Op::opr) continue;
        const DecodedInstruction decoded = Decode(c.bytes, 0x1000);
        ASSERT_EQ(decoded.kind, DecodeKind::Instruction);
        EXPECT_EQ(decoded.info, &row);
        EXPECT_EQ(decoded.operand, c.operand);
        EXPECT_EQ(decoded.length, c.bytes.size());
    }
    // Padding with pfix 0 keeps the value; the decoder reads it back.
    std::vector<uint8_t> padded;
    AppendPrimaryPadded(padded, 0x4, -1, 4);
    EXPECT_EQ(padded, Bytes({0x20, 0x20, 0x60, 0x4F}));
    EXPECT_EQ(Decode(padded, 0).operand, -1);
    EXPECT_NE(FindMnemonic("LdPrOdId"), nullptr);
}

TEST(St20Decoding, PrefixChainsTargetsAndIllegalCodes) {
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        DecodeKind kind;
        const char* mnemonic; // nullptr: no row
        int32_t operand;
        uint32_t length;
        std::optional<uint32_t> target; // decoded at 0x1000
        bool breakpoint = false;
    };
    const std::vector<Case> cases = {
        // pfix before nfix: Oreg = ~(Oreg | n) << 4, not (Oreg + ~n) << 4.
        {"pfix then nfix", Bytes({0x21, 0x61, 0x4F}), DecodeKind::Instruction, "ldc", -273, 3, {}},
        {"pfix 0 padding", Bytes({0x20, 0x20, 0x45}), DecodeKind::Instruction, "ldc", 5, 3, {}},
        {"j backwards", Bytes({0x61, 0x05}), DecodeKind::Instruction, "j", -27, 2, 0x1002u - 27},
        {"cj forwards", Bytes({0x21, 0x22, 0xAC}), DecodeKind::Instruction, "cj", 0x12C, 3,
         0x1003u + 0x12C},
        {"call", Bytes({0x93}), DecodeKind::Instruction, "call", 3, 1, 0x1004u},
        {"j 0 is the breakpoint", Bytes({0x00}), DecodeKind::Instruction, "j", 0, 1, 0x1001u, true},
        // 0x7B and 0x30 are not C2 instructions (one emulator's ldprodid and nop).
        {"opr 0x7B", Bytes({0x27, 0xFB}), DecodeKind::UnknownSecondary, nullptr, 0x7B, 2, {}},
        {"opr 0x30", Bytes({0x23, 0xF0}), DecodeKind::UnknownSecondary, nullptr, 0x30, 2, {}},
        {"cut-off chain", Bytes({0x21, 0x62}), DecodeKind::Truncated, nullptr, 0, 2, {}},
        {"nothing", Bytes({}), DecodeKind::Truncated, nullptr, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedInstruction d = Decode(c.bytes, 0x1000);
        EXPECT_EQ(d.kind, c.kind);
        EXPECT_EQ(d.info ? std::string(d.info->mnemonic) : "", c.mnemonic ? c.mnemonic : "");
        if (c.kind != DecodeKind::Truncated) {
            EXPECT_EQ(d.operand, c.operand);
        }
        EXPECT_EQ(d.length, c.length);
        EXPECT_EQ(d.target, c.target);
        EXPECT_EQ(d.breakpoint, c.breakpoint);
    }
}

} // namespace
} // namespace tapster::st20
