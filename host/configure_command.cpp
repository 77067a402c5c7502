#include "configure_command.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host_profile.h"
#include "plugin_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace newsmeter {
namespace {

constexpr int kExitTrouble = 1;
constexpr int kExitUsage = 2;

#if defined(_WIN32)
constexpr char kLibraryName[] = "Vardel2.dll";
constexpr char kSeparator = '\\';
#else
constexpr char kLibraryName[] = "Vardel2.so";
constexpr char kSeparator = '/';
#endif
constexpr char kDefaultProfile[] = "newsmeter.ini";
constexpr char kBuildLibrary[] = "build/linux/Vardel2.so";

const char kUsage[] =
    "usage: newsmeter configure [--meter NAME] [options] FOLDER\n"
    "       newsmeter options [options] FOLDER\n"
    "\n"
    "Sets meters up with the plug-in's own dialogs (on a terminal: forms).\n"
    "\n"
    "  configure         the news settings of one meter: its site, kind, lines,\n"
    "                    layout, template, interval, remove-string and filters;\n"
    "                    \"Okay\" takes them, and the meter is saved into the host\n"
    "                    profile (a meter without a section yet is added)\n"
    "  options           the plug-in's options (\"Save RDF/RSS on Disk\"); \"OK\"\n"
    "                    takes the choice, and every meter is saved with it\n"
    "  --meter NAME      the meter to set up (needed when the profile has more than\n"
    "                    one, or none yet)\n"
    "  --profile FILE    the host profile (default FOLDER/newsmeter.ini)\n"
    "  --library PATH    the plug-in (default: Vardel2.so next to newsmeter, else\n"
    "                    build/linux/Vardel2.so)\n"
    "\n"
    "When a dialog is closed without \"Okay\" or \"OK\" (F10 or Ctrl-Q on a terminal)\n"
    "nothing is saved. Exit status: 0 done, 1 no terminal, library, folder or\n"
    "profile missing or unusable, 2 wrong arguments.\n";

struct Request {
    bool options = false;  // "options"; otherwise "configure"
    std::string meter;
    std::string profile;
    std::string library;
    std::string folder;
};

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "newsmeter: %s\n", message.c_str());
    return status;
}

void Note(const std::string& message) { std::fprintf(stderr, "newsmeter: %s\n", message.c_str()); }

// Returns -1 to go on, else the exit status.
int Parse(int argc, char** argv, Request& request) {
    request.options = std::strcmp(argv[1], "options") == 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--meter" && !request.options) {
            if (!value(request.meter) || request.meter.empty()) return Fail(kExitUsage, "--meter needs a name");
        } else if (arg == "--profile") {
            if (!value(request.profile)) return Fail(kExitUsage, "--profile needs a file");
        } else if (arg == "--library") {
            if (!value(request.library)) return Fail(kExitUsage, "--library needs a path");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail(kExitUsage, "unknown option " + arg + " for " + argv[1] + " (see newsmeter " + argv[1] +
                                        " --help)");
        } else if (request.folder.empty()) {
            request.folder = arg;
        } else {
            return Fail(kExitUsage, "only one host folder, please");
        }
    }
    if (request.folder.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    return -1;
}

bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string ProgramFolder(const char* argv0) {
    std::error_code ec;
#if defined(_WIN32)
    char buffer[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, buffer, MAX_PATH)) return fs::path(buffer).parent_path().string();
#else
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.parent_path().string();
#endif
    const fs::path given = fs::absolute(argv0, ec);
    return ec ? std::string() : given.parent_path().string();
}

std::string FindLibrary(const Request& request, const char* argv0) {
    if (!request.library.empty()) return request.library;
    const fs::path besideProgram = fs::path(ProgramFolder(argv0)) / kLibraryName;
    std::error_code ec;
    if (fs::is_regular_file(besideProgram, ec)) return besideProgram.string();
    return kBuildLibrary;
}

bool ReadFile(const fs::path& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    content = s.str();
    return true;
}

