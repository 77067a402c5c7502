// The pieces of the Linux XML document and HTTP request components, shared by
// their implementation files (xml_parse.cpp, xml_text.cpp, xml_save.cpp,
// xml_document.cpp, xml_components.cpp); HTTP itself is in http_client.h. Texts
// are UTF-8 here; the conversion to the plug-in's code page (text/code_page.h)
// happens at the
// component boundary.
#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/components.h"
#include "platform/linux/http_client.h"

namespace vardel::platform::linux_layer {

// libxml2 is initialised once per process, thread-safely, on first use of either
// component (libcurl by the HTTP module, on the first fetch).
void InitialiseXmlAndHttp();

// ---- Parsing -------------------------------------------------------------------

// Every element of a parsed document by its name as written (prefix and local
// name, both the parser's interned strings), in document order. Built while
// parsing, so that GETELEMENTSBYTAGNAME on the document needs no walk of the tree.
//
// The elements of one name are kept in a chain of blocks under 1 KB: a larger
// allocation in the middle of a parse makes glibc's allocator consolidate the
// small blocks a previous document freed, a cost in the order of the parse itself.
class ElementIndex {
public:
    ElementIndex() = default;
    ~ElementIndex();
    ElementIndex(const ElementIndex&) = delete;
    ElementIndex& operator=(const ElementIndex&) = delete;

    void Add(const xmlChar* prefix, const xmlChar* local, xmlNodePtr element);
    // The elements of that name (interned strings; prefix null for none).
    std::vector<xmlNodePtr> Find(const xmlChar* prefix, const xmlChar* local) const;

private:
    struct Block {
        static constexpr std::size_t kCapacity = 118;  // 960 bytes in all
        Block* next = nullptr;
        std::size_t count = 0;
        xmlNodePtr elements[kCapacity];
    };
    struct Chain {
        Block* first = nullptr;
        Block* last = nullptr;
        std::size_t count = 0;
    };
    struct Key {
        const xmlChar* prefix;
        const xmlChar* local;
        bool operator==(const Key& other) const { return prefix == other.prefix && local == other.local; }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return std::hash<const void*>()(key.prefix) * 31u + std::hash<const void*>()(key.local);
        }
    };
    std::unordered_map<Key, Chain, KeyHash> byName_;
};

// What the entity references of one document may expand to, summed over all of
// them: this many bytes, or the document's own size if that is larger. A document
// beyond it is not well-formed.
inline constexpr std::uint64_t kEntityExpansionBudget = 10u * 1024u * 1024u;

// What a parse leaves: the tree, or the error in the Windows component's terms.
struct ParseOutcome {
    xmlDocPtr doc = nullptr;        // owned by the receiver; null on failure
    std::shared_ptr<ElementIndex> index;  // of doc
    std::int32_t code = 0;          // ERRORCODE
    std::string reason;             // REASON (UTF-8), "" when parsed
    std::string declaration;        // the XML declaration as written, "" when none
    std::string declaredEncoding;   // its encoding label, "" when none
};

// The REASON texts of the load failures that are not parse errors.
inline constexpr const char* kResourceNotFoundReason = "The system cannot locate the resource specified.\r\n";
inline constexpr const char* kObjectNotFoundReason = "The system cannot locate the object specified.\r\n";

// Reads and parses a local file (a native path).
ParseOutcome ParseFile(const std::string& path);
// Parses text that is already Unicode (UTF-8): the encoding the declaration names
// is not applied, but must be one the system knows.
ParseOutcome ParseUnicodeText(std::string_view utf8);

// Parses a document that arrives in pieces (an HTTP body), without keeping a copy
// of the bytes.
class StreamParser {
public:
    explicit StreamParser(std::string url);
    ~StreamParser();
    StreamParser(const StreamParser&) = delete;
    StreamParser& operator=(const StreamParser&) = delete;

    // Parses the next piece; false once the document has proved not well-formed
    // (nothing that follows can mend it).
    bool Feed(std::string_view bytes);
    // Ends the document.
    ParseOutcome Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---- Reading the tree ------------------------------------------------------------

// TEXT of a node (element, document, text, CDATA, attribute, comment...).
std::string NodeText(xmlNodePtr node);

// The value of the attribute of that qualified name ("xmlns" and "xmlns:p" give
// the namespace declarations); false when the element has none.
bool FindAttribute(xmlNodePtr element, std::string_view qualifiedName, std::string& value);

// Every descendant element of that qualified name ("*": all), in document order.
std::vector<xmlNodePtr> DescendantsByName(xmlNodePtr node, std::string_view qualifiedName);

// ---- Saving ----------------------------------------------------------------------

// The bytes SAVE writes: the declaration as written, then the document, encoded
// as the declaration says (UTF-8 without one).
std::string SerializeDocument(xmlDocPtr doc, const std::string& declaration,
                              const std::string& declaredEncoding);

// ---- Components ------------------------------------------------------------------

platform::DocumentRef NewXmlDocument();

// RESPONSETEXT in the plug-in's code page: the body decoded as the byte order mark
// says (UTF-8, UTF-16 or UTF-32; the mark itself removed), else as UTF-8, with
// invalid bytes as U+FFFD. The XML declaration and the Content-Type charset are
// not consulted.
std::string ResponseBodyToAnsi(std::string_view body);

}  // namespace vardel::platform::linux_layer
