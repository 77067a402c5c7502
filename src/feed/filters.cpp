// HTML text filters.
//
// Each filter gives exactly the result of its plain definition as a series of
// whole-text replacement passes (see filters.h), but skips or merges passes where
// that provably cannot change the result: a pass whose inserted character can never
// form a new reference commutes with the others, and references never overlap.
#include "feed/filters.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "text/code_page.h"

namespace vardel::feed {

// ---- tags ----------------------------------------------------------------------
//
// The rule: take the first "<" up to the next ">" (the tag), remove every
// occurrence of it from the whole text, repeat. Done literally, every distinct tag
// costs a scan of the rest of the text. The single pass below gives the same text.
//
// Split the text at its ">" characters into segments. An occurrence of a tag "<x>"
// (x holds no ">") is always the end of one segment together with the ">" after
// it, so a pass with that tag cuts "<x" off the end of every segment that ends
// with it and joins what is left to the next segment. The first tag is the rest
// of the first segment that holds a "<", from that "<" on; everything before that
// segment is final.
//
// Number the passes 1, 2, ... A segment's own characters stay in it until its ">"
// is removed; what other segments leave over is put in front of it, each piece at
// the pass that cut it loose. So a segment dies at the first pass t whose tag is a
// suffix of the segment as it was before pass t: of its own text (any pass), or
// reaching into a piece that arrived at a pass before t. Passes are only ever made
// by segments further left, so reading the segments left to right, the passes
// that can touch a segment are all known when it is read. What a segment is not
// cut by, it keeps until it is the first segment with a "<" (then its own pass
// cuts it from that "<" on) or, with no "<" at all, for good.
//
// The pieces that wait in front of the next segment are kept as a stack of
// blocks, each with the pass at which it arrived: a later arrival lies further
// left, so the passes fall from the bottom of the stack to its top, and a segment
// that dies at pass t takes every block of pass t or earlier with it into one new
// block of pass t. A block is searched only if a pass later than its own can still
// come first, so every block searched is used up by that segment: the search
// moves on as the text does. Tags are compared by their hashes and confirmed
// character by character before a cut.
//
// A search reads back no further than the longest tag of a pass that can still
// come first, which keeps the pass linear for every text met so far, many distinct
// tags included. Texts built so that long stretches full of "<" wait while the
// segments after them die at passes spaced apart can make each segment read far
// back; the search has a budget of steps in proportion to the text, and past it
// the text is stripped pass by pass, as before, which then costs one scan per tag.

namespace {

// ---- pass by pass ----

// Removes every occurrence of tag from text[from:], left to right without overlap.
void RemoveEvery(std::string& text, std::size_t from, std::string_view tag) {
    std::size_t hit = text.find(tag, from);
    if (hit == std::string::npos) return;
    std::size_t out = hit;
    std::size_t in = hit;
    while (hit != std::string::npos) {
        std::memmove(&text[out], &text[in], hit - in);
        out += hit - in;
        in = hit + tag.size();
        hit = text.find(tag, in);
    }
    std::memmove(&text[out], &text[in], text.size() - in);
    out += text.size() - in;
    text.resize(out);
}

// The rule as it reads, one scan of the text per tag: for texts that would keep
// the single pass searching for long (see TagStripper).
std::string StripTagsPassByPass(std::string_view input) {
    std::string text(input);
    std::size_t from = 0;  // text[0:from] holds no "<", so no tag starts there
    for (;;) {
        const std::size_t open = text.find('<', from);
        if (open == std::string::npos) return text;
        const std::size_t close = text.find('>', open);
        if (close == std::string::npos) {
            // The tag runs to the end; it cannot occur anywhere else.
            text.resize(open);
            return text;
        }
        const std::string tag = text.substr(open, close - open + 1);
        RemoveEvery(text, open, tag);
        from = open;
    }
}

// ---- in one pass ----

// Polynomial hashes modulo the prime 2^61 - 1, in 64-bit arithmetic (the 32-bit
// build has no 128-bit integers).
constexpr std::uint64_t kModulus = (std::uint64_t{1} << 61) - 1;

std::uint64_t Reduce(std::uint64_t x) {
    x = (x >> 61) + (x & kModulus);
    return x >= kModulus ? x - kModulus : x;
}

std::uint64_t MulMod(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t kLow31 = (std::uint64_t{1} << 31) - 1;
    constexpr std::uint64_t kLow30 = (std::uint64_t{1} << 30) - 1;
    const std::uint64_t aHigh = a >> 31, aLow = a & kLow31;
    const std::uint64_t bHigh = b >> 31, bLow = b & kLow31;
    const std::uint64_t middle = aLow * bHigh + aHigh * bLow;
    return Reduce(aHigh * bHigh * 2 + (middle >> 30) + ((middle & kLow30) << 31) + aLow * bLow);
}

// A base that differs from run to run, so that no text can be made to collide on
// purpose (a collision would only cost time: every cut is confirmed).
std::uint64_t HashBase() {
    static const std::uint64_t base = [] {
        std::uint64_t x = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        x ^= reinterpret_cast<std::uintptr_t>(&x);
        x += 0x9E3779B97F4A7C15u;  // splitmix64
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
        x ^= x >> 31;
        return (x % (kModulus - 512)) + 256;
    }();
    return base;
}

// Increasing pass numbers; most lists hold one.
struct PassList {
    std::uint32_t first = 0;  // 0: empty
    std::uint32_t more = 0;   // 1 + index of the list in PassLists, when it holds more than one
};

class PassLists {
public:
    void Append(PassList& list, std::uint32_t pass) {
        if (list.first == 0) {
            list.first = pass;
        } else if (list.more == 0) {
            lists_.push_back({list.first, pass});
            list.more = static_cast<std::uint32_t>(lists_.size());
        } else {
            lists_[list.more - 1].push_back(pass);
        }
    }
    // The first pass after `after` and before `before`, or 0.
    std::uint32_t FirstBetween(const PassList& list, std::uint32_t after, std::uint32_t before) const {
        std::uint32_t pass = list.first;
        if (list.more != 0) {
            const std::vector<std::uint32_t>& all = lists_[list.more - 1];
            const auto it = std::upper_bound(all.begin(), all.end(), after);
            pass = it == all.end() ? 0 : *it;
        }
        return pass > after && pass < before ? pass : 0;
    }
    // Every pass after `after` and before `before`, in order.
    template <typename F>
    void ForEachBetween(const PassList& list, std::uint32_t after, std::uint32_t before, F&& f) const {
        if (list.more == 0) {
            if (list.first > after && list.first < before) f(list.first);
            return;
        }
        const std::vector<std::uint32_t>& all = lists_[list.more - 1];
        for (auto it = std::upper_bound(all.begin(), all.end(), after); it != all.end() && *it < before; ++it) f(*it);
    }

private:
    std::vector<std::vector<std::uint32_t>> lists_;
};

// The passes of one tag.
struct TagPasses {
    std::uint64_t hash = ~std::uint64_t{0};  // ~0: a free slot (hashes are below 2^61)
    PassList passes;
};

// The tags by their hashes, in open addressing by the hash itself.
class TagTable {
public:
    TagTable() : slots_(64) {}
    const TagPasses* Find(std::uint64_t hash) const {
        for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].hash == hash) return &slots_[i];
            if (slots_[i].hash == kFree) return nullptr;
        }
    }
    TagPasses& Get(std::uint64_t hash) {
        if ((used_ + 1) * 4 > slots_.size() * 3) Grow();
        std::size_t i = hash & (slots_.size() - 1);
        while (slots_[i].hash != hash && slots_[i].hash != kFree) i = (i + 1) & (slots_.size() - 1);
        if (slots_[i].hash == kFree) {
            slots_[i].hash = hash;
            ++used_;
        }
        return slots_[i];
    }

