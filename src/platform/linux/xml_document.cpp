// The Linux XML document component: documents, nodes and node lists over a
// libxml2 tree.
//
// A loaded document never changes: LOAD and LOADXML build a fresh state, and the
// nodes and lists handed out keep the state they came from alive. That is what
// makes the per-document caches safe (lists of GETELEMENTSBYTAGNAME by node and
// name, one XPath context) and ITEM a plain index.
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <cstdint>
#include <cstring>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>

#include "platform/linux/atomic_file.h"
#include "platform/linux/libxml_layer.h"
#include "platform/linux/linux_layer.h"
#include "platform/linux/xsl_pattern.h"
#include "text/code_page.h"

namespace vardel::platform::linux_layer {
namespace {

using platform::NodeListRef;
using platform::NodeRef;
using NodeVector = std::vector<xmlNodePtr>;

bool IsBlank(xmlChar c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The XPath function behind text() and node(): false only for a whitespace-only
// text node, which the Windows component would not have kept.
void SignificantNode(xmlXPathParserContextPtr context, int argumentCount) {
    if (argumentCount != 0) {
        xmlXPathErr(context, XPATH_INVALID_ARITY);
        return;
    }
    const xmlNodePtr node = context->context->node;
    bool significant = true;
    if (node && node->type == XML_TEXT_NODE) {
        significant = false;
        for (const xmlChar* c = node->content; c && *c; ++c)
            if (!IsBlank(*c)) {
                significant = true;
                break;
            }
    }
    valuePush(context, xmlXPathNewBoolean(significant));
}

#if LIBXML_VERSION >= 21200
void IgnoreXPathError(void*, const xmlError*) {}
#else
void IgnoreXPathError(void*, xmlErrorPtr) {}
#endif

bool NameIs(xmlNodePtr node, const SimpleStep& step) {
    if (step.local.empty()) return true;  // "*"
    if (std::strcmp(reinterpret_cast<const char*>(node->name), step.local.c_str()) != 0) return false;
    const xmlChar* prefix = node->ns ? node->ns->prefix : nullptr;
    if (step.prefix.empty()) return prefix == nullptr;
    return prefix && std::strcmp(reinterpret_cast<const char*>(prefix), step.prefix.c_str()) == 0;
}

// A plain path of child steps, step by step; every step keeps document order, and
// a position stops the scan of each parent's children where it is reached.
NodeVector FollowPath(xmlNodePtr start, const SimplePath& path, std::size_t limit) {
    NodeVector current{path.absolute ? reinterpret_cast<xmlNodePtr>(start->doc) : start};
    NodeVector next;
    for (std::size_t s = 0; s < path.steps.size(); ++s) {
        const SimpleStep& step = path.steps[s];
        const std::size_t stepLimit = s + 1 == path.steps.size() ? limit : SIZE_MAX;
        next.clear();
        for (xmlNodePtr parent : current) {
            if (next.size() >= stepLimit) break;
            if (step.attribute) {
                if (parent->type != XML_ELEMENT_NODE) continue;
                for (xmlAttrPtr a = parent->properties; a && next.size() < stepLimit; a = a->next)
                    if (NameIs(reinterpret_cast<xmlNodePtr>(a), step)) next.push_back(reinterpret_cast<xmlNodePtr>(a));
                continue;
            }
            if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE) continue;
            long seen = 0;
            for (xmlNodePtr child = parent->children; child && next.size() < stepLimit; child = child->next) {
                if (child->type != XML_ELEMENT_NODE || !NameIs(child, step)) continue;
                if (step.position < 0) {
                    next.push_back(child);
                } else if (seen++ == step.position) {
                    next.push_back(child);
                    break;
                }
            }
        }
        current.swap(next);
        if (current.empty()) break;
    }
    return current;
}

class DocumentState {
public:
    explicit DocumentState(ParseOutcome&& parsed)
        : doc_(parsed.doc),
          index_(std::move(parsed.index)),
          declaration_(std::move(parsed.declaration)),
          declaredEncoding_(std::move(parsed.declaredEncoding)) {
        parsed.doc = nullptr;
    }
    ~DocumentState() {
        if (xpath_) xmlXPathFreeContext(xpath_);
        xmlFreeDoc(doc_);
    }
    DocumentState(const DocumentState&) = delete;
    DocumentState& operator=(const DocumentState&) = delete;

