// Template-driven extraction.
//
// One call reads the feed document of the instance's site: the key node names the
// items (a tag name, or a path from the root element when it contains "/") and an
// optional list of attributes; the line range picks the items; the template is
// copied once per item and its fields are filled from that item. Every field
// replacement acts on the whole output collected so far, not only on the item's
// own copy, so a value that itself contains "<link>" is replaced when a later field
// named link is filled, also in a later item.
//
// Cost. The document does not change during a call, so the item list is fetched
// once. The replacements keep their whole-output results, but each search starts
// where its text can occur at all (see Output), so the cost grows with the items
// taken, not with their square. Without the entity filter, the items stop as soon
// as the first 2047 characters of the output can no longer change.
#include "feed/extraction.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "config/site_table.h"
#include "feed/filters.h"
#include "text/code_page.h"
#include "text/number.h"
#include "text/text.h"

namespace vardel::feed {

using platform::AttributeOf;
using platform::DocumentRef;
using platform::ItemOf;
using platform::LengthOf;
using platform::NodeListRef;
using platform::NodeRef;
using platform::TextOf;

DocumentRef& CurrentDocument() {
    // Never destroyed: the library's unload releases it.
    static DocumentRef& current = *new DocumentRef;
    return current;
}

bool LooksNumeric(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        const bool fits = (c >= '0' && c <= '9') || c == '+' || c == ',' || c == '-' || c == '.' ||
                          c == '/' || c == 'E' || c == 'e';
        if (!fits) return false;
    }
    return true;
}

bool IsAlphanumeric(std::string_view text) {
    for (char c : text) {
        const bool fits = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!fits) return false;
    }
    return true;
}

void BindFeedDocument(const config::InstanceSettings& settings) {
    DocumentRef& current = CurrentDocument();
    current.reset();
    // A site number the table does not have (-1 for a site name that matched no
    // site) reads like a site without a document: never outside the table.
    const std::int32_t site = settings.SiteIndex;
    if (!config::IsSiteNumber(site)) return;
    current = config::SiteTable()[static_cast<std::size_t>(site)].FeedDocument;
}

namespace {

constexpr std::size_t kAttributeListLength = 127;
constexpr std::size_t kTemplateScanLength = 255;
constexpr std::string_view kLineMark = "Line#:";
constexpr std::string_view kAttributeMark = "MyAttribut:";
constexpr std::string_view kSpacedAttributeMark = " MyAttribut:";

// ---- the output -----------------------------------------------------------------

// The output collected so far, and for each search text of the template a length
// of output known to hold no occurrence of it.
//
// Replacing every occurrence of s, left to right without overlap, in a text whose
// first w characters hold no s gives the same result as replacing in the part
// from w - |s| + 1 on, because the left-to-right search finds no match before that.
// After a replacement whose first match was at q, the text before q is unchanged
// and still free of s; so is it of every other search text that was free there.
// Appending at the end keeps all of this. So each search reads only the text that
// changed since its last run, and what the search text can reach into before it.
class Output {
public:
    // Registers a search text (not empty); returns its number.
    std::size_t AddSearch(std::string search) {
        for (std::size_t i = 0; i < searches_.size(); ++i) {
            if (searches_[i] == search) return i;
        }
        longest_ = std::max(longest_, search.size());
        if (firstChars_.find(search[0]) == std::string::npos) firstChars_ += search[0];
        searches_.push_back(std::move(search));
        clean_.push_back(0);
        return searches_.size() - 1;
    }

    void Append(std::string_view s) { text_ += s; }

    // Replaces every occurrence of search text number i in the whole output.
    void Replace(std::size_t i, std::string_view replacement) {
        const std::string& search = searches_[i];
        const std::size_t reach = search.size() - 1;
        const std::size_t start = clean_[i] > reach ? clean_[i] - reach : 0;
        std::size_t hit = text_.find(search, start);
        if (hit == std::string::npos) {
            clean_[i] = text_.size();
            return;
        }
        const std::size_t first = hit;
        scratch_.clear();
        std::size_t in = hit;
        while (hit != std::string::npos) {
            scratch_.append(text_, in, hit - in);
            scratch_ += replacement;
            in = hit + search.size();
            hit = text_.find(search, in);
        }
        scratch_.append(text_, in, std::string::npos);
        text_.resize(first);
        text_ += scratch_;
        for (std::size_t& c : clean_) c = std::min(c, first);
        clean_[i] = first;
    }

