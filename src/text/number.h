// Number conventions shared by settings, stamps and dialogs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vardel::text {

// Reads a number the way every setting and stamp field is read: leading blanks,
// tabs and line feeds skipped; optional sign; digits with an optional decimal
// point and an exponent introduced by "E" or "D"; "&H" hexadecimal, "&B" binary,
// "&O", "&Q" or "&" alone octal. Conversion stops at the first character that
// does not fit; no digits give 0.
double NumberFromText(std::string_view s);

// The value rounded to the nearest integer, ties to even, whatever floating-point
// rounding mode the host has set. Infinities and NaN stay as they are.
double RoundHalfEven(double v);

// Integer targets: the value rounded to the nearest integer, ties to even, keeping
// its low 16 or 32 bits (also for values far beyond the 32-bit range, whose
// low bits are taken from the exact integer value). Infinities and NaN give 0.
std::int16_t ToInt16(double v);
std::int32_t ToInt32(double v);

inline std::int16_t Int16FromText(std::string_view s) { return ToInt16(NumberFromText(s)); }
inline std::int32_t Int32FromText(std::string_view s) { return ToInt32(NumberFromText(s)); }

// Number to text: a sign character first (a blank for 0 and positive values, "-"
// for negative ones), at most 15 significant digits with the 16th rounded half to
// even, no trailing zeros after the point and no point without digits after it.
std::string NumberToText(double v);

// Plain decimal integer as written to profile keys: "-" for negative values, no
// blank, no point ("1003", "0", "-1").
std::string IntegerToText(std::int64_t v);

// True when the text is not empty and holds only "+", ",", "-", ".", "/",
// digits, "E" and "e" (the characters a line number may be written with).
bool LooksNumeric(std::string_view s);

}  // namespace vardel::text
