// Loading a large feed through the Linux XML document component, against a bare
// libxml2 parse of the same file (xmlReadFile + xmlFreeDoc) in the same run.
//
// Each measurement runs in a fresh child process (this program started again),
// so that its peak memory (ru_maxrss) is its own: the parent only generates the
// feed file and prints. Times (wall clock and processor time) are the best of
// several loads in several children, taken in turns; memory is the peak of the
// child, shown whole and above an idle child's.
//
// Also shown: what reading items costs once the feed is loaded (the extraction's
// pattern of GETELEMENTSBYTAGNAME, ITEM and TEXT), as a share of the load.
//
// Usage: bench_load [items] (default 20000, about 24 MB).
#include <libxml/parser.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/components.h"
#include "feed_generator.h"
#include "platform/services.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLoadsPerChild = 3;
constexpr int kChildrenPerMethod = 5;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Processor time of this process (user and system): less disturbed than the wall
// clock by the other programs on a shared machine.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
};

// Best wall and processor time of several runs of f.
template <typename F>
Timing Best(int runs, F&& f) {
    Timing best;
    for (int i = 0; i < runs; ++i) {
        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        f();
        const double wall = Seconds(start);
        const double cpu = CpuSeconds() - cpuStart;
        if (wall < best.wall) best.wall = wall;
        if (cpu < best.cpu) best.cpu = cpu;
    }
    return best;
}

// ---- In the child ----------------------------------------------------------------

void BareParse(const char* path) {
    xmlDocPtr doc = xmlReadFile(path, nullptr, 0);
    if (!doc) {
        std::fprintf(stderr, "bare parse failed\n");
        std::exit(1);
    }
    xmlFreeDoc(doc);
}

void ComponentLoad(const char* path) {
    auto& components = *vardel::platform::Services().components;
    vardel::platform::DocumentRef doc = components.CreateXmlDocument();
    doc->SetValidateOnParse(false);
    doc->SetAsync(false);
    if (!doc->Load(path)) {
        std::fprintf(stderr, "load failed: %s\n", doc->GetParseError().reason.c_str());
        std::exit(1);
    }
}

// The extraction's reads of ten items, as a news cycle makes them: by tag
// name from the document (first time: the list from the parser's index), ITEM, then the
// fields of each item; and the same by path.
void ItemReads(const char* path) {
    auto& components = *vardel::platform::Services().components;
    vardel::platform::DocumentRef doc = components.CreateXmlDocument();
    auto start = Clock::now();
    doc->Load(path);
    const double load = Seconds(start);
    std::size_t sink = 0;
    const auto tenItems = [&] {
        for (long i = 0; i < 10; ++i) {
            vardel::platform::NodeRef item = vardel::platform::ItemOf(doc->GetElementsByTagName("item"), i);
            sink += vardel::platform::TextOf(item).size();
            sink += vardel::platform::TextOf(vardel::platform::ItemOf(item->GetElementsByTagName("title"), 0)).size();
            sink += vardel::platform::TextOf(vardel::platform::ItemOf(item->GetElementsByTagName("link"), 0)).size();
            sink += vardel::platform::AttributeOf(vardel::platform::ItemOf(item->SelectNodes("category"), 1), "domain").size();
        }
    };
    start = Clock::now();
    tenItems();
    const double first = Seconds(start);
    start = Clock::now();
    tenItems();
    const double again = Seconds(start);
    vardel::platform::NodeRef root = doc->DocumentElement();
    start = Clock::now();
    for (long i = 0; i < 10; ++i) {
        vardel::platform::NodeRef item = root->SelectSingleNode("channel/item[" + std::to_string(i) + "]");
        sink += vardel::platform::TextOf(item).size();
        sink += vardel::platform::TextOf(item->SelectSingleNode("title")).size();
    }
    const double byPath = Seconds(start);
    start = Clock::now();
    const long count = vardel::platform::LengthOf(root->SelectNodes("channel/item"));
    const double allByPath = Seconds(start);
    std::printf("%.6f %.6f %.6f %.6f %.6f %ld %zu\n", load, first, again, byPath, allByPath, count, sink);
}

int Child(const std::string& method, const char* path) {
    if (method == "reads") {
        ItemReads(path);
        return 0;
    }
    const Timing best = Best(kLoadsPerChild, [&] {
        if (method == "bare") BareParse(path);
        if (method == "layer") ComponentLoad(path);
    });
    std::printf("%.6f %.6f %ld\n", best.wall, best.cpu, PeakKilobytes());
    return 0;
}

