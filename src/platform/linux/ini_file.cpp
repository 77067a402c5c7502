#include "platform/linux/ini_file.h"

#include <cstring>

namespace vardel::platform::linux_layer::ini {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A name or value as the C text the Windows functions would see: up to its first NUL.
std::string_view AsCText(std::string_view s) {
    const std::size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// Section and key names as they are looked up and written.
std::string_view Name(std::string_view s) { return Trim(AsCText(s)); }

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A name in the form that equal names share.
std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = FoldAscii(c);
    return folded;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// One line of the text: its content [begin, end) and where the next line starts
// (end plus the length of its line end, which is 0 for a last line without one).
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    bool Terminated() const { return next > end; }
};

enum class Kind { Blank, Comment, Section, Entry, Bare };

struct Parsed {
    Kind kind = Kind::Blank;
    std::string_view name;   // section name, key, or the whole trimmed bare line
    std::string_view value;  // entries only
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Steps through the lines of a text without copying it.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}

    bool Next(Line& line) {
        if (pos_ >= text_.size()) return false;
        line.begin = pos_;
        const std::size_t lf = text_.find('\n', pos_);
        if (lf == std::string_view::npos) {
            line.end = line.next = text_.size();
        } else {
            line.end = (lf > pos_ && text_[lf - 1] == '\r') ? lf - 1 : lf;
            line.next = lf + 1;
        }
        pos_ = line.next;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string_view Content(std::string_view text, const Line& line) {
    std::string_view content = text.substr(line.begin, line.end - line.begin);
    // A byte-order mark in front of the first line is no part of it.
    if (line.begin == 0 && content.substr(0, kUtf8Mark.size()) == kUtf8Mark)
        content.remove_prefix(kUtf8Mark.size());
    return content;
}

Parsed Classify(std::string_view content) {
    Parsed p;
    const std::string_view t = Trim(content);
    if (t.empty()) return p;
    if (t.front() == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    if (t.front() == '[') {
        const std::size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            p.kind = Kind::Section;
            p.name = Trim(t.substr(1, close - 1));
            return p;
        }
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        p.kind = Kind::Bare;
        p.name = t;
        return p;
    }
    p.kind = Kind::Entry;
    p.name = Trim(t.substr(0, eq));
    p.value = Trim(t.substr(eq + 1));
    return p;
}

bool IsContent(Kind k) { return k == Kind::Entry || k == Kind::Bare; }

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
        return v.substr(1, v.size() - 2);
    return v;
}

std::string CutToBuffer(std::string_view s, std::size_t bufferSize) {
    if (bufferSize == 0) return {};
    return std::string(s.substr(0, bufferSize - 1));
}

// The whole text split into lines, with each line's meaning (for edits).
struct Layout {
    std::vector<Line> lines;
    std::vector<Parsed> parsed;
    std::string eol = "\n";
};

Layout Analyse(std::string_view text) {
    Layout layout;
    LineCursor cursor(text);
    Line line;
    bool eolKnown = false;
    while (cursor.Next(line)) {
        layout.lines.push_back(line);
        layout.parsed.push_back(Classify(Content(text, line)));
        if (!eolKnown && line.Terminated()) {
            layout.eol = (line.next - line.end == 2) ? "\r\n" : "\n";
            eolKnown = true;
        }
    }
    return layout;
}

struct SectionSpan {
    std::size_t header = 0;  // index of the section line
    std::size_t end = 0;     // index of the line after its last line
};

bool FindSection(const Layout& layout, std::string_view section, SectionSpan& span) {
    const std::size_t n = layout.lines.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (layout.parsed[i].kind != Kind::Section || !SameName(layout.parsed[i].name, section))
            continue;
        span.header = i;
        span.end = i + 1;
        while (span.end < n && layout.parsed[span.end].kind != Kind::Section) ++span.end;
        return true;
    }
    return false;
}

// Appends a new section with its lines at the end of the text, after a blank
// line that sets it apart from what is there.
void AppendSection(std::string& text, const Layout& layout, std::string_view section,
                   std::string_view block) {
    if (!text.empty()) {
        const Line& last = layout.lines.back();
        if (!last.Terminated()) text += layout.eol;
        if (layout.parsed.back().kind != Kind::Blank) text += layout.eol;
    }
    text += '[';
    text += section;
    text += ']';
    text += layout.eol;
    text += block;
}

// Inserts block (whole lines) after line index at, giving that line a line end
// when it is the text's last line and has none.
void InsertAfter(std::string& text, const Layout& layout, std::size_t at, std::string_view block) {
    const Line& line = layout.lines[at];
    if (line.Terminated()) {
        text.insert(line.next, block);
    } else {
        text.insert(line.next, layout.eol + std::string(block));
    }
}

}  // namespace