private:
    static constexpr std::uint64_t kFree = ~std::uint64_t{0};
    void Grow() {
        std::vector<TagPasses> old(slots_.size() * 2);
        old.swap(slots_);
        for (const TagPasses& e : old) {
            if (e.hash == kFree) continue;
            std::size_t i = e.hash & (slots_.size() - 1);
            while (slots_[i].hash != kFree) i = (i + 1) & (slots_.size() - 1);
            slots_[i] = e;
        }
    }
    std::vector<TagPasses> slots_;
    std::size_t used_ = 0;
};

// The longest tag among the passes of a range (a segment tree over the passes).
// Lengths are kept in 32 bits; a longer one counts as 2^32 - 1, which only makes
// the bound looser.
class LongestTag {
public:
    void Append(std::size_t length) {
        const std::size_t pass = ++count_;
        if (pass >= capacity_) {
            capacity_ = std::max<std::size_t>(64, capacity_ * 2);
            std::vector<std::uint32_t> grown(2 * capacity_, 0);
            for (std::size_t p = 1; p < pass; ++p) grown[capacity_ + p] = tree_[capacity_ / 2 + p];
            for (std::size_t i = capacity_ - 1; i > 0; --i) grown[i] = std::max(grown[2 * i], grown[2 * i + 1]);
            tree_.swap(grown);
        }
        std::size_t i = capacity_ + pass;
        tree_[i] = static_cast<std::uint32_t>(std::min<std::size_t>(length, UINT32_MAX));
        for (i /= 2; i > 0; i /= 2) tree_[i] = std::max(tree_[2 * i], tree_[2 * i + 1]);
    }
    // Over the passes first..last (0 for an empty range).
    std::size_t Max(std::size_t first, std::size_t last) const {
        if (first > last || first > count_) return 0;
        last = std::min(last, count_);
        std::uint32_t result = 0;
        for (std::size_t lo = capacity_ + first, hi = capacity_ + last + 1; lo < hi; lo /= 2, hi /= 2) {
            if (lo & 1) result = std::max(result, tree_[lo++]);
            if (hi & 1) result = std::max(result, tree_[--hi]);
        }
        return result == UINT32_MAX ? SIZE_MAX : result;
    }

private:
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
    std::vector<std::uint32_t> tree_;
};

