#include "st20/assembler.h"

#include <algorithm>
#include <deque>
#include <optional>

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

constexpr size_t kNoStatement = SIZE_MAX;

struct Symbol {
    std::optional<uint32_t> value;
    std::optional<uint32_t> previous; // as the last pass left it
    int line = 0;
    // The statement of the first .equ that defines the name, so that a forward chain of names is
    // followed within one pass instead of taking a pass per link.
    size_t equAt = kNoStatement;
    int failedInPass = -1; // that .equ could not be worked out in this pass: not tried again
};

// A statement as the passes need it: a few words, its labels, operands and text in shared pools
// (a source of millions of lines must not cost a handful of allocations per line).
// Its place in the image (address and size) is kept apart, in the listing rows.
struct Item {
    const InstructionInfo* row = nullptr;
    Symbol* equ = nullptr; // the name an .equ defines
    uint32_t labelsAt = 0;
    uint32_t labelCount = 0;
    uint32_t operandsAt = 0;
    uint32_t operandCount = 0;
    uint32_t textAt = 0; // sources are far below 4 GiB
    uint32_t textSize = 0;
    int line = 0;
    StatementKind kind = StatementKind::None;
    uint8_t dataWidth = 0;
};

class Assembly {
  public:
    Assembly(std::string_view source, const AssembleOptions& options)
        : options_(options), source_(source) {}

    AssemblyResult Run() {
        ReadStatements();
        rows_.reserve(items_.size());
        for (const Item& item : items_) {
            const bool fill =
                item.kind == StatementKind::Align || item.kind == StatementKind::Space;
            rows_.push_back(ListingRow{item.line, 0, InitialSize(item), fill});
        }
        bool settled = false;
        for (int pass = 0; pass < kMaxPasses && !settled; ++pass)
            settled = !LayoutPass() && pass > 0;
        if (!settled)
            Error(unsettledLine_, "the layout does not settle (a .space or .equ "
                                  "depends on its own address)");
        Emit();
        AssemblyResult result;
        result.errors = SortedErrors();
        for (const auto& [name, symbol] : symbols_)
            if (symbol.value) result.symbols[name] = *symbol.value;
        if (!result.errors.empty()) return result;
        result.image = std::move(image_);
        result.rows = std::move(rows_);
        if (options_.listingText)
            WriteListing(source_, result.rows, result.image, options_.base, result.symbols,
                         [&result](std::string_view text) {
                             result.listing += text;
                             return true;
                         });
        return result;
    }

  private:
    const AssembleOptions& options_;
    std::string_view source_;
    // Deques: they grow without copying, so the largest sources never need twice the room.
    std::deque<Item> items_;
    std::deque<Symbol*> labels_;
    std::deque<Expression> operands_;
    std::vector<uint8_t> text_;
    std::map<std::string, Symbol> symbols_; // its nodes stay put: items point at them
    std::vector<AssemblyError> errors_;     // file names are filled in at the end
    std::vector<uint8_t> image_;
    std::vector<ListingRow> rows_; // per item: its address and size in the layout
    int unsettledLine_ = 0;
    int pass_ = 0;

    void Error(int line, std::string message) {
        errors_.push_back(AssemblyError{{}, line, std::move(message)});
    }

    // The errors by line, each once (in the order found within a line), in place.
    std::vector<AssemblyError> SortedErrors() {
        const auto byLine = [](const AssemblyError& a, const AssemblyError& b) {
            return a.line < b.line;
        };
        if (!std::is_sorted(errors_.begin(), errors_.end(), byLine))
            std::stable_sort(errors_.begin(), errors_.end(), byLine);
        size_t kept = 0;
        size_t lineStart = 0; // the first kept error of the current line
        for (size_t i = 0; i < errors_.size(); ++i) {
            AssemblyError& e = errors_[i];
            if (kept > lineStart && errors_[lineStart].line != e.line) lineStart = kept;
            const auto first = errors_.begin() + static_cast<std::ptrdiff_t>(lineStart);
            const auto last = errors_.begin() + static_cast<std::ptrdiff_t>(kept);
            if (std::any_of(first, last,
                            [&e](const AssemblyError& o) { return o.message == e.message; }))
                continue;
            e.file = options_.fileName;
            if (kept != i) errors_[kept] = std::move(e);
            ++kept;
        }
        errors_.resize(kept);
        return std::move(errors_);
    }

    Symbol* Define(const std::string& name, int line) {
        const auto [it, added] =
            symbols_.try_emplace(name, Symbol{std::nullopt, std::nullopt, line});
        if (!added)
            Error(line, "duplicate label '" + name + "' (first defined at line " +
                            std::to_string(it->second.line) + ")");
        return &it->second;
    }

    template <typename Pool> static uint32_t Count(const Pool& pool) {
        return static_cast<uint32_t>(pool.size());
    }

