// How the Linux layer replaces a file (the host profile, the site list and the
// feed copies alike): never the target of a symbolic link, never a read-only
// file, left-over temporary files of killed writers removed, and no change of
// another process lost between its read and its write.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/components.h"
#include "platform/linux/atomic_file.h"
#include "platform/linux/ini_file.h"
#include "platform/linux/linux_layer.h"
#include "support/fakes.h"

namespace vardel::testing {
namespace {

namespace fs = std::filesystem;
namespace ini = platform::linux_layer::ini;

// The two kinds of writer, each replacing the file at path with its own content.
struct Writer {
    const char* name;
    std::function<bool(const std::string& path)> write;
    const char* content;  // what the file holds afterwards
};

void PrintTo(const Writer& writer, std::ostream* out) { *out << writer.name; }

const Writer kWriters[] = {
    {"profile", [](const std::string& path) {
         return platform::linux_layer::IniProfileStore().WriteString("A", "k", "new", path);
     }, "[A]\nk=new\n"},
    {"feed copy", [](const std::string& path) {
         platform::DocumentRef doc = platform::Services().components->CreateXmlDocument();
         return doc->LoadXml("<rss>new</rss>") && doc->Save(path);
     }, "<rss>new</rss>\n"},
};

class FileReplacementTest : public ::testing::TestWithParam<Writer> {
protected:
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.Path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempFolder folder;
};

INSTANTIATE_TEST_SUITE_P(Writers, FileReplacementTest, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return info.param.name == std::string("profile") ? "Profile" : "FeedCopy"; });

TEST_P(FileReplacementTest, ReplacesASymbolicLinkNeverItsTarget) {
    folder.Write("target", "[A]\nk=old\n");
    fs::create_symlink(folder.File("target"), folder.File("link"));
    fs::create_symlink("missing/far-away", folder.File("dangling"));
    for (const char* name : {"link", "dangling"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(GetParam().write(folder.File(name)));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder.File(name))));
        EXPECT_EQ(folder.Read(name), GetParam().content);
    }
    EXPECT_EQ(folder.Read("target"), "[A]\nk=old\n");
    EXPECT_FALSE(fs::exists(folder.File("missing")));
}

TEST_P(FileReplacementTest, KeepsThePermissionsOfTheFileItReplaces) {
    folder.Write("f", "[A]\nk=old\n");
    ASSERT_EQ(chmod(folder.File("f").c_str(), 0640), 0);
    ASSERT_TRUE(GetParam().write(folder.File("f")));
    struct stat st {};
    ASSERT_EQ(stat(folder.File("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// As Windows refuses to replace a file with the read-only attribute.
TEST_P(FileReplacementTest, LeavesAReadOnlyFileAlone) {
    folder.Write("f", "[A]\nk=old\n");
    ASSERT_EQ(chmod(folder.File("f").c_str(), 0444), 0);
    EXPECT_FALSE(GetParam().write(folder.File("f")));
    EXPECT_EQ(folder.Read("f"), "[A]\nk=old\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"f"}) << "no temporary file either";
}

// A temporary file whose writer is gone (nobody holds its lock) is removed at the
// next write of that file; one a writer still holds, and names that are not
// temporary files of that file, stay.
TEST_P(FileReplacementTest, RemovesLeftOversOfKilledWritersAtTheNextWrite) {
    const std::vector<std::string> kept = {"f.12.3.tmp.bak", "f.1.tmp", "f.x.1.tmp", "f..1.tmp", "g.1.2.tmp", "ff.1.2.tmp"};
    for (const std::string& name : kept) folder.Write(name, "x");
    folder.Write("f.4242.7.tmp", "half a cop");
    folder.Write("f.4243.1.tmp", "being written");
    const int held = open(folder.File("f.4243.1.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

    ASSERT_TRUE(GetParam().write(folder.File("f")));
    close(held);
    std::vector<std::string> expected = kept;
    expected.push_back("f");
    expected.push_back("f.4243.1.tmp");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(folder.Read("f"), GetParam().content);
}

// Another process changes the profile while this one holds its folder's lock
// between its own read and write: the other change waits and is not lost.
TEST(FolderLockTest, ChangeOfAnotherProcessWaitsForTheLockAndIsKept) {
    TempFolder folder;
    const std::string path = folder.File("p.ini");
    folder.Write("p.ini", "[A]\n");
    std::string text;
    pid_t child = -1;
    {
        const platform::linux_layer::FolderLock lock(path);
        ASSERT_EQ(platform::linux_layer::ReadWholeFile(path, text), platform::linux_layer::ReadOutcome::Read);
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool ok = platform::linux_layer::IniProfileStore().WriteString("A", "other", "1", path);
            _exit(ok ? 0 : 1);
        }
        usleep(300000);  // time enough for the other process to write, were it not held
        ASSERT_TRUE(ini::WriteString(text, "A", "mine", "1"));
        ASSERT_TRUE(platform::linux_layer::ReplaceFileContent(path, text));
    }
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 200 && ended == 0; ++i, usleep(50000)) ended = waitpid(child, &status, WNOHANG);
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the other process did not finish";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(folder.Read("p.ini"), "[A]\nmine=1\nother=1\n");
}

}  // namespace
}  // namespace vardel::testing
