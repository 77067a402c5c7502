// The plug-in loads its HTTP code on first use: a host process that loads
// Vardel2.so and shows feeds from a file, a "file:" address and a feed copy has
// neither the HTTP module nor libcurl in it; the first http address brings both.
//
// A program of its own that links neither the layer nor libcurl, and loads the
// plug-in as a host does, so what is loaded is what the plug-in loaded.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/http_module.h"
#include "support/cache_folder.h"
#include "support/http_server.h"
#include "vardel/host_window.h"
#define VARDEL_NO_PROTOTYPES
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

constexpr char kFeed[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>Kanal</title>"
    "<item><title>%s</title><link>http://example.test/1</link></item></channel></rss>\n";

std::string Feed(const char* title) {
    char text[512];
    std::snprintf(text, sizeof text, kFeed, title);
    return text;
}

// Whether a loaded object's path contains the text.
bool Loaded(const char* part) {
    struct Search {
        const char* part;
        bool found;
    } search{part, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name && std::strstr(info->dlpi_name, s->part)) s->found = true;
            return 0;
        },
        &search);
    return search.found;
}

// The local time in five minutes' hold-off less one, as a day serial: a stamp
// that keeps the site's copy in use.
std::string StampWithinTheHoldOff() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const double serial = static_cast<double>(now + local.tm_gmtoff) / 86400.0 + 25569.0 + 4.0 / 1440.0;
    return std::to_string(serial);
}

struct Host {
    vardel_host_window window;
    std::string folder;
    static std::intptr_t Receive(void* handle, std::uint32_t message, std::uintptr_t, std::intptr_t) {
        auto* host = static_cast<Host*>(handle);
        return message == VARDEL_MSG_FOLDER_QUERY ? reinterpret_cast<std::intptr_t>(host->folder.c_str()) : 0;
    }
};

template <typename F>
F Export(void* plugin, const char* name) {
    auto f = reinterpret_cast<F>(dlsym(plugin, name));
    if (!f) ADD_FAILURE() << "no export " << name;
    return f;
}

TEST(HttpOnDemand, FilesAndCopiesLoadNoHttpCodeAndTheFirstHttpAddressLoadsIt) {
    ASSERT_FALSE(Loaded("libcurl")) << "the test program itself must not bring libcurl";
    LoopbackHttpServer server([](const HttpRequestSeen&) {
        HttpReply reply;
        reply.body = Feed("Aus dem Netz");
        return reply;
    });

    char pattern[] = "/tmp/vardel-on-demand-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = std::string(pattern) + "/";
    std::filesystem::create_directories(folder + "plugins/Vardel");
    const auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(folder + name, std::ios::binary) << content;
    };
    write("feed.xml", Feed("Aus der Datei"));
    write("plugins/Vardel/Kopie.xml", Feed("Aus der Kopie"));
    write("plugins/Vardel/Vardel2.ini",
          "[Sites]\r\nDatei=" + folder + "feed.xml\r\nAdresse=file://" + folder + "feed.xml\r\n"
          "Kopie=" + server.Url("/kopie.xml") + "\r\nNetz=" + server.Url("/feed.xml") +
          "\r\n[lastDL]\r\nKopie=" + StampWithinTheHoldOff() + "\r\n");
    std::string profile = "[DLF]\r\nIsDLF=1\r\n";
    for (const char* site : {"Datei", "Adresse", "Kopie", "Netz"})
        profile += std::string("[") + site + "]\r\nSiteName=" + site + "\r\nSiteType=1004\r\nTemplate=<title>\r\n";
    write("host.ini", profile);

    void* plugin = dlopen(VARDEL_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plugin, nullptr) << dlerror();
    EXPECT_FALSE(Loaded("libcurl"));
    const auto startup = Export<vardel_dllstartup_fn>(plugin, "dllstartup");
    const auto load = Export<vardel_settings_fn>(plugin, "src_load_settings");
    const auto news = Export<vardel_getnews_fn>(plugin, "GetNews");
    ASSERT_TRUE(startup && load && news);

    Host host{{&Host::Receive}, folder};
    const auto show = [&](const char* section) {
        const std::int32_t n = startup(&host, 0);
        load(n, (folder + "host.ini").c_str(), section);
        return std::string(news(n));
    };
    EXPECT_EQ(show("Datei"), "Aus der Datei");
    EXPECT_EQ(show("Adresse"), "Aus der Datei");
    EXPECT_EQ(show("Kopie"), "Aus der Kopie");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(Loaded("libcurl"));
    EXPECT_FALSE(Loaded(VARDEL_HTTP_MODULE_FILE));

    EXPECT_EQ(show("Netz"), "Aus dem Netz");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(Loaded(VARDEL_HTTP_MODULE_FILE));
    EXPECT_TRUE(Loaded("libcurl"));

    std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace vardel::testing
