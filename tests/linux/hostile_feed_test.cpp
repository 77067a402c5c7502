// Feeds and feed copies as a careless user or a hostile server would leave them,
// through the Linux XML document component: files that are not regular files,
// entities that expand beyond any sensible size, and documents that name an
// external DTD that is never read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "platform/components.h"
#include "platform/services.h"
#include "support/fakes.h"

namespace vardel::testing {
namespace {

using platform::DocumentRef;

DocumentRef NewDocument() {
    DocumentRef doc = platform::Services().components->CreateXmlDocument();
    doc->SetAsync(false);
    doc->SetValidateOnParse(false);
    doc->SetResolveExternals(false);
    return doc;
}

// Loads path in a thread and waits at most a few seconds. A load that blocks on a
// FIFO is then released (by default by opening and closing the FIFO's other end),
// so that the test ends either way.
platform::ParseError LoadWithin(const std::string& path, bool& finished,
                                const std::function<void()>& release = {}) {
    DocumentRef doc = NewDocument();
    auto load = std::async(std::launch::async, [&] {
        doc->Load(path);
        return doc->GetParseError();
    });
    finished = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!finished && release) release();
    if (!finished && !release) {
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
    }
    return load.get();
}

TEST(NonRegularFiles, AreRefusedAsMissingWithoutBlocking) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo.xml");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string linkToFifo = folder.File("link.xml");
    ASSERT_EQ(::symlink(fifo.c_str(), linkToFifo.c_str()), 0);
    for (const std::string& path : {fifo, linkToFifo, std::string("/dev/null"), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        bool finished = false;
        const platform::ParseError error = LoadWithin(path, finished);
        EXPECT_TRUE(finished) << "the load blocked";
        EXPECT_EQ(error.code, platform::kObjectNotFound);
        EXPECT_EQ(error.reason, "The system cannot locate the object specified.\r\n");
    }
}

TEST(NonRegularFiles, AFifoWithAWriterIsRefusedToo) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo.xml");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A writer that keeps the FIFO open and writes a well-formed feed.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const std::string feed = "<rss><channel><item><title>t</title></item></channel></rss>";
    ASSERT_EQ(::write(writer, feed.data(), feed.size()), static_cast<ssize_t>(feed.size()));
    bool finished = false;
    const platform::ParseError error = LoadWithin(fifo, finished, [&] { ::close(writer); });
    if (finished) ::close(writer);
    ::close(reader);
    EXPECT_TRUE(finished);
    EXPECT_EQ(error.code, platform::kObjectNotFound);
}

TEST(NonRegularFiles, AFolderIsStillRefusedAsAccessDenied) {
    TempFolder folder;
    bool finished = false;
    const platform::ParseError error = LoadWithin(folder.Path(), finished);
    EXPECT_TRUE(finished);
    EXPECT_EQ(static_cast<std::uint32_t>(error.code), 0x80070005u);
}

// The copy keeps the document as written: the entity of the attribute value,
// which the value does not keep, leaves no reference in the content either.
TEST(ExternalDtd, CopyHoldsNoReferenceThatTheFeedDidNotHave) {
    TempFolder folder;
    DocumentRef doc = NewDocument();
    ASSERT_TRUE(doc->Load(FixturePath("feeds/rss091_external_dtd.xml")));
    ASSERT_TRUE(doc->Save(folder.File("copy.xml")));
    const std::string copy = folder.Read("copy.xml");
    EXPECT_NE(copy.find("<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\""), std::string::npos);
    EXPECT_NE(copy.find("<title>Caf&eacute; &amp; Bar</title>"), std::string::npos) << copy;
    EXPECT_NE(copy.find("</link>\n<category domain=\"http://news.example/thma\">"), std::string::npos) << copy;
}

}  // namespace
}  // namespace vardel::testing
