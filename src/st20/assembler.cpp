#include "st20/assembler.h"

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_map>

#include "st20/encoder.h"
#include "st20/listing.h"
#include "st20/source_parser.h"

namespace tapster::st20 {

std::string AssemblyError::ToString() const {
    return file + ":" + std::to_string(line) + ": error: " + message;
}

namespace {

// Passes until the layout must have settled; only .space or .equ that feed back on their own
// addresses get here.
constexpr int kMaxPasses = 100;
// How far one .equ follows a chain of later .equ names within a pass (the stack it takes).
constexpr int kMaxEquDepth = 1000;

struct Symbol {
    std::optional<uint32_t> value;
    int line = 0;
};

class Assembly {
  public:
    Assembly(std::string_view source, const AssembleOptions& options) : options_(options) {
        SplitLines(source);
    }

    AssemblyResult Run() {
        ReadStatements();
        sizes_.assign(statements_.size(), 0);
        addresses_.assign(statements_.size(), 0);
        for (size_t i = 0; i < statements_.size(); ++i)
            sizes_[i] = InitialSize(statements_[i]);
        bool settled = false;
        for (int pass = 0; pass < kMaxPasses && !settled; ++pass)
            settled = !LayoutPass() && pass > 0;
        if (!settled)
            Error(unsettledLine_, "the layout does not settle (a .space or .equ "
                                  "depends on its own address)");
        Emit();
        AssemblyResult result;
        std::stable_sort(
            errors_.begin(), errors_.end(),
            [](const AssemblyError& a, const AssemblyError& b) { return a.line < b.line; });
        result.errors = std::move(errors_);
        for (const auto& [name, symbol] : symbols_)
            if (symbol.value) result.symbols[name] = *symbol.value;
        if (!result.errors.empty()) return result;
        result.image = std::move(image_);
        result.listing = FormatListing(lines_, listingRows_, options_.base, result.symbols);
        return result;
    }

  private:
    const AssembleOptions& options_;
    std::vector<std::string_view> lines_;
    std::vector<Statement> statements_;
    std::vector<uint32_t> sizes_;
    std::vector<uint32_t> addresses_;
    std::map<std::string, Symbol> symbols_;
    std::map<std::string, Symbol> previous_; // the symbols as the last pass left them
    std::vector<AssemblyError> errors_;
    std::set<std::pair<int, std::string>> reported_; // each error once, found in log time
    // Where each .equ name is defined (the first definition), so that a forward chain of names
    // is followed within one pass instead of taking a pass per link.
    std::unordered_map<std::string, size_t> equAt_;
    std::vector<uint8_t> image_;
    std::vector<ListingRow> listingRows_;
    int unsettledLine_ = 0;

    void SplitLines(std::string_view source) {
        while (!source.empty()) {
            const size_t end = source.find('\n');
            std::string_view line = source.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines_.push_back(line);
            if (end == std::string_view::npos) break;
            source.remove_prefix(end + 1);
        }
    }

    void Error(int line, std::string message) {
        if (!reported_.emplace(line, message).second) return;
        errors_.push_back(AssemblyError{options_.fileName, line, std::move(message)});
    }

    void Define(const std::string& name, int line) {
        const auto [it, added] = symbols_.try_emplace(name, Symbol{std::nullopt, line});
        if (!added)
            Error(line, "duplicate label '" + name + "' (first defined at line " +
                            std::to_string(it->second.line) + ")");
    }

    void ReadStatements() {
        for (size_t i = 0; i < lines_.size(); ++i) {
            const int lineNumber = static_cast<int>(i) + 1;
            std::string error;
            Statement statement;
            if (!ParseLine(lines_[i], lineNumber, statement, error)) Error(lineNumber, error);
            for (const std::string& label : statement.labels)
                Define(label, lineNumber);
            if (statement.kind == StatementKind::Equ) {
                Define(statement.equName, lineNumber);
                equAt_.try_emplace(statement.equName, statements_.size());
            }
            if (statement.kind != StatementKind::None || !statement.labels.empty())
                statements_.push_back(std::move(statement));
        }
    }

    static bool IsRaw(const Statement& st) {
        return st.row &&
               (st.row->op == Op::pfix || st.row->op == Op::nfix || st.row->op == Op::opr);
    }

    static uint32_t InitialSize(const Statement& st) {
        switch (st.kind) {
        case StatementKind::Instruction:
            if (st.row->form == Form::Secondary) return EncodedLength(st.row->code);
            return 1;
        case StatementKind::Breakpoint:
            return 1;
        case StatementKind::Data:
            return st.dataWidth * static_cast<uint32_t>(st.operands.size());
        case StatementKind::Ascii:
            return static_cast<uint32_t>(st.text.size());
        default:
            return 0;
        }
    }

