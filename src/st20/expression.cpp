#include "st20/expression.h"

#include <limits>

namespace tapster::st20 {

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

} // namespace

std::optional<uint32_t> ParseInteger(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) {
        base = 2;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        const int digit = DigitValue(c);
        if (digit >= base) return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

// Recursive descent, one function per precedence level, lowest first.
class Expression::Parser {
  public:
    Parser(Expression& out, std::string_view text, size_t& pos, std::string& error)
        : out_(out), text_(text), pos_(pos), error_(error) {}

    bool Run() {
        const int root = Level(0);
        if (root < 0) return false;
        SkipSpaces();
        if (pos_ < text_.size() && text_[pos_] != ',') return Fail("unexpected text");
        out_.root_ = root;
        return true;
    }

  private:
    Expression& out_;
    std::string_view text_;
    size_t& pos_;
    std::string& error_;

    // Binary operators by level: | then ^ then & then shifts then + - then * / %.
    static constexpr int kLevels = 6;

    bool Fail(const std::string& what) {
        if (error_.empty()) {
            error_ = what;
            if (pos_ < text_.size()) error_ += " at '" + std::string(text_.substr(pos_)) + "'";
        }
        return false;
    }

    void SkipSpaces() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
            ++pos_;
    }

    // The operator of `level` at the cursor (consumed), or 0.
    char TakeOperator(int level) {
        SkipSpaces();
        if (pos_ >= text_.size()) return 0;
        const char c = text_[pos_];
        const char next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : 0;
        switch (level) {
        case 0:
            if (c == '|') return ++pos_, '|';
            break;
        case 1:
            if (c == '^') return ++pos_, '^';
            break;
        case 2:
            if (c == '&') return ++pos_, '&';
            break;
        case 3:
            if (c == '<' && next == '<') return pos_ += 2, '<';
            if (c == '>' && next == '>') return pos_ += 2, '>';
            break;
        case 4:
            if (c == '+' || c == '-') return ++pos_, c;
            break;
        default:
            if (c == '*' || c == '/' || c == '%') return ++pos_, c;
            break;
        }
        return 0;
    }

    // Bounds on the recursion of parsing and evaluating, whatever the input.
    static constexpr size_t kMaxNodes = 4096;
    static constexpr int kMaxDepth = 256;
    int depth_ = 0;

    int Add(Node node) {
        if (out_.nodes_.size() >= kMaxNodes) return Fail("expression too long"), -1;
        out_.nodes_.push_back(std::move(node));
        return static_cast<int>(out_.nodes_.size()) - 1;
    }

    int Level(int level) {
        if (level == kLevels) return Unary();
        int left = Level(level + 1);
        if (left < 0) return -1;
        while (const char op = TakeOperator(level)) {
            const int right = Level(level + 1);
            if (right < 0) return -1;
            left = Add(Node{Kind::Binary, op, 0, {}, left, right});
            if (left < 0) return -1;
        }
        return left;
    }

    int Unary() {
        if (++depth_ > kMaxDepth) return Fail("expression nested too deeply"), -1;
        const int node = UnaryBody();
        --depth_;
        return node;
    }

    int UnaryBody() {
        SkipSpaces();
        if (pos_ < text_.size() &&
            (text_[pos_] == '-' || text_[pos_] == '~' || text_[pos_] == '+')) {
            const char op = text_[pos_++];
            const int operand = Unary();
            if (operand < 0) return -1;
            return Add(Node{Kind::Unary, op, 0, {}, operand, -1});
        }
        return Atom();
    }

    int Atom() {
        SkipSpaces();
        if (pos_ >= text_.size()) return Fail("missing operand"), -1;
        const char c = text_[pos_];
        if (c == '(') {
            ++pos_;
            const int inner = Level(0);
            if (inner < 0) return -1;
            SkipSpaces();
            if (pos_ >= text_.size() || text_[pos_] != ')') return Fail("missing ')'"), -1;
            ++pos_;
            return inner;
        }
        if (c == '\'') return Character();
        if (c >= '0' && c <= '9') {
            const size_t start = pos_;
            while (pos_ < text_.size() && IsNameChar(text_[pos_]))
                ++pos_;
            const std::string_view digits = text_.substr(start, pos_ - start);
            const auto value = ParseInteger(digits);
            if (!value) {
                pos_ = start;
                return Fail("bad number '" + std::string(digits) + "'"), -1;
            }
            return Add(Node{Kind::Number, 0, *value, {}, -1, -1});
        }
        if (IsNameStart(c)) {
            const size_t start = pos_;
            while (pos_ < text_.size() && IsNameChar(text_[pos_]))
                ++pos_;
            std::string name(text_.substr(start, pos_ - start));
            if (name == ".") return Add(Node{Kind::Here, 0, 0, {}, -1, -1});
            return Add(Node{Kind::Symbol, 0, 0, std::move(name), -1, -1});
        }
        return Fail("unexpected character"), -1;
    }

    // 'c' with the escapes \n \t \r \0 \\ \'.
    int Character() {
        const size_t start = pos_;
        ++pos_;
        if (pos_ >= text_.size()) return Fail("unterminated character"), -1;
        uint32_t value = static_cast<unsigned char>(text_[pos_++]);
        if (value == '\\') {
            if (pos_ >= text_.size()) return Fail("unterminated character"), -1;
            switch (text_[pos_++]) {
            case 'n':
                value = '\n';
                break;
            case 't':
                value = '\t';
                break;
            case 'r':
                value = '\r';
                break;
            case '0':
                value = 0;
                break;
            case '\\':
                value = '\\';
                break;
            case '\'':
                value = '\'';
                break;
            default:
                pos_ = start;
                return Fail("unknown escape in character"), -1;
            }
        }
        if (pos_ >= text_.size() || text_[pos_] != '\'') {
            pos_ = start;
            return Fail("unterminated character"), -1;
        }
        ++pos_;
        return Add(Node{Kind::Number, 0, value, {}, -1, -1});
    }
};