    void ReadStatements() {
        std::string_view source = source_;
        Statement statement;
        std::string error;
        for (int lineNumber = 1; !source.empty(); ++lineNumber) {
            const size_t end = source.find('\n');
            std::string_view line = source.substr(0, end);
            source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (!ParseLine(line, lineNumber, statement, error)) Error(lineNumber, error);
            if (statement.kind == StatementKind::None && statement.labels.empty()) continue;
            Item item;
            item.line = lineNumber;
            item.kind = statement.kind;
            item.dataWidth = static_cast<uint8_t>(statement.dataWidth);
            item.row = statement.row;
            item.labelsAt = Count(labels_);
            for (const std::string& label : statement.labels)
                labels_.push_back(Define(label, lineNumber));
            item.labelCount = Count(labels_) - item.labelsAt;
            if (statement.kind == StatementKind::Equ) {
                item.equ = Define(statement.equName, lineNumber);
                if (item.equ->equAt == kNoStatement) item.equ->equAt = items_.size();
            }
            item.operandsAt = Count(operands_);
            for (Expression& operand : statement.operands)
                operands_.push_back(std::move(operand));
            item.operandCount = Count(operands_) - item.operandsAt;
            item.textAt = Count(text_);
            text_.insert(text_.end(), statement.text.begin(), statement.text.end());
            item.textSize = Count(statement.text);
            items_.push_back(item);
        }
    }

    const Expression& Operand(const Item& st, uint32_t n) const {
        return operands_[st.operandsAt + n];
    }

    static bool IsRaw(const Item& st) {
        return st.row &&
               (st.row->op == Op::pfix || st.row->op == Op::nfix || st.row->op == Op::opr);
    }

    static uint32_t InitialSize(const Item& st) {
        switch (st.kind) {
        case StatementKind::Instruction:
            if (st.row->form == Form::Secondary) return EncodedLength(st.row->code);
            return 1;
        case StatementKind::Breakpoint:
            return 1;
        case StatementKind::Data:
            return st.dataWidth * st.operandCount;
        case StatementKind::Ascii:
            return static_cast<uint32_t>(st.textSize);
        default:
            return 0;
        }
    }

    // With the symbols as they stand, or as the last pass left them.
    Expression::Result Evaluate(const Expression& expression, uint32_t here,
                                bool previous = false) const {
        return expression.Evaluate(
            here, [this, previous](const std::string& name) -> std::optional<uint32_t> {
                const auto it = symbols_.find(name);
                if (it == symbols_.end()) return std::nullopt;
                return previous ? it->second.previous : it->second.value;
            });
    }

    // Sets a symbol's value for this pass; true when it changed. Only the first definition
    // counts (a duplicate is an error already).
    static bool Assign(Symbol& symbol, int line, uint32_t value) {
        if (symbol.line != line || symbol.value == value) return false;
        symbol.value = value;
        return true;
    }

    // The size a statement needs at `address` with the symbols as they stand, never below
    // `current` for instructions (sizes only grow, so the passes end).
    // A jump is sized in the last pass's layout (its own address and its target from the same
    // pass): mixing this pass's addresses with a forward target's stale one would see a backward
    // offset and lengthen the jump for good.
    uint32_t SizeAt(const Item& st, uint32_t address, uint32_t current,
                    uint32_t lastAddress) const {
        switch (st.kind) {
        case StatementKind::Instruction: {
            if (st.row->form == Form::Secondary || IsRaw(st)) return current;
            const bool relative = (st.row->flags & kRelative) != 0;
            if (relative) address = lastAddress;
            const auto result = Evaluate(Operand(st, 0), address, relative);
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
            const auto n = Evaluate(Operand(st, 0), address).value;
            if (!n || *n == 0 || *n > kMaxImageSize) return 0;
            return (*n - address % *n) % *n;
        }
        case StatementKind::Space: {
            const auto n = Evaluate(Operand(st, 0), address).value;
            if (!n || *n > kMaxImageSize) return 0;
            return *n;
        }
        default:
            return current;
        }
    }

    // The value of the .equ at statement i. A name it uses that has no value yet but is defined
    // by a later .equ is worked out first (at that one's address of the last pass), and so on down
    // a chain of any length: a stack of the statements waiting, each on a later one, so the chain
    // costs one evaluation per link, and a link that fails is not tried again in the pass.
    std::optional<uint32_t> EquValue(size_t i, uint32_t here) {
        std::vector<size_t> waiting{i};
        for (;;) {
            const size_t at = waiting.back();
            size_t wanted = kNoStatement;
            const auto lookup = [&](const std::string& name) -> std::optional<uint32_t> {
                const auto it = symbols_.find(name);
                if (it == symbols_.end()) return std::nullopt;
                const Symbol& symbol = it->second;
                if (!symbol.value && wanted == kNoStatement && symbol.equAt != kNoStatement &&
                    symbol.equAt > at && symbol.failedInPass != pass_)
                    wanted = symbol.equAt;
                return symbol.value;
            };
            const auto value =
                Operand(items_[at], 0).Evaluate(at == i ? here : rows_[at].address, lookup).value;
            if (value && waiting.size() == 1) return value;
            if (value) {
                Assign(*items_[at].equ, items_[at].line, *value);
                waiting.pop_back();
            } else if (wanted != kNoStatement) {
                waiting.push_back(wanted); // always later than `at`: the stack cannot loop
            } else {
                for (const size_t failed : waiting)
                    items_[failed].equ->failedInPass = pass_;
                return std::nullopt;
            }
        }
    }

