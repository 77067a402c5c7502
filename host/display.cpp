#include "display.h"

#include <utility>

#include "text/unicode.h"

#if !defined(_WIN32)
#include <iconv.h>

#include <cerrno>

#include "platform/linux/locale_code_page.h"
#endif

namespace newsmeter {

using vardel::text::CodePage;

namespace {

constexpr char kUtf8[] = "UTF-8";

#if !defined(_WIN32)
using vardel::platform::linux_layer::IsAsciiCodeSet;
using vardel::platform::linux_layer::IsUtf8CodeSet;
using vardel::platform::linux_layer::SameCodeSet;

// UTF-8 into another code set through iconv, transliterating where it can; a
// character it cannot write becomes "?".
std::string FromUtf8Into(const std::string& codeSet, std::string_view utf8) {
    const iconv_t cd = iconv_open((codeSet + "//TRANSLIT").c_str(), kUtf8);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
    std::string out;
    char buffer[1024];
    std::size_t i = 0;
    while (i < utf8.size()) {
        char* in = const_cast<char*>(utf8.data() + i);
        std::size_t inLeft = utf8.size() - i;
        char* o = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        i = utf8.size() - inLeft;
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += '?';
            vardel::text::NextUtf8(utf8, i);  // past the character iconv refused
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    // The shift back to the initial state, for code sets that have states.
    char* o = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &o, &outLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    iconv_close(cd);
    return out;
}
#endif

}  // namespace

TextCodec::TextCodec() : plugin_(CodePage::Windows1252()), output_(kUtf8) {}

TextCodec::TextCodec(CodePage plugin, std::string outputCodeSet)
    : plugin_(std::move(plugin)), output_(std::move(outputCodeSet)) {}

TextCodec TextCodec::OfLocale() {
#if defined(_WIN32)
    return TextCodec();
#else
    const std::string codeSet = vardel::platform::linux_layer::LocaleCodeSet();
    // The plug-in reads the same locale by the same rules.
    CodePage plugin = vardel::platform::linux_layer::CodePageOfCodeSet(codeSet);
    return TextCodec(std::move(plugin), IsAsciiCodeSet(codeSet) ? kUtf8 : codeSet);
#endif
}

bool TextCodec::OutputIsUtf8() const {
#if defined(_WIN32)
    return true;
#else
    return IsUtf8CodeSet(output_);
#endif
}

std::string TextCodec::PluginToOutput(std::string_view text) const {
    if (OutputIsUtf8()) return plugin_.ToUtf8(text);
#if !defined(_WIN32)
    if (plugin_.GetKind() == CodePage::Kind::SingleByte && SameCodeSet(plugin_.Name(), output_))
        return std::string(text);
#endif
    return Utf8ToOutput(plugin_.ToUtf8(text));
}

std::string TextCodec::PluginToUtf8(std::string_view text) const { return plugin_.ToUtf8(text); }

std::string TextCodec::Utf8ToOutput(std::string_view utf8) const {
    if (OutputIsUtf8()) return vardel::text::WellFormedUtf8(utf8);
#if defined(_WIN32)
    return std::string(utf8);
#else
    return FromUtf8Into(output_, utf8);
#endif
}

DisplayOptions DisplayOptionsForLocale() {
    DisplayOptions options;
    options.codec = TextCodec::OfLocale();
    options.separator = options.codec.Utf8ToOutput(options.separator);
    return options;
}

std::string ForDisplay(std::string_view text, const DisplayOptions& options) {
    if (options.raw) return std::string(text);
    // The output's code set is a superset of ASCII in which "%" never belongs to
    // another character, so the codes survive the conversion.
    const std::string converted = options.codec.PluginToOutput(text);
    std::string shown;
    shown.reserve(converted.size());
    for (std::size_t i = 0; i < converted.size(); ++i) {
        if (converted[i] == '%' && i + 1 < converted.size() && (converted[i + 1] == 'b' || converted[i + 1] == 'l')) {
            shown += converted[i + 1] == 'b' ? options.lineBreak : options.separator;
            ++i;
        } else {
            shown += converted[i];
        }
    }
    return shown;
}

}  // namespace newsmeter