class TagStripper {
public:
    explicit TagStripper(std::string_view input)
        : input_(input), base_(HashBase()), searchSteps_(kSearchStepsPerByte * input.size() + 4096) {}

    // The stripped text, or nothing once the searches ran out of steps.
    std::optional<std::string> Run() {
        out_.reserve(input_.size());
        for (std::size_t at = 0;;) {
            const std::size_t close = input_.find('>', at);
            const std::string_view segment = input_.substr(at, close == std::string_view::npos ? close : close - at);
            const std::size_t segmentStart = out_.size();
            out_.append(segment);
            if (firstOpen_ == kNone) {
                const std::size_t open = segment.find('<');
                if (open != std::string_view::npos) firstOpen_ = segmentStart + open;
            }
            if (close == std::string_view::npos) break;
            if (!EndSegment(segmentStart)) return std::nullopt;
            at = close + 1;
        }
        // The last segment has no ">": a tag in it runs to the end.
        if (firstOpen_ != kNone) out_.resize(firstOpen_);
        return std::move(out_);
    }

private:
    static constexpr std::size_t kNone = std::string::npos;
    static constexpr std::size_t kSearchStepsPerByte = 16;

    struct Block {
        std::size_t start;    // in out_; the block runs to the next block or the segment
        std::uint32_t pass;   // at which it arrived
    };
    struct Cut {
        std::size_t at = kNone;
        std::uint32_t pass = 0;  // 0: none
    };

    std::uint64_t Code(char c) const { return static_cast<unsigned char>(c) + 1u; }

