// Parsing for the Linux XML document component: files, Unicode text and HTTP
// bodies, with the safe settings (no external entities or DTDs are ever fetched,
// what the entity references expand to bounded for the whole document, besides
// libxml2's own limits of nesting) and the outcome reported with
// the Windows component's error codes. A document that names an external DTD is
// well-formed with entities that only the DTD declares; they read as nothing.
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/linux/libxml_layer.h"

namespace vardel::platform::linux_layer {
namespace {

// Never NOENT (entities stay references, so an external one is never loaded),
// never DTDLOAD or DTDVALID, never HUGE (keeps libxml2's expansion and depth
// limits). COMPACT stores short texts inside their nodes: the tree is never
// modified after parsing.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_COMPACT | XML_PARSE_BIG_LINES;

thread_local int tOwnParses = 0;
xmlExternalEntityLoader gPreviousLoader = nullptr;

// Our parses never load anything from outside the document; other users of
// libxml2 in the process keep the loader they had.
xmlParserInputPtr RefusingLoader(const char* url, const char* id, xmlParserCtxtPtr context) {
    if (tOwnParses > 0) return nullptr;
    return gPreviousLoader ? gPreviousLoader(url, id, context) : nullptr;
}

// ---- The first error of a parse ------------------------------------------------

struct FirstError {
    bool set = false;
    int code = 0;
    std::string str1, str2, message;
    bool anotherRoot = false;     // extra content after the root starts with an element
    std::string openElements;     // for a document that ends inside elements
    std::uint64_t expansionLimit = 0;  // for kExpansionOverBudget
};

// Our own code for a document whose entities expand beyond the budget (libxml2's
// codes are positive).
constexpr int kExpansionOverBudget = -1;

#if LIBXML_VERSION >= 21200
void RecordError(void* data, const xmlError* error) {
#else
void RecordError(void* data, xmlErrorPtr error) {
#endif
    auto* first = static_cast<FirstError*>(data);
    if (first->set || error == nullptr || error->level < XML_ERR_ERROR) return;
    // An entity that only an unread external subset (or parameter entity) can
    // declare, in a document that is not standalone: no well-formedness error
    // (libxml2 reports nothing else with this code). It reads as nothing.
    if (error->code == XML_WAR_UNDECLARED_ENTITY) return;
    first->set = true;
    first->code = error->code;
    if (error->str1) first->str1 = error->str1;
    if (error->str2) first->str2 = error->str2;
    if (error->message) first->message = error->message;
    auto* context = static_cast<xmlParserCtxtPtr>(error->ctxt);
    if (context == nullptr) return;
    if (error->code == XML_ERR_DOCUMENT_END && context->input && context->input->cur) {
        const xmlChar* cur = context->input->cur;
        first->anotherRoot = cur[0] == '<' && cur[1] != '!' && cur[1] != '?' && cur[1] != 0;
    }
    if (error->code == XML_ERR_TAG_NOT_FINISHED) {
        for (int i = 0; i < context->nameNr; ++i) {
            if (!first->openElements.empty()) first->openElements += ", ";
            first->openElements += reinterpret_cast<const char*>(context->nameTab[i]);
        }
    }
}

// Marks a stretch of our own parsing: errors are collected instead of printed, and
// the entity loader refuses.
class OwnParse {
public:
    explicit OwnParse(FirstError& errors)
        : previous_(xmlStructuredError), previousContext_(xmlStructuredErrorContext) {
        ++tOwnParses;
        xmlSetStructuredErrorFunc(&errors, RecordError);
    }
    ~OwnParse() {
        xmlSetStructuredErrorFunc(previousContext_, previous_);
        --tOwnParses;
    }
    OwnParse(const OwnParse&) = delete;
    OwnParse& operator=(const OwnParse&) = delete;

private:
    xmlStructuredErrorFunc previous_;
    void* previousContext_;
};

// The first bytes of a document, for its declaration, whether anything but
// whitespace came at all, and how many bytes came so far.
class HeadRecorder {
public:
    static constexpr std::size_t kHeadSize = 512;
    void See(const char* bytes, std::size_t size) {
        bytes_ += size;
        if (head_.size() < kHeadSize) head_.append(bytes, std::min(size, kHeadSize - head_.size()));
        for (std::size_t i = 0; !sawContent_ && i < size; ++i) {
            const char c = bytes[i];
            const auto u = static_cast<unsigned char>(c);
            // Blanks, the zero bytes of UTF-16 and the bytes of a byte order mark
            // are not content.
            sawContent_ = u != ' ' && u != '\t' && u != '\r' && u != '\n' && u != 0 &&
                          u != 0xEF && u != 0xBB && u != 0xBF && u != 0xFE && u != 0xFF;
        }
    }
    const std::string& Head() const { return head_; }
    bool SawContent() const { return sawContent_; }
    std::uint64_t Bytes() const { return bytes_; }

private:
    std::uint64_t bytes_ = 0;
    std::string head_;
    bool sawContent_ = false;
};

// ---- The entity expansion budget ------------------------------------------------------

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// The entity references of a document stay references in the tree and are
// expanded whenever a text is read (TEXT, attribute values, XPath string values),
// so what they stand for is counted while parsing: every reference in the content
// and in attribute values adds the size of its entity's text (its own references
// counted in, each entity measured once). A document whose references stand for
// more than kEntityExpansionBudget or its own size, whichever is larger, is not
// well-formed; no text read from a document that loaded is longer than its own
// text and that budget. Nothing is expanded while parsing, so the verdict waits
// for the document's whole size; the parse stops early only once the sum is past
// the largest size the document can have.
class ExpansionBudget {
public:
    // largestDocument: the size known before the parse (the file's, the text's, at
    // most the body cap for a body), 0 for none.
    ExpansionBudget(const HeadRecorder& document, FirstError& errors, std::uint64_t largestDocument)
        : document_(document), errors_(errors), largestDocument_(largestDocument) {}
    ExpansionBudget(const ExpansionBudget&) = delete;
    ExpansionBudget& operator=(const ExpansionBudget&) = delete;

    // One more reference to entity, met by parser; false once the budget is spent
    // for certain (the parser is stopped then).
    bool Spend(xmlParserCtxtPtr parser, xmlEntityPtr entity) {
        if (spent_) return false;
        total_ = SaturatingAdd(total_, SizeOf(entity, 0));
        if (total_ <= Limit(std::max(largestDocument_, document_.Bytes()))) return true;
        Exceeded(Limit(document_.Bytes()));
        xmlStopParser(parser);
        return false;
    }

    // At the end of the document: the verdict on its whole size.
    void Conclude() {
        if (!spent_ && total_ > Limit(document_.Bytes())) Exceeded(Limit(document_.Bytes()));
    }

private:
    static std::uint64_t Limit(std::uint64_t documentBytes) {
        return std::max<std::uint64_t>(kEntityExpansionBudget, documentBytes);
    }

    void Exceeded(std::uint64_t limit) {
        spent_ = true;
        if (errors_.set) return;
        errors_.set = true;
        errors_.code = kExpansionOverBudget;
        errors_.expansionLimit = limit;
    }

private:
    static constexpr int kDeepest = 64;  // libxml2 refuses far shallower nestings of entities

    std::uint64_t SizeOf(xmlEntityPtr entity, int depth) {
        if (!entity || entity->type != XML_ENTITY_DECL) return 0;
        const auto known = sizes_.find(entity);
        if (known != sizes_.end()) return known->second;
        sizes_[entity] = UINT64_MAX;  // while measured: a loop counts as endless
        const std::uint64_t size = depth > kDeepest ? UINT64_MAX : SizeOfNodes(entity->children, depth + 1);
        sizes_[entity] = size;
        return size;
    }

    std::uint64_t SizeOfNodes(xmlNodePtr first, int depth) {
        std::uint64_t size = 0;
        for (xmlNodePtr node = first; node && size != UINT64_MAX; node = node->next) {
            switch (node->type) {
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                if (node->content) size = SaturatingAdd(size, static_cast<std::uint64_t>(xmlStrlen(node->content)));
                break;
            case XML_ENTITY_REF_NODE:
                size = SaturatingAdd(size, SizeOf(reinterpret_cast<xmlEntityPtr>(node->children), depth));
                break;
            case XML_ELEMENT_NODE:
                size = SaturatingAdd(size, SizeOfNodes(node->children, depth));
                for (xmlAttrPtr a = node->properties; a; a = a->next)
                    size = SaturatingAdd(size, SizeOfNodes(a->children, depth));
                break;
            default:
                break;
            }
        }
        return size;
    }

    const HeadRecorder& document_;
    FirstError& errors_;
    std::uint64_t largestDocument_;
    std::unordered_map<xmlEntityPtr, std::uint64_t> sizes_;
    std::uint64_t total_ = 0;
    bool spent_ = false;
};

// ---- The element index ------------------------------------------------------------

// What the current parse on this thread fills and counts, and the parser of the
// document itself: an entity's content is parsed separately, by a parser of its
// own, and is counted where the entity is referenced.
struct ParseScope {
    ElementIndex* index = nullptr;
    xmlParserCtxtPtr context = nullptr;
    ExpansionBudget* budget = nullptr;
};
thread_local ParseScope tScope;

void StartElementAndIndex(void* context, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri,
                          int namespaceCount, const xmlChar** namespaces, int attributeCount,
                          int defaultedCount, const xmlChar** attributes) {
    xmlSAX2StartElementNs(context, local, prefix, uri, namespaceCount, namespaces, attributeCount,
                          defaultedCount, attributes);
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    if (parser != tScope.context || !parser->node || parser->node->name != local) return;
    if (tScope.index) tScope.index->Add(prefix, local, parser->node);
    if (!tScope.budget) return;
    for (xmlAttrPtr a = parser->node->properties; a; a = a->next) {
        for (xmlNodePtr part = a->children; part; part = part->next) {
            if (part->type == XML_ENTITY_REF_NODE &&
                !tScope.budget->Spend(parser, reinterpret_cast<xmlEntityPtr>(part->children)))
                return;
        }
    }
}

class ScopeOfParse {
public:
    ScopeOfParse(ElementIndex& index, xmlParserCtxtPtr context, ExpansionBudget& budget) : previous_(tScope) {
        tScope = {&index, context, &budget};
    }
    ~ScopeOfParse() { tScope = previous_; }
    ScopeOfParse(const ScopeOfParse&) = delete;
    ScopeOfParse& operator=(const ScopeOfParse&) = delete;

private:
    ParseScope previous_;
};

// A reference in content. libxml2 also hands on an unread entity inside an
// attribute value as a reference in the content of the element around: that one
// belongs to no content (the value keeps nothing of it either).
void ReferenceOutsideAttributeValues(void* context, const xmlChar* name) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    if (parser->instate == XML_PARSER_ATTRIBUTE_VALUE) return;
    if (tScope.budget && parser == tScope.context && !tScope.budget->Spend(parser, xmlGetDocEntity(parser->myDoc, name)))
        return;
    xmlSAX2Reference(context, name);
}

void InstallHandlers(xmlParserCtxtPtr context) {
    if (!context->sax) return;
    context->sax->startElementNs = StartElementAndIndex;
    context->sax->reference = ReferenceOutsideAttributeValues;
}

std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

// The Windows component's code and REASON (one line ending in CR LF) for the
// first error libxml2 reported. The codes measured on the Windows component are
// those for a mismatched end tag, an invalid character, content that is not XML
// and a missing root element; the others follow the same component's error table.
void DescribeError(const FirstError& error, bool sawContent, ParseOutcome& outcome) {
    std::uint32_t code = 0xC00CE50D;
    std::string reason;
    switch (error.code) {
    case kExpansionOverBudget:
        reason = "The entity references expand to more than " + std::to_string(error.expansionLimit) + " bytes.";
        break;
    case XML_ERR_DOCUMENT_EMPTY:
        if (sawContent) {
            code = 0xC00CE556;
            reason = "Invalid at the top level of the document.";
        } else {
            code = 0xC00CE558;
            reason = "XML document must have a top level element.";
        }
        break;
    case XML_ERR_DOCUMENT_END:
    case XML_ERR_EXTRA_CONTENT:
        if (error.anotherRoot) {
            code = 0xC00CE555;
            reason = "Only one top level element is allowed in an XML document.";
        } else {
            code = 0xC00CE556;
            reason = "Invalid at the top level of the document.";
        }
        break;
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_INVALID_ENCODING:
    case XML_ERR_INVALID_CHARREF:
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_HEX_CHARREF:
        code = 0xC00CE508;
        reason = "An invalid character was found in text content.";
        break;
    case XML_ERR_UNDECLARED_ENTITY:
        code = 0xC00CE002;
        reason = "Reference to undefined entity '" + error.str1 + "'.";
        break;
    case XML_ERR_UNKNOWN_ENCODING:
    case XML_ERR_UNSUPPORTED_ENCODING:
        code = 0xC00CE565;
        reason = "System does not support the specified encoding.";
        break;
    case XML_ERR_LT_IN_ATTRIBUTE:
        code = 0xC00CE506;
        reason = "The character '<' cannot be used in an attribute value.";
        break;
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
    case XML_ERR_STRING_NOT_CLOSED:
        code = 0xC00CE502;
        reason = "A string literal was expected, but no opening quotation mark was found.";
        break;
    case XML_ERR_ATTRIBUTE_REDEFINED:
        code = 0xC00CE554;
        reason = "Duplicate attribute.";
        break;
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
        code = 0xC00CE50B;
        reason = "A semicolon character was expected.";
        break;
    case XML_ERR_RESERVED_XML_NAME:
        code = 0xC00CE557;
        reason = "Invalid xml declaration.";
        break;
    case XML_ERR_SPACE_REQUIRED:
        code = 0xC00CE509;
        reason = "Required white space was missing.";
        break;
    case XML_ERR_NAME_REQUIRED:
        code = 0xC00CE504;
        reason = "A name was started with an invalid character.";
        break;
    case XML_ERR_GT_REQUIRED:
        code = 0xC00CE50A;
        reason = "The character '>' was expected.";
        break;
    case XML_ERR_EQUAL_REQUIRED:
        code = 0xC00CE501;
        reason = "Missing equals sign between attribute and attribute value.";
        break;
    case XML_ERR_TAG_NAME_MISMATCH:
        code = 0xC00CE56D;
        reason = "End tag '" + error.str2 + "' does not match the start tag '" + error.str1 + "'.";
        break;
    case XML_ERR_TAG_NOT_FINISHED:
        code = 0xC00CE553;
        reason = "The following tags were not closed: " + error.openElements + ".";
        break;
    case XML_NS_ERR_UNDEFINED_NAMESPACE:
        code = 0xC00CE01D;
        reason = "Reference to undeclared namespace prefix: '" + error.str1 + "'.";
        break;
    default:
        // No counterpart in the component's table: libxml2's own words (entity
        // expansion beyond its limits, for instance).
        reason = OneLine(error.message.empty() ? std::string("The document could not be parsed.")
                                               : error.message);
        if (!reason.empty() && reason.back() != '.') reason += '.';
        break;
    }
    outcome.code = static_cast<std::int32_t>(code);
    outcome.reason = reason + "\r\n";
}

// ---- The XML declaration -----------------------------------------------------------

// Finds the XML declaration at the start of the first bytes of a document, in
// UTF-8, UTF-16 (either order, with or without a byte order mark) or any
// single-byte encoding that agrees with ASCII.
void ReadDeclaration(std::string_view head, ParseOutcome& outcome) {
    std::string ascii;
    std::size_t start = 0;
    int step = 1, offset = 0;
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(head[i]); };
    if (head.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        start = 3;
    } else if (head.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
        start = 2, step = 2, offset = 0;
    } else if (head.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
        start = 2, step = 2, offset = 1;
    } else if (head.size() >= 2 && at(0) == '<' && at(1) == 0) {
        step = 2, offset = 0;
    } else if (head.size() >= 2 && at(0) == 0 && at(1) == '<') {
        step = 2, offset = 1;
    }
    const auto width = static_cast<std::size_t>(step);
    for (std::size_t i = start; i + width <= head.size(); i += width) {
        char c = head[i];
        if (width == 2) {
            const auto low = at(i + static_cast<std::size_t>(offset));
            const auto high = at(i + 1 - static_cast<std::size_t>(offset));
            if (high != 0) break;  // not ASCII: past any declaration
            c = static_cast<char>(low);
        }
        ascii += c;
        if (ascii.size() >= 2 && ascii.compare(ascii.size() - 2, 2, "?>") == 0) break;
    }
    if (ascii.size() < 7 || ascii.compare(0, 5, "<?xml") != 0) return;
    if (ascii[5] != ' ' && ascii[5] != '\t' && ascii[5] != '\r' && ascii[5] != '\n') return;
    if (ascii.compare(ascii.size() - 2, 2, "?>") != 0) return;
    outcome.declaration = ascii;
    const std::size_t name = ascii.find("encoding");
    if (name == std::string::npos) return;
    std::size_t i = name + 8;
    while (i < ascii.size() && (ascii[i] == ' ' || ascii[i] == '=' || ascii[i] == '\t')) ++i;
    if (i >= ascii.size() || (ascii[i] != '"' && ascii[i] != '\'')) return;
    const std::size_t close = ascii.find(ascii[i], i + 1);
    if (close != std::string::npos) outcome.declaredEncoding = ascii.substr(i + 1, close - i - 1);
}

// The outcome of a finished parse: the document when it is well-formed, with
// declared namespaces and a root element, otherwise the first error.
ParseOutcome Conclude(xmlDocPtr doc, bool wellFormed, const FirstError& errors, const HeadRecorder& head,
                      std::shared_ptr<ElementIndex> index) {
    ParseOutcome outcome;
    if (wellFormed && doc && xmlDocGetRootElement(doc) && !errors.set) {
        outcome.doc = doc;
        outcome.index = std::move(index);
        ReadDeclaration(head.Head(), outcome);
        return outcome;
    }
    if (doc) xmlFreeDoc(doc);
    FirstError error = errors;
    if (!error.set) {
        error.set = true;
        error.code = XML_ERR_DOCUMENT_EMPTY;
    }
    DescribeError(error, head.SawContent(), outcome);
    return outcome;
}

struct FileReader {
    int fd;
    HeadRecorder head;
};

int ReadFromFile(void* context, char* buffer, int length) {
    auto* reader = static_cast<FileReader*>(context);
    ssize_t n;
    do {
        n = ::read(reader->fd, buffer, static_cast<std::size_t>(length));
    } while (n < 0 && errno == EINTR);
    if (n > 0) reader->head.See(buffer, static_cast<std::size_t>(n));
    return static_cast<int>(n);
}

int CloseNothing(void*) { return 0; }

ParseOutcome Failure(std::int32_t code, const char* reason) {
    ParseOutcome outcome;
    outcome.code = code;
    outcome.reason = reason;
    return outcome;
}

bool KnownEncoding(const std::string& label) {
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(label.c_str());
    if (!handler) return false;
    xmlCharEncCloseFunc(handler);
    return true;
}

}  // namespace

