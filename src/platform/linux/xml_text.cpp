// Reading the tree the way the Windows component presents it: TEXT with its
// whitespace rules, attributes and elements by qualified name.
//
// The Windows component drops whitespace-only text nodes while it parses; we keep
// the tree as libxml2 builds it (loading stays one pass) and apply the rule when
// the text is read: such a node counts as one blank.
#include <libxml/entities.h>
#include <libxml/tree.h>

#include <cstring>

#include "platform/linux/libxml_layer.h"

namespace vardel::platform::linux_layer {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsBlankOnly(const xmlChar* text) {
    if (!text) return true;
    for (; *text; ++text)
        if (!IsBlank(static_cast<char>(*text))) return false;
    return true;
}

const char* Chars(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

// The text collected so far and the stretch that came from CDATA, which trimming
// never touches.
struct TextBuilder {
    std::string text;
    std::size_t protectedBegin = std::string::npos;
    std::size_t protectedEnd = 0;

    void Append(const xmlChar* s) {
        if (s) text += Chars(s);
    }
    void AppendProtected(const xmlChar* s) {
        if (!s || !*s) return;
        if (protectedBegin == std::string::npos) protectedBegin = text.size();
        text += Chars(s);
        protectedEnd = text.size();
    }
    std::string Trimmed() const {
        std::size_t begin = 0;
        const std::size_t beginLimit = std::min(protectedBegin, text.size());
        while (begin < beginLimit && IsBlank(text[begin])) ++begin;
        std::size_t end = text.size();
        while (end > begin && end > protectedEnd && IsBlank(text[end - 1])) --end;
        return text.substr(begin, end - begin);
    }
};

// xml:space on the element: 1 preserve, 0 default, -1 not given.
int SpaceAttribute(xmlNodePtr element) {
    for (xmlAttrPtr a = element->properties; a; a = a->next) {
        if (a->ns && a->ns->prefix && std::strcmp(Chars(a->ns->prefix), "xml") == 0 &&
            std::strcmp(Chars(a->name), "space") == 0) {
            xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
            const int result = value && std::strcmp(Chars(value), "preserve") == 0 ? 1 : 0;
            xmlFree(value);
            return result;
        }
    }
    return -1;
}

void Collect(xmlNodePtr first, TextBuilder& out, bool preserve) {
    for (xmlNodePtr node = first; node; node = node->next) {
        switch (node->type) {
        case XML_ELEMENT_NODE: {
            bool inner = preserve;
            if (node->properties) {
                const int space = SpaceAttribute(node);
                if (space >= 0) inner = space == 1;
            }
            Collect(node->children, out, inner);
            break;
        }
        case XML_TEXT_NODE:
            if (!preserve && IsBlankOnly(node->content))
                out.text += ' ';
            else
                out.Append(node->content);
            break;
        case XML_CDATA_SECTION_NODE:
            out.AppendProtected(node->content);
            break;
        case XML_ENTITY_REF_NODE: {
            // An internal entity's parsed content; an external one has none (it is
            // never loaded).
            auto* entity = reinterpret_cast<xmlEntityPtr>(node->children);
            if (entity && entity->type == XML_ENTITY_DECL) Collect(entity->children, out, preserve);
            break;
        }
        default:
            break;  // comments, processing instructions, declarations
        }
    }
}

// The element's name as written: "prefix:local" or "local".
bool HasQualifiedName(xmlNodePtr node, std::string_view prefix, std::string_view local) {
    if (std::string_view(Chars(node->name)) != local) return false;
    const bool nodeHasPrefix = node->ns && node->ns->prefix;
    if (prefix.empty()) return !nodeHasPrefix;
    return nodeHasPrefix && std::string_view(Chars(node->ns->prefix)) == prefix;
}

void SplitQualifiedName(std::string_view name, std::string_view& prefix, std::string_view& local) {
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos) {
        prefix = {};
        local = name;
    } else {
        prefix = name.substr(0, colon);
        local = name.substr(colon + 1);
    }
}

}  // namespace

std::string NodeText(xmlNodePtr node) {
    if (!node) return {};
    TextBuilder out;
    switch (node->type) {
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        Collect(node->children, out, false);
        return out.Trimmed();
    case XML_ELEMENT_NODE: {
        const bool preserve = xmlNodeGetSpacePreserve(node) == 1;
        Collect(node->children, out, preserve);
        return preserve ? out.text : out.Trimmed();
    }
    case XML_ATTRIBUTE_NODE:
        Collect(node->children, out, true);
        return out.Trimmed();
    case XML_TEXT_NODE:
        if (IsBlankOnly(node->content)) return {};
        out.Append(node->content);
        return out.Trimmed();
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return node->content ? std::string(Chars(node->content)) : std::string();
    default:
        return {};
    }
}

bool FindAttribute(xmlNodePtr element, std::string_view qualifiedName, std::string& value) {
    if (!element || element->type != XML_ELEMENT_NODE) return false;
    std::string_view prefix, local;
    SplitQualifiedName(qualifiedName, prefix, local);
    for (xmlAttrPtr a = element->properties; a; a = a->next) {
        if (!HasQualifiedName(reinterpret_cast<xmlNodePtr>(a), prefix, local)) continue;
        xmlChar* content = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
        value = content ? Chars(content) : "";
        xmlFree(content);
        return true;
    }
    // Namespace declarations read as attributes: "xmlns" and "xmlns:p".
    const bool isDefaultDeclaration = prefix.empty() && local == "xmlns";
    if (isDefaultDeclaration || prefix == "xmlns") {
        for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
            const bool match = isDefaultDeclaration ? ns->prefix == nullptr
                                                    : ns->prefix && std::string_view(Chars(ns->prefix)) == local;
            if (match) {
                value = ns->href ? Chars(ns->href) : "";
                return true;
            }
        }
    }
    return false;
}

std::vector<xmlNodePtr> DescendantsByName(xmlNodePtr node, std::string_view qualifiedName) {
    std::vector<xmlNodePtr> found;
    if (!node) return found;
    const bool all = qualifiedName == "*";
    std::string_view prefix, local;
    SplitQualifiedName(qualifiedName, prefix, local);
    // Pre-order walk of the descendants without recursion.
    xmlNodePtr current = node->children;
    while (current) {
        if (current->type == XML_ELEMENT_NODE) {
            if (all || HasQualifiedName(current, prefix, local)) found.push_back(current);
            if (current->children) {
                current = current->children;
                continue;
            }
        }
        while (current && !current->next) {
            current = current->parent;
            if (current == node) current = nullptr;
        }
        if (current) current = current->next;
    }
    return found;
}

}  // namespace vardel::platform::linux_layer