    // The segment out_[segmentStart:] has just met its ">"; false once the
    // searches ran out of steps.
    bool EndSegment(std::size_t segmentStart) {
        if (firstOpen_ == kNone) {  // no "<" waits: final
            out_ += '>';
            blocks_.clear();
            return true;
        }
        Cut cut = FindEarliestCut(segmentStart, false);
        if (cut.pass != 0 && !SameAsTag(cut)) cut = FindEarliestCut(segmentStart, true);
        if (searchSteps_ == 0) return false;
        if (cut.pass == 0) cut = {firstOpen_, AddTag(firstOpen_)};  // the segment's own pass

        std::size_t start = segmentStart;
        while (!blocks_.empty() && blocks_.back().pass <= cut.pass) {
            start = blocks_.back().start;
            blocks_.pop_back();
        }
        out_.resize(cut.at);
        if (firstOpen_ >= cut.at) firstOpen_ = kNone;
        if (start < cut.at) blocks_.push_back({start, cut.pass});
        return true;
    }

    // The earliest pass whose tag ends the segment (with what waits in front of it)
    // at a moment the tag was there to cut. Reads from the ">" to the left, no
    // further than the longest tag of a pass that could still come first.
    Cut FindEarliestCut(std::size_t segmentStart, bool confirmEach) {
        Cut best;
        std::uint32_t before = passes_ + 1;  // passes earlier than this can still come first
        std::size_t block = blocks_.size();
        std::size_t regionStart = segmentStart;
        std::uint32_t arrived = 0;  // of the characters being read: the segment's own
        std::size_t longest = longest_.Max(1, before - 1);
        std::uint64_t hash = 0, power = 1;
        const std::size_t end = out_.size();
        for (std::size_t at = end; at > firstOpen_;) {
            if (at == regionStart) {
                --block;
                arrived = blocks_[block].pass;
                regionStart = blocks_[block].start;
                if (arrived + 1 >= before) break;
                longest = longest_.Max(arrived + 1, before - 1);
            }
            if (end - at >= longest) break;
            if (searchSteps_ == 0) return {};
            --searchSteps_;
            --at;
            hash = Reduce(MulMod(Code(out_[at]), power) + hash);
            power = MulMod(power, base_);
            if (out_[at] != '<') continue;
            const TagPasses* tag = tags_.Find(hash);
            if (!tag) continue;
            std::uint32_t pass = 0;
            if (confirmEach) {
                passLists_.ForEachBetween(tag->passes, arrived, before, [&](std::uint32_t p) {
                    if (pass == 0 && SameAsTag({at, p})) pass = p;
                });
            } else {
                pass = passLists_.FirstBetween(tag->passes, arrived, before);
            }
            if (pass == 0) continue;
            best = {at, pass};
            before = pass;
            if (arrived + 1 >= before) break;
            longest = longest_.Max(arrived + 1, before - 1);
        }
        return best;
    }

    bool SameAsTag(const Cut& cut) const {
        const Tag& tag = tagOfPass_[cut.pass - 1];
        return out_.size() - cut.at == tag.length &&
               std::string_view(out_).substr(cut.at) == std::string_view(tagText_).substr(tag.start, tag.length);
    }

    // A new pass with the tag out_[open:]; its number.
    std::uint32_t AddTag(std::size_t open) {
        const std::uint32_t pass = ++passes_;
        const std::size_t end = out_.size();
        tagOfPass_.push_back({static_cast<std::uint32_t>(tagText_.size()), static_cast<std::uint32_t>(end - open)});
        tagText_.append(out_, open, end - open);
        longest_.Append(end - open);
        std::uint64_t hash = 0, power = 1;
        for (std::size_t at = end; at > open;) {
            --at;
            hash = Reduce(MulMod(Code(out_[at]), power) + hash);
            power = MulMod(power, base_);
        }
        passLists_.Append(tags_.Get(hash).passes, pass);
        return pass;
    }

    struct Tag {
        std::uint32_t start, length;  // in tagText_ (texts are below 4 GiB, see StripTags)
    };

    std::string_view input_;
    std::uint64_t base_;
    std::size_t searchSteps_;          // left for the searches
    std::string out_;                  // final text, then the waiting blocks, then the segment
    std::size_t firstOpen_ = kNone;    // the first "<" of the waiting blocks and the segment
    std::vector<Block> blocks_;
    std::uint32_t passes_ = 0;
    std::vector<Tag> tagOfPass_;       // by pass - 1
    std::string tagText_;
    TagTable tags_;
    PassLists passLists_;
    LongestTag longest_;
};

}  // namespace

