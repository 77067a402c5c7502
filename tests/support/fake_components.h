// Scripted XML document and HTTP request components for unit tests.
//
// The test says what a LOAD of each address or path finds and what an HTTP GET of
// each address answers; the fake records every component call in order, with its
// arguments, so a test can compare the exact sequence an algorithm makes. SAVE
// keeps the document in the fake's own "disk", where a later LOAD of that path
// finds it.
//
// Only the loading calls are scripted. Queries (TEXT, GETELEMENTSBYTAGNAME, ...)
// on a parsed fake document go to a document of the platform's own component
// holding the same XML, so extraction on a fake document gives real results.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/components.h"

namespace vardel::testing {

// What a LOAD of an address or path finds.
struct FakeResource {
    std::int32_t code = platform::kParsedWithoutError;  // ERRORCODE
    std::string reason;                             // REASON, for a code other than 0
    std::string xml;                                // the document, for code 0

    static FakeResource Feed(std::string xml) { return {platform::kParsedWithoutError, "", std::move(xml)}; }
    static FakeResource Error(std::int32_t code, std::string reason) { return {code, std::move(reason), ""}; }
};

// Everything the fakes share: the script and the record. Documents keep it alive,
// so a document the site table still holds outlives the factory safely.
struct FakeWorld {
    // The script.
    bool xmlAvailable = true;   // CreateXmlDocument gives a document
    bool httpAvailable = true;  // CreateHttpRequest gives a request
    bool saveFails = false;     // SAVE writes nothing and reports failure
    std::map<std::string, FakeResource> resources;  // LOAD by address or path
    std::map<std::string, std::string> responses;   // RESPONSETEXT of a GET, by address
    // Runs on every LOAD and SEND: lets a test advance the clock as a real
    // download takes time.
    std::function<void()> onNetwork;

    // The record: "new xmldom #1", "#1 ASYNC false", "#1 LOAD http://...",
    // "#2 OPEN Get http://... false", ... in call order.
    std::vector<std::string> calls;
    std::map<std::string, std::string> saved;  // SAVE: path -> XML written
    int nextObject = 1;
    // LimitNetworkTime: every value it was given, in order, and the limit in force
    // at each LOAD and SEND (0: none).
    std::vector<std::uint32_t> timeLimitsSet;
    std::vector<std::uint32_t> timeLimitAtNetwork;
    std::uint32_t timeLimit = 0;
};

class FakeComponents final : public platform::ComponentFactory {
public:
    FakeComponents();

    platform::DocumentRef CreateXmlDocument() override;
    std::unique_ptr<platform::HttpRequest> CreateHttpRequest() override;
    void LimitNetworkTime(std::uint32_t milliseconds) override;

    FakeWorld& world() { return *world_; }
    const std::vector<std::string>& calls() const { return world_->calls; }
    // Forgets the record; the next object is numbered 1 again.
    void ClearCalls() {
        world_->calls.clear();
        world_->nextObject = 1;
    }

    // The XML a document created by this factory holds ("" for other documents).
    static std::string XmlOf(const platform::DocumentRef& document);

private:
    std::shared_ptr<FakeWorld> world_;
};

// The calls of the loaders as the fake records them; doc and request are the
// numbers the fake gave the objects (counting from 1 in creation order).
using CallList = std::vector<std::string>;
CallList operator+(CallList a, const CallList& b);
// DownloadFeed's own load of the address.
CallList DirectLoadCalls(int doc, const std::string& address);
// HttpFetch: the request, then the document that parses the response.
CallList HttpRequestCalls(int request, const std::string& address);
CallList ParseResponseCalls(int doc, const std::string& response);
// LoadFeedCopy's load of the copy.
CallList CopyLoadCalls(int doc, const std::string& path);

// A one-item RSS 2.0 feed with the given title and link.
std::string OneItemFeed(const std::string& title, const std::string& link);

}  // namespace vardel::testing