    xmlDocPtr Doc() const { return doc_; }
    const std::string& Declaration() const { return declaration_; }
    const std::string& DeclaredEncoding() const { return declaredEncoding_; }

    // The descendants of node with that qualified name: for the document straight
    // from the index made while parsing, for elements found once per element and
    // name.
    std::shared_ptr<const NodeVector> ElementsByName(xmlNodePtr node, const std::string& name) {
        std::lock_guard lock(mutex_);
        auto& cached = lists_[{node, name}];
        if (!cached) {
            const bool indexed = node == reinterpret_cast<xmlNodePtr>(doc_) && index_ && doc_->dict && name != "*";
            cached = std::make_shared<const NodeVector>(indexed ? FromIndex(name) : DescendantsByName(node, name));
        }
        return cached;
    }

    // The nodes an XPath expression selects from node, in document order; nothing
    // when it cannot be evaluated.
    std::optional<NodeVector> Evaluate(xmlNodePtr node, const std::string& xpath) {
        std::lock_guard lock(mutex_);
        if (!xpath_ && !CreateXPathContext()) return std::nullopt;
        xpath_->node = node;
        xmlXPathCompExprPtr compiled = xmlXPathCtxtCompile(xpath_, reinterpret_cast<const xmlChar*>(xpath.c_str()));
        if (!compiled) return std::nullopt;
        xmlXPathObjectPtr result = xmlXPathCompiledEval(compiled, xpath_);
        xmlXPathFreeCompExpr(compiled);
        std::optional<NodeVector> nodes;
        if (result && result->type == XPATH_NODESET) {
            nodes.emplace();
            if (const xmlNodeSetPtr set = result->nodesetval) {
                nodes->reserve(static_cast<std::size_t>(set->nodeNr));
                for (int i = 0; i < set->nodeNr; ++i)
                    if (set->nodeTab[i]->type != XML_NAMESPACE_DECL) nodes->push_back(set->nodeTab[i]);
            }
        }
        if (result) xmlXPathFreeObject(result);
        return nodes;
    }

private:
    // The parser interns every name in the document's dictionary, so a name that
    // is not there names no element.
    NodeVector FromIndex(std::string_view name) const {
        const std::size_t colon = name.find(':');
        const xmlChar* prefix = nullptr;
        std::string_view local = name;
        if (colon != std::string_view::npos) {
            prefix = Interned(name.substr(0, colon));
            local = name.substr(colon + 1);
            if (!prefix) return {};
        }
        const xmlChar* interned = Interned(local);
        if (!interned) return {};
        return index_->Find(prefix, interned);
    }
    const xmlChar* Interned(std::string_view text) const {
        if (text.empty() || text.size() > 0x7FFFFFFF) return nullptr;
        return xmlDictExists(doc_->dict, reinterpret_cast<const xmlChar*>(text.data()), static_cast<int>(text.size()));
    }

    bool CreateXPathContext() {
        xpath_ = xmlXPathNewContext(doc_);
        if (!xpath_) return false;
        xpath_->error = IgnoreXPathError;
        xmlXPathRegisterFunc(xpath_, reinterpret_cast<const xmlChar*>(kSignificantNodeFunction), SignificantNode);
        return true;
    }