    // One pass over the program; true when any address, size or value changed. The first
    // statement that changed is kept for the message when the passes never settle.
    bool LayoutPass() {
        bool changed = false;
        ++pass_;
        for (auto& [name, symbol] : symbols_)
            symbol.previous = symbol.value;
        uint64_t address = options_.base;
        for (size_t i = 0; i < items_.size(); ++i) {
            const Item& st = items_[i];
            const auto here = static_cast<uint32_t>(address);
            bool moved = false;
            for (uint32_t l = 0; l < st.labelCount; ++l)
                moved |= Assign(*labels_[st.labelsAt + l], st.line, here);
            if (st.kind == StatementKind::Equ) {
                const auto value = EquValue(i, here);
                if (value) moved |= Assign(*st.equ, st.line, *value);
            }
            ListingRow& row = rows_[i];
            const uint32_t size = SizeAt(st, here, row.size, row.address);
            moved |= size != row.size || row.address != here;
            if (moved && !changed) unsettledLine_ = st.line;
            changed |= moved;
            row.size = size;
            row.address = here;
            address += size;
        }
        return changed;
    }

    // The value of an operand in the final layout, or nullopt after reporting why not.
    std::optional<uint32_t> Value(const Item& st, const Expression& expression, uint32_t here) {
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

    void OutOfRange(const Item& st, uint32_t value, const std::string& where) {
        Error(st.line, "operand out of range: " + std::to_string(static_cast<int32_t>(value)) +
                           " does not fit " + where);
    }

    void EmitInstruction(const Item& st, uint32_t here, uint32_t size, std::vector<uint8_t>& out) {
        if (st.row->form == Form::Secondary) {
            const auto bytes = Encode(*st.row);
            out.insert(out.end(), bytes.begin(), bytes.end());
            return;
        }
        const auto value = Value(st, Operand(st, 0), here);
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

    void EmitData(const Item& st, uint32_t here, std::vector<uint8_t>& out) {
        for (uint32_t n = 0; n < st.operandCount; ++n) {
            const auto value = Value(st, Operand(st, n), here);
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

    void EmitStatement(const Item& st, uint32_t here, uint32_t size, std::vector<uint8_t>& out) {
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
            out.insert(out.end(), text_.begin() + static_cast<std::ptrdiff_t>(st.textAt),
                       text_.begin() + static_cast<std::ptrdiff_t>(st.textAt + st.textSize));
            break;
        case StatementKind::Align: {
            const auto n = Value(st, Operand(st, 0), here);
            if (n && (*n == 0 || *n > kMaxImageSize))
                OutOfRange(st, *n, ".align (1.." + std::to_string(kMaxImageSize) + ")");
            out.resize(out.size() + size, 0x00);
            break;
        }
        case StatementKind::Space: {
            const auto n = Value(st, Operand(st, 0), here);
            if (n && *n > kMaxImageSize)
                OutOfRange(st, *n, ".space (0.." + std::to_string(kMaxImageSize) + ")");
            uint32_t fill = 0;
            if (st.operandCount > 1) {
                fill = Value(st, Operand(st, 1), here).value_or(0);
                const auto f = static_cast<int32_t>(fill);
                if (f < -128 || f > 255) OutOfRange(st, fill, "a .space fill byte (-128..255)");
            }
            out.resize(out.size() + size, static_cast<uint8_t>(fill));
            break;
        }
        case StatementKind::Equ:
            Value(st, Operand(st, 0), here);
            break;
        case StatementKind::None:
            break;
        }
    }

    void Emit() {
        // Counted without wrapping: an image that runs past the top of the address space is
        // said to do so, whatever its size.
        uint64_t end = options_.base;
        for (size_t i = 0; i < items_.size(); ++i) {
            const Item& st = items_[i];
            const ListingRow& row = rows_[i];
            end += row.size;
            if (end - options_.base > kMaxImageSize || end > 0x100000000ull) {
                Error(st.line, "the image grows past " +
                                   std::string(end > 0x100000000ull
                                                   ? "the end of the address space"
                                                   : std::to_string(kMaxImageSize) + " bytes"));
                return;
            }
            const size_t before = image_.size();
            EmitStatement(st, row.address, row.size, image_);
            // An erroneous statement still takes its size, so later addresses stay right.
            image_.resize(before + row.size, 0x00);
        }
    }
};

} // namespace

AssemblyResult Assemble(std::string_view source, const AssembleOptions& options) {
    return Assembly(source, options).Run();
}

} // namespace tapster::st20
