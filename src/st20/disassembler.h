// The disassembler: an image decoded instruction by instruction from its first byte, one line
// each with the address, the bytes, the mnemonic and operand, and a jump's target address.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "st20/decoder.h"

namespace tapster::st20 {

struct DisassembledLine {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    std::string text;               // "ldc -31", "j 0x00000010", "opr 0x7B", "breakpoint"
    std::optional<uint32_t> target; // j, cj, call
};

// The instruction as the assembler reads it back: primaries with their signed operand (large
// ones with the hex in a comment), j/cj/call with the target address, `j 0` as breakpoint,
// secondaries by mnemonic and unknown secondaries as `opr 0x..`.
std::string FormatInstruction(const DecodedInstruction& instruction);

// Every instruction of the image, which is loaded at `base`. A prefix chain cut off by the end
// of the image comes out as its raw pfix/nfix bytes.
std::vector<DisassembledLine> Disassemble(std::span<const uint8_t> image, uint32_t base);
// The same one line at a time, for images too large to hold as lines; stops (false) when `each`
// returns false.
bool DisassembleEach(std::span<const uint8_t> image, uint32_t base,
                     const std::function<bool(const DisassembledLine&)>& each);

// One line as FormatDisassembly shows it, with its newline (and the rows of a long one).
std::string FormatDisassembledLine(const DisassembledLine& line);

// "AAAAAAAA  BB BB ..  text" per line; more than a row of bytes wraps onto rows of their own.
std::string FormatDisassembly(const std::vector<DisassembledLine>& lines);

} // namespace tapster::st20
