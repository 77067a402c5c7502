// Fixed-capacity text fields.
//
// The plug-in keeps its texts in fixed-size NUL-terminated records (instance
// settings, site names, the output buffer). Storing a longer text cuts it to the
// capacity without notice, never inside a character of the code page in force
// (text/code_page.h); nothing can ever be written past the end. The records stay
// trivially copyable, so a whole settings record can be copied or zero-filled.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "text/code_page.h"

namespace vardel::text {

// A NUL-terminated text of at most N - 1 bytes.
template <std::size_t N>
class FixedText {
    static_assert(N >= 1, "a text field needs room for its terminator");

public:
    static constexpr std::size_t kCapacity = N;     // bytes, terminator included
    static constexpr std::size_t kMaxLength = N - 1;

    FixedText() = default;
    explicit FixedText(std::string_view s) { Assign(s); }

    // Stores s, cut at an embedded NUL, as a C text would be, and to kMaxLength
    // bytes.
    void Assign(std::string_view s) {
        std::size_t n = s.size() < kMaxLength ? s.size() : kMaxLength;
        const void* nul = n ? std::memchr(s.data(), '\0', n) : nullptr;
        if (nul) n = static_cast<std::size_t>(static_cast<const char*>(nul) - s.data());
        else n = FitLength(s, kMaxLength);
        if (n) std::memcpy(buf_, s.data(), n);
        buf_[n] = '\0';
    }
    FixedText& operator=(std::string_view s) {
        Assign(s);
        return *this;
    }

    std::string_view View() const {
        const void* nul = std::memchr(buf_, '\0', N);
        return {buf_, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buf_) : N - 1};
    }
    std::string Str() const { return std::string(View()); }
    const char* CStr() const { return buf_; }
    bool Empty() const { return buf_[0] == '\0'; }
    void Clear() { std::memset(buf_, 0, N); }

private:
    char buf_[N] = {};
};

// A blank-padded name field of exactly N characters (plus a terminator), the way
// site names are kept: shorter names are padded with blanks, longer ones are cut
// (a character that does not fit whole gives way to blanks).
template <std::size_t N>
class PaddedField {
public:
    static constexpr std::size_t kWidth = N;

    PaddedField() = default;
    void Assign(std::string_view s) {
        const std::size_t n = FitLength(s, N);
        std::memcpy(buf_, s.data(), n);
        std::memset(buf_ + n, ' ', N - n);
        buf_[N] = '\0';
    }
    // The whole field with its padding (empty while never assigned).
    std::string_view View() const { return std::string_view(buf_, std::strlen(buf_)); }

private:
    char buf_[N + 1] = {};
};

}  // namespace vardel::text
