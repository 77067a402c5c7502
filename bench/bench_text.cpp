// Throughput of the code-page conversions (every TEXT read of a feed node goes
// through one: Windows-1252 in the C locale, UTF-8 or a single-byte code set in
// others), of replacement on long texts and of number reading and writing.
// Prints one line per figure; the doubling rows show that the time grows linearly
// with the length of the text.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/linux/locale_code_page.h"
#include "text/code_page.h"
#include "text/cp1252.h"
#include "text/unicode.h"
#include "text/number.h"
#include "text/text.h"

using namespace vardel::text;
using Clock = std::chrono::steady_clock;

namespace {

volatile std::size_t g_sink;  // keeps the optimiser from dropping the work

// The best of five rounds: the machine is shared, and the least disturbed round
// is the one that shows the code.
template <typename F>
double NanosecondsPerCall(F&& f, int calls) {
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i) f();
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        const double perCall = elapsed.count() / calls;
        if (round == 0 || perCall < best) best = perCall;
    }
    return best;
}

std::string Repeat(const std::string& piece, std::size_t bytes) {
    std::string s;
    while (s.size() < bytes) s += piece;
    s.resize(bytes);
    return s;
}

void Throughput(const char* name, std::size_t bytes, double ns) {
    std::printf("%-44s %8zu bytes %10.0f ns/call %8.0f MB/s\n", name, bytes, ns, bytes / ns * 1000.0);
}

}  // namespace

int main() {
    const std::string asciiPiece = "The quick brown fox jumps over the lazy dog. ";
    const std::string germanUtf8Piece = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln \xE2\x80\x94 20 \xE2\x82\xAC. ";
    const std::string germanAnsiPiece = "Gr\xFC\xDF" "e aus K\xF6ln \x97 20 \x80. ";

    for (std::size_t bytes : {200u, 4000u, 64000u}) {
        const std::string ascii = Repeat(asciiPiece, bytes);
        const std::string utf8 = Repeat(germanUtf8Piece, bytes);
        const std::string ansi = Repeat(germanAnsiPiece, bytes);
        const std::u16string wide = Utf8ToUtf16(utf8);
        const int calls = static_cast<int>(4'000'000 / bytes);
        Throughput("Utf8ToCp1252, ASCII only", bytes, NanosecondsPerCall([&] { g_sink = Utf8ToCp1252(ascii).size(); }, calls));
        Throughput("Utf8ToCp1252, German text", bytes, NanosecondsPerCall([&] { g_sink = Utf8ToCp1252(utf8).size(); }, calls));
        Throughput("Cp1252ToUtf8, German text", bytes, NanosecondsPerCall([&] { g_sink = Cp1252ToUtf8(ansi).size(); }, calls));
        Throughput("Utf16ToCp1252, German text (UTF-16 bytes)", wide.size() * 2,
                   NanosecondsPerCall([&] { g_sink = Utf16ToCp1252(wide).size(); }, calls));
        Throughput("Cp1252ToUtf16, German text", bytes, NanosecondsPerCall([&] { g_sink = Cp1252ToUtf16(ansi).size(); }, calls));
    }

    // The code pages of other locales: UTF-8 (the text checked and copied) and
    // KOI8-R (through its table), on Russian text.
    const std::string russianUtf8Piece =
        "\xD0\x9D\xD0\xBE\xD0\xB2\xD1\x8B\xD0\xB9 \xD0\xBC\xD0\xBE\xD1\x81\xD1\x82 "
        "\xD1\x87\xD0\xB5\xD1\x80\xD0\xB5\xD0\xB7 \xD0\x9E\xD0\xBA\xD1\x83 \xE2\x80\x94 320 "
        "\xD0\xBC. ";
    const CodePage utf8Page = CodePage::Utf8();
    const CodePage koi8r = vardel::platform::linux_layer::CodePageOfCodeSet("KOI8-R");
    for (std::size_t bytes : {200u, 4000u, 64000u}) {
        const std::string utf8 = Repeat(russianUtf8Piece, bytes);
        const std::string koi8 = koi8r.FromUtf8(utf8);
        const int calls = static_cast<int>(4'000'000 / bytes);
        Throughput("UTF-8 FromUtf8, Russian text", bytes, NanosecondsPerCall([&] { g_sink = utf8Page.FromUtf8(utf8).size(); }, calls));
        Throughput("KOI8-R FromUtf8, Russian text", bytes, NanosecondsPerCall([&] { g_sink = koi8r.FromUtf8(utf8).size(); }, calls));
        Throughput("KOI8-R ToUtf8, Russian text", koi8.size(), NanosecondsPerCall([&] { g_sink = koi8r.ToUtf8(koi8).size(); }, calls));
    }

    // Replacement: one hit every 8 bytes, text doubled three times.
    for (std::size_t bytes : {100'000u, 200'000u, 400'000u, 800'000u}) {
        const std::string text = Repeat("abc<br>d", bytes);
        const std::string same(bytes, 'a');
        Throughput("ReplaceAll \"<br>\" -> \" \" (hit every 8 bytes)", bytes,
                   NanosecondsPerCall([&] { g_sink = ReplaceAll(text, "<br>", " ").size(); }, 10));
        Throughput("ReplaceAll \"aaab\" in \"aaaa...\" (no hit)", bytes,
                   NanosecondsPerCall([&] { g_sink = ReplaceAll(same, "aaab", "x").size(); }, 10));
    }

    const char* numbers[] = {"46364.6043402778", "&H3EB", "1003", "  -2.5E-3", "08"};
    double total = 0;
    const double readNs = NanosecondsPerCall(
        [&] {
            for (const char* n : numbers) total += NumberFromText(n);
        },
        200'000);
    g_sink = static_cast<std::size_t>(total);
    std::printf("%-44s %10.1f ns/call\n", "NumberFromText (mixed forms)", readNs / 5);
    const double writeNs = NanosecondsPerCall([&] { g_sink = NumberToText(46364.6043402778).size(); }, 200'000);
    std::printf("%-44s %10.1f ns/call\n", "NumberToText (day serial)", writeNs);
    return 0;
}