    // True when no later Append or Replace can change the first `length`
    // characters. The text before b is fixed when it holds no search text and
    // no search text can start in it and reach past b: such a match would start
    // with one of the search texts' first characters within the last
    // (longest - 1) characters before b.
    bool PrefixIsFinal(std::size_t length) const {
        std::size_t b = text_.size();
        for (std::size_t c : clean_) b = std::min(b, c);
        // Look for such a b only a little beyond length, so the check costs little.
        b = std::min(b, length + 256);
        const std::size_t reach = longest_ > 0 ? longest_ - 1 : 0;
        while (b >= length) {
            const std::size_t low = b > reach ? b - reach : 0;
            std::size_t j = b;
            while (j > low && firstChars_.find(text_[j - 1]) == std::string::npos) --j;
            if (j == low) return true;
            b = j - 1;
        }
        return false;
    }

    std::string& Text() { return text_; }

private:
    std::string text_;
    std::string scratch_;
    std::vector<std::string> searches_;
    std::vector<std::size_t> clean_;
    std::string firstChars_;
    std::size_t longest_ = 0;
};

// A step of a path that names elements and nothing else: "*", or a name with an
// optional prefix.
bool IsPlainStep(std::string_view step) {
    if (step == "*") return true;
    bool atStart = true;
    bool hadPrefix = false;
    for (char c : step) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool digit = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (c == ':' && !atStart && !hadPrefix) {
            hadPrefix = true;
            atStart = true;
            continue;
        }
        if (!(letter || (digit && !atStart))) return false;
        atStart = false;
    }
    return !atStart;
}

// ---- the template ---------------------------------------------------------------

// One field of the template as the field scan finds it; the same for every item.
struct Field {
    std::string writtenName;           // as in the template
    std::string name;                  // without " Line#:n;"
    double occurrence = 0;             // k: which of the matching nodes, from 0
    bool isAttribute = false;          // "MyAttribut:"
    std::string pattern;               // attribute field: the nodes to read
    std::string attributeName;         // attribute field: the attribute
    bool isPath = false;               // text field whose name holds "/"
    bool isPlainName = false;          // text field named by an element name or "*"
    std::optional<std::size_t> renameSearch;  // old name, when cleaning changes it
    std::size_t markerSearch = 0;             // "<" + name + ">"
};

Field ParseField(std::string_view written) {
    Field f;
    f.writtenName = std::string(written);
    f.name = f.writtenName;
    const std::size_t line = f.name.find(kLineMark);
    if (line != std::string::npos) {
        const std::size_t numberStart = line + kLineMark.size();
        const std::size_t semicolon = f.name.find(';', numberStart);
        const std::size_t numberEnd = semicolon == std::string::npos ? f.name.size() : semicolon;
        f.occurrence = text::NumberFromText(std::string_view(f.name).substr(numberStart, numberEnd - numberStart)) - 1;
        // Without a ";" the mark runs to the end of the name.
        const std::size_t markEnd = semicolon == std::string::npos ? f.name.size() : semicolon + 1;
        std::string spacedMark(1, ' ');
        spacedMark.append(f.name, line, markEnd - line);
        f.name = text::ReplaceAll(f.name, spacedMark, "");
    }
    const std::size_t attribute = f.name.find(kAttributeMark);
    if (attribute != std::string::npos) {
        f.isAttribute = true;
        f.attributeName = f.name.substr(attribute + kAttributeMark.size());
        const std::size_t spaced = f.name.find(kSpacedAttributeMark);
        f.pattern = spaced == std::string::npos ? f.name : f.name.substr(0, spaced);
    } else {
        f.isPath = f.name.find('/') != std::string::npos;
        f.isPlainName = IsPlainStep(f.name);
    }
    return f;
}

// The fields of the template's first 255 characters, up to a "<" without ">".
std::vector<Field> ScanTemplate(std::string_view templateText, Output& output) {
    std::vector<Field> fields;
    std::string_view rest = text::CutToFit(templateText, kTemplateScanLength);
    for (;;) {
        const std::size_t open = rest.find('<');
        if (open == std::string_view::npos) break;
        const std::size_t close = rest.find('>', open + 1);
        if (close == std::string_view::npos) break;
        Field f = ParseField(rest.substr(open + 1, close - open - 1));
        if (f.name != f.writtenName) f.renameSearch = output.AddSearch(f.writtenName);
        f.markerSearch = output.AddSearch("<" + f.name + ">");
        fields.push_back(std::move(f));
        rest = rest.substr(close + 1);
    }
    return fields;
}

// The attribute names of the key node's list: each ends with ";"; text after the
// last ";" is ignored.
std::vector<std::string> AttributeNames(std::string_view list) {
    std::vector<std::string> names;
    list = text::CutToFit(list, kAttributeListLength);
    for (std::size_t semicolon = list.find(';'); semicolon != std::string_view::npos; semicolon = list.find(';')) {
        names.emplace_back(list.substr(0, semicolon));
        list = list.substr(semicolon + 1);
    }
    return names;
}