std::string StripTags(std::string_view input) {
    if (input.find('<') == std::string_view::npos) return std::string(input);
    if (input.size() >= UINT32_MAX) return StripTagsPassByPass(input);  // beyond the single pass's counters
    if (std::optional<std::string> stripped = TagStripper(input).Run()) return std::move(*stripped);
    return StripTagsPassByPass(input);
}

std::string RemoveLineFeeds(std::string_view input) {
    std::string text;
    text.reserve(input.size());
    for (char c : input) {
        if (c != '\n') text += c;
    }
    return text;
}

// ---- numeric references ----------------------------------------------------

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a reference "&#ddd;" (exactly three digits) at position i, or -1.
int ReferenceAt(std::string_view text, std::size_t i) {
    if (i + 6 > text.size() || text[i] != '&' || text[i + 1] != '#' || text[i + 5] != ';') return -1;
    const char a = text[i + 2], b = text[i + 3], c = text[i + 4];
    if (!IsDigit(a) || !IsDigit(b) || !IsDigit(c)) return -1;
    return (a - '0') * 100 + (b - '0') * 10 + (c - '0');
}

constexpr int kFirstDecodedCode = 9;
constexpr int kLastDecodedCode = 255;

// Only these characters occur in "&#ddd;", so only their passes can join the
// decoded character with its neighbours into a new reference.
bool CanFormReference(int code) {
    return code == '&' || code == '#' || code == ';' || (code >= '0' && code <= '9');
}

// The smallest code >= from of a reference in text whose character can form new
// references; past kLastDecodedCode when there is none.
int NextFormingCode(std::string_view text, int from) {
    int best = kLastDecodedCode + 1;
    for (std::size_t i = text.find('&'); i != std::string_view::npos; i = text.find('&', i + 1)) {
        const int code = ReferenceAt(text, i);
        if (code >= from && code < best && CanFormReference(code)) best = code;
    }
    return best;
}

// One left-to-right scan that decodes every reference with a code in [low, high]
// into character n of the code page. Equal to the passes for low..high in turn,
// provided none of them can form a new reference: the references of the text do
// not overlap and each pass then only replaces its own, which were all there
// before the first. (A character above 127 is no ASCII byte in any code page, or
// "?", so it never forms one.)
std::string DecodeCodes(std::string_view text, int low, int high, const text::CodePage& page) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) break;
        out.append(text, i, amp - i);
        const int code = ReferenceAt(text, amp);
        if (code >= low && code <= high) {
            out += page.Character(static_cast<unsigned char>(code));
            i = amp + 6;
        } else {
            out += '&';
            i = amp + 1;
        }
    }
    if (i < text.size()) out.append(text, i);
    return out;
}

}  // namespace

std::string DecodeNumericReferences(std::string_view input) {
    const text::CodePage& page = text::AnsiCodePage();
    std::string text(input);
    int from = kFirstDecodedCode;
    while (from <= kLastDecodedCode && text.find("&#") != std::string::npos) {
        // The passes before the next code that can form references neither form
        // one nor meet one of that kind: they merge into one scan. The passes of
        // forming codes absent from the text change nothing, and since only a
        // forming code's pass can bring a reference in, absence is checked anew
        // after each of them.
        const int forming = NextFormingCode(text, from);
        if (forming > from) text = DecodeCodes(text, from, forming - 1, page);
        if (forming > kLastDecodedCode) break;
        text = DecodeCodes(text, forming, forming, page);
        from = forming + 1;
    }
    return text;
}

// ---- named entities ------------------------------------------------------------