ElementIndex::~ElementIndex() {
    for (auto& [key, chain] : byName_) {
        for (Block* block = chain.first; block;) {
            Block* next = block->next;
            delete block;
            block = next;
        }
    }
}

void ElementIndex::Add(const xmlChar* prefix, const xmlChar* local, xmlNodePtr element) {
    Chain& chain = byName_[Key{prefix, local}];
    if (!chain.last || chain.last->count == Block::kCapacity) {
        auto* block = new Block;
        if (chain.last)
            chain.last->next = block;
        else
            chain.first = block;
        chain.last = block;
    }
    chain.last->elements[chain.last->count++] = element;
    ++chain.count;
}

std::vector<xmlNodePtr> ElementIndex::Find(const xmlChar* prefix, const xmlChar* local) const {
    std::vector<xmlNodePtr> elements;
    const auto found = byName_.find(Key{prefix, local});
    if (found == byName_.end()) return elements;
    elements.reserve(found->second.count);
    for (const Block* block = found->second.first; block; block = block->next)
        elements.insert(elements.end(), block->elements, block->elements + block->count);
    return elements;
}

void InitialiseXmlAndHttp() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        gPreviousLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(RefusingLoader);
    });
}

ParseOutcome ParseFile(const std::string& path) {
    InitialiseXmlAndHttp();
    FileReader reader{-1, {}};
    // Without blocking: opening a FIFO would otherwise wait for a writer.
    do {
        reader.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (reader.fd < 0 && errno == EINTR);
    if (reader.fd < 0) {
        if (errno == EACCES || errno == EPERM)
            return Failure(static_cast<std::int32_t>(0x80070005), "Access is denied.\r\n");
        return Failure(platform::kObjectNotFound, kObjectNotFoundReason);
    }
    struct stat info {};
    if (::fstat(reader.fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(reader.fd);
        return Failure(static_cast<std::int32_t>(0x80070005), "Access is denied.\r\n");
    }
    // A FIFO, a device or a socket is no feed copy: it could block or never end.
    if (!S_ISREG(info.st_mode)) {
        ::close(reader.fd);
        return Failure(platform::kObjectNotFound, kObjectNotFoundReason);
    }
    FirstError errors;
    ParseOutcome outcome;
    {
        OwnParse scope(errors);
        xmlParserCtxtPtr context = xmlNewParserCtxt();
        if (!context) {
            ::close(reader.fd);
            return Failure(static_cast<std::int32_t>(0x8007000E), "Not enough memory.\r\n");
        }
        auto index = std::make_shared<ElementIndex>();
        InstallHandlers(context);
        xmlDocPtr doc;
        {
            ExpansionBudget budget(reader.head, errors, static_cast<std::uint64_t>(info.st_size));
            ScopeOfParse scopeOfParse(*index, context, budget);
            doc = xmlCtxtReadIO(context, ReadFromFile, CloseNothing, &reader, path.c_str(), nullptr,
                                kParseOptions);
            budget.Conclude();
        }
        const bool wellFormed = context->wellFormed && context->nsWellFormed;
        xmlFreeParserCtxt(context);
        outcome = Conclude(doc, wellFormed, errors, reader.head, std::move(index));
    }
    ::close(reader.fd);
    return outcome;
}

ParseOutcome ParseUnicodeText(std::string_view utf8) {
    InitialiseXmlAndHttp();
    HeadRecorder head;
    head.See(utf8.data(), utf8.size());
    ParseOutcome declared;
    ReadDeclaration(head.Head(), declared);
    if (!declared.declaredEncoding.empty() && !KnownEncoding(declared.declaredEncoding)) {
        FirstError error;
        error.set = true;
        error.code = XML_ERR_UNSUPPORTED_ENCODING;
        ParseOutcome outcome;
        DescribeError(error, true, outcome);
        return outcome;
    }
    if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) return Failure(static_cast<std::int32_t>(0x8007000E), "Not enough memory.\r\n");
    FirstError errors;
    OwnParse scope(errors);
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) return Failure(static_cast<std::int32_t>(0x8007000E), "Not enough memory.\r\n");
    auto index = std::make_shared<ElementIndex>();
    InstallHandlers(context);
    xmlDocPtr doc;
    {
        ExpansionBudget budget(head, errors, utf8.size());
        ScopeOfParse scopeOfParse(*index, context, budget);
        doc = xmlCtxtReadMemory(context, utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                                kParseOptions | XML_PARSE_IGNORE_ENC);
        budget.Conclude();
    }
    const bool wellFormed = context->wellFormed && context->nsWellFormed;
    xmlFreeParserCtxt(context);
    return Conclude(doc, wellFormed, errors, head, std::move(index));
}

