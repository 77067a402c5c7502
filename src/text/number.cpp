#include "text/number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

namespace vardel::text {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLeadingSpace(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The value of c as a digit of the given base, or -1.
int DigitValue(char c, int base) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    return d < base ? d : -1;
}

// Digits of a power-of-two base (2, 8 or 16) as an unsigned value, correctly
// rounded however many digits there are: the first 61 or more significant bits
// are kept exactly, every further bit only counts as "something below", folded
// into the lowest kept bit, which lies far below the 53 bits a double holds.
double ReadUnsigned(std::string_view s, std::size_t& i, int base, int bitsPerDigit) {
    std::uint64_t mantissa = 0;
    int droppedBits = 0;
    bool droppedNonZero = false;
    for (; i < s.size(); ++i) {
        const int d = DigitValue(s[i], base);
        if (d < 0) break;
        if ((mantissa >> (64 - bitsPerDigit)) == 0) {
            mantissa = (mantissa << bitsPerDigit) | static_cast<std::uint64_t>(d);
        } else {
            if (droppedBits < 4096) droppedBits += bitsPerDigit;  // beyond this it is infinity anyway
            droppedNonZero = droppedNonZero || d != 0;
        }
    }
    if (droppedNonZero) mantissa |= 1;
    return std::ldexp(static_cast<double>(mantissa), droppedBits);
}

// Decimal digits with optional point and exponent ("E" or "D", either case).
// The significant digits are collected and handed to from_chars as
// "0.<digits>e<scale>", so the result is the double nearest to the text, with
// any number of digits and any exponent.
double ReadDecimal(std::string_view s, std::size_t& i) {
    std::string digits;  // significant digits, leading zeros left out
    digits.reserve(24);
    std::int64_t scale = 0;  // value = 0.<digits> * 10^scale
    bool anyDigit = false;
    // Beyond kMaxDigits only whether anything non-zero follows can matter (it
    // breaks a tie); it is kept as one trailing "1".
    constexpr std::size_t kMaxDigits = 800;
    bool cutNonZero = false;
    auto keep = [&](char c) {
        if (digits.size() < kMaxDigits) digits.push_back(c);
        else cutNonZero = cutNonZero || c != '0';
    };
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        anyDigit = true;
        if (digits.empty() && s[i] == '0') continue;
        keep(s[i]);
        ++scale;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        for (; i < s.size() && IsDigit(s[i]); ++i) {
            anyDigit = true;
            if (digits.empty() && s[i] == '0') {
                --scale;
                continue;
            }
            keep(s[i]);
        }
    }
    if (!anyDigit) return 0.0;
    if (cutNonZero) digits.push_back('1');

    // An exponent letter counts only when digits follow it (after an optional sign).
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        bool negative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) negative = s[j++] == '-';
        if (j < s.size() && IsDigit(s[j])) {
            std::int64_t exponent = 0;
            for (; j < s.size() && IsDigit(s[j]); ++j)
                if (exponent < 1'000'000'000) exponent = exponent * 10 + (s[j] - '0');
            scale += negative ? -exponent : exponent;
            i = j;
        }
    }
    if (digits.empty()) return 0.0;
    if (scale > 400) return std::numeric_limits<double>::infinity();
    if (scale < -400) return 0.0;

    std::string number = "0.";
    number += digits;
    number += 'e';
    number += std::to_string(scale);
    double value = 0.0;
    const auto result =
        std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        return scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return value;
}

// The low 32 bits of the rounded value's two's-complement form.
std::uint32_t LowBits(double v) {
    if (!std::isfinite(v)) return 0;
    constexpr double kTwoTo32 = 4294967296.0;
    double m = std::fmod(RoundHalfEven(v), kTwoTo32);  // exact
    if (m < 0) m += kTwoTo32;                          // exact: an integer below 2^32
    return static_cast<std::uint32_t>(m);
}

void AppendExponent(std::string& out, int exponent) {
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) out += '0';
    out += std::to_string(magnitude);
}

}  // namespace

double NumberFromText(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsLeadingSpace(s[i])) ++i;
    // The sign may stand before a radix prefix too: "-&H10" is -16.
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

    double value = 0.0;
    if (i < s.size() && s[i] == '&') {
        // Radix prefixes: "&H" hexadecimal, "&B" binary, "&O" or "&Q" octal, and "&"
        // followed by anything else octal too. Their digits are read as unsigned.
        ++i;
        const char letter = i < s.size() ? static_cast<char>(s[i] & ~0x20) : '\0';
        if (letter == 'H') {
            value = ReadUnsigned(s, ++i, 16, 4);
        } else if (letter == 'B') {
            value = ReadUnsigned(s, ++i, 2, 1);
        } else {
            if (letter == 'O' || letter == 'Q') ++i;
            value = ReadUnsigned(s, i, 8, 3);
        }
    } else {
        value = ReadDecimal(s, i);
    }
    if (value == 0.0) return 0.0;  // never a negative zero
    return negative ? -value : value;
}

// floor, the subtraction and the steps by one are exact (a double of 2^52 or more
// has no fraction), so no result depends on the rounding mode.
double RoundHalfEven(double v) {
    if (!std::isfinite(v)) return v;
    const double lower = std::floor(v);
    const double fraction = v - lower;
    if (fraction > 0.5) return lower + 1.0;
    if (fraction < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::int16_t ToInt16(double v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(LowBits(v))); }

std::int32_t ToInt32(double v) { return static_cast<std::int32_t>(LowBits(v)); }

// Fifteen significant digits, the sixteenth rounded half to even: to_chars in
// scientific form with 14 digits after the point rounds correctly from the exact
// binary value. Magnitudes from 1E+15 up and below 1E-04 are written in E notation
// (" 1E+15", " 1.5E-05": the mantissa without trailing zeros, the exponent signed
// with at least two digits); everything in between in plain decimal. Infinities
// and NaN, which no stored value should ever hold, are written as " INF", "-INF"
// and " NAN" (all of which read back as 0).
std::string NumberToText(double v) {
    std::string out;
    out += std::signbit(v) && v != 0.0 ? '-' : ' ';
    if (std::isnan(v)) return " NAN";
    if (std::isinf(v)) return out + "INF";
    if (v == 0.0) return out + '0';

    char buf[40];
    const auto result = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
    // buf holds "d.dddddddddddddde[+-]xx"
    std::string_view sci(buf, static_cast<std::size_t>(result.ptr - buf));
    const std::size_t e = sci.find('e');
    std::string digits;
    digits += sci[0];
    digits.append(sci.substr(2, e - 2));
    int exponent = 0;
    std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int count = static_cast<int>(digits.size());

    if (exponent >= 15 || exponent < -4) {
        out += digits[0];
        if (count > 1) {
            out += '.';
            out.append(digits, 1);
        }
        AppendExponent(out, exponent);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        const int intDigits = exponent + 1;
        if (count <= intDigits) {
            out += digits;
            out.append(static_cast<std::size_t>(intDigits - count), '0');
        } else {
            out.append(digits, 0, static_cast<std::size_t>(intDigits));
            out += '.';
            out.append(digits, static_cast<std::size_t>(intDigits));
        }
    }
    return out;
}

std::string IntegerToText(std::int64_t v) {
    char buf[24];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

bool LooksNumeric(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        // "+" (2B) through "9" (39) are "+", ",", "-", ".", "/" and the digits.
        const bool fits = (c >= '+' && c <= '9') || c == 'E' || c == 'e';
        if (!fits) return false;
    }
    return true;
}

}  // namespace vardel::text