std::optional<Expression> Expression::Parse(std::string_view text, size_t& pos,
                                            std::string& error) {
    Expression expression;
    error.clear();
    Parser parser(expression, text, pos, error);
    if (!parser.Run()) return std::nullopt;
    // A plain number, the most common operand, keeps no nodes.
    if (expression.nodes_.size() == 1 && expression.nodes_[0].kind == Kind::Number) {
        expression.constant_ = expression.nodes_[0].value;
        expression.nodes_ = {};
    }
    expression.nodes_.shrink_to_fit();
    return expression;
}

Expression::Result Expression::Evaluate(uint32_t here, const Lookup& lookup) const {
    if (constant_) return Result{constant_, {}, false};
    return EvaluateNode(root_, here, lookup);
}

Expression::Result Expression::EvaluateNode(int index, uint32_t here, const Lookup& lookup) const {
    const Node& node = nodes_[static_cast<size_t>(index)];
    switch (node.kind) {
    case Kind::Number:
        return Result{node.value, {}, false};
    case Kind::Here:
        return Result{here, {}, false};
    case Kind::Symbol: {
        const auto value = lookup(node.name);
        if (!value) return Result{std::nullopt, node.name, false};
        return Result{value, {}, false};
    }
    case Kind::Unary: {
        Result inner = EvaluateNode(node.left, here, lookup);
        if (!inner.value) return inner;
        const uint32_t v = *inner.value;
        inner.value = node.op == '-' ? 0u - v : node.op == '~' ? ~v : v;
        return inner;
    }
    case Kind::Binary:
        break;
    }
    Result left = EvaluateNode(node.left, here, lookup);
    Result right = EvaluateNode(node.right, here, lookup);
    if (!left.value) return left;
    if (!right.value) return right;
    const uint32_t a = *left.value;
    const uint32_t b = *right.value;
    const auto sa = static_cast<int32_t>(a);
    const auto sb = static_cast<int32_t>(b);
    uint32_t v = 0;
    switch (node.op) {
    case '*':
        v = a * b;
        break;
    case '/':
    case '%':
        if (b == 0) return Result{std::nullopt, {}, true};
        // Signed, as in C; the one overflowing case (INT_MIN / -1) wraps.
        if (sa == std::numeric_limits<int32_t>::min() && sb == -1)
            v = node.op == '/' ? a : 0;
        else
            v = static_cast<uint32_t>(node.op == '/' ? sa / sb : sa % sb);
        break;
    case '+':
        v = a + b;
        break;
    case '-':
        v = a - b;
        break;
    case '<':
        v = b >= 32 ? 0 : a << b;
        break;
    case '>': // arithmetic, as C's >> on a signed 32-bit value
        v = b >= 32 ? (sa < 0 ? ~0u : 0u) : static_cast<uint32_t>(sa >> b);
        break;
    case '&':
        v = a & b;
        break;
    case '^':
        v = a ^ b;
        break;
    default:
        v = a | b;
        break;
    }
    return Result{v, {}, false};
}

} // namespace tapster::st20