// The list position a number names, rounded as the component rounds a number it
// is given (to the nearest, ties to even); none for a position no list has.
std::optional<long> ListPosition(double position) {
    if (!std::isfinite(position)) return std::nullopt;
    const double rounded = text::RoundHalfEven(position);
    if (rounded < 0 || rounded > 2147483647.0) return std::nullopt;
    return static_cast<long>(rounded);
}

// ---- the items --------------------------------------------------------------------

// The items the key node's item name selects, by their number counted from 0.
//
// A tag name's items are the document's elements of that name, in document order.
// A path's item k is what the root element's selectSingleNode gives for the path
// followed by "[k]". For a path of plain element steps ("channel/item") that node
// is the k-th child of that name of the first parent (the nodes of the path
// without its last step, all of one depth and so in document order) that has more
// than k of them: found without querying the document again for every item.
// Other paths are asked item by item.
//
// Choice: a path's items are located by the path also for the attribute list,
// attribute fields and the search selection (not by the path as a tag name, which
// finds nothing), and an item number below 0 names no item, for paths as for tag
// names.
class Items {
public:
    Items(const DocumentRef& document, std::string itemName) : document_(document), name_(std::move(itemName)) {
        isPath_ = name_.find('/') != std::string::npos;
        if (!isPath_) {
            if (document_) list_ = document_->GetElementsByTagName(name_);
            return;
        }
        root_ = document_ ? document_->DocumentElement() : nullptr;
        plainPath_ = true;
        for (std::size_t start = 0;;) {
            const std::size_t slash = name_.find('/', start);
            if (!IsPlainStep(std::string_view(name_).substr(start, slash - start))) {
                plainPath_ = false;
                break;
            }
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
    }

    bool IsPath() const { return isPath_; }

    // The number of items: the elements of the tag name, or the nodes the path
    // selects.
    long Count() {
        if (!isPath_) return LengthOf(list_);
        return root_ ? LengthOf(root_->SelectNodes(name_)) : 0;
    }

    NodeRef At(long k) {
        if (k < 0) return nullptr;
        if (!isPath_) return ItemOf(list_, k);
        if (!root_) return nullptr;
        if (!plainPath_) return root_->SelectSingleNode(name_ + "[" + std::to_string(k) + "]");
        if (!childrenRead_) ReadChildren();
        // The first parent whose count exceeds k: the counts' running maximum rises.
        const auto parent = std::upper_bound(runningMax_.begin(), runningMax_.end(), k);
        if (parent == runningMax_.end()) return nullptr;
        return ItemOf(children_[static_cast<std::size_t>(parent - runningMax_.begin())], k);
    }

private:
    void ReadChildren() {
        childrenRead_ = true;
        const std::size_t slash = name_.rfind('/');
        const NodeListRef parents = root_->SelectNodes(name_.substr(0, slash));
        const std::string lastStep = name_.substr(slash + 1);
        long most = 0;
        for (long i = 0, n = LengthOf(parents); i < n; ++i) {
            const NodeRef parent = ItemOf(parents, i);
            NodeListRef children = parent ? parent->SelectNodes(lastStep) : nullptr;
            most = std::max(most, LengthOf(children));
            children_.push_back(std::move(children));
            runningMax_.push_back(most);
        }
    }

    DocumentRef document_;
    std::string name_;
    bool isPath_ = false;
    NodeListRef list_;
    NodeRef root_;
    bool plainPath_ = false;
    bool childrenRead_ = false;
    std::vector<NodeListRef> children_;
    std::vector<long> runningMax_;
};

struct LineRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

LineRange ResolveLines(const config::InstanceSettings& settings, Items& items) {
    LineRange range;
    const std::string_view start = text::TrimBlanks(settings.StartZeile.View());
    if (LooksNumeric(start)) {
        const std::int16_t first = text::Int16FromText(settings.StartZeile.View());
        const std::int16_t last = text::Int16FromText(settings.EndZeile.View());
        range.first = first;
        range.last = last < first ? first : last;
        if (!items.IsPath()) {
            const long n = items.Count();
            if (range.first > n) range.first = static_cast<std::int32_t>(n);
            if (range.last > n) range.last = static_cast<std::int32_t>(n);
        }
    } else if (IsAlphanumeric(start)) {
        // Search selection: the last item whose attribute holds the search text, in
        // any letter case. An empty search text matches every non-empty value. The
        // item number is kept whole, also beyond the 16-bit range of line numbers.
        const std::string wanted = text::UpperCase(text::TrimBlanks(settings.EndZeile.View()));
        const long n = items.Count();
        for (long i = 0; i < n; ++i) {
            const std::string value = text::UpperCase(AttributeOf(items.At(i), start));
            const bool match = wanted.empty() ? !value.empty() : value.find(wanted) != std::string::npos;
            if (match) range.first = range.last = static_cast<std::int32_t>(std::min<long>(i + 1, INT32_MAX));
        }
    }
    return range;
}

// ---- field values ---------------------------------------------------------------

class ItemReader {
public:
    ItemReader(NodeRef item, const config::InstanceSettings& settings)
        : item_(std::move(item)), stripTags_(settings.FLTHTML == 1), removeLineFeeds_(settings.FLTWrap == 1) {}

