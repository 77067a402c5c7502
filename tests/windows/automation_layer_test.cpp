// What only the Windows layer has: the ANSI conversion at the automation boundary,
// the late-bound call helper, the component settings it passes as doubles, and
// COM set up on whatever thread calls it.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>
#include <thread>

#include "platform/components.h"
#include "platform/windows/ansi_text.h"
#include "platform/windows/automation_components.h"
#include "platform/windows/dispatch.h"
#include "platform/windows/windows_layer.h"

namespace vardel::platform::windows_layer {
namespace {

struct NarrowCase {
    const wchar_t* text;
    const char* ansi;
};

TEST(AnsiTextTest, NarrowsWithoutBestFitOneDefaultCharacterPerUnit) {
    ASSERT_EQ(GetACP(), 1252u) << "these cases assume Windows-1252 as the system code page";
    const NarrowCase cases[] = {
        {L"\u20AC", "\x80"},          // euro sign
        {L"\u2014", "\x97"},          // em dash
        {L"\u00E4\u00DF", "\xE4\xDF"},
        {L"\u0101", "?"},             // best fit would give "a"
        {L"\u0142", "?"},             // best fit would give "l"
        {L"\u4E2D", "?"},
        {L"\U0001F600", "??"},        // one "?" per surrogate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(NarrowToAnsi(c.text), c.ansi);
    }
    EXPECT_EQ(NarrowToAnsi(std::wstring_view(L"a\0b", 3)), std::string("a\0b", 3))
        << "texts are counted, not cut at a NUL";
}

TEST(AnsiTextTest, WidensEveryByteAndBack) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::wstring wide = WidenAnsi(all);
    ASSERT_EQ(wide.size(), all.size());
    EXPECT_EQ(wide[0x80 - 1], L'\u20AC');
    EXPECT_EQ(wide[0x97 - 1], L'\u2014');
    EXPECT_EQ(NarrowToAnsi(wide), all);
    EXPECT_EQ(WidenAnsi(""), L"");
    EXPECT_EQ(NarrowToAnsi(L""), "");
}

// With "UTF-8 as the system code page" turned on, the no-best-fit flag is refused
// by the system; texts must still convert (losslessly) instead of coming back empty.
// Wine accepts the flag for UTF-8 but refuses it for UTF-7, as Windows does.
TEST(AnsiTextTest, CodePagesRefusingNoBestFitConvertInsteadOfFailing) {
    EXPECT_EQ(NarrowToAnsi(L"\u00E4\u0101\U0001F600", CP_UTF8), "\xC3\xA4\xC4\x81\xF0\x9F\x98\x80");
    EXPECT_EQ(NarrowToAnsi(L"a\u00E4", CP_UTF7), "a+AOQ-");
    EXPECT_EQ(WidenAnsi("\xC3\xA4", CP_UTF8), L"\u00E4");
}

class DispatchTest : public ::testing::Test {
protected:
    DispatchRef document = CreateByProgId(L"Microsoft.xmldom");
};

TEST_F(DispatchTest, UnknownProgIdGivesNull) {
    EXPECT_EQ(CreateByProgId(L"Vardel.NoSuchComponent"), nullptr);
    EXPECT_NE(document, nullptr);
}

TEST_F(DispatchTest, FailedCallsYieldNothing) {
    ASSERT_NE(document, nullptr);
    const CallResult unknownMember = Call(document.get(), L"NOSUCHMEMBER");
    EXPECT_FALSE(unknownMember.Succeeded());
    EXPECT_EQ(unknownMember.AsText(), L"");
    EXPECT_EQ(unknownMember.AsInteger(), 0);
    EXPECT_FALSE(unknownMember.AsBool());
    EXPECT_EQ(unknownMember.AsObject(), nullptr);

    const CallResult onNull = Call(nullptr, L"TEXT");
    EXPECT_FALSE(onNull.Succeeded());
    EXPECT_EQ(Put(nullptr, L"ASYNC", 0.0), E_POINTER);

    // A member that raises an error (an empty tag name is refused) yields no list.
    ASSERT_TRUE(Call(document.get(), L"LOADXML", {L"<r><a/></r>"}).AsBool());
    EXPECT_EQ(Call(document.get(), L"SELECTNODES", {L"<"}).AsObject(), nullptr);
}

TEST_F(DispatchTest, AbsentAttributeIsNullAndReadsAsEmptyText) {
    ASSERT_TRUE(Call(document.get(), L"LOADXML", {L"<r a='1' e=''/>"}).AsBool());
    const DispatchRef root = Call(document.get(), L"DOCUMENTELEMENT").AsObject();
    ASSERT_NE(root, nullptr);
    const CallResult absent = Call(root.get(), L"GETATTRIBUTE", {L"missing"});
    EXPECT_TRUE(absent.Succeeded());
    EXPECT_EQ(absent.value.Type(), VT_NULL);
    EXPECT_EQ(absent.AsText(), L"");
    EXPECT_EQ(Call(root.get(), L"GETATTRIBUTE", {L"a"}).AsText(), L"1");
    EXPECT_EQ(Call(root.get(), L"GETATTRIBUTE", {L"e"}).value.Type(), VT_BSTR);
}

// The Boolean properties are set with the doubles 0.0 and 1.0; each must land as
// the matching Boolean, whatever the component's default.
TEST_F(DispatchTest, FlagsSetAsDoublesReadBackAsBooleans) {
    ASSERT_NE(document, nullptr);
    for (const wchar_t* property : {L"ASYNC", L"VALIDATEONPARSE", L"RESOLVEEXTERNALS"}) {
        for (const double value : {0.0, 1.0, 0.0}) {
            SCOPED_TRACE(testing::Message() << NarrowToAnsi(property) << " = " << value);
            EXPECT_EQ(Put(document.get(), property, value), S_OK);
            const CallResult read = Call(document.get(), property);
            EXPECT_EQ(read.value.Type(), VT_BOOL);
            EXPECT_EQ(read.AsBool(), value != 0.0);
        }
    }
}

// The system's component resolves external entities by default; ours are created
// with that turned off, so a feed cannot make it read local files.
TEST(AutomationComponentsTest, DocumentsStartWithoutExternalResolution) {
    const platform::DocumentRef document = AutomationComponents().CreateXmlDocument();
    ASSERT_NE(document, nullptr);
    const DispatchRef object = AutomationObjectOf(*document);
    ASSERT_NE(object, nullptr);
    const CallResult resolve = Call(object.get(), L"RESOLVEEXTERNALS");
    ASSERT_EQ(resolve.value.Type(), VT_BOOL);
    EXPECT_FALSE(resolve.AsBool());
    // Only that one setting is changed.
    EXPECT_TRUE(Call(object.get(), L"ASYNC").AsBool());
}

TEST(AutomationComponentsTest, TextsOutsideTheCodePageComeBackAsDefaultCharacters) {
    const platform::DocumentRef document = AutomationComponents().CreateXmlDocument();
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(document->LoadXml("<t>&#x101;|&#x4E2D;|&#x1F600;|&#x20AC;|\xE4</t>"));
    EXPECT_EQ(platform::TextOf(document->DocumentElement()), "?|?|??|\x80|\xE4");
}

// The components work on any thread that calls the plug-in: one without COM, one
// already in an apartment, and one in the multithreaded apartment.
TEST(AutomationComponentsTest, WorksWhateverComModeTheThreadHas) {
    struct Mode {
        const char* name;
        bool initialise;
        DWORD model;
    };
    const Mode modes[] = {
        {"no COM yet", false, 0},
        {"apartment-threaded", true, COINIT_APARTMENTTHREADED},
        {"multithreaded", true, COINIT_MULTITHREADED},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        std::string text;
        bool created = false;
        std::thread worker([&] {
            const bool ours = mode.initialise && SUCCEEDED(CoInitializeEx(nullptr, mode.model));
            {
                const platform::DocumentRef document = AutomationComponents().CreateXmlDocument();
                created = document != nullptr;
                if (document && document->LoadXml("<r><i>one</i><i>two</i></r>"))
                    text = platform::TextOf(platform::ItemOf(document->GetElementsByTagName("i"), 1));
                auto request = AutomationComponents().CreateHttpRequest();
                created = created && request != nullptr;
            }
            if (ours) CoUninitialize();
        });
        worker.join();
        EXPECT_TRUE(created);
        EXPECT_EQ(text, "two");
    }
}

}  // namespace
}  // namespace vardel::platform::windows_layer
