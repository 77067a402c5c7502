// The HTTP module behind the Linux layer's components: a missing or broken module
// is an unreachable server, never a crash; the time limit of a site's fetch holds
// across LOAD and SEND; a caller can end a transfer while it runs.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>

#include "platform/components.h"
#include "platform/linux/http_client.h"
#include "platform/linux/http_module.h"
#include "platform/services.h"
#include "support/http_server.h"

namespace vardel::testing {
namespace {

using platform::linux_layer::HttpTransfer;
using platform::linux_layer::HttpTransferOutcome;
using platform::linux_layer::HttpTransferRequest;
using SteadyClock = std::chrono::steady_clock;

constexpr char kFeed[] = "<rss><channel><title>Kanal</title><item><title>Eins</title></item></channel></rss>";

platform::ComponentFactory& Components() { return *platform::Services().components; }

std::string Send(const std::string& url) {
    std::unique_ptr<platform::HttpRequest> request = Components().CreateHttpRequest();
    request->Open("Get", url, false);
    request->SetRequestHeader("Get", "TarnAgent");
    request->Send();
    return request->ResponseText();
}

long Milliseconds(SteadyClock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

// Opens another module file for as long as it lives.
class OtherModuleFile {
public:
    explicit OtherModuleFile(const char* file) { platform::linux_layer::UseHttpModuleFile(file); }
    ~OtherModuleFile() { platform::linux_layer::UseHttpModuleFile(VARDEL_HTTP_MODULE_FILE); }
};

TEST(HttpModule, MissingOrBrokenModuleFailsLikeAnUnreachableServer) {
    LoopbackHttpServer server([](const HttpRequestSeen&) {
        HttpReply reply;
        reply.body = kFeed;
        return reply;
    });
    const struct {
        const char* name;
        const char* file;
    } cases[] = {
        {"missing", "Vardel2-http-missing.so"},
        {"not a shared object", "Vardel2-http-not-elf.so"},
        {"a shared object without the entry", "Vardel2-http-without-entry.so"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const OtherModuleFile module(c.file);
        for (int attempt = 0; attempt < 2; ++attempt) {
            platform::DocumentRef doc = Components().CreateXmlDocument();
            EXPECT_FALSE(doc->Load(server.Url("/feed.xml")));
            EXPECT_EQ(doc->GetParseError().code, platform::kResourceNotFound);
            EXPECT_EQ(doc->GetParseError().reason, "The system cannot locate the resource specified.\r\n");
            EXPECT_EQ(Send(server.Url("/feed.xml")), "");
        }
        HttpTransferRequest request;
        request.url = server.Url("/feed.xml");
        const HttpTransferOutcome outcome = HttpTransfer(request, [](long, std::string_view) { return true; });
        EXPECT_FALSE(outcome.completed);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_NE(outcome.error.find(c.file), std::string::npos) << outcome.error;
    }
    EXPECT_TRUE(server.Requests().empty());

    // The real module still serves.
    EXPECT_EQ(Send(server.Url("/feed.xml")), kFeed);
}

// The direct load reads a slow body that turns out not to be well-formed; the
// fallback request reads it again. Under one limit the two end together at the
// limit, not each after its own time-out.
TEST(HttpModule, TimeLimitHoldsForLoadAndSendTogether) {
    std::string slowBody = "<rss><channel>";
    for (int i = 0; i < 40; ++i) slowBody += "<item>Meldung</item>";
    slowBody += "</wrong>";
    HttpReply slow;
    slow.body = slowBody;
    slow.trickleBytes = (slowBody.size() + 39) / 40;
    slow.trickleMs = 50;  // the whole body in about 2 s
    LoopbackHttpServer server([&](const HttpRequestSeen& request) {
        if (request.target == "/slow") return slow;
        HttpReply reply;
        reply.body = kFeed;
        return reply;
    });

    constexpr long kLimitMs = 3000;
    const SteadyClock::time_point start = SteadyClock::now();
    {
        const platform::NetworkTimeLimit limit(Components(), kLimitMs);
        platform::DocumentRef doc = Components().CreateXmlDocument();
        EXPECT_FALSE(doc->Load(server.Url("/slow")));
        const std::int32_t code = doc->GetParseError().code;
        EXPECT_NE(code, 0);
        EXPECT_NE(code, platform::kResourceNotFound) << "the load read the whole body within the limit";
        EXPECT_EQ(Send(server.Url("/slow")), "") << "the request was cut at the limit";
        const long elapsed = Milliseconds(SteadyClock::now() - start);
        EXPECT_GE(elapsed, kLimitMs - 100);
        EXPECT_LT(elapsed, kLimitMs + 700);

        // Once the time is up nothing more is asked.
        const std::size_t asked = server.Requests().size();
        EXPECT_FALSE(doc->Load(server.Url("/fast")));
        EXPECT_EQ(doc->GetParseError().code, platform::kResourceNotFound);
        EXPECT_EQ(Send(server.Url("/fast")), "");
        EXPECT_EQ(server.Requests().size(), asked);
    }
    // Lifted with the scope.
    EXPECT_EQ(Send(server.Url("/fast")), kFeed);
}

TEST(HttpModule, CallerEndsATransferWhileItRuns) {
    HttpReply silent;
    silent.neverAnswer = true;
    LoopbackHttpServer server([&](const HttpRequestSeen&) { return silent; });
    const SteadyClock::time_point start = SteadyClock::now();
    HttpTransferRequest request;
    request.url = server.Url("/feed.xml");
    request.keepGoing = [&] { return SteadyClock::now() - start < std::chrono::milliseconds(300); };
    const HttpTransferOutcome outcome = HttpTransfer(request, [](long, std::string_view) { return true; });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_FALSE(outcome.completed);
    EXPECT_LT(Milliseconds(SteadyClock::now() - start), 800) << "asked at least every 100 ms";
}

}  // namespace
}  // namespace vardel::testing
