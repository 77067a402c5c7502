// How the Windows layer replaces the plug-in's own files (the feed copies through
// the component's SAVE, the site list through the private-profile write): under a
// temporary name moved over the old file, never a read-only file, and left-over
// temporary files of writers that are gone removed.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/components.h"
#include "platform/services.h"
#include "platform/windows/file_replacement.h"
#include "support/fakes.h"

namespace vardel::testing {
namespace {

struct Writer {
    const char* name;
    std::function<bool(const std::string& path)> write;
    const char* mustContain;  // in the file afterwards
};

void PrintTo(const Writer& writer, std::ostream* out) { *out << writer.name; }

const Writer kWriters[] = {
    {"SiteList", [](const std::string& path) {
         return platform::Services().profiles->WriteStringReplacingFile("lastDL", "Heise", " 46000.5", path);
     }, "Heise="},
    {"FeedCopy", [](const std::string& path) {
         platform::DocumentRef doc = platform::Services().components->CreateXmlDocument();
         return doc->LoadXml("<rss>neu</rss>") && doc->Save(path);
     }, "<rss>neu</rss>"},
};

class WindowsFileReplacementTest : public ::testing::TestWithParam<Writer> {
protected:
    ~WindowsFileReplacementTest() override {
        for (const std::string& name : Entries()) SetFileAttributesA(folder.File(name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Write(const std::string& name) { return GetParam().write(folder.File(name)); }
    static unsigned long long FileIndexOf(const std::string& path) {
        HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        EXPECT_TRUE(known) << path;
        return (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    TempFolder folder;
};

INSTANTIATE_TEST_SUITE_P(Writers, WindowsFileReplacementTest, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

// The new file comes in beside the old one and takes its name: it is another
// file of the file system (another file index), not the old one rewritten.
TEST_P(WindowsFileReplacementTest, NewFileTakesTheNameOfTheOldOne) {
    folder.Write("f", "[Sites]\r\nHeise=http://heise.example/\r\n");
    const unsigned long long before = FileIndexOf(folder.File("f"));
    ASSERT_TRUE(Write("f"));
    EXPECT_NE(FileIndexOf(folder.File("f")), before);
    EXPECT_NE(folder.Read("f").find(GetParam().mustContain), std::string::npos) << folder.Read("f");
    EXPECT_EQ(Entries(), std::vector<std::string>{"f"});
}

TEST_P(WindowsFileReplacementTest, MissingFileIsCreatedMissingFolderFails) {
    ASSERT_TRUE(Write("new"));
    EXPECT_NE(folder.Read("new").find(GetParam().mustContain), std::string::npos);
    EXPECT_FALSE(Write("missing\\f"));
    EXPECT_EQ(Entries(), std::vector<std::string>{"new"});
}

TEST_P(WindowsFileReplacementTest, LeavesAReadOnlyFileAlone) {
    folder.Write("f", "[Sites]\r\n");
    ASSERT_TRUE(SetFileAttributesA(folder.File("f").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Write("f"));
    EXPECT_EQ(folder.Read("f"), "[Sites]\r\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"f"});
}

// Left-overs of processes that are gone go at the next write; those of a process
// that still runs, and names that are no temporary files of the file, stay.
TEST_P(WindowsFileReplacementTest, RemovesLeftOversOfWritersThatAreGone) {
    // A process that runs (suspended, it does nothing) for as long as the test.
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION running{};
    std::string commandLine = std::string("\"") + self + "\" --gtest_list_tests";
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &running));
    const std::string live = "f." + std::to_string(running.dwProcessId) + ".1.tmp";
    const std::vector<std::string> kept = {live, "f.1.tmp", "f.x.1.tmp", "g.1.2.tmp", "ff.1.2.tmp", "f.1.2.tmp.bak"};
    for (const std::string& name : kept) folder.Write(name, "x");
    folder.Write("f.4000000000.7.tmp", "half");  // no such process
    folder.Write("f." + std::to_string(GetCurrentProcessId()) + ".99.tmp", "an earlier failed save of ours");

    const bool written = Write("f");
    TerminateProcess(running.hProcess, 0);
    WaitForSingleObject(running.hProcess, 10000);
    CloseHandle(running.hThread);
    CloseHandle(running.hProcess);
    ASSERT_TRUE(written);
    std::vector<std::string> expected = kept;
    expected.push_back("f");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(), expected);
}

TEST(WindowsTemporaryNames, OnlyNameProcessCountTmpOfTheFile) {
    const struct {
        const char* entry;
        bool matches;
        unsigned long process;
    } cases[] = {
        {"Heise.xml.1234.5.tmp", true, 1234},
        {"HEISE.XML.1234.5.tmp", true, 1234},  // names match without regard to case
        {"Heise.xml.1234.tmp", false, 0},
        {"Heise.xml..5.tmp", false, 0},
        {"Heise.xml.12a.5.tmp", false, 0},
        {"Heise.xml.99999999999.5.tmp", false, 0},  // no process number
        {"Heise.xml.1.2.tmp.bak", false, 0},
        {"Heise.xmlx.1.2.tmp", false, 0},
    };
    for (const auto& c : cases) {
        unsigned long process = 0;
        EXPECT_EQ(platform::windows_layer::IsTemporaryNameOf(c.entry, "Heise.xml", process), c.matches) << c.entry;
        if (c.matches) {
            EXPECT_EQ(process, c.process) << c.entry;
        }
    }
}

}  // namespace
}  // namespace vardel::testing