Index::Index(std::string_view text) {
    LineCursor cursor(text);
    Line line;
    Section* current = nullptr;  // null outside a section and in later equal sections
    while (cursor.Next(line)) {
        const Parsed p = Classify(Content(text, line));
        switch (p.kind) {
            case Kind::Section: {
                const auto [it, first] = sections_.try_emplace(Folded(p.name));
                current = first ? &it->second : nullptr;
                if (first) sectionNames_.emplace_back(p.name);
                break;
            }
            case Kind::Entry:
                if (!current) break;
                current->lines.push_back(std::string(p.name) + "=" + std::string(p.value));
                current->values.try_emplace(Folded(p.name), Unquote(p.value));
                break;
            case Kind::Bare:
                if (current) current->lines.emplace_back(p.name);
                break;
            case Kind::Blank:
            case Kind::Comment:
                break;
        }
    }
}

std::string Index::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize) const {
    const auto s = sections_.find(Folded(Name(section)));
    if (s != sections_.end()) {
        const auto v = s->second.values.find(Folded(Name(key)));
        if (v != s->second.values.end()) return CutToBuffer(v->second, bufferSize);
    }
    std::string_view fallback = AsCText(defaultValue);
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
    return CutToBuffer(fallback, bufferSize);
}

bool Index::HasSection(std::string_view section) const { return sections_.count(Folded(Name(section))) > 0; }

std::vector<std::string> Index::ReadSection(std::string_view section) const {
    const auto s = sections_.find(Folded(Name(section)));
    return s == sections_.end() ? std::vector<std::string>{} : s->second.lines;
}

std::string ReadString(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view defaultValue, std::size_t bufferSize) {
    return Index(text).ReadString(section, key, defaultValue, bufferSize);
}

std::vector<std::string> ReadSection(std::string_view text, std::string_view section) {
    return Index(text).ReadSection(section);
}

bool WriteString(std::string& text, std::string_view section, std::string_view key,
                 std::string_view value) {
    const std::string_view sectionName = Name(section);
    const std::string_view keyName = Name(key);
    const std::string_view newValue = AsCText(value);
    if (HasLineBreak(sectionName) || HasLineBreak(keyName) || HasLineBreak(newValue)) return false;
    // Such keys would read back as something else: a comment, a section line, or
    // a shorter key.
    if (!keyName.empty() &&
        (keyName.front() == ';' || keyName.front() == '[' || keyName.find('=') != std::string_view::npos))
        return false;

    const Layout layout = Analyse(text);
    SectionSpan span;
    if (!FindSection(layout, sectionName, span)) {
        std::string block(keyName);
        block += '=';
        block += newValue;
        block += layout.eol;
        AppendSection(text, layout, sectionName, block);
        return true;
    }

    std::size_t lastContent = span.header;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        const Parsed& p = layout.parsed[i];
        if (p.kind == Kind::Entry && SameName(p.name, keyName)) {
            // The entry keeps its indentation and its key as spelled; the rest of
            // the line is the new value.
            const Line& line = layout.lines[i];
            const std::size_t keyAt = static_cast<std::size_t>(p.name.data() - text.data());
            std::string replacement(text, line.begin, keyAt - line.begin);
            replacement += p.name;
            replacement += '=';
            replacement += newValue;
            text.replace(line.begin, line.end - line.begin, replacement);
            return true;
        }
        if (IsContent(p.kind)) lastContent = i;
    }
    std::string block(keyName);
    block += '=';
    block += newValue;
    block += layout.eol;
    InsertAfter(text, layout, lastContent, block);
    return true;
}

bool WriteSection(std::string& text, std::string_view section, const std::vector<std::string>& lines) {
    const std::string_view sectionName = Name(section);
    if (HasLineBreak(sectionName)) return false;
    for (const std::string& line : lines)
        if (HasLineBreak(AsCText(line))) return false;

    const Layout layout = Analyse(text);
    std::string block;
    for (const std::string& line : lines) {
        block += AsCText(line);
        block += layout.eol;
    }

    SectionSpan span;
    if (!FindSection(layout, sectionName, span)) {
        if (!lines.empty()) AppendSection(text, layout, sectionName, block);
        return true;
    }

    std::size_t firstContent = span.end;
    for (std::size_t i = span.header + 1; i < span.end && firstContent == span.end; ++i)
        if (IsContent(layout.parsed[i].kind)) firstContent = i;

    // Rebuild the section: the new lines take the place of its first entry (or
    // follow the section line when it has none); comments and blank lines stay.
    const Line& header = layout.lines[span.header];
    std::string out(text, 0, header.next);
    if (!header.Terminated()) out += layout.eol;
    if (firstContent == span.end) out += block;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        const Line& line = layout.lines[i];
        if (i == firstContent) out += block;
        if (IsContent(layout.parsed[i].kind)) continue;
        out.append(text, line.begin, line.next - line.begin);
    }
    if (span.end < layout.lines.size()) out.append(text, layout.lines[span.end].begin);
    text = std::move(out);
    return true;
}

}  // namespace vardel::platform::linux_layer::ini
