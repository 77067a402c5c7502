// The Linux profile layer's own promises beyond the Windows functions: edits keep
// every other byte of a hand-formatted file, unsafe names and values are refused,
// and files are replaced atomically (a failed save leaves the old file).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/atomic_file.h"
#include "platform/linux/ini_file.h"
#include "platform/linux/linux_layer.h"
#include "support/fakes.h"

namespace vardel::testing {
namespace {

namespace ini = platform::linux_layer::ini;
using platform::linux_layer::FailNextReplacementAt;
using platform::linux_layer::ReplaceStep;

struct Edit {
    const char* name;
    std::string before;
    std::string section;
    std::string key;                 // WriteString when lines is empty and key is set
    std::string value;
    std::vector<std::string> lines;  // WriteSection otherwise
    bool sectionWrite;
    std::string after;
};

const std::string kHandMade =
    "; Host profile, edited by hand\r\n"
    "\r\n"
    "[Meter1]\r\n"
    "    SiteName   =  Heise   \r\n"
    "\tRefreshrate=5\r\n"
    "; the template below is long\r\n"
    "Template = <title>%l<link>\r\n"
    "\r\n"
    "\r\n"
    "[DLF]\r\n"
    "; sites in use\r\n"
    "Heise=1\r\n"
    "IsDLF = 1\r\n"
    "\r\n"
    "[Other]\r\n"
    "k=v\r\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Test names carry the case's name; the parameter itself is shown as that name too.
void PrintTo(const Edit& e, std::ostream* os) { *os << e.name; }

class IniEditTest : public ::testing::TestWithParam<Edit> {};

TEST_P(IniEditTest, ChangesOnlyWhatItMust) {
    const Edit& e = GetParam();
    std::string text = e.before;
    const bool ok = e.sectionWrite ? ini::WriteSection(text, e.section, e.lines)
                                   : ini::WriteString(text, e.section, e.key, e.value);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, e.after);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, IniEditTest,
    ::testing::Values(
        Edit{"ReplaceKeepsIndentationKeySpellingAndEveryOtherLine", kHandMade, "meter1", "sitename", "Golem", {},
             false, Replaced(kHandMade, "    SiteName   =  Heise   \r\n", "    SiteName=Golem\r\n")},
        Edit{"AppendGoesAfterTheLastEntryBeforeBlankLines", kHandMade, "Meter1", "RS", "x", {}, false,
             Replaced(kHandMade, "<link>\r\n", "<link>\r\nRS=x\r\n")},
        Edit{"NewSectionAtTheEndWithTheFilesLineEnds", kHandMade, "lastDL", "Heise", " 46000.5034722222", {},
             false, kHandMade + "\r\n[lastDL]\r\nHeise= 46000.5034722222\r\n"},
        Edit{"LeadingBlankOfAValueIsWrittenAsGiven", "[lastDL]\na= 46000.5\n", "LASTDL", "A", " 46001.25", {},
             false, "[lastDL]\na= 46001.25\n"},
        Edit{"LastLineWithoutLineEndReplaced", "[A]\nk=1", "A", "k", "2", {}, false, "[A]\nk=2"},
        Edit{"LastLineWithoutLineEndGetsOneBeforeAnAppendedKey", "[A]\nk=1", "A", "m", "2", {}, false,
             "[A]\nk=1\nm=2\n"},
        Edit{"NewSectionAfterALastLineWithoutLineEnd", "[A]\r\nk=1", "N", "x", "y", {}, false,
             "[A]\r\nk=1\r\n\r\n[N]\r\nx=y\r\n"},
        Edit{"NewSectionAfterATrailingBlankLine", "[A]\nk=1\n\n", "N", "x", "y", {}, false,
             "[A]\nk=1\n\n[N]\nx=y\n"},
        Edit{"EmptyTextGetsLineFeeds", "", "S", "k", "v", {}, false, "[S]\nk=v\n"},
        Edit{"SectionWithoutEntriesGetsTheKeyAfterItsHeader", "[A]\n; note\n\n[B]\n", "a", "k", "v", {}, false,
             "[A]\nk=v\n; note\n\n[B]\n"},
        Edit{"FirstOfTwoEqualKeysAndSections", "[S]\nk=1\nk=2\n[s]\nk=3\n", "S", "K", "9", {}, false,
             "[S]\nk=9\nk=2\n[s]\nk=3\n"},
        Edit{"NamesAreTrimmedForLookupAndWriting", "[S]\n", " S\t", "  k ", "v", {}, false, "[S]\nk=v\n"},
        Edit{"ByteOrderMarkStays", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", {}, false, "\xEF\xBB\xBF[A]\nk=2\n"},
        Edit{"CommentedOutKeyIsNoKey", "[A]\n;k=1\n", "A", "k", "2", {}, false, "[A]\nk=2\n;k=1\n"},
        Edit{"SectionRewriteKeepsCommentsAndBlankLines", kHandMade, "dlf", "", "", {"Golem=1", "IsDLF=0"}, true,
             Replaced(kHandMade, "Heise=1\r\nIsDLF = 1\r\n", "Golem=1\r\nIsDLF=0\r\n")},
        Edit{"EmptySectionRewriteLeavesTheHeader", "[DLF]\nold=1\nIsDLF=1\n[X]\nk=1\n", "DLF", "", "", {}, true,
             "[DLF]\n[X]\nk=1\n"},
        Edit{"EmptySectionRewriteOfAMissingSectionChangesNothing", "[X]\nk=1\n", "DLF", "", "", {}, true,
             "[X]\nk=1\n"},
        Edit{"SectionRewriteOfAMissingSectionAppendsIt", "[X]\nk=1\n", "DLF", "", "", {"a=1"}, true,
             "[X]\nk=1\n\n[DLF]\na=1\n"},
        Edit{"SectionRewriteOfAHeaderWithoutLineEnd", "[A]\nk=1\n[DLF]", "DLF", "", "", {"x=1"}, true,
             "[A]\nk=1\n[DLF]\nx=1\n"},
        Edit{"SectionRewriteOnlyTouchesTheFirstOfEqualSections", "[D]\na=1\n[d]\nb=2\n", "D", "", "", {"c=3"},
             true, "[D]\nc=3\n[d]\nb=2\n"}),
    [](const ::testing::TestParamInfo<Edit>& info) { return std::string(info.param.name); });

TEST(IniFileTest, RefusesWhatWouldNotReadBack) {
    const std::string before = "[A]\nk=1\n";
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    for (const Case& c : {Case{"A", "k", "two\r\nlines"}, Case{"A", "k", "cut\nhere"}, Case{"A", "k\n", "1"},
                          Case{"A\rB", "k", "1"}, Case{"A", ";k", "1"}, Case{"A", "[k]", "1"},
                          Case{"A", "a=b", "1"}}) {
        std::string text = before;
        EXPECT_FALSE(ini::WriteString(text, c.section, c.key, c.value)) << c.key << " / " << c.value;
        EXPECT_EQ(text, before);
    }
    std::string text = before;
    EXPECT_FALSE(ini::WriteSection(text, "A", {"a=1", "b=2\nc=3"}));
    EXPECT_FALSE(ini::WriteSection(text, "A\n", {"a=1"}));
    EXPECT_EQ(text, before);
}

// Through the store, on real files.
class ProfileFileTest : public ::testing::Test {
protected:
    platform::ProfileStore& store = platform::linux_layer::IniProfileStore();
    TempFolder folder;

    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(ProfileFileTest, NewFileUsesLineFeedsAndBackslashPathsWork) {
    const std::string windowsPath = folder.Path() + "plugins\\Vardel\\Vardel2.ini";
    std::filesystem::create_directories(folder.File("plugins/Vardel"));
    EXPECT_TRUE(store.WriteString("lastDL", "Heise", " 46000.5034722222", windowsPath));
    EXPECT_EQ(folder.Read("plugins/Vardel/Vardel2.ini"), "[lastDL]\nHeise= 46000.5034722222\n");
}

TEST_F(ProfileFileTest, EveryFailedStepLeavesTheOldFileAndNoTemporaryFile) {
    const std::string old = "; hand-made\r\n[A]\r\nk=1\r\n";
    for (ReplaceStep step :
         {ReplaceStep::CreateTemporary, ReplaceStep::Write, ReplaceStep::Sync, ReplaceStep::Close, ReplaceStep::Rename}) {
        folder.Write("p.ini", old);
        FailNextReplacementAt(step);
        EXPECT_FALSE(store.WriteString("A", "k", "2", folder.File("p.ini"))) << static_cast<int>(step);
        EXPECT_EQ(folder.Read("p.ini"), old) << static_cast<int>(step);
        EXPECT_EQ(FolderEntries(), std::vector<std::string>{"p.ini"}) << static_cast<int>(step);
    }
    FailNextReplacementAt(ReplaceStep::Rename);
    EXPECT_FALSE(store.WriteSection("A", {}, folder.File("p.ini")));
    EXPECT_EQ(folder.Read("p.ini"), old);
    // The fault is spent: the next save works.
    EXPECT_TRUE(store.WriteString("A", "k", "2", folder.File("p.ini")));
    EXPECT_EQ(folder.Read("p.ini"), "; hand-made\r\n[A]\r\nk=2\r\n");
}

TEST_F(ProfileFileTest, FailedCreationOfANewFileLeavesNothing) {
    FailNextReplacementAt(ReplaceStep::Write);
    EXPECT_FALSE(store.WriteString("S", "k", "v", folder.File("new.ini")));
    EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(ProfileFileTest, MissingFolderFailsAndCreatesNothing) {
    EXPECT_FALSE(store.WriteString("S", "k", "v", folder.File("missing/new.ini")));
    EXPECT_FALSE(store.WriteSection("S", {"k=v"}, folder.File("missing/new.ini")));
    EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(ProfileFileTest, UnreadableFileIsNeverOverwritten) {
    std::filesystem::create_directories(folder.File("dir.ini"));
    EXPECT_EQ(store.ReadString("S", "k", "def", 100, folder.File("dir.ini")), "def");
    EXPECT_FALSE(store.WriteString("S", "k", "v", folder.File("dir.ini")));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("dir.ini")));
}

TEST_F(ProfileFileTest, UnchangedTextIsNotRewritten) {
    folder.Write("p.ini", "[A]\nk=1\n");
    struct stat before {}, after {};
    ASSERT_EQ(stat(folder.File("p.ini").c_str(), &before), 0);
    EXPECT_TRUE(store.WriteString("a", "K", "1", folder.File("p.ini")));
    EXPECT_TRUE(store.WriteSection("missing", {}, folder.File("p.ini")));
    ASSERT_EQ(stat(folder.File("p.ini").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // An empty list for a missing file creates nothing.
    EXPECT_TRUE(store.WriteSection("DLF", {}, folder.File("none.ini")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("none.ini")));
}

// Reads gather a file's keys once per version of the file; a file rewritten in
// place at once, with the same size and the same modification time, is read anew
// (on file systems with coarse change times only its content tells).
TEST_F(ProfileFileTest, ReadsSeeEveryChangeOfTheFile) {
    const std::string f = folder.File("p.ini");
    for (const char* value : {"1", "2", "3"}) {
        folder.Write("p.ini", std::string("[A]\nk=") + value + "\n");
        // Same size, same modification time: only the content tells.
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
        EXPECT_EQ(store.ReadString("A", "k", "", 100, f), value);
        EXPECT_EQ(store.ReadSection("A", f), std::vector<std::string>{std::string("k=") + value});
    }
    EXPECT_TRUE(store.WriteString("A", "k", "4", f));
    EXPECT_EQ(store.ReadString("A", "k", "", 100, f), "4");
    std::filesystem::remove(f);
    EXPECT_EQ(store.ReadString("A", "k", "gone", 100, f), "gone");
}

}  // namespace
}  // namespace vardel::testing
