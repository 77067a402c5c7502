// Fuzzes the extraction: template, key node, line range, filter switches and
// (optionally) the document come from the input; the text stored must equal what
// the plain step-by-step version gives on the same document.
//
// Input: one byte of switches (1 FLTHTML, 2 FLTWrap, 4 FLTHTMLCode, 8 the document
// follows in the input), then template, key node, start line, end line (two
// characters of each are used) and the document, separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/site_table.h"
#include "platform/components.h"
#include "feed/extraction.h"
#include "platform/services.h"
#include "plugin/instances.h"
#include "plugin/news_cycle.h"
#include "support/reference_feed.h"

using namespace vardel;

namespace {

// Two channels, values that hold the template's markers, an item without text.
constexpr char kFeed[] =
    "<rss><channel><title>Kanal</title>"
    "<item id=\"n1\" group=\"Sport\"><title>Erste &lt;link&gt;</title><link>L1</link>"
    "<description>&lt;p&gt;Eins&lt;/p&gt;\nzwei &amp;#065;&amp;auml;</description>"
    "<category domain=\"d1\">K1</category><category domain=\"d2\">K2</category>"
    "<enclosure url=\"u1\"/><source><name>Q1</name></source></item>"
    "<item id=\"n2\" group=\"Politik\"><title>Zweite &lt;title&gt;&lt;</title><link>L2 &lt;category&gt;</link>"
    "<category domain=\"d3\">Line#:2; &lt;title&gt;</category></item>"
    "<item id=\"n3\"><enclosure url=\"u3\"/></item>"
    "</channel><channel><item id=\"m1\"><title>Dritte</title></item>"
    "<item id=\"m2\"><title>Vierte</title><link>L4</link></item></channel></rss>";

platform::DocumentRef Parse(std::string_view xml) {
    platform::DocumentRef document = platform::Services().components->CreateXmlDocument();
    if (!document) return nullptr;
    document->SetAsync(false);
    document->SetResolveExternals(false);
    return document->LoadXml(xml) ? document : nullptr;
}

std::int32_t Instance() {
    static const std::int32_t instance = [] {
        const std::int32_t n = plugin::StartInstance(nullptr);
        config::SiteTable().resize(2);
        config::SettingsOf(n).SiteIndex = 1;
        return n;
    }();
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const platform::DocumentRef fixed = Parse(kFeed);
    const std::uint8_t switches = data[0];
    std::vector<std::string> parts(5);
    std::size_t part = 0;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0 && part < parts.size() - 1) {
            ++part;
        } else {
            parts[part] += static_cast<char>(data[i]);
        }
    }
    const std::string& templateText = parts[0];
    const std::string& keyNode = parts[1];
    const platform::DocumentRef document = (switches & 8) ? Parse(parts[4]) : fixed;

    const std::int32_t instance = Instance();
    config::SiteTable()[1].FeedDocument = document;
    config::InstanceSettings& settings = config::SettingsOf(instance);
    // Two characters each keep the ranges short enough for the plain version,
    // which is quadratic in them, and still reach every form of line range.
    settings.StartZeile = parts[2].substr(0, 2);
    settings.EndZeile = parts[3].substr(0, 2);
    settings.FLTHTML = switches & 1;
    settings.FLTWrap = (switches >> 1) & 1;
    settings.FLTHTMLCode = (switches >> 2) & 1;

    plugin::ExtractInstanceText(instance, templateText, keyNode);
    const std::string plain = testing::reference::ExtractFeedText(document, settings, templateText, keyNode);
    if (plugin::StateOf(instance).Text.View() != plain) std::abort();
    config::SiteTable()[1].FeedDocument.reset();
    return 0;
}