// ---- StreamParser --------------------------------------------------------------------

struct StreamParser::Impl {
    std::string url;
    xmlParserCtxtPtr context = nullptr;
    std::string pending;  // the first bytes, until there are enough to detect the encoding
    HeadRecorder head;
    FirstError errors;
    std::shared_ptr<ElementIndex> index = std::make_shared<ElementIndex>();
    ExpansionBudget budget{head, errors, kMaxResponseBytes};
    bool failed = false;

    ~Impl() {
        if (context) {
            if (context->myDoc) xmlFreeDoc(context->myDoc);
            xmlFreeParserCtxt(context);
        }
    }

    bool Start(const char* bytes, std::size_t size) {
        context = xmlCreatePushParserCtxt(nullptr, nullptr, bytes, static_cast<int>(size), url.c_str());
        if (!context) return false;
        xmlCtxtUseOptions(context, kParseOptions);
        InstallHandlers(context);
        return true;
    }

    bool Push(const char* bytes, std::size_t size, bool end) {
        OwnParse scope(errors);
        if (!context) {
            if (size > 0) pending.append(bytes, size);
            if (pending.size() < 4 && !end) return true;
            if (!Start(pending.data(), pending.size())) return false;
            pending.clear();
            bytes = nullptr;
            size = 0;
        }
        if (size > 0 || end) {
            ScopeOfParse scopeOfParse(*index, context, budget);
            while (size > 0) {
                const int piece = static_cast<int>(std::min<std::size_t>(size, 1u << 20));
                xmlParseChunk(context, bytes, piece, 0);
                bytes += piece;
                size -= static_cast<std::size_t>(piece);
            }
            if (end) {
                xmlParseChunk(context, nullptr, 0, 1);
                budget.Conclude();
            }
        }
        return context->wellFormed && !errors.set;
    }
};

StreamParser::StreamParser(std::string url) : impl_(std::make_unique<Impl>()) {
    InitialiseXmlAndHttp();
    impl_->url = std::move(url);
}

StreamParser::~StreamParser() = default;

bool StreamParser::Feed(std::string_view bytes) {
    if (impl_->failed) return false;
    impl_->head.See(bytes.data(), bytes.size());
    if (!impl_->Push(bytes.data(), bytes.size(), false)) impl_->failed = true;
    return !impl_->failed;
}

ParseOutcome StreamParser::Finish() {
    if (!impl_->failed) impl_->Push(nullptr, 0, true);
    xmlDocPtr doc = nullptr;
    bool wellFormed = false;
    if (impl_->context) {
        doc = impl_->context->myDoc;
        impl_->context->myDoc = nullptr;
        wellFormed = impl_->context->wellFormed && impl_->context->nsWellFormed;
    }
    return Conclude(doc, wellFormed, impl_->errors, impl_->head, impl_->index);
}

}  // namespace vardel::platform::linux_layer
