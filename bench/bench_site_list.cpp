// Loading the site table from site list files of growing length (each site with
// a download stamp), and single key reads of a host profile, through the
// platform's own profile files. Prints milliseconds per load and microseconds
// per read: of a file just written (whose content must be confirmed on every
// read) and of a file a moment old.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "config/site_table.h"
#include "files/plugin_files.h"
#include "platform/services.h"
#include "plugin/instances.h"

using namespace vardel;
using Clock = std::chrono::steady_clock;

namespace {

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void WriteSiteList(const std::filesystem::path& file, int sites) {
    std::ofstream out(file, std::ios::binary);
    out << "[Sites]\r\n";
    for (int i = 1; i <= sites; ++i)
        out << "Site " << i << "=http://news.example.com/feeds/" << i << "/rss.xml\r\n";
    out << "\r\n[lastDL]\r\n";
    for (int i = 1; i <= sites; ++i) out << "Site " << i << "= 46000.5034722222\r\n";
}

}  // namespace

int main() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vardel-bench-site-list";
    std::filesystem::create_directories(folder / "plugins" / "Vardel");
    files::SetHostFolder(folder.string() + std::string(1, std::filesystem::path::preferred_separator));
    const std::string siteList = files::SiteListPath();

    std::printf("%-10s %16s %16s\n", "sites", "fresh file ms", "older file ms");
    for (int sites : {100, 1000, 5000, 20000}) {
        WriteSiteList(folder / "plugins" / "Vardel" / "Vardel2.ini", sites);
        auto load = [&] {
            const auto start = Clock::now();
            config::ReleaseSites();
            config::LoadSites();
            return Milliseconds(Clock::now() - start);
        };
        const double fresh = load();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int rounds = 5;
        double older = 0;
        for (int r = 0; r < rounds; ++r) older += load() / rounds;
        if (config::LastSiteNumber() != sites) std::printf("wrong site count %d\n", config::LastSiteNumber());
        std::printf("%-10d %16.2f %16.2f\n", sites, fresh, older);
    }
    config::ReleaseSites();

    // One key of a host profile with 50 instance sections, read again and again.
    const std::string hostProfile = (folder / "host.ini").string();
    {
        std::ofstream out(hostProfile, std::ios::binary);
        for (int m = 1; m <= 50; ++m)
            out << "[Meter" << m << "]\r\nSiteType=1003\r\nSiteName=Site " << m
                << "\r\nTemplate=<title>%l<link>\r\nRefreshrate=5\r\n\r\n";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    platform::ProfileStore& profiles = *platform::Services().profiles;
    const int reads = 20000;
    const auto start = Clock::now();
    for (int i = 0; i < reads; ++i) profiles.ReadString("Meter50", "Refreshrate", "5", 1000, hostProfile);
    std::printf("%-24s %8.2f us\n", "host profile key read", Milliseconds(Clock::now() - start) * 1000 / reads);

    std::filesystem::remove_all(folder);
    return 0;
}
