#include "platform/linux/xsl_pattern.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vardel::platform::linux_layer {
namespace {

enum class Kind {
    End,
    Slash,        // /
    DoubleSlash,  // //
    Dot,          // .
    DotDot,       // ..
    At,           // @
    Star,         // *
    LBracket,
    RBracket,
    LParen,
    RParen,
    Pipe,         // |
    Minus,        // - (only before a number)
    Compare,      // = != < <= > >=
    Keyword,      // $word$, text without the dollars, lower case
    Name,         // name, prefix:name or prefix:*
    Literal,      // quoted string, quotes included
    Number,
};

struct Token {
    Kind kind;
    std::string text;
};

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits a pattern into tokens; false for a character that has no place in one.
bool Tokenize(std::string_view s, std::vector<Token>& tokens) {
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '/') {
            const bool twice = i + 1 < s.size() && s[i + 1] == '/';
            tokens.push_back({twice ? Kind::DoubleSlash : Kind::Slash, {}});
            i += twice ? 2 : 1;
        } else if (c == '.' && i + 1 < s.size() && IsDigit(s[i + 1])) {
            std::size_t end = i + 1;
            while (end < s.size() && IsDigit(s[end])) ++end;
            tokens.push_back({Kind::Number, std::string(s.substr(i, end - i))});
            i = end;
        } else if (c == '.') {
            const bool twice = i + 1 < s.size() && s[i + 1] == '.';
            tokens.push_back({twice ? Kind::DotDot : Kind::Dot, {}});
            i += twice ? 2 : 1;
        } else if (IsDigit(c)) {
            std::size_t end = i;
            while (end < s.size() && IsDigit(s[end])) ++end;
            if (end < s.size() && s[end] == '.') {
                ++end;
                while (end < s.size() && IsDigit(s[end])) ++end;
            }
            tokens.push_back({Kind::Number, std::string(s.substr(i, end - i))});
            i = end;
        } else if (c == '\'' || c == '"') {
            const std::size_t close = s.find(c, i + 1);
            if (close == std::string_view::npos) return false;
            tokens.push_back({Kind::Literal, std::string(s.substr(i, close - i + 1))});
            i = close + 1;
        } else if (c == '$') {
            const std::size_t close = s.find('$', i + 1);
            if (close == std::string_view::npos || close == i + 1) return false;
            std::string word(s.substr(i + 1, close - i - 1));
            for (char& w : word) {
                if (w >= 'A' && w <= 'Z') w = static_cast<char>(w - 'A' + 'a');
                if (w < 'a' || w > 'z') return false;
            }
            tokens.push_back({Kind::Keyword, word});
            i = close + 1;
        } else if (c == '!' || c == '<' || c == '>' || c == '=') {
            const bool withEquals = c != '=' && i + 1 < s.size() && s[i + 1] == '=';
            if (c == '!' && !withEquals) return false;
            tokens.push_back({Kind::Compare, std::string(s.substr(i, withEquals ? 2 : 1))});
            i += withEquals ? 2 : 1;
        } else if (IsNameStart(static_cast<unsigned char>(c))) {
            std::size_t end = i + 1;
            while (end < s.size() && IsNameChar(static_cast<unsigned char>(s[end]))) ++end;
            if (end < s.size() && s[end] == ':') {
                // A qualified name, or "prefix:*".
                if (end + 1 < s.size() && s[end + 1] == '*') {
                    end += 2;
                } else if (end + 1 < s.size() && IsNameStart(static_cast<unsigned char>(s[end + 1]))) {
                    end += 2;
                    while (end < s.size() && IsNameChar(static_cast<unsigned char>(s[end]))) ++end;
                } else {
                    return false;
                }
            }
            tokens.push_back({Kind::Name, std::string(s.substr(i, end - i))});
            i = end;
        } else {
            const Kind single = c == '@'   ? Kind::At
                                : c == '*' ? Kind::Star
                                : c == '[' ? Kind::LBracket
                                : c == ']' ? Kind::RBracket
                                : c == '(' ? Kind::LParen
                                : c == ')' ? Kind::RParen
                                : c == '|' ? Kind::Pipe
                                : c == '-' ? Kind::Minus
                                           : Kind::End;
            if (single == Kind::End) return false;
            tokens.push_back({single, {}});
            ++i;
        }
    }
    tokens.push_back({Kind::End, {}});
    return true;
}

// The XPath test that matches an element or attribute by its name as written.
std::string NameTest(const std::string& name) {
    if (name.size() > 2 && name.compare(name.size() - 2, 2, ":*") == 0)
        return "*[starts-with(name(),'" + name.substr(0, name.size() - 1) + "')]";
    return "*[name()='" + name + "']";
}

// The XPath position (counted from 1) for a position counted from 0.
std::string PositionFromZero(const std::string& number, bool negative) {
    double value = std::strtod(number.c_str(), nullptr);
    if (negative) value = -value;
    value += 1;
    if (value != std::floor(value) || value < 1) return "false()";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
}

const char* const kUpper = "'ABCDEFGHIJKLMNOPQRSTUVWXYZ'";
const char* const kLower = "'abcdefghijklmnopqrstuvwxyz'";

