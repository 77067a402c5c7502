// The news cycle: what a GetNews call costs inside the hold, and what a full
// cycle costs that reloads a local feed copy and extracts items 1 to 10, against
// a bare libxml2 parse of the same file (xmlReadFile + xmlFreeDoc) in the same run.
//
// The cycle runs as the host drives it, on the platform's own clock, profiles and
// components: disk-copy mode, the download held off (its stamp lies far ahead),
// an interval of 0 minutes so that every call is due and reads the copy back.
//
// Each method is measured in a child process of its own (forked before either
// has touched the parser), repeated, so that each sees the steady state of its own
// heap: run side by side in one process, the frees of one method are paid by the
// allocations of the other and the figures say more about the interleaving than
// about either. A child reports the median of its runs after a warm-up run; the
// parent takes the best of several children per method, children alternating.
// The component's LOAD of the copy by itself is shown too, so that what the cycle
// adds to it can be told from what the LOAD adds to a bare parse.
//
// Usage: bench_cycle [items ...] (default 1000 20000).
#include <libxml/parser.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "feed_generator.h"
#include "files/plugin_files.h"
#include "plugin/instances.h"
#include "platform/components.h"
#include "plugin/library_unload.h"
#include "plugin/news_cycle.h"
#include "platform/services.h"

using Clock = std::chrono::steady_clock;
using namespace vardel;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A host folder with the site's feed copy, and one instance showing items 1 to
// 10 of that site in the "List" layout.
std::int32_t SetUpInstance(const std::string& hostFolder) {
    plugin::ReleaseAll();
    const std::int32_t n = plugin::StartInstance(nullptr);  // no window: no messages
    files::SetHostFolder(hostFolder);
    config::IsDLF = 1;
    auto& sites = config::SiteTable();
    sites.resize(2);
    sites[1].Name.Assign("Bench");
    sites[1].Address.Assign("http://127.0.0.1:9/never-fetched.xml");
    sites[1].RefreshMinutes = 0;
    sites[1].LastDownload = 1e9;  // the download hold-off never ends
    config::InstanceSettings& s = config::SettingsOf(n);
    s.SiteType = config::kSiteTypeNews;
    s.SiteName = "Bench";
    s.SiteIndex = 1;
    s.StartZeile = "1";
    s.EndZeile = "10";
    s.Style = config::kStyleList;
    s.Refreshrate = 0;
    return n;
}

// xmlReadFile and xmlFreeDoc, as the cycle's reload also releases the document it
// replaces.
double BareParse(const std::string& path) {
    const auto start = Clock::now();
    xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, 0);
    if (!doc) {
        std::fprintf(stderr, "bare parse of %s failed\n", path.c_str());
        std::exit(1);
    }
    xmlFreeDoc(doc);
    return Seconds(start);
}

// What the cycle's copy reload costs by itself: the component's LOAD of the
// copy, replacing (and releasing) the previous document.
double ComponentReload(const std::string& copy, platform::DocumentRef& previous) {
    const auto start = Clock::now();
    platform::DocumentRef document = platform::Services().components->CreateXmlDocument();
    document->Load(copy);
    if (document->GetParseError().code != platform::kParsedWithoutError) {
        std::fprintf(stderr, "the component could not load %s\n", copy.c_str());
        std::exit(1);
    }
    previous = std::move(document);
    return Seconds(start);
}

double FullCycle(std::int32_t instance) {
    plugin::StateOf(instance).HoldUntil = 0;
    const auto start = Clock::now();
    const char* text = plugin::RunNewsCycle(instance);
    const double seconds = Seconds(start);
    if (std::string(text).find("Meldung 10:") == std::string::npos) {
        std::fprintf(stderr, "the cycle did not show items 1 to 10: \"%.80s\"\n", text);
        std::exit(1);
    }
    return seconds;
}

enum class Method { BareParse, ComponentReload, FullCycle };

// In a forked child: the median of runs of one method, after a warm-up run.
double MeasureInChild(Method method, const std::string& copy, const std::string& hostFolder, int runs) {
    int channel[2];
    if (::pipe(channel) != 0) std::exit(1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::vector<double> times;
        if (method == Method::FullCycle) {
            const std::int32_t instance = SetUpInstance(hostFolder);
            for (int i = 0; i <= runs; ++i) times.push_back(FullCycle(instance));
        } else if (method == Method::ComponentReload) {
            platform::DocumentRef previous;
            for (int i = 0; i <= runs; ++i) times.push_back(ComponentReload(copy, previous));
        } else {
            for (int i = 0; i <= runs; ++i) times.push_back(BareParse(copy));
        }
        times.erase(times.begin());
        const double median = Median(times);
        const bool written = ::write(channel[1], &median, sizeof median) == static_cast<ssize_t>(sizeof median);
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    double median = -1;
    const bool read = ::read(channel[0], &median, sizeof median) == static_cast<ssize_t>(sizeof median);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a measuring child failed\n");
        std::exit(1);
    }
    return median;
}

void CompareCycleWithParse(std::size_t items, const std::string& hostFolder) {
    const std::string copy = hostFolder + "plugins/Vardel/Bench.xml";
    if (!bench::WriteRssFeed(copy, items)) {
        std::fprintf(stderr, "cannot write %s\n", copy.c_str());
        std::exit(1);
    }
    const int runs = items <= 2000 ? 41 : 7;
    constexpr int kChildren = 3;
    double c = 1e9, p = 1e9, l = 1e9;
    for (int i = 0; i < kChildren; ++i) {
        p = std::min(p, MeasureInChild(Method::BareParse, copy, hostFolder, runs));
        l = std::min(l, MeasureInChild(Method::ComponentReload, copy, hostFolder, runs));
        c = std::min(c, MeasureInChild(Method::FullCycle, copy, hostFolder, runs));
    }
    std::printf("%6zu items (%5.1f MB): bare parse %8.2f ms, component LOAD %8.2f ms, full cycle %8.2f ms\n"
                "                        cycle / bare parse %.3f (goal <= 1.15), cycle / LOAD %.3f, LOAD / bare parse %.3f\n",
                items, static_cast<double>(std::filesystem::file_size(copy)) / 1e6, p * 1e3, l * 1e3, c * 1e3,
                c / p, c / l, l / p);
}

void HeldCall(const std::string& hostFolder) {
    const std::int32_t instance = SetUpInstance(hostFolder);
    plugin::StateOf(instance).Text = "cached news";
    const std::uint32_t now = platform::Services().clock->TickCount();
    plugin::StateOf(instance).HoldUntil = now + 3600u * 1000u;
    plugin::StateOf(instance).HoldTakenAt = now;
    constexpr int kCalls = 10'000'000;
    std::vector<double> perCall;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        const char* last = nullptr;
        for (int i = 0; i < kCalls; ++i) last = plugin::RunNewsCycle(instance);
        perCall.push_back(Seconds(start) / kCalls);
        if (std::string(last) != "cached news") {
            std::fprintf(stderr, "the held call did not return the cached text\n");
            std::exit(1);
        }
    }
    std::printf("GetNews inside the hold: %.1f ns per call (goal < 100 ns)\n", Median(perCall) * 1e9);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    if (sizes.empty()) sizes = {1000, 20000};

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vardel-bench-cycle-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "plugins" / "Vardel");
    const std::string hostFolder = folder.string() + "/";

    for (std::size_t items : sizes) CompareCycleWithParse(items, hostFolder);
    HeldCall(hostFolder);

    plugin::ReleaseAll();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