namespace {

// The HTML 4.01 entity names of the Latin-1 characters 162 to 255, in code order;
// entry i stands for the character 162 + i.
constexpr std::string_view kLatin1Entities =
    "&cent;&pound;&curren;&yen;&brvbar;&sect;&uml;&copy;&ordf;&laquo;&not;&shy;&reg;&macr;"
    "&deg;&plusmn;&sup2;&sup3;&acute;&micro;&para;&middot;&cedil;&sup1;&ordm;&raquo;"
    "&frac14;&frac12;&frac34;&iquest;"
    "&Agrave;&Aacute;&Acirc;&Atilde;&Auml;&Aring;&AElig;&Ccedil;&Egrave;&Eacute;&Ecirc;&Euml;"
    "&Igrave;&Iacute;&Icirc;&Iuml;&ETH;&Ntilde;&Ograve;&Oacute;&Ocirc;&Otilde;&Ouml;&times;"
    "&Oslash;&Ugrave;&Uacute;&Ucirc;&Uuml;&Yacute;&THORN;&szlig;"
    "&agrave;&aacute;&acirc;&atilde;&auml;&aring;&aelig;&ccedil;&egrave;&eacute;&ecirc;&euml;"
    "&igrave;&iacute;&icirc;&iuml;&eth;&ntilde;&ograve;&oacute;&ocirc;&otilde;&ouml;&divide;"
    "&oslash;&ugrave;&uacute;&ucirc;&uuml;&yacute;&thorn;&yuml;";
constexpr int kFirstListedCode = 162;
constexpr std::size_t kListedEntities = 94;
constexpr std::size_t kLongestEntity = 8;  // "&frac14;", "&Agrave;", ...
constexpr std::size_t kNamedBufferLength = 1023;

struct Entity {
    std::string_view text;  // "&name;"
    unsigned char code;
};

// "&nbsp;" and the list, each with its character.
const std::array<Entity, kListedEntities + 1>& LatinEntities() {
    static const auto table = [] {
        std::array<Entity, kListedEntities + 1> t{};
        t[0] = {"&nbsp;", 160};
        std::size_t start = 0;
        for (std::size_t i = 0; i < kListedEntities; ++i) {
            const std::size_t end = kLatin1Entities.find(';', start) + 1;
            t[i + 1] = {kLatin1Entities.substr(start, end - start),
                        static_cast<unsigned char>(kFirstListedCode + i)};
            start = end;
        }
        return t;
    }();
    return table;
}

// The entity of the table at position i of text, or nullptr.
const Entity* LatinEntityAt(std::string_view text, std::size_t i) {
    const std::size_t semicolon = text.find(';', i);
    if (semicolon == std::string_view::npos || semicolon - i + 1 > kLongestEntity) return nullptr;
    const std::string_view candidate = text.substr(i, semicolon - i + 1);
    for (const Entity& e : LatinEntities()) {
        if (e.text == candidate) return &e;
    }
    return nullptr;
}

}  // namespace

std::string DecodeNamedEntities(std::string_view input) {
    const text::CodePage& page = text::AnsiCodePage();
    // The buffer keeps 1023 bytes, never a part of a character; every later step
    // only shortens the text (an entity has at least five bytes, its character at
    // most two).
    const std::string_view buffer = page.Cut(input, kNamedBufferLength);

    // "&quot;" and then "&amp;": one scan gives both passes, because the quote
    // forms nothing and a "&" made by the second pass meets only later passes.
    std::string first;
    first.reserve(buffer.size());
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (buffer[i] == '&' && buffer.substr(i, 6) == "&quot;") {
            first += '"';
            i += 5;
        } else if (buffer[i] == '&' && buffer.substr(i, 5) == "&amp;") {
            first += '&';
            i += 4;
        } else {
            first += buffer[i];
        }
    }

    // "&nbsp;" and the 94 list entries: their characters are above 127 (in UTF-8
    // two bytes from 80 on, elsewhere one byte or "?") and cannot form an entity,
    // and entities never overlap, so one scan gives all passes.
    std::string out;
    out.reserve(first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        const Entity* e = first[i] == '&' ? LatinEntityAt(first, i) : nullptr;
        if (e) {
            out += page.Character(e->code);
            i += e->text.size() - 1;
        } else {
            out += first[i];
        }
    }
    return out;
}

}  // namespace vardel::feed
