// The contract with the XML document and HTTP request components.
//
// Everything the plug-in does with XML and HTTP goes through these interfaces:
// on Windows they wrap the system's automation components ("Microsoft.xmldom",
// "MSXML2.XMLHTTP"), elsewhere our own layer on libxml2 and libcurl. Texts cross
// this boundary in the plug-in's code page (text/code_page.h) in both directions.
//
// Documents, nodes and lists are counted references: a site's feed document is
// shared with the current document of an extraction, and a node keeps its document
// alive. A call on a missing object or node yields nothing and is not reported;
// the free helpers at the end accept null references for that reason.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vardel::platform {

class XmlNode;
class XmlNodeList;
class XmlDocument;
class HttpRequest;

using NodeRef = std::shared_ptr<XmlNode>;
using NodeListRef = std::shared_ptr<XmlNodeList>;
using DocumentRef = std::shared_ptr<XmlDocument>;

// Parse error codes of LOAD and LOADXML (ERRORCODE, 32-bit signed).
inline constexpr std::int32_t kParsedWithoutError = 0;
inline constexpr std::int32_t kResourceNotFound = -2146697211;     // 0x800C0005
inline constexpr std::int32_t kObjectNotFound = -2146697210;       // 0x800C0006, missing file

class XmlNodeList {
public:
    virtual ~XmlNodeList() = default;
    // LENGTH: number of entries.
    virtual long Length() = 0;
    // ITEM: the entry at a position counted from 0, or null beyond either end.
    virtual NodeRef Item(long index) = 0;
};

class XmlNode {
public:
    virtual ~XmlNode() = default;
    // TEXT: the text of the node and all its descendants.
    virtual std::string Text() = 0;
    // GETATTRIBUTE: the value, or the empty text when absent (or not an element).
    virtual std::string GetAttribute(std::string_view name) = 0;
    // GETELEMENTSBYTAGNAME: all descendant elements of that qualified name ("*" for
    // all), in document order.
    virtual NodeListRef GetElementsByTagName(std::string_view name) = 0;
    // SELECTNODES: the nodes a pattern selects (positions in brackets count from 0);
    // null when the pattern is malformed.
    virtual NodeListRef SelectNodes(std::string_view pattern) = 0;
    // SELECTSINGLENODE: the first node selected, or null.
    virtual NodeRef SelectSingleNode(std::string_view pattern) = 0;
};

struct ParseError {
    std::int32_t code = 0;  // ERRORCODE
    std::string reason;     // REASON
};

class XmlDocument : public XmlNode {
public:
    virtual void SetValidateOnParse(bool value) = 0;  // VALIDATEONPARSE
    virtual void SetAsync(bool value) = 0;            // ASYNC
    virtual void SetResolveExternals(bool value) = 0; // RESOLVEEXTERNALS
    // LOAD: fetches a URL or reads a file and parses it; the outcome is read from
    // GetParseError().
    virtual bool Load(std::string_view urlOrPath) = 0;
    // LOADXML: parses the text; true only for a well-formed document.
    virtual bool LoadXml(std::string_view text) = 0;
    // PARSEERROR: ERRORCODE and REASON of the last load.
    virtual ParseError GetParseError() = 0;
    // SAVE: writes the document's XML to the file, replacing it.
    virtual bool Save(std::string_view path) = 0;
    // DOCUMENTELEMENT: the root element, or null.
    virtual NodeRef DocumentElement() = 0;
};

class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    virtual void Open(std::string_view method, std::string_view url, bool async) = 0;  // OPEN
    virtual void SetRequestHeader(std::string_view name, std::string_view value) = 0;  // SETREQUESTHEADER
    virtual void Send() = 0;                                                           // SEND
    // RESPONSETEXT: the response body as text; empty when the request failed.
    virtual std::string ResponseText() = 0;
};

class ComponentFactory {
public:
    virtual ~ComponentFactory() = default;
    // A fresh XML document component ("Microsoft.xmldom"), or null when it cannot
    // be created.
    virtual DocumentRef CreateXmlDocument() = 0;
    // A fresh HTTP request component ("MSXML2.XMLHTTP"), or null when it cannot be
    // created.
    virtual std::unique_ptr<HttpRequest> CreateHttpRequest() = 0;
    // Limits the time that the network operations of these components (LOAD of an
    // address, SEND) take from now on, all together: one still running when the
    // time is up ends as a server that went silent would end it, and one that
    // starts later fails at once. 0 lifts the limit. Components that keep their own
    // time-outs (the system's, on Windows) ignore it.
    virtual void LimitNetworkTime(std::uint32_t milliseconds) { (void)milliseconds; }
};

// Keeps a limit of LimitNetworkTime in force for as long as it lives.
class NetworkTimeLimit {
public:
    NetworkTimeLimit(ComponentFactory& components, std::uint32_t milliseconds) : components_(components) {
        components_.LimitNetworkTime(milliseconds);
    }
    ~NetworkTimeLimit() { components_.LimitNetworkTime(0); }
    NetworkTimeLimit(const NetworkTimeLimit&) = delete;
    NetworkTimeLimit& operator=(const NetworkTimeLimit&) = delete;

private:
    ComponentFactory& components_;
};

// Null-tolerant helpers: a missing object or node yields nothing.
inline std::string TextOf(const NodeRef& node) { return node ? node->Text() : std::string(); }
inline std::string AttributeOf(const NodeRef& node, std::string_view name) {
    return node ? node->GetAttribute(name) : std::string();
}
inline long LengthOf(const NodeListRef& list) { return list ? list->Length() : 0; }
inline NodeRef ItemOf(const NodeListRef& list, long index) {
    return list ? list->Item(index) : nullptr;
}

}  // namespace vardel::platform
