#include "display.h"

#include "text/cp1252.h"

namespace newsmeter {

std::string ForDisplay(std::string_view text, const DisplayOptions& options) {
    if (options.raw) return std::string(text);
    // "%" and the code letters are ASCII, so the codes survive the conversion.
    const std::string utf8 = vardel::text::AnsiToUtf8(text);
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '%' && i + 1 < utf8.size() && (utf8[i + 1] == 'b' || utf8[i + 1] == 'l')) {
            shown += utf8[i + 1] == 'b' ? options.lineBreak : options.separator;
            ++i;
        } else {
            shown += utf8[i];
        }
    }
    return shown;
}

}  // namespace newsmeter
