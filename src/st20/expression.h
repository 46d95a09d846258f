// Operand expressions of the assembler: integers, symbols, `.` (the statement's address), unary
// - ~ +, binary * / % + - << >> & ^ | with C precedence, parentheses. Values are 32 bits and wrap.
// An expression is parsed once and evaluated on every layout pass with the symbols of that pass.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapster::st20 {

class Expression {
  public:
    // Parses from text[pos] up to a top-level ',' or the end (spaces are skipped); `pos` is left
    // at the ',' or the end. nullopt with `error` set when the text is not an expression.
    static std::optional<Expression> Parse(std::string_view text, size_t& pos, std::string& error);

    // The symbol value, or nullopt when the symbol has none (yet).
    using Lookup = std::function<std::optional<uint32_t>(const std::string& name)>;

    struct Result {
        std::optional<uint32_t> value;
        std::string undefined; // the first symbol without a value, when value is empty
        bool divisionByZero = false;
    };
    Result Evaluate(uint32_t here, const Lookup& lookup) const;

  private:
    enum class Kind : uint8_t { Number, Symbol, Here, Unary, Binary };
    struct Node {
        Kind kind;
        char op = 0; // unary: - ~ + ; binary: * / % + - < (<<) > (>>) & ^ |
        uint32_t value = 0;
        std::string name;
        int left = -1;
        int right = -1;
    };
    class Parser;
    std::vector<Node> nodes_;
    int root_ = -1;
    std::optional<uint32_t> constant_; // the value of a plain number (then there are no nodes)

    Result EvaluateNode(int index, uint32_t here, const Lookup& lookup) const;
};

// Parses an integer literal (decimal, 0x hex, 0b binary) that fills all of `text`.
std::optional<uint32_t> ParseInteger(std::string_view text);

// True for the characters that may start and continue a name.
bool IsNameStart(char c);
bool IsNameChar(char c);

} // namespace tapster::st20
