#include "st20/disassembler.h"

#include <cstdio>

#include "st20/listing.h"

namespace tapster::st20 {

namespace {

std::string Hex(const char* format, uint32_t value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned>(value));
    return buffer;
}

std::string SignedHex(int32_t value) {
    if (value < 0) return "-" + Hex("0x%X", 0u - static_cast<uint32_t>(value));
    return Hex("0x%X", static_cast<uint32_t>(value));
}

} // namespace

std::string FormatInstruction(const DecodedInstruction& instruction) {
    if (instruction.kind == DecodeKind::UnknownSecondary)
        return "opr " + SignedHex(instruction.operand) + "  ; not a C2 instruction";
    if (instruction.kind == DecodeKind::Truncated || !instruction.info) return "; truncated";
    const InstructionInfo& row = *instruction.info;
    if (row.form == Form::Secondary) return std::string(row.mnemonic);
    if (instruction.breakpoint) return "breakpoint";
    std::string text(row.mnemonic);
    if (instruction.target) return text + " " + Hex("0x%08X", *instruction.target);
    text += " " + std::to_string(instruction.operand);
    if (instruction.operand >= 256 || instruction.operand < -256)
        text += "  ; " + Hex("0x%X", static_cast<uint32_t>(instruction.operand));
    return text;
}

bool DisassembleEach(std::span<const uint8_t> image, uint32_t base,
                     const std::function<bool(const DisassembledLine&)>& each) {
    size_t offset = 0;
    while (offset < image.size()) {
        const auto address = static_cast<uint32_t>(base + offset);
        const DecodedInstruction instruction = Decode(image.subspan(offset), address);
        if (instruction.kind == DecodeKind::Truncated) {
            // Raw prefixes, as the assembler accepts them.
            for (; offset < image.size(); ++offset) {
                const uint8_t byte = image[offset];
                if (!each(DisassembledLine{static_cast<uint32_t>(base + offset),
                                           {byte},
                                           std::string(FindPrimary(byte >> 4u)->mnemonic) + " " +
                                               std::to_string(byte & 0xFu) +
                                               "  ; prefix cut off by the end",
                                           std::nullopt}))
                    return false;
            }
            break;
        }
        DisassembledLine line;
        line.address = address;
        line.bytes.assign(image.begin() + static_cast<std::ptrdiff_t>(offset),
                          image.begin() + static_cast<std::ptrdiff_t>(offset + instruction.length));
        line.text = FormatInstruction(instruction);
        line.target = instruction.target;
        if (!each(line)) return false;
        offset += instruction.length;
    }
    return true;
}

std::vector<DisassembledLine> Disassemble(std::span<const uint8_t> image, uint32_t base) {
    std::vector<DisassembledLine> lines;
    DisassembleEach(image, base, [&](const DisassembledLine& line) {
        lines.push_back(line);
        return true;
    });
    return lines;
}

std::string FormatDisassembledLine(const DisassembledLine& line) {
    const size_t count = line.bytes.size();
    const size_t first = count < kListingBytesPerRow ? count : kListingBytesPerRow;
    std::string out =
        FormatBytesRow(line.address, line.bytes.data(), first) + "  " + line.text + "\n";
    for (size_t at = first; at < count; at += kListingBytesPerRow) {
        const size_t n = count - at < kListingBytesPerRow ? count - at : kListingBytesPerRow;
        std::string row =
            FormatBytesRow(line.address + static_cast<uint32_t>(at), line.bytes.data() + at, n);
        while (!row.empty() && row.back() == ' ')
            row.pop_back();
        out += row + "\n";
    }
    return out;
}

std::string FormatDisassembly(const std::vector<DisassembledLine>& lines) {
    std::string out;
    for (const DisassembledLine& line : lines)
        out += FormatDisassembledLine(line);
    return out;
}

} // namespace tapster::st20
