#include "platform/windows/ansi_text.h"

#include <climits>
#include <cstddef>

namespace vardel::platform::windows_layer {
namespace {

// The conversion functions count in int; longer texts are cut.
int ClampedLength(std::size_t length) {
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

std::string Narrow(std::wstring_view text, UINT codePage, DWORD flags) {
    const int length = ClampedLength(text.size());
    const int needed =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string result(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(codePage, flags, text.data(), length, result.data(),
                                            needed, nullptr, nullptr);
    result.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return result;
}

}  // namespace

std::wstring WidenAnsi(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int length = ClampedLength(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring result(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), needed);
    result.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return result;
}

std::string NarrowToAnsi(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    std::string result = Narrow(text, codePage, WC_NO_BEST_FIT_CHARS);
    // UTF-8 (a system code page since Windows 10) and a few others reject the flag
    // with ERROR_INVALID_FLAGS; they have no best-fit mapping to turn off anyway.
    if (result.empty() && GetLastError() == ERROR_INVALID_FLAGS) result = Narrow(text, codePage, 0);
    return result;
}

}  // namespace vardel::platform::windows_layer