    // Attribute field: the attribute of node k of what the pattern selects in the
    // item. No filter.
    std::string AttributeField(const Field& f) const {
        if (!item_) return {};
        const std::optional<long> k = ListPosition(f.occurrence);
        if (!k) return {};
        return AttributeOf(ItemOf(item_->SelectNodes(f.pattern), *k), f.attributeName);
    }

    // Text field: empty for an item without text; else the text of the node the
    // path selects in the item, or of its k-th element of that name; then the
    // instance's filters.
    std::string TextField(const Field& f) {
        if (!item_) return {};
        std::string value;
        if (f.isPath) {
            value = TextOf(item_->SelectSingleNode(f.name));
        } else if (const std::optional<long> k = ListPosition(f.occurrence)) {
            value = TextOf(ItemOf(item_->GetElementsByTagName(f.name), *k));
        }
        // An empty value stays empty either way. An element inside the item whose
        // text holds anything but whitespace (blank, tab, CR, LF) puts that into
        // the item's text too, so the item's text is read only when that does not
        // settle it, and at most once per item: for values of whitespace alone, and
        // for names other than plain element names (paths may select nodes outside
        // the item or attributes, and Wine's component reads some names, such as
        // the empty one, as patterns that reach outside it).
        if (value.empty()) return value;
        const bool provesItemText = f.isPlainName && value.find_first_not_of(" \t\r\n") != std::string::npos;
        if (!provesItemText) {
            if (itemText_ == ItemText::Unread) itemText_ = item_->Text().empty() ? ItemText::Empty : ItemText::Present;
            if (itemText_ == ItemText::Empty) return {};
        }
        if (stripTags_) value = StripTags(value);
        if (removeLineFeeds_) value = RemoveLineFeeds(value);
        return value;
    }

    // The attribute text: each listed attribute's value and one blank.
    std::string AttributeText(const std::vector<std::string>& names) const {
        std::string attributes;
        for (const std::string& name : names) {
            attributes += AttributeOf(item_, name);
            attributes += ' ';
        }
        return attributes;
    }

private:
    NodeRef item_;
    bool stripTags_;
    bool removeLineFeeds_;
    enum class ItemText { Unread, Empty, Present } itemText_ = ItemText::Unread;
};

// Releases the current document when the extraction ends.
struct CurrentDocumentBinding {
    explicit CurrentDocumentBinding(const config::InstanceSettings& settings) { BindFeedDocument(settings); }
    ~CurrentDocumentBinding() { CurrentDocument().reset(); }
    CurrentDocumentBinding(const CurrentDocumentBinding&) = delete;
    CurrentDocumentBinding& operator=(const CurrentDocumentBinding&) = delete;
};

}  // namespace

std::string ExtractFeedText(const config::InstanceSettings& settings, std::string_view templateText,
                            std::string_view keyNode) {
    const CurrentDocumentBinding binding(settings);

    const std::size_t semicolon = keyNode.find(';');
    const std::string_view itemName = keyNode.substr(0, semicolon);
    const std::vector<std::string> attributeNames =
        semicolon == std::string_view::npos ? std::vector<std::string>{} : AttributeNames(keyNode.substr(semicolon + 1));

    Items items(CurrentDocument(), std::string(itemName));
    const LineRange range = ResolveLines(settings, items);

    Output output;
    const std::vector<Field> fields = ScanTemplate(templateText, output);
    const bool decodeEntities = settings.FLTHTMLCode == 1;

    for (std::int64_t line = range.first; line <= range.last; ++line) {
        // Only the first 2047 characters are kept; once they cannot change, the
        // remaining items would make no difference. The entity step reads the
        // whole output, so with it every item is taken.
        if (!decodeEntities && output.PrefixIsFinal(kTextLength)) break;

        ItemReader item(items.At(static_cast<long>(line - 1)), settings);
        // Choice: the attribute text goes once in front of each item's copy of the
        // template, and is not repeated in front of the whole output after every
        // text field.
        output.Append(item.AttributeText(attributeNames));
        output.Append(templateText);
        for (const Field& f : fields) {
            if (f.renameSearch) output.Replace(*f.renameSearch, f.name);
            output.Replace(f.markerSearch, f.isAttribute ? item.AttributeField(f) : item.TextField(f));
        }
    }

    std::string& text = output.Text();
    if (decodeEntities) text = DecodeNamedEntities(DecodeNumericReferences(text));
    text.resize(text::FitLength(text, kTextLength));
    return std::move(text);
}

}  // namespace vardel::feed