// The dialogs need somewhere to show: on Linux the controlling terminal.
bool HasTerminal() {
#if defined(_WIN32)
    return true;
#else
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
#endif
}

// A folder of its own for the snapshots of what a save would write; removed
// with the object.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        std::error_code ec;
        for (int attempt = 0; attempt < 10 && path_.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path(ec) / ("newsmeter-" + std::to_string(random()) + std::to_string(random()));
            if (!ec && fs::create_directory(candidate, ec) && !ec) path_ = candidate;
        }
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    bool Ready() const { return !path_.empty(); }
    fs::path File(const char* name) const { return path_ / name; }

private:
    fs::path path_;
};

struct Meter {
    std::string name;
    std::int32_t instance = 0;
};

// Everything a command works on, opened before the dialog is shown.
class Setup {
public:
    int Prepare(const Request& request, const char* argv0) {
        std::error_code ec;
        const fs::path folder = fs::canonical(request.folder, ec);
        if (ec || !fs::is_directory(folder, ec))
            return Fail(kExitTrouble, "the host folder " + request.folder + " does not exist or is no folder");
        folder_ = folder.string();
        if (folder_.back() != kSeparator) folder_ += kSeparator;
        if (!fs::is_regular_file(folder / "plugins" / "Vardel" / "Vardel2.ini", ec))
            Note("warning: there is no site list " + (folder / "plugins" / "Vardel" / "Vardel2.ini").string() +
                 "; the list of sites is empty");

        // The profile may not exist yet: the first save creates it.
        profile_ = fs::absolute(request.profile.empty() ? (folder / kDefaultProfile).string() : request.profile, ec)
                       .lexically_normal()
                       .string();
        std::string content;
        if (fs::exists(profile_, ec) && !ReadFile(profile_, content))
            return Fail(kExitTrouble, "cannot read the host profile " + profile_);
        const ProfileIndex index(content);
        for (const std::string& name : MeterSections(index)) meters_.push_back({name, 0});
        listed_ = !index.ReadString("newsmeter", "meters", "", static_cast<std::size_t>(-1)).empty();

        const std::string libraryArg = FindLibrary(request, argv0);
        const fs::path library = fs::canonical(libraryArg, ec);
        if (ec || !fs::is_regular_file(library, ec))
            return Fail(kExitTrouble, "the plug-in " + libraryArg + " does not exist (use --library PATH)");
        library_ = library.string();
        return -1;
    }

    // The meter that configure sets up, added when it is new; -1 to go on.
    int ChooseMeter(const std::string& wanted, std::size_t& chosen) {
        if (wanted.empty()) {
            if (meters_.size() == 1) {
                chosen = 0;
                return -1;
            }
            if (meters_.empty())
                return Fail(kExitUsage, "the host profile " + profile_ + " has no meters yet: name the new one with --meter NAME");
            std::string names;
            for (const Meter& m : meters_) names += (names.empty() ? "" : ", ") + m.name;
            return Fail(kExitUsage, "which meter? use --meter NAME, one of: " + names);
        }
        for (std::size_t i = 0; i < meters_.size(); ++i) {
            if (SameName(meters_[i].name, wanted)) {
                chosen = i;
                return -1;
            }
        }
        meters_.push_back({wanted, 0});
        chosen = meters_.size() - 1;
        newMeter_ = true;
        return -1;
    }

    // Loads the plug-in and opens every meter, so that a save knows all the sites
    // in use, as in a host that shows them all.
    int Open() {
        std::string error;
        if (!plugin_.Load(library_, error)) return Fail(kExitTrouble, error);
        if (!plugin_.source_configure || !plugin_.configure || !plugin_.src_save_settings)
            return Fail(kExitTrouble, library_ + " has no settings exports (source_configure, configure, src_save_settings)");
        window_ = std::make_unique<HostWindow>(folder_);
        if (!window_->Create(error)) return Fail(kExitTrouble, error);
        for (Meter& meter : meters_) {
            meter.instance = plugin_.dllstartup(window_->Handle(), 0);
            plugin_.src_load_settings(meter.instance, profile_.c_str(), meter.name.c_str());
        }
        if (!scratch_.Ready()) return Fail(kExitTrouble, "cannot make a temporary folder");
        return -1;
    }