    xmlDocPtr doc_;
    std::shared_ptr<const ElementIndex> index_;
    std::string declaration_;
    std::string declaredEncoding_;
    std::mutex mutex_;
    std::map<std::pair<xmlNodePtr, std::string>, std::shared_ptr<const NodeVector>> lists_;
    xmlXPathContextPtr xpath_ = nullptr;
};

using StateRef = std::shared_ptr<DocumentState>;

class NodeList final : public platform::XmlNodeList {
public:
    NodeList(StateRef state, std::shared_ptr<const NodeVector> nodes)
        : state_(std::move(state)), nodes_(std::move(nodes)) {}
    long Length() override { return static_cast<long>(nodes_->size()); }
    NodeRef Item(long index) override;

private:
    StateRef state_;
    std::shared_ptr<const NodeVector> nodes_;
};

NodeListRef EmptyList() { return std::make_shared<NodeList>(nullptr, std::make_shared<const NodeVector>()); }

// The node operations, shared by nodes and the document (whose state may be
// missing: an empty document).
//
// Names, patterns and texts cross in the plug-in's code page (text/code_page.h);
// the tree is UTF-8.
struct NodeOps {
    static std::string Text(const StateRef& state, xmlNodePtr node) {
        return state ? text::AnsiCodePage().FromUtf8(NodeText(node)) : std::string();
    }
    static std::string Attribute(const StateRef& state, xmlNodePtr node, std::string_view name) {
        std::string value;
        if (!state || !FindAttribute(node, text::AnsiCodePage().ToUtf8(name), value)) return {};
        return text::AnsiCodePage().FromUtf8(value);
    }
    static NodeListRef ElementsByName(const StateRef& state, xmlNodePtr node, std::string_view name) {
        if (!state) return EmptyList();
        return std::make_shared<NodeList>(state, state->ElementsByName(node, text::AnsiCodePage().ToUtf8(name)));
    }
    // The nodes a pattern selects (at most `limit`), or nothing when it is
    // malformed.
    static std::optional<NodeVector> Select(const StateRef& state, xmlNodePtr node, std::string_view pattern,
                                            std::size_t limit = SIZE_MAX) {
        const std::string utf8 = text::AnsiCodePage().ToUtf8(pattern);
        if (const std::optional<SimplePath> path = ParseSimplePath(utf8))
            return state ? FollowPath(node, *path, limit) : NodeVector();
        const std::optional<std::string> xpath = XslPatternToXPath(utf8);
        if (!xpath) return std::nullopt;
        if (!state) return NodeVector();
        return state->Evaluate(node, *xpath);
    }
    static NodeListRef SelectNodes(const StateRef& state, xmlNodePtr node, std::string_view pattern) {
        std::optional<NodeVector> nodes = Select(state, node, pattern);
        if (!nodes) return nullptr;
        return std::make_shared<NodeList>(state, std::make_shared<const NodeVector>(std::move(*nodes)));
    }
    static NodeRef SelectSingleNode(const StateRef& state, xmlNodePtr node, std::string_view pattern);
};

class Node final : public platform::XmlNode {
public:
    Node(StateRef state, xmlNodePtr node) : state_(std::move(state)), node_(node) {}
    std::string Text() override { return NodeOps::Text(state_, node_); }
    std::string GetAttribute(std::string_view name) override { return NodeOps::Attribute(state_, node_, name); }
    NodeListRef GetElementsByTagName(std::string_view name) override {
        return NodeOps::ElementsByName(state_, node_, name);
    }
    NodeListRef SelectNodes(std::string_view pattern) override {
        return NodeOps::SelectNodes(state_, node_, pattern);
    }
    NodeRef SelectSingleNode(std::string_view pattern) override {
        return NodeOps::SelectSingleNode(state_, node_, pattern);
    }

private:
    StateRef state_;
    xmlNodePtr node_;
};

NodeRef NodeList::Item(long index) {
    if (index < 0 || static_cast<std::size_t>(index) >= nodes_->size()) return nullptr;
    return std::make_shared<Node>(state_, (*nodes_)[static_cast<std::size_t>(index)]);
}

NodeRef NodeOps::SelectSingleNode(const StateRef& state, xmlNodePtr node, std::string_view pattern) {
    std::optional<NodeVector> nodes = Select(state, node, pattern, 1);
    if (!nodes || nodes->empty()) return nullptr;
    return std::make_shared<Node>(state, nodes->front());
}

// prefix in lower case; ASCII letters only, whatever the locale (in a Turkish one
// "I" has another lower case).
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[i]) return false;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The local path of a "file:" address: "file:///dir/f.xml", "file://localhost/dir/f.xml"
// and "file:/dir/f.xml" all give "/dir/f.xml"; %XX escapes are decoded.
std::string PathOfFileUrl(std::string_view url) {
    std::string_view rest = url.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        if (StartsWithIgnoringCase(rest, "localhost/")) rest.remove_prefix(9);
        else if (!rest.empty() && rest[0] != '/') return "//" + std::string(rest);  // a host's share
    }
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 && HexValue(rest[i + 2]) >= 0) {
            path += static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

ParseOutcome ResourceNotFound() {
    ParseOutcome outcome;
    outcome.code = platform::kResourceNotFound;
    outcome.reason = kResourceNotFoundReason;
    return outcome;
}

// LOAD of an http or https address: the body is parsed while it arrives (or as
// the HTTP cache gives it). An address that cannot be reached, a status of 400 or
// more, a time-out or a body over the size limit all count as a resource that was
// not found; so does a missing HTTP module.
ParseOutcome LoadFromNetwork(const std::string& url) {
    StreamParser parser(url);
    HttpTransferRequest request;
    request.url = url;
    const HttpTransferOutcome transfer = HttpTransfer(request, [&parser](long status, std::string_view bytes) {
        return status < 400 && parser.Feed(bytes);
    });
    if ((transfer.status >= 400 && !transfer.fromCache) || transfer.tooLarge) return ResourceNotFound();
    if (!transfer.completed && !transfer.stoppedByReceiver) return ResourceNotFound();
    return parser.Finish();
}

class Document final : public platform::XmlDocument {
public:
    Document() { InitialiseXmlAndHttp(); }

    // The three settings change nothing: loading is always synchronous, never
    // validates and never resolves anything outside the document.
    void SetValidateOnParse(bool) override {}
    void SetAsync(bool) override {}
    void SetResolveExternals(bool) override {}

    // Addresses go out in UTF-8; paths name files as the code page says.
    bool Load(std::string_view urlOrPath) override {
        const text::CodePage& page = text::AnsiCodePage();
        if (StartsWithIgnoringCase(urlOrPath, "http://") || StartsWithIgnoringCase(urlOrPath, "https://"))
            return Install(LoadFromNetwork(page.ToUtf8(urlOrPath)));
        if (StartsWithIgnoringCase(urlOrPath, "file:")) return Install(ParseFile(PathOfFileUrl(page.FileName(urlOrPath))));
        return Install(ParseFile(NativePath(page.FileName(urlOrPath))));
    }

    bool LoadXml(std::string_view text) override {
        return Install(ParseUnicodeText(text::AnsiCodePage().ToUtf8(text)));
    }

    platform::ParseError GetParseError() override { return error_; }

    // The file is replaced whole (atomic_file.h): a reader or a crash never sees
    // half a copy, and a read-only file or the target of a link stays as it is.
    bool Save(std::string_view path) override {
        const std::string bytes =
            state_ ? SerializeDocument(state_->Doc(), state_->Declaration(), state_->DeclaredEncoding())
                   : std::string();
        return ReplaceFileContent(NativePath(text::AnsiCodePage().FileName(path)), bytes);
    }

    NodeRef DocumentElement() override {
        if (!state_) return nullptr;
        const xmlNodePtr root = xmlDocGetRootElement(state_->Doc());
        return root ? std::make_shared<Node>(state_, root) : nullptr;
    }

    std::string Text() override { return NodeOps::Text(state_, DocNode()); }
    std::string GetAttribute(std::string_view) override { return {}; }
    NodeListRef GetElementsByTagName(std::string_view name) override {
        return NodeOps::ElementsByName(state_, DocNode(), name);
    }
    NodeListRef SelectNodes(std::string_view pattern) override {
        return NodeOps::SelectNodes(state_, DocNode(), pattern);
    }
    NodeRef SelectSingleNode(std::string_view pattern) override {
        return NodeOps::SelectSingleNode(state_, DocNode(), pattern);
    }

private:
    xmlNodePtr DocNode() const { return state_ ? reinterpret_cast<xmlNodePtr>(state_->Doc()) : nullptr; }

    // A failed load leaves the document empty; nodes of the previous content
    // stay valid for whoever holds them.
    bool Install(ParseOutcome&& outcome) {
        error_.code = outcome.code;
        error_.reason = text::AnsiCodePage().FromUtf8(outcome.reason);
        if (!outcome.doc) {
            state_.reset();
            return false;
        }
        state_ = std::make_shared<DocumentState>(std::move(outcome));
        return true;
    }

    StateRef state_;
    platform::ParseError error_;
};

}  // namespace

platform::DocumentRef NewXmlDocument() { return std::make_shared<Document>(); }

}  // namespace vardel::platform::linux_layer