    Expression::Result Evaluate(const Expression& expression, uint32_t here,
                                const std::map<std::string, Symbol>& symbols) const {
        return expression.Evaluate(here,
                                   [&symbols](const std::string& name) -> std::optional<uint32_t> {
                                       const auto it = symbols.find(name);
                                       if (it == symbols.end()) return std::nullopt;
                                       return it->second.value;
                                   });
    }
    Expression::Result Evaluate(const Expression& expression, uint32_t here) const {
        return Evaluate(expression, here, symbols_);
    }

    // Sets a symbol's value for this pass; true when it changed. Only the first definition
    // counts (a duplicate is an error already).
    bool Assign(const std::string& name, int line, uint32_t value) {
        Symbol& symbol = symbols_[name];
        if (symbol.line != line || symbol.value == value) return false;
        symbol.value = value;
        return true;
    }

    // The size a statement needs at `address` with the symbols as they stand, never below
    // `current` for instructions (sizes only grow, so the passes end).
    // A jump is sized in the last pass's layout (its own address and its target from the same
    // pass): mixing this pass's addresses with a forward target's stale one would see a backward
    // offset and lengthen the jump for good.
    uint32_t SizeAt(const Statement& st, uint32_t address, uint32_t current,
                    uint32_t lastAddress) const {
        switch (st.kind) {
        case StatementKind::Instruction: {
            if (st.row->form == Form::Secondary || IsRaw(st)) return current;
            const bool relative = (st.row->flags & kRelative) != 0;
            if (relative) address = lastAddress;
            const auto result = relative ? Evaluate(st.operands[0], address, previous_)
                                         : Evaluate(st.operands[0], address);
            if (!result.value) return current;
            uint32_t size = current;
            if (relative) {
                while (EncodedLength(static_cast<int32_t>(*result.value - (address + size))) > size)
                    ++size;
                return size;
            }
            return std::max(size, EncodedLength(static_cast<int32_t>(*result.value)));
        }
        case StatementKind::Align: {
            const auto n = Evaluate(st.operands[0], address).value;
            if (!n || *n == 0 || *n > kMaxImageSize) return 0;
            return (*n - address % *n) % *n;
        }
        case StatementKind::Space: {
            const auto n = Evaluate(st.operands[0], address).value;
            if (!n || *n > kMaxImageSize) return 0;
            return *n;
        }
        default:
            return current;
        }
    }

    // The value of the .equ at statement i, following names it uses that a later .equ defines
    // (at that one's address of the last pass) up to a depth; deeper chains take more passes.
    std::optional<uint32_t> EquValue(size_t i, uint32_t here, int depth) {
        const Statement& st = statements_[i];
        return st.operands[0]
            .Evaluate(here,
                      [&](const std::string& name) -> std::optional<uint32_t> {
                          const auto it = symbols_.find(name);
                          if (it == symbols_.end()) return std::nullopt;
                          if (it->second.value || depth >= kMaxEquDepth) return it->second.value;
                          const auto at = equAt_.find(name);
                          if (at == equAt_.end() || at->second <= i) return std::nullopt;
                          const Statement& later = statements_[at->second];
                          const auto value =
                              EquValue(at->second, addresses_[at->second], depth + 1);
                          if (value) Assign(later.equName, later.line, *value);
                          return value;
                      })
            .value;
    }

    // One pass over the program; true when any address, size or value changed. The first
    // statement that changed is kept for the message when the passes never settle.
    bool LayoutPass() {
        bool changed = false;
        previous_ = symbols_;
        uint64_t address = options_.base;
        for (size_t i = 0; i < statements_.size(); ++i) {
            const Statement& st = statements_[i];
            const auto here = static_cast<uint32_t>(address);
            bool moved = false;
            for (const std::string& label : st.labels)
                moved |= Assign(label, st.line, here);
            if (st.kind == StatementKind::Equ) {
                const auto value = EquValue(i, here, 0);
                if (value) moved |= Assign(st.equName, st.line, *value);
            }
            const uint32_t size = SizeAt(st, here, sizes_[i], addresses_[i]);
            moved |= size != sizes_[i] || addresses_[i] != here;
            if (moved && !changed) unsettledLine_ = st.line;
            changed |= moved;
            sizes_[i] = size;
            addresses_[i] = here;
            address += size;
        }
        return changed;
    }

    // The value of an operand in the final layout, or nullopt after reporting why not.
    std::optional<uint32_t> Value(const Statement& st, const Expression& expression,
                                  uint32_t here) {
        const auto result = Evaluate(expression, here);
        if (result.value) return result.value;
        if (result.divisionByZero) {
            Error(st.line, "division by zero");
        } else if (symbols_.count(result.undefined)) {
            Error(st.line, "'" + result.undefined +
                               "' has no value (its definition depends on "
                               "itself)");
        } else {
            Error(st.line, "undefined label '" + result.undefined + "'");
        }
        return std::nullopt;
    }

