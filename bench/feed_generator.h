// A deterministic RSS 2.0 feed of any size, for benchmarks: N items of about
// 1.2 KB each, like a busy news site's feed. Every item has a title ("Meldung n:
// ..."), a link and a guid ending in its number, a description with escaped HTML,
// entity and character references, two categories with attributes, dc:creator and
// pubDate. The same arguments always give the same bytes (UTF-8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vardel::bench {

namespace feed_detail {

// A small linear congruential generator: the same sequence on every platform.
class Sequence {
public:
    explicit Sequence(std::uint32_t seed) : state_(seed * 2654435761u + 1u) {}
    std::uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }

private:
    std::uint32_t state_;
};

inline const char* const kWords[] = {
    "Regierung", "Bundestag", "Wetter",   "Sturm",    "Börse",     "Gewinn",   "Verlust",
    "Fußball",   "Meister",   "Straße",   "Verkehr",  "Stau",      "Bahn",     "Streik",
    "Energie",   "Preise",    "Haushalt", "Schule",   "Forschung", "Klima",    "Gericht",
    "Urteil",    "Wahl",      "Umfrage",  "Stadtrat", "Hafen",     "Export",   "Import",
    "Technik",   "Software",  "Netz",     "Sicherheit", "Polizei", "Feuerwehr", "Konzert",
    "Museum",    "Ausstellung", "Theater", "Premiere", "Olympia",  "Rekord",   "Zukunft",
};
inline constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];

inline const char* const kSections[] = {"Politik", "Wirtschaft", "Sport", "Kultur",
                                        "Wissen",  "Regional",   "Netzwelt"};
inline const char* const kAuthors[] = {"Anna Müller", "Jörg Weiß", "Chloé Dupont",
                                       "Sven Ørsted", "Maria Nuñez", "Ben O'Neill"};
inline const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
inline const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

inline void AppendWords(std::string& out, Sequence& random, int count) {
    for (int i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += kWords[random.Below(kWordCount)];
    }
}

inline void AppendItem(std::string& out, std::size_t n, Sequence& random) {
    const std::string number = std::to_string(n);
    out += "    <item>\n      <title>Meldung ";
    out += number;
    out += ": ";
    AppendWords(out, random, 6);
    out += " &amp; mehr</title>\n      <link>https://news.example.com/artikel/";
    out += number;
    out += ".html?ref=rss&amp;pos=";
    out += number;
    out += "</link>\n      <guid isPermaLink=\"false\">urn:example:artikel:";
    out += number;
    out += "</guid>\n      <description>&lt;p&gt;&lt;b&gt;";
    AppendWords(out, random, 3);
    out += "&lt;/b&gt; ";
    AppendWords(out, random, 24);
    out += " &amp;amp; &#8222;Zitat&#8220; f&#252;r 5&#160;&#8364;.&lt;/p&gt;&lt;p&gt;";
    AppendWords(out, random, 24);
    out += " &lt;a href=\"https://news.example.com/thema/";
    out += number;
    out += "\"&gt;Mehr zum Thema&lt;/a&gt;&lt;/p&gt;</description>\n";
    for (int c = 0; c < 2; ++c) {
        const char* section = kSections[random.Below(7)];
        out += "      <category domain=\"https://news.example.com/ressort/";
        out += section;
        out += "\" scheme=\"ressort\" rank=\"";
        out += std::to_string(c + 1);
        out += "\">";
        out += section;
        out += "</category>\n";
    }
    out += "      <dc:creator>";
    out += kAuthors[random.Below(6)];
    out += "</dc:creator>\n      <pubDate>";
    char date[64];
    std::snprintf(date, sizeof date, "%s, %02u %s 2026 %02u:%02u:%02u +0100",
                  kDays[n % 7], static_cast<unsigned>(1 + n % 28), kMonths[(n / 28) % 12],
                  static_cast<unsigned>(random.Below(24)), static_cast<unsigned>(random.Below(60)),
                  static_cast<unsigned>(random.Below(60)));
    out += date;
    out += "</pubDate>\n    </item>\n";
}

}  // namespace feed_detail

// The feed text: items numbered 1 to itemCount in document order.
inline std::string GenerateRssFeed(std::size_t itemCount, std::uint32_t seed = 1) {
    feed_detail::Sequence random(seed);
    std::string out;
    out.reserve(600 + itemCount * 1250);
    out +=
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "  <channel>\n"
        "    <title>Nachrichten &#8211; Beispiel</title>\n"
        "    <link>https://news.example.com/</link>\n"
        "    <description>Die wichtigsten Meldungen</description>\n"
        "    <language>de-de</language>\n";
    for (std::size_t n = 1; n <= itemCount; ++n) feed_detail::AppendItem(out, n, random);
    out += "  </channel>\n</rss>\n";
    return out;
}

// Writes the feed to a file; false when it cannot be written.
inline bool WriteRssFeed(const std::string& path, std::size_t itemCount, std::uint32_t seed = 1) {
    const std::string feed = GenerateRssFeed(itemCount, seed);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(feed.data(), 1, feed.size(), file) == feed.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace vardel::bench