    // What saving the meter would write now (the instance's keys and section "DLF").
    std::string Snapshot(const Meter& meter) {
        const fs::path file = scratch_.File("snapshot.ini");
        std::error_code ec;
        fs::remove(file, ec);
        plugin_.src_save_settings(meter.instance, file.string().c_str(), "meter");
        std::string content;
        ReadFile(file, content);
        return content;
    }

    void Save(const Meter& meter) { plugin_.src_save_settings(meter.instance, profile_.c_str(), meter.name.c_str()); }

    void Finish() {
        for (const Meter& meter : meters_) plugin_.dllshutdown(meter.instance);
        plugin_.KeepUntilExit();
    }

    PluginLibrary& plugin() { return plugin_; }
    std::vector<Meter>& meters() { return meters_; }
    const std::string& profile() const { return profile_; }
    bool newMeter() const { return newMeter_; }
    bool listed() const { return listed_; }

private:
    std::string folder_;
    std::string profile_;
    std::string library_;
    std::vector<Meter> meters_;
    bool newMeter_ = false;
    bool listed_ = false;  // the profile names its meters in [newsmeter] meters=
    PluginLibrary plugin_;
    std::unique_ptr<HostWindow> window_;  // answers the folder query with the host folder
    ScratchFolder scratch_;
};

int Configure(Setup& setup, const Request& request) {
    std::size_t chosen = 0;
    if (const int status = setup.ChooseMeter(request.meter, chosen); status >= 0) return status;
    if (!HasTerminal()) return Fail(kExitTrouble, "configure shows a form on the terminal, and there is none");
    if (const int status = setup.Open(); status >= 0) return status;

    const Meter meter = setup.meters()[chosen];
    const std::string before = setup.Snapshot(meter);
    setup.plugin().source_configure(meter.instance, setup.plugin().init());
    const std::string after = setup.Snapshot(meter);
    if (after == before) {
        Note("nothing changed; " + setup.profile() + " stays as it was");
    } else {
        setup.Save(meter);
        Note("saved meter [" + meter.name + "] in " + setup.profile());
        if (setup.newMeter() && setup.listed())
            Note("the profile lists its meters in [newsmeter] meters=; add " + meter.name + " there to show it");
    }
    setup.Finish();
    return 0;
}

int Options(Setup& setup) {
    if (setup.meters().empty())
        return Fail(kExitTrouble, "the host profile " + setup.profile() +
                                      " has no meters to save the setting with; set one up first with "
                                      "newsmeter configure --meter NAME");
    if (!HasTerminal()) return Fail(kExitTrouble, "options shows a form on the terminal, and there is none");
    if (const int status = setup.Open(); status >= 0) return status;

    const Meter first = setup.meters().front();
    const std::string before = setup.Snapshot(first);
    setup.plugin().configure();
    const std::string after = setup.Snapshot(first);
    if (after == before) {
        Note("nothing changed; " + setup.profile() + " stays as it was");
    } else {
        // The flag lives in the plug-in until a save writes it, with every meter.
        for (const Meter& meter : setup.meters()) setup.Save(meter);
        Note("saved the options with " + std::to_string(setup.meters().size()) + " meter(s) in " + setup.profile());
    }
    setup.Finish();
    return 0;
}

}  // namespace

bool IsConfigureCommand(int argc, char** argv) {
    return argc > 1 && (std::strcmp(argv[1], "configure") == 0 || std::strcmp(argv[1], "options") == 0);
}

int RunConfigureCommand(int argc, char** argv) {
    Request request;
    if (const int status = Parse(argc, argv, request); status >= 0) return status;
    Setup setup;
    if (const int status = setup.Prepare(request, argv[0]); status >= 0) return status;
    return request.options ? Options(setup) : Configure(setup, request);
}

}  // namespace newsmeter
