// StripTags (the FLTHtml filter) on long texts of the shapes that hostile or odd
// feeds bring: many distinct tags, runs of "<", nesting, ordinary markup, and a
// text built to keep the one pass searching until it strips pass by pass. Each
// text is stripped in a child process of its own, so that its processor time and
// peak memory are its own; the peak is shown whole and above a child that only
// builds the text. The doubling rows show that the time grows linearly.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "feed/filters.h"

namespace {

using namespace vardel;

volatile std::size_t g_sink;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string DistinctTags(std::size_t bytes) {
    std::string s;
    for (int i = 0; s.size() < bytes; ++i) s += "<t" + std::to_string(i) + ">x";
    return s;
}

std::string Repeated(const std::string& piece, std::size_t bytes) {
    std::string s;
    while (s.size() < bytes) s += piece;
    return s;
}

std::string NestedTags(std::size_t bytes) {
    std::string nest(2000, '<');
    nest += "y";
    for (int i = 0; i < 2000; ++i) nest += ">y";
    return Repeated(nest, bytes);
}

// Stretches of "<y" that wait while the segments after them die at passes spaced
// apart by long tags that nearly match them (see filters.cpp).
std::string KeepsTheSearchBusy(int count) {
    std::string run, s = "<b0>";
    for (int j = 0; j < count; ++j) run += "<y";
    for (int i = 1; i <= count; ++i) s += "<z" + run + "<b" + std::to_string(i) + "><b" + std::to_string(i) + ">";
    for (int block = 0; block < count; ++block) {
        s += "w" + run + "<b0>";
        for (int i = 1; i <= count; ++i) s += "<b" + std::to_string(i) + ">";
        s += "q>";
    }
    return s;
}

struct Outcome {
    double cpu = 0;
    long peakKilobytes = 0;
};

// Runs f in a child; the child writes its processor time to a pipe.
Outcome InChild(const std::function<double()>& f) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        const double cpu = f();
        if (write(pipeEnds[1], &cpu, sizeof cpu) != sizeof cpu) _exit(1);
        _exit(0);
    }
    close(pipeEnds[1]);
    Outcome outcome;
    if (read(pipeEnds[0], &outcome.cpu, sizeof outcome.cpu) != sizeof outcome.cpu) outcome.cpu = -1;
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    outcome.peakKilobytes = usage.ru_maxrss;
    return outcome;
}

void Row(const char* name, const std::function<std::string()>& make) {
    const Outcome idle = InChild([&] {
        g_sink = make().size();
        return 0.0;
    });
    const Outcome run = InChild([&] {
        const std::string text = make();
        const double start = CpuSeconds();
        g_sink = feed::StripTags(text).size();
        return CpuSeconds() - start;
    });
    const std::size_t bytes = make().size();
    std::printf("%-40s %10zu bytes %9.3f s %8.1f MB/s %7.1f MiB peak (%6.1f MiB above the text)\n", name, bytes,
                run.cpu, bytes / run.cpu / 1e6, run.peakKilobytes / 1024.0,
                (run.peakKilobytes - idle.peakKilobytes) / 1024.0);
}

}  // namespace

int main() {
    std::printf("processor time of one StripTags call, and the peak memory of its process\n");
    for (std::size_t bytes : {900'000u, 1'800'000u, 3'600'000u, 8'000'000u})
        Row(("distinct tags, " + std::to_string(bytes / 1000) + " kB").c_str(), [=] { return DistinctTags(bytes); });
    for (std::size_t bytes : {4'000'000u, 8'000'000u})
        Row(("ordinary markup, " + std::to_string(bytes / 1000) + " kB").c_str(), [=] {
            return Repeated("<p>Some <b>bold</b> text &amp; <a href=\"http://x.example/y\">link</a></p>\n", bytes);
        });
    Row("4 M '<', then 4 M '>'", [] { return std::string(4'000'000, '<') + std::string(4'000'000, '>'); });
    Row("'<<a>' repeated, 8 MB", [] { return Repeated("<<a>", 8'000'000); });
    Row("2000 levels of '<', 8 MB", [] { return NestedTags(8'000'000); });
    Row("built to keep the search busy, 300", [] { return KeepsTheSearchBusy(300); });
    Row("built to keep the search busy, 600", [] { return KeepsTheSearchBusy(600); });
    return 0;
}
