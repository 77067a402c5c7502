#include "support/fake_components.h"

#include "platform/services.h"

namespace vardel::testing {
namespace {

std::string Flag(bool value) { return value ? "true" : "false"; }

class FakeDocument final : public platform::XmlDocument {
public:
    FakeDocument(std::shared_ptr<FakeWorld> world, int id) : world_(std::move(world)), id_(id) {}

    const std::string& Xml() const { return xml_; }

    void SetValidateOnParse(bool value) override { Record("VALIDATEONPARSE " + Flag(value)); }
    void SetAsync(bool value) override { Record("ASYNC " + Flag(value)); }
    void SetResolveExternals(bool value) override { Record("RESOLVEEXTERNALS " + Flag(value)); }

    bool Load(std::string_view urlOrPath) override {
        Record("LOAD " + std::string(urlOrPath));
        world_->timeLimitAtNetwork.push_back(world_->timeLimit);
        if (world_->onNetwork) world_->onNetwork();
        auto found = world_->resources.find(std::string(urlOrPath));
        if (found == world_->resources.end()) {
            Fail({platform::kObjectNotFound, "The system cannot locate the object specified.\r\n"});
            return false;
        }
        if (found->second.code != platform::kParsedWithoutError) {
            Fail({found->second.code, found->second.reason});
            return false;
        }
        Parsed(found->second.xml);
        return true;
    }

    // The fake's notion of well-formed: the text starts with markup.
    bool LoadXml(std::string_view text) override {
        Record("LOADXML " + std::string(text));
        const auto first = text.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos || text[first] != '<') {
            Fail({-1072896682, "Invalid at the top level of the document.\r\n"});
            return false;
        }
        Parsed(std::string(text));
        return true;
    }

    platform::ParseError GetParseError() override {
        Record("PARSEERROR");
        return error_;
    }

    bool Save(std::string_view path) override {
        Record("SAVE " + std::string(path));
        if (world_->saveFails) return false;
        world_->saved[std::string(path)] = xml_;
        world_->resources[std::string(path)] = FakeResource::Feed(xml_);
        return true;
    }

    platform::NodeRef DocumentElement() override { return Real() ? real_->DocumentElement() : nullptr; }
    std::string Text() override { return Real() ? real_->Text() : std::string(); }
    std::string GetAttribute(std::string_view name) override {
        return Real() ? real_->GetAttribute(name) : std::string();
    }
    platform::NodeListRef GetElementsByTagName(std::string_view name) override {
        return Real() ? real_->GetElementsByTagName(name) : nullptr;
    }
    platform::NodeListRef SelectNodes(std::string_view pattern) override {
        return Real() ? real_->SelectNodes(pattern) : nullptr;
    }
    platform::NodeRef SelectSingleNode(std::string_view pattern) override {
        return Real() ? real_->SelectSingleNode(pattern) : nullptr;
    }

private:
    void Record(const std::string& call) { world_->calls.push_back("#" + std::to_string(id_) + " " + call); }
    void Fail(platform::ParseError error) {
        error_ = std::move(error);
        xml_.clear();
        real_.reset();
        parsed_ = false;
    }
    void Parsed(std::string xml) {
        error_ = {};
        xml_ = std::move(xml);
        real_.reset();
        parsed_ = true;
    }
    // The platform's document with the same XML, made at the first query.
    platform::XmlDocument* Real() {
        if (!parsed_) return nullptr;
        if (!real_) {
            real_ = platform::DefaultServices().components->CreateXmlDocument();
            if (real_ && !real_->LoadXml(xml_)) real_.reset();
            if (!real_) parsed_ = false;  // nothing to ask; don't try again
        }
        return real_.get();
    }

    std::shared_ptr<FakeWorld> world_;
    int id_;
    platform::ParseError error_;
    std::string xml_;
    bool parsed_ = false;
    platform::DocumentRef real_;
};

class FakeRequest final : public platform::HttpRequest {
public:
    FakeRequest(std::shared_ptr<FakeWorld> world, int id) : world_(std::move(world)), id_(id) {}

    void Open(std::string_view method, std::string_view url, bool async) override {
        Record("OPEN " + std::string(method) + " " + std::string(url) + " " + Flag(async));
        url_ = url;
    }
    void SetRequestHeader(std::string_view name, std::string_view value) override {
        Record("SETREQUESTHEADER " + std::string(name) + " " + std::string(value));
    }
    void Send() override {
        Record("SEND");
        world_->timeLimitAtNetwork.push_back(world_->timeLimit);
        if (world_->onNetwork) world_->onNetwork();
        auto found = world_->responses.find(url_);
        response_ = found == world_->responses.end() ? std::string() : found->second;
    }
    std::string ResponseText() override {
        Record("RESPONSETEXT");
        return response_;
    }

private:
    void Record(const std::string& call) { world_->calls.push_back("#" + std::to_string(id_) + " " + call); }

    std::shared_ptr<FakeWorld> world_;
    int id_;
    std::string url_;
    std::string response_;
};

}  // namespace

FakeComponents::FakeComponents() : world_(std::make_shared<FakeWorld>()) {}

platform::DocumentRef FakeComponents::CreateXmlDocument() {
    if (!world_->xmlAvailable) {
        world_->calls.push_back("new xmldom failed");
        return nullptr;
    }
    const int id = world_->nextObject++;
    world_->calls.push_back("new xmldom #" + std::to_string(id));
    return std::make_shared<FakeDocument>(world_, id);
}

std::unique_ptr<platform::HttpRequest> FakeComponents::CreateHttpRequest() {
    if (!world_->httpAvailable) {
        world_->calls.push_back("new xmlhttp failed");
        return nullptr;
    }
    const int id = world_->nextObject++;
    world_->calls.push_back("new xmlhttp #" + std::to_string(id));
    return std::make_unique<FakeRequest>(world_, id);
}

void FakeComponents::LimitNetworkTime(std::uint32_t milliseconds) {
    world_->timeLimitsSet.push_back(milliseconds);
    world_->timeLimit = milliseconds;
}

std::string FakeComponents::XmlOf(const platform::DocumentRef& document) {
    const auto* fake = dynamic_cast<const FakeDocument*>(document.get());
    return fake ? fake->Xml() : std::string();
}

CallList operator+(CallList a, const CallList& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

CallList DirectLoadCalls(int doc, const std::string& address) {
    const std::string d = "#" + std::to_string(doc) + " ";
    return {"new xmldom #" + std::to_string(doc), d + "VALIDATEONPARSE false", d + "ASYNC false",
            d + "RESOLVEEXTERNALS false", d + "LOAD " + address, d + "PARSEERROR"};
}

CallList HttpRequestCalls(int request, const std::string& address) {
    const std::string r = "#" + std::to_string(request) + " ";
    return {"new xmlhttp #" + std::to_string(request), r + "OPEN Get " + address + " false",
            r + "SETREQUESTHEADER Get TarnAgent", r + "SEND", r + "RESPONSETEXT"};
}

CallList ParseResponseCalls(int doc, const std::string& response) {
    const std::string d = "#" + std::to_string(doc) + " ";
    return {"new xmldom #" + std::to_string(doc), d + "ASYNC false", d + "RESOLVEEXTERNALS false",
            d + "LOADXML " + response};
}

CallList CopyLoadCalls(int doc, const std::string& path) {
    // The same members as the direct load; what differs is the path.
    return DirectLoadCalls(doc, path);
}

std::string OneItemFeed(const std::string& title, const std::string& link) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Channel</title>"
           "<item><title>" + title + "</title><link>" + link + "</link></item></channel></rss>";
}

}  // namespace vardel::testing
