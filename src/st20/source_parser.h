// The assembler's reading of one source line: its labels and its statement, with every operand
// parsed into an Expression. Values are worked out later, on every layout pass.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "st20/expression.h"
#include "st20/instruction_table.h"

namespace tapster::st20 {

enum class StatementKind : uint8_t {
    None,        // labels only, a comment or a blank line
    Instruction, // a row of the instruction table (raw pfix/nfix/opr included)
    Breakpoint,  // `breakpoint`: the single byte of `j 0`
    Data,        // .byte, .half, .word (width in `dataWidth`)
    Align,       // .align n
    Space,       // .space n[, fill]
    Equ,         // .equ NAME, expr and NAME = expr (the name in `equName`)
    Ascii,       // .ascii "text" (the bytes in `text`)
};

struct Statement {
    int line = 0;
    std::vector<std::string> labels;
    StatementKind kind = StatementKind::None;
    const InstructionInfo* row = nullptr;
    std::vector<Expression> operands;
    uint32_t dataWidth = 0;
    std::string equName;
    std::vector<uint8_t> text;
};

// Reads one line (without its line ending) into `out`. False with `error` set on a syntax error,
// an unknown mnemonic or an unknown directive; the line's labels are still in `out` then (so they
// do not turn up again as undefined), its statement is None.
bool ParseLine(std::string_view line, int lineNumber, Statement& out, std::string& error);

} // namespace tapster::st20
