// The XML document and HTTP request components of Windows, created by ProgID and
// called late-bound by upper-case member name. Numbers go in as doubles (Boolean
// flags as 0.0 and 1.0), texts as BSTRs converted from and back to the ANSI code
// page. A failed call, a null or an empty result gives null, "" or 0.
#include <string>
#include <utility>

#include "platform/components.h"
#include "platform/windows/ansi_text.h"
#include "platform/windows/automation_components.h"
#include "platform/windows/dispatch.h"
#include "platform/windows/file_replacement.h"
#include "platform/windows/windows_layer.h"

namespace vardel::platform::windows_layer {
namespace {

constexpr const wchar_t* kXmlDocumentProgId = L"Microsoft.xmldom";
constexpr const wchar_t* kHttpRequestProgId = L"MSXML2.XMLHTTP";

double FlagValue(bool value) { return value ? 1.0 : 0.0; }

std::string AnsiTextOf(const CallResult& result) { return NarrowToAnsi(result.AsText()); }

platform::NodeRef WrapNode(DispatchRef object);
platform::NodeListRef WrapNodeList(DispatchRef object);

// The node operations, shared by elements (and other nodes) and documents.
template <class Interface>
class AutomationNodeOf : public Interface {
public:
    explicit AutomationNodeOf(DispatchRef object) : object_(std::move(object)) {}

    std::string Text() override { return AnsiTextOf(Call(object_.get(), L"TEXT")); }

    // An absent attribute is VT_NULL, which reads as the empty text.
    std::string GetAttribute(std::string_view name) override {
        return AnsiTextOf(Call(object_.get(), L"GETATTRIBUTE", {WidenAnsi(name)}));
    }

    platform::NodeListRef GetElementsByTagName(std::string_view name) override {
        return WrapNodeList(Call(object_.get(), L"GETELEMENTSBYTAGNAME", {WidenAnsi(name)}).AsObject());
    }

    // A malformed pattern fails the call, which gives no list at all.
    platform::NodeListRef SelectNodes(std::string_view pattern) override {
        return WrapNodeList(Call(object_.get(), L"SELECTNODES", {WidenAnsi(pattern)}).AsObject());
    }

    platform::NodeRef SelectSingleNode(std::string_view pattern) override {
        return WrapNode(Call(object_.get(), L"SELECTSINGLENODE", {WidenAnsi(pattern)}).AsObject());
    }

    const DispatchRef& Shared() const { return object_; }

protected:
    IDispatch* Object() const { return object_.get(); }

private:
    DispatchRef object_;  // the node keeps its document alive by itself
};

using AutomationNode = AutomationNodeOf<platform::XmlNode>;

class AutomationNodeList final : public platform::XmlNodeList {
public:
    explicit AutomationNodeList(DispatchRef object) : object_(std::move(object)) {}

    const DispatchRef& Shared() const { return object_; }

    long Length() override { return Call(object_.get(), L"LENGTH").AsInteger(); }

    // The position goes in as a double, as every number does.
    platform::NodeRef Item(long index) override {
        if (index < 0) return nullptr;
        return WrapNode(Call(object_.get(), L"ITEM", {static_cast<double>(index)}).AsObject());
    }

private:
    DispatchRef object_;
};

class AutomationDocument final : public AutomationNodeOf<platform::XmlDocument> {
public:
    using AutomationNodeOf::AutomationNodeOf;

    void SetValidateOnParse(bool value) override {
        Put(Object(), L"VALIDATEONPARSE", FlagValue(value));
    }
    void SetAsync(bool value) override { Put(Object(), L"ASYNC", FlagValue(value)); }
    void SetResolveExternals(bool value) override {
        Put(Object(), L"RESOLVEEXTERNALS", FlagValue(value));
    }

    bool Load(std::string_view urlOrPath) override {
        return Call(Object(), L"LOAD", {WidenAnsi(urlOrPath)}).AsBool();
    }

    bool LoadXml(std::string_view text) override {
        return Call(Object(), L"LOADXML", {WidenAnsi(text)}).AsBool();
    }

    platform::ParseError GetParseError() override {
        const DispatchRef error = Call(Object(), L"PARSEERROR").AsObject();
        platform::ParseError result;
        result.code = Call(error.get(), L"ERRORCODE").AsInteger();
        result.reason = AnsiTextOf(Call(error.get(), L"REASON"));
        return result;
    }

    // The component saves under a temporary name, moved over the copy when done:
    // a reader or a crash never sees half a copy, and a read-only copy stays.
    bool Save(std::string_view path) override {
        return ReplaceFileThrough(std::string(path), [&](const std::string& temporary) {
            return Call(Object(), L"SAVE", {WidenAnsi(temporary)}).Succeeded();
        });
    }

    platform::NodeRef DocumentElement() override {
        return WrapNode(Call(Object(), L"DOCUMENTELEMENT").AsObject());
    }
};

class AutomationHttpRequest final : public platform::HttpRequest {
public:
    explicit AutomationHttpRequest(DispatchRef object) : object_(std::move(object)) {}

    void Open(std::string_view method, std::string_view url, bool async) override {
        Call(object_.get(), L"OPEN", {WidenAnsi(method), WidenAnsi(url), FlagValue(async)});
    }

    void SetRequestHeader(std::string_view name, std::string_view value) override {
        Call(object_.get(), L"SETREQUESTHEADER", {WidenAnsi(name), WidenAnsi(value)});
    }

    void Send() override { Call(object_.get(), L"SEND"); }

    // After a failed SEND the component raises an error here, which reads as "".
    std::string ResponseText() override { return AnsiTextOf(Call(object_.get(), L"RESPONSETEXT")); }

private:
    DispatchRef object_;
};

platform::NodeRef WrapNode(DispatchRef object) {
    if (!object) return nullptr;
    return std::make_shared<AutomationNode>(std::move(object));
}

platform::NodeListRef WrapNodeList(DispatchRef object) {
    if (!object) return nullptr;
    return std::make_shared<AutomationNodeList>(std::move(object));
}

class AutomationFactory final : public platform::ComponentFactory {
public:
    // External entities and DTDs are never fetched: a feed from the network must
    // not make the component read local files or other addresses. The component's
    // own default (true in the system's version) is turned off at creation; a
    // caller may still set the property itself.
    platform::DocumentRef CreateXmlDocument() override {
        DispatchRef object = CreateByProgId(kXmlDocumentProgId);
        if (!object) return nullptr;
        Put(object.get(), L"RESOLVEEXTERNALS", FlagValue(false));
        return std::make_shared<AutomationDocument>(std::move(object));
    }

    std::unique_ptr<platform::HttpRequest> CreateHttpRequest() override {
        DispatchRef object = CreateByProgId(kHttpRequestProgId);
        if (!object) return nullptr;
        return std::make_unique<AutomationHttpRequest>(std::move(object));
    }
};

}  // namespace

DispatchRef AutomationObjectOf(platform::XmlNode& node) {
    if (auto* document = dynamic_cast<AutomationDocument*>(&node)) return document->Shared();
    if (auto* element = dynamic_cast<AutomationNode*>(&node)) return element->Shared();
    return nullptr;
}

DispatchRef AutomationObjectOf(platform::XmlNodeList& list) {
    if (auto* ours = dynamic_cast<AutomationNodeList*>(&list)) return ours->Shared();
    return nullptr;
}

platform::ComponentFactory& AutomationComponents() {
    static AutomationFactory& factory = *new AutomationFactory;
    return factory;
}

}  // namespace vardel::platform::windows_layer
