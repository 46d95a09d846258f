#include "st20/source_parser.h"

#include <cctype>

namespace tapster::st20 {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The line without its comment: a ';' outside a string or character literal starts one.
std::string_view StripComment(std::string_view line) {
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            return line.substr(0, i);
        }
    }
    return line;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

size_t NameLength(std::string_view text) {
    if (text.empty() || !IsNameStart(text[0])) return 0;
    size_t n = 1;
    while (n < text.size() && IsNameChar(text[n]))
        ++n;
    return n;
}

// A comma-separated list of at least one expression filling all of `text`.
bool ParseList(std::string_view text, std::vector<Expression>& out, std::string& error) {
    size_t pos = 0;
    for (;;) {
        auto expression = Expression::Parse(text, pos, error);
        if (!expression) return false;
        out.push_back(std::move(*expression));
        if (pos >= text.size()) return true;
        ++pos; // the ','
    }
}

// A string literal "..." with the escapes \n \t \r \0 \\ \" \xHH.
bool ParseString(std::string_view text, size_t& pos, std::vector<uint8_t>& out,
                 std::string& error) {
    if (pos >= text.size() || text[pos] != '"') return error = "expected a string \"...\"", false;
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= text.size()) break;
            switch (text[pos]) {
            case 'n':
                c = '\n';
                break;
            case 't':
                c = '\t';
                break;
            case 'r':
                c = '\r';
                break;
            case '0':
                c = '\0';
                break;
            case '\\':
                c = '\\';
                break;
            case '"':
                c = '"';
                break;
            case 'x': {
                const auto value = pos + 2 < text.size()
                                       ? ParseInteger("0x" + std::string(text.substr(pos + 1, 2)))
                                       : std::nullopt;
                if (!value) return error = "bad \\x escape in string (two hex digits)", false;
                c = static_cast<char>(*value);
                pos += 2;
                break;
            }
            default:
                return error = "unknown escape in string", false;
            }
        }
        out.push_back(static_cast<uint8_t>(c));
    }
    return error = "unterminated string", false;
}

bool ParseStrings(std::string_view text, std::vector<uint8_t>& out, std::string& error) {
    size_t pos = 0;
    for (;;) {
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (!ParseString(text, pos, out, error)) return false;
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (pos >= text.size()) return true;
        if (text[pos] != ',') return error = "expected ',' between strings", false;
        ++pos;
    }
}

bool ParseEqu(std::string_view name, std::string_view value, Statement& st, std::string& error) {
    if (name.empty() || NameLength(name) != name.size() || name == ".")
        return error = "syntax error: bad symbol name '" + std::string(name) + "'", false;
    st.kind = StatementKind::Equ;
    st.equName = std::string(name);
    if (!ParseList(value, st.operands, error)) return error = "syntax error: " + error, false;
    if (st.operands.size() != 1) return error = "syntax error: .equ takes one value", false;
    return true;
}

bool ParseDirective(const std::string& name, std::string_view rest, Statement& st,
                    std::string& error) {
    const auto list = [&](size_t least, size_t most) {
        if (rest.empty()) return error = "syntax error: " + name + " needs an operand", false;
        if (!ParseList(rest, st.operands, error)) return error = "syntax error: " + error, false;
        if (st.operands.size() < least || st.operands.size() > most)
            return error = "syntax error: wrong number of operands for " + name, false;
        return true;
    };
    if (name == ".byte" || name == ".half" || name == ".word") {
        st.kind = StatementKind::Data;
        st.dataWidth = name == ".byte" ? 1 : name == ".half" ? 2 : 4;
        return list(1, SIZE_MAX);
    }
    if (name == ".align") {
        st.kind = StatementKind::Align;
        return list(1, 1);
    }
    if (name == ".space") {
        st.kind = StatementKind::Space;
        return list(1, 2);
    }
    if (name == ".ascii") {
        st.kind = StatementKind::Ascii;
        if (!ParseStrings(rest, st.text, error)) return error = "syntax error: " + error, false;
        return true;
    }
    if (name == ".equ") {
        const size_t comma = rest.find(',');
        if (comma == std::string_view::npos)
            return error = "syntax error: .equ needs NAME, value", false;
        return ParseEqu(Trim(rest.substr(0, comma)), rest.substr(comma + 1), st, error);
    }
    return error = "unknown directive '" + name + "'", false;
}

bool ParseInstruction(std::string_view word, std::string_view rest, Statement& st,
                      std::string& error) {
    const std::string mnemonic = Lower(word);
    if (mnemonic == "breakpoint") {
        st.kind = StatementKind::Breakpoint;
        if (!rest.empty()) return error = "syntax error: breakpoint takes no operand", false;
        return true;
    }
    st.row = FindMnemonic(word);
    if (!st.row) return error = "unknown mnemonic '" + std::string(word) + "'", false;
    st.kind = StatementKind::Instruction;
    if (st.row->form == Form::Secondary) {
        if (!rest.empty()) return error = "syntax error: " + mnemonic + " takes no operand", false;
        return true;
    }
    if (rest.empty()) return error = "syntax error: " + mnemonic + " needs an operand", false;
    if (!ParseList(rest, st.operands, error)) return error = "syntax error: " + error, false;
    if (st.operands.size() != 1)
        return error = "syntax error: " + mnemonic + " takes one operand", false;
    return true;
}

// A statement that did not parse keeps only its labels.
bool Failed(Statement& st) {
    st.kind = StatementKind::None;
    st.row = nullptr;
    st.operands.clear();
    st.equName.clear();
    st.text.clear();
    return false;
}

} // namespace

bool ParseLine(std::string_view line, int lineNumber, Statement& st, std::string& error) {
    st = Statement{};
    st.line = lineNumber;
    std::string_view text = Trim(StripComment(line));
    // Labels: `name:` in front of the statement, any number of them.
    for (;;) {
        const size_t n = NameLength(text);
        if (n == 0) break;
        std::string_view after = text.substr(n);
        while (!after.empty() && IsSpace(after.front()))
            after.remove_prefix(1);
        if (after.empty() || after.front() != ':') break;
        const std::string_view name = text.substr(0, n);
        if (name == ".") return error = "syntax error: '.' is not a label name", false;
        st.labels.emplace_back(name);
        text = Trim(after.substr(1));
    }
    if (text.empty()) return true;

    const size_t n = NameLength(text);
    if (n == 0)
        return error =
                   "syntax error: expected a mnemonic or directive at '" + std::string(text) + "'",
               false;
    const std::string_view word = text.substr(0, n);
    std::string_view rest = text.substr(n);
    const std::string_view afterWord = Trim(rest);
    // NAME = expr
    if (!afterWord.empty() && afterWord.front() == '=') {
        if (!ParseEqu(word, afterWord.substr(1), st, error)) return Failed(st);
        return true;
    }
    if (!rest.empty() && !IsSpace(rest.front()))
        return error = "syntax error: unexpected '" + std::string(rest) + "'", false;
    rest = afterWord;
    const bool ok = word.front() == '.' ? ParseDirective(Lower(word), rest, st, error)
                                        : ParseInstruction(word, rest, st, error);
    if (!ok) return Failed(st);
    return true;
}

} // namespace tapster::st20
