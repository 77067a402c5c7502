// Extraction cost against the cost of parsing the feed, on generated feeds of
// 1,000 and 20,000 items (about 1.2 KB each).
//
// Prints, per feed: a bare libxml2 parse of the feed text; the extraction of
// items 1 to 10 with the default template; of all items with the default
// template and with a three-field Freestyle template; and the same two with the
// entity filter on, which takes every item (without it the items stop once the
// stored 2047 characters are settled). Then the ratios: items 1-10 against the
// parse (goal under 1 %), all items against the parse (goal at most 0.3), and
// the 20,000-item run against the 1,000-item run (goal at most 25: linear).
//
// Usage: bench_extraction [repetitions]   (default 5; the best run counts)
#include <libxml/parser.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/site_table.h"
#include "platform/components.h"
#include "feed/extraction.h"
#include "feed_generator.h"
#include "platform/services.h"
#include "plugin/instances.h"
#include "plugin/library_unload.h"
#include "plugin/news_cycle.h"

using namespace vardel;

namespace {

constexpr char kDefaultTemplate[] = "<title>%l<link>";
constexpr char kFreestyleTemplate[] = "<pubDate> <title> (<category Line#:2;>)%b";

int repetitions = 5;

// The best of the repetitions, in milliseconds.
double BestMs(const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

struct Figures {
    std::size_t items = 0;
    std::size_t bytes = 0;
    double parse = 0, firstTen = 0, allDefault = 0, allFreestyle = 0, allDefaultEntities = 0,
           allFreestyleEntities = 0;
};

double Extract(std::int32_t instance, const char* templateText, const std::string& lastLine, int entities) {
    config::InstanceSettings& s = config::SettingsOf(instance);
    s.StartZeile = "1";
    s.EndZeile = lastLine;
    s.FLTHTMLCode = entities;
    return BestMs([&] { plugin::ExtractInstanceText(instance, templateText, "item"); });
}

Figures Measure(std::size_t items, std::int32_t instance) {
    Figures f;
    f.items = items;
    const std::string feed = bench::GenerateRssFeed(items);
    f.bytes = feed.size();

    f.parse = BestMs([&] {
        xmlDocPtr doc = xmlReadMemory(feed.data(), static_cast<int>(feed.size()), nullptr, nullptr, XML_PARSE_NONET);
        if (!doc) std::abort();
        xmlFreeDoc(doc);
    });

    const std::string path =
        (std::filesystem::temp_directory_path() / ("vardel-bench-" + std::to_string(items) + ".xml")).string();
    if (!bench::WriteRssFeed(path, items)) std::abort();
    platform::DocumentRef document = platform::Services().components->CreateXmlDocument();
    document->SetAsync(false);
    document->SetResolveExternals(false);
    if (!document->Load(path)) std::abort();
    std::filesystem::remove(path);
    config::SiteTable()[1].FeedDocument = document;

    const std::string all = std::to_string(items);
    f.firstTen = Extract(instance, kDefaultTemplate, "10", 0);
    f.allDefault = Extract(instance, kDefaultTemplate, all, 0);
    f.allFreestyle = Extract(instance, kFreestyleTemplate, all, 0);
    f.allDefaultEntities = Extract(instance, kDefaultTemplate, all, 1);
    f.allFreestyleEntities = Extract(instance, kFreestyleTemplate, all, 1);
    config::SiteTable()[1].FeedDocument.reset();
    return f;
}

void Print(const Figures& f) {
    std::printf("%zu items, %.1f MB\n", f.items, f.bytes / 1e6);
    std::printf("  bare libxml2 parse                        %9.2f ms\n", f.parse);
    std::printf("  items 1-10, default template              %9.3f ms  %7.3f %% of the parse (goal < 1 %%)\n",
                f.firstTen, 100 * f.firstTen / f.parse);
    std::printf("  all items, default template               %9.3f ms  %7.3f x the parse (goal <= 0.3)\n",
                f.allDefault, f.allDefault / f.parse);
    std::printf("  all items, three-field Freestyle          %9.3f ms  %7.3f x the parse (goal <= 0.3)\n",
                f.allFreestyle, f.allFreestyle / f.parse);
    std::printf("  all items, default, entity filter         %9.3f ms  %7.3f x the parse\n", f.allDefaultEntities,
                f.allDefaultEntities / f.parse);
    std::printf("  all items, Freestyle, entity filter       %9.3f ms  %7.3f x the parse\n", f.allFreestyleEntities,
                f.allFreestyleEntities / f.parse);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) repetitions = std::max(1, std::atoi(argv[1]));

    const std::int32_t instance = plugin::StartInstance(nullptr);
    config::SiteTable().resize(2);
    config::SiteTable()[1].Name.Assign("Bench");
    config::SettingsOf(instance).SiteIndex = 1;

    const Figures small = Measure(1000, instance);
    const Figures large = Measure(20000, instance);
    Print(small);
    Print(large);
    std::printf("20,000 / 1,000 items (goal <= 25):\n");
    std::printf("  bare parse                                %9.2f\n", large.parse / small.parse);
    std::printf("  all items, default template               %9.2f\n", large.allDefault / small.allDefault);
    std::printf("  all items, three-field Freestyle          %9.2f\n", large.allFreestyle / small.allFreestyle);
    std::printf("  all items, default, entity filter         %9.2f\n",
                large.allDefaultEntities / small.allDefaultEntities);
    std::printf("  all items, Freestyle, entity filter       %9.2f\n",
                large.allFreestyleEntities / small.allFreestyleEntities);
    plugin::ReleaseAll();
    return 0;
}