class Translator {
public:
    explicit Translator(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::optional<std::string> Run() {
        std::string out;
        if (!Union(out) || !Is(Kind::End)) return std::nullopt;
        return out;
    }

private:
    bool Is(Kind kind, std::size_t ahead = 0) const {
        const std::size_t at = pos_ + ahead;
        return at < tokens_.size() && tokens_[at].kind == kind;
    }
    bool IsName(const char* text, std::size_t ahead = 0) const {
        return Is(Kind::Name, ahead) && tokens_[pos_ + ahead].text == text;
    }
    bool IsKeyword(const char* text) const {
        return Is(Kind::Keyword) && tokens_[pos_].text == text;
    }
    bool Accept(Kind kind) {
        if (!Is(kind)) return false;
        ++pos_;
        return true;
    }
    // name "(" ")"
    bool AcceptCall(const char* name) {
        if (!IsName(name) || !Is(Kind::LParen, 1) || !Is(Kind::RParen, 2)) return false;
        pos_ += 3;
        return true;
    }

    bool Union(std::string& out) {
        if (!Path(out)) return false;
        while (Accept(Kind::Pipe)) {
            out += " | ";
            if (!Path(out)) return false;
        }
        return true;
    }

    bool StartsStep() const {
        return Is(Kind::Dot) || Is(Kind::DotDot) || Is(Kind::At) || Is(Kind::Star) || Is(Kind::Name);
    }

    bool Path(std::string& out) {
        if (Accept(Kind::DoubleSlash)) {
            out += "//";
            return Relative(out);
        }
        if (Accept(Kind::Slash)) {
            out += "/";
            return StartsStep() ? Relative(out) : true;
        }
        return Relative(out);
    }

    bool Relative(std::string& out) {
        if (!Step(out)) return false;
        for (;;) {
            if (Accept(Kind::Slash))
                out += "/";
            else if (Accept(Kind::DoubleSlash))
                out += "//";
            else
                return true;
            if (!Step(out)) return false;
        }
    }

    bool Step(std::string& out) {
        if (Accept(Kind::Dot)) {
            out += Is(Kind::LBracket) ? "self::node()" : ".";
            return Filters(out);
        }
        if (Accept(Kind::DotDot)) {
            out += Is(Kind::LBracket) ? "parent::node()" : "..";
            return Filters(out);
        }
        if (Accept(Kind::At)) {
            if (Accept(Kind::Star)) {
                out += "@*";
            } else if (Is(Kind::Name) && !Is(Kind::LParen, 1)) {
                out += "@" + NameTest(tokens_[pos_++].text);
            } else {
                return false;
            }
            return Filters(out);
        }
        if (Accept(Kind::Star)) {
            out += "*";
            return Filters(out);
        }
        if (!Is(Kind::Name)) return false;
        if (Is(Kind::LParen, 1)) {
            if (!NodeTypeStep(out)) return false;
        } else {
            out += NameTest(tokens_[pos_++].text);
        }
        return Filters(out);
    }

    // text(), node(), comment(), pi() and ancestor(name).
    bool NodeTypeStep(std::string& out) {
        const std::string significant = std::string("[") + kSignificantNodeFunction + "()]";
        if (AcceptCall("text")) {
            out += "text()" + significant;
        } else if (AcceptCall("node")) {
            out += "node()" + significant;
        } else if (AcceptCall("comment")) {
            out += "comment()";
        } else if (AcceptCall("pi")) {
            out += "processing-instruction()";
        } else if (IsName("ancestor") && Is(Kind::Name, 2) && Is(Kind::RParen, 3)) {
            out += "ancestor::" + NameTest(tokens_[pos_ + 2].text) + "[1]";
            pos_ += 4;
        } else {
            return false;
        }
        return true;
    }

    bool Filters(std::string& out) {
        while (Accept(Kind::LBracket)) {
            if (!Filter(out) || !Accept(Kind::RBracket)) return false;
        }
        return true;
    }

    bool Filter(std::string& out) {
        // A lone number is a position counted from 0.
        if (Is(Kind::Number) && Is(Kind::RBracket, 1)) {
            out += "[" + PositionFromZero(tokens_[pos_++].text, false) + "]";
            return true;
        }
        if (Is(Kind::Minus) && Is(Kind::Number, 1) && Is(Kind::RBracket, 2)) {
            out += "[" + PositionFromZero(tokens_[pos_ + 1].text, true) + "]";
            pos_ += 2;
            return true;
        }
        if (IsName("last") && Is(Kind::LParen, 1) && Is(Kind::RParen, 2) && Is(Kind::RBracket, 3)) {
            out += "[last()]";
            pos_ += 3;
            return true;
        }
        // A lone string says nothing about the node.
        if (Is(Kind::Literal) && Is(Kind::RBracket, 1)) return false;
        out += "[";
        if (!Or(out)) return false;
        out += "]";
        return true;
    }

    bool Or(std::string& out) {
        if (!And(out)) return false;
        while (IsKeyword("or") || IsName("or")) {
            ++pos_;
            out += " or ";
            if (!And(out)) return false;
        }
        return true;
    }

    bool And(std::string& out) {
        if (!Not(out)) return false;
        while (IsKeyword("and") || IsName("and")) {
            ++pos_;
            out += " and ";
            if (!Not(out)) return false;
        }
        return true;
    }

    bool Not(std::string& out) {
        if (IsKeyword("not")) {
            ++pos_;
            out += "not(";
            if (!Not(out)) return false;
            out += ")";
            return true;
        }
        return Comparison(out);
    }

    bool Comparison(std::string& out) {
        std::string left;
        if (!Operand(left)) return false;
        std::string op;
        bool ignoreCase = false;
        if (Is(Kind::Compare)) {
            op = tokens_[pos_++].text;
        } else if (Is(Kind::Keyword)) {
            std::string word = tokens_[pos_].text;
            if (word.size() == 3 && word[0] == 'i') {
                ignoreCase = true;
                word.erase(0, 1);
            }
            op = word == "eq" ? "=" : word == "ne" ? "!=" : word == "lt" ? "<"
                 : word == "le" ? "<=" : word == "gt" ? ">" : word == "ge" ? ">=" : "";
            if (op.empty()) {
                // "$and$", "$or$" and the like end the comparison.
                out += left;
                return true;
            }
            ++pos_;
        } else {
            out += left;
            return true;
        }
        std::string right;
        if (!Operand(right)) return false;
        if (ignoreCase) {
            left = "translate(" + left + "," + kLower + "," + kUpper + ")";
            right = "translate(" + right + "," + kLower + "," + kUpper + ")";
        }
        out += left + op + right;
        return true;
    }

    bool Operand(std::string& out) {
        if (Accept(Kind::LParen)) {
            out += "(";
            if (!Or(out) || !Accept(Kind::RParen)) return false;
            out += ")";
            return true;
        }
        if (Is(Kind::Literal) || Is(Kind::Number)) {
            out += tokens_[pos_++].text;
            return true;
        }
        if (Is(Kind::Minus) && Is(Kind::Number, 1)) {
            out += "-" + tokens_[pos_ + 1].text;
            pos_ += 2;
            return true;
        }
        if (IsName("not") && Is(Kind::LParen, 1)) {
            pos_ += 2;
            out += "not(";
            if (!Or(out) || !Accept(Kind::RParen)) return false;
            out += ")";
            return true;
        }
        if (AcceptCall("end")) {
            out += "(position()=last())";
            return true;
        }
        if (AcceptCall("index")) {
            out += "(position()-1)";
            return true;
        }
        if (AcceptCall("last")) {
            out += "(last()-1)";
            return true;
        }
        return Path(out);
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
};

bool SplitName(const std::string& name, SimpleStep& step) {
    if (name.size() > 2 && name.compare(name.size() - 2, 2, ":*") == 0) return false;
    const std::size_t colon = name.find(':');
    if (colon == std::string::npos) {
        step.local = name;
    } else {
        step.prefix = name.substr(0, colon);
        step.local = name.substr(colon + 1);
    }
    return true;
}

// A position of digits only, small enough for a long.
bool ReadPosition(const std::string& number, long& position) {
    if (number.empty() || number.size() > 9) return false;
    for (char c : number)
        if (!IsDigit(c)) return false;
    position = std::strtol(number.c_str(), nullptr, 10);
    return true;
}

}  // namespace

std::optional<SimplePath> ParseSimplePath(std::string_view pattern) {
    std::vector<Token> tokens;
    if (!Tokenize(pattern, tokens)) return std::nullopt;
    SimplePath path;
    std::size_t i = 0;
    if (tokens[i].kind == Kind::Slash) {
        path.absolute = true;
        ++i;
    }
    for (;;) {
        SimpleStep step;
        if (tokens[i].kind == Kind::At) {
            step.attribute = true;
            ++i;
            if (tokens[i].kind != Kind::Name || !SplitName(tokens[i].text, step)) return std::nullopt;
            ++i;
            if (tokens[i].kind != Kind::End) return std::nullopt;
            path.steps.push_back(std::move(step));
            return path;
        }
        if (tokens[i].kind == Kind::Star) {
            ++i;
        } else if (tokens[i].kind == Kind::Name && tokens[i + 1].kind != Kind::LParen) {
            if (!SplitName(tokens[i].text, step)) return std::nullopt;
            ++i;
        } else {
            return std::nullopt;
        }
        if (tokens[i].kind == Kind::LBracket) {
            if (tokens[i + 1].kind != Kind::Number || tokens[i + 2].kind != Kind::RBracket ||
                !ReadPosition(tokens[i + 1].text, step.position))
                return std::nullopt;
            i += 3;
        }
        path.steps.push_back(std::move(step));
        if (tokens[i].kind == Kind::End) return path;
        if (tokens[i].kind != Kind::Slash) return std::nullopt;
        ++i;
    }
}

std::optional<std::string> XslPatternToXPath(std::string_view pattern) {
    std::vector<Token> tokens;
    if (!Tokenize(pattern, tokens)) return std::nullopt;
    return Translator(std::move(tokens)).Run();
}

}  // namespace vardel::platform::linux_layer