    void OutOfRange(const Statement& st, uint32_t value, const std::string& where) {
        Error(st.line, "operand out of range: " + std::to_string(static_cast<int32_t>(value)) +
                           " does not fit " + where);
    }

    void EmitInstruction(const Statement& st, uint32_t here, uint32_t size,
                         std::vector<uint8_t>& out) {
        if (st.row->form == Form::Secondary) {
            const auto bytes = Encode(*st.row);
            out.insert(out.end(), bytes.begin(), bytes.end());
            return;
        }
        const auto value = Value(st, st.operands[0], here);
        if (!value) return;
        const auto code = static_cast<uint32_t>(st.row->code);
        if (IsRaw(st)) {
            if (*value > 15)
                return OutOfRange(st, *value,
                                  "a raw " + std::string(st.row->mnemonic) + " (0..15)");
            out.push_back(static_cast<uint8_t>((code << 4) | *value));
            return;
        }
        int32_t operand = static_cast<int32_t>(*value);
        if (st.row->flags & kRelative) {
            operand = static_cast<int32_t>(*value - (here + size));
            if (operand == 0) {
                Error(st.line, "jump to the next instruction (offset 0 is the breakpoint "
                               "instruction; write 'breakpoint' for it)");
                return;
            }
        }
        AppendPrimaryPadded(out, code, operand, size);
    }

    void EmitData(const Statement& st, uint32_t here, std::vector<uint8_t>& out) {
        for (const Expression& expression : st.operands) {
            const auto value = Value(st, expression, here);
            if (!value) continue;
            const auto v = static_cast<int32_t>(*value);
            if (st.dataWidth == 1 && (v < -128 || v > 255))
                OutOfRange(st, *value, ".byte (-128..255)");
            else if (st.dataWidth == 2 && (v < -32768 || v > 65535))
                OutOfRange(st, *value, ".half (-32768..65535)");
            for (uint32_t b = 0; b < st.dataWidth; ++b)
                out.push_back(static_cast<uint8_t>(*value >> (8 * b)));
        }
    }

    void EmitStatement(const Statement& st, uint32_t here, uint32_t size,
                       std::vector<uint8_t>& out) {
        switch (st.kind) {
        case StatementKind::Instruction:
            EmitInstruction(st, here, size, out);
            break;
        case StatementKind::Breakpoint:
            out.push_back(0x00);
            break;
        case StatementKind::Data:
            EmitData(st, here, out);
            break;
        case StatementKind::Ascii:
            out.insert(out.end(), st.text.begin(), st.text.end());
            break;
        case StatementKind::Align: {
            const auto n = Value(st, st.operands[0], here);
            if (n && (*n == 0 || *n > kMaxImageSize))
                OutOfRange(st, *n, ".align (1.." + std::to_string(kMaxImageSize) + ")");
            out.resize(out.size() + size, 0x00);
            break;
        }
        case StatementKind::Space: {
            const auto n = Value(st, st.operands[0], here);
            if (n && *n > kMaxImageSize)
                OutOfRange(st, *n, ".space (0.." + std::to_string(kMaxImageSize) + ")");
            uint32_t fill = 0;
            if (st.operands.size() > 1) {
                fill = Value(st, st.operands[1], here).value_or(0);
                const auto f = static_cast<int32_t>(fill);
                if (f < -128 || f > 255) OutOfRange(st, fill, "a .space fill byte (-128..255)");
            }
            out.resize(out.size() + size, static_cast<uint8_t>(fill));
            break;
        }
        case StatementKind::Equ:
            Value(st, st.operands[0], here);
            break;
        case StatementKind::None:
            break;
        }
    }

    void Emit() {
        // Counted without wrapping: an image that runs past the top of the address space is
        // said to do so, whatever its size.
        uint64_t end = options_.base;
        for (size_t i = 0; i < statements_.size(); ++i) {
            const Statement& st = statements_[i];
            end += sizes_[i];
            if (end - options_.base > kMaxImageSize || end > 0x100000000ull) {
                Error(st.line, "the image grows past " +
                                   std::string(end > 0x100000000ull
                                                   ? "the end of the address space"
                                                   : std::to_string(kMaxImageSize) + " bytes"));
                return;
            }
            const size_t before = image_.size();
            EmitStatement(st, addresses_[i], sizes_[i], image_);
            // An erroneous statement still takes its size, so later addresses stay right.
            image_.resize(before + sizes_[i], 0x00);
            const bool fill = st.kind == StatementKind::Align || st.kind == StatementKind::Space;
            listingRows_.push_back(
                ListingRow{st.line, addresses_[i],
                           std::vector<uint8_t>(
                               image_.begin() + static_cast<std::ptrdiff_t>(before), image_.end()),
                           fill});
        }
    }
};

} // namespace

AssemblyResult Assemble(std::string_view source, const AssembleOptions& options) {
    return Assembly(source, options).Run();
}

} // namespace tapster::st20