// ---- In the parent ---------------------------------------------------------------

struct Figures {
    double seconds = 1e9;
    double cpuSeconds = 1e9;
    long peakKilobytes = 0;
};

std::string RunChild(const std::string& self, const std::string& method, const std::string& path) {
    const std::string command = "'" + self + "' --child " + method + " '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    if (pclose(pipe) != 0 || !read) {
        std::fprintf(stderr, "child %s failed\n", method.c_str());
        std::exit(1);
    }
    return line;
}

void Measure(const std::string& self, const std::string& method, const std::string& path, Figures& figures) {
    double seconds = 0, cpu = 0;
    long peak = 0;
    if (std::sscanf(RunChild(self, method, path).c_str(), "%lf %lf %ld", &seconds, &cpu, &peak) != 3) std::exit(1);
    if (seconds < figures.seconds) figures.seconds = seconds;
    if (cpu < figures.cpuSeconds) figures.cpuSeconds = cpu;
    if (peak > figures.peakKilobytes) figures.peakKilobytes = peak;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2], argv[3]);

    const std::size_t items = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const std::string path =
        (std::filesystem::temp_directory_path() / ("vardel-bench-load-" + std::to_string(getpid()) + ".xml")).string();
    if (!vardel::bench::WriteRssFeed(path, items)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::printf("feed: %zu items, %.1f MB, %s\n", items, megabytes, path.c_str());

    Figures idle, bare, layer;
    Measure(self, "idle", path, idle);
    BareParse(path.c_str());  // the file in the page cache for everyone
    for (int round = 0; round < kChildrenPerMethod; ++round) {
        Measure(self, "bare", path, bare);
        Measure(self, "layer", path, layer);
    }

    const auto mib = [](long kilobytes) { return kilobytes / 1024.0; };
    const double bareMemory = mib(bare.peakKilobytes - idle.peakKilobytes);
    const double layerMemory = mib(layer.peakKilobytes - idle.peakKilobytes);
    std::printf("\n%-32s %10s %10s %13s %12s\n", "", "best time", "best CPU", "peak memory", "above idle");
    std::printf("%-32s %10s %10s %9.1f MiB\n", "idle child", "", "", mib(idle.peakKilobytes));
    std::printf("%-32s %8.3f s %8.3f s %9.1f MiB %8.1f MiB\n", "bare xmlReadFile + xmlFreeDoc", bare.seconds,
                bare.cpuSeconds, mib(bare.peakKilobytes), bareMemory);
    std::printf("%-32s %8.3f s %8.3f s %9.1f MiB %8.1f MiB\n", "component LOAD (Linux layer)", layer.seconds,
                layer.cpuSeconds, mib(layer.peakKilobytes), layerMemory);
    std::printf("ratio LOAD / bare parse: time %.3f, CPU %.3f, peak memory %.3f (above idle %.3f)  [target <= 1.1]\n",
                layer.seconds / bare.seconds, layer.cpuSeconds / bare.cpuSeconds,
                static_cast<double>(layer.peakKilobytes) / static_cast<double>(bare.peakKilobytes),
                layerMemory / bareMemory);

    double load = 0, first = 0, again = 0, byPath = 0, allByPath = 0;
    long count = 0;
    std::sscanf(RunChild(self, "reads", path).c_str(), "%lf %lf %lf %lf %lf %ld", &load, &first, &again, &byPath,
                &allByPath, &count);
    std::printf("\nreading 10 items after a LOAD of %.3f s:\n", load);
    std::printf("  by tag name, first time (item list from the index)   %9.3f ms  %6.3f %% of the load\n",
                first * 1e3, first / load * 100);
    std::printf("  by tag name, again (cached list, ITEM by index)      %9.3f ms  %6.3f %% of the load\n",
                again * 1e3, again / load * 100);
    std::printf("  by path channel/item[n], ten selections              %9.3f ms  %6.3f %% of the load\n",
                byPath * 1e3, byPath / load * 100);
    std::printf("  SELECTNODES channel/item (%ld items)               %9.3f ms  %6.3f %% of the load\n", count,
                allByPath * 1e3, allByPath / load * 100);

    std::filesystem::remove(path);
    return 0;
}
