// Reading numbers from setting and stamp texts, integer targets, and numbers
// written as text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "text/number.h"

namespace vardel::text {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct FromTextCase {
    std::string text;
    double expected;
};

void ExpectReads(const FromTextCase& c) {
    const double v = NumberFromText(c.text);
    EXPECT_EQ(v, c.expected) << "text: \"" << c.text << "\"";
    EXPECT_FALSE(std::signbit(v) && v == 0.0) << "negative zero from \"" << c.text << "\"";
}

TEST(NumberFromText, LeadingSpaceSignAndStoppingPoints) {
    const FromTextCase cases[] = {
        {"", 0},
        {"   ", 0},
        {"abc", 0},
        {" \t\n42", 42},  // blanks, tabs and line feeds are skipped
        {"\r42", 0},      // a carriage return is not
        {"\v42", 0},
        {"+5", 5},
        {"-5", -5},
        {"- 5", 0},  // nothing may stand between sign and digits
        {"--5", 0},
        {"+-5", 0},
        {"-0", 0},
        {"-", 0},
        {"12abc", 12},
        {"1 2", 1},  // a blank ends the number
        {"1,5", 1},
        {"3.4.5", 3.4},
        {"7\t", 7},
    };
    for (const auto& c : cases) ExpectReads(c);
}

TEST(NumberFromText, DecimalPointAndExponents) {
    const FromTextCase cases[] = {
        {"3.25", 3.25},
        {".5", 0.5},
        {"-.5", -0.5},
        {"5.", 5},
        {".", 0},
        {"-.", 0},
        {"1E3", 1000},
        {"1e3", 1000},
        {"1D3", 1000},
        {"1d-2", 0.01},
        {"1E+2", 100},
        {"2.5E1", 25},
        {".5D1", 5},
        {"1.5E", 1.5},  // an exponent letter without digits is not part of the number
        {"1.5E+", 1.5},
        {"1.5E-x", 1.5},
        {"2E3x", 2000},
        {"1F3", 1},
        {"1E3.5", 1000},
        {"E5", 0},
        {".E5", 0},
        {"00012", 12},
        {"0.000", 0},
    };
    for (const auto& c : cases) ExpectReads(c);
}

TEST(NumberFromText, RadixPrefixesReadUnsigned) {
    const FromTextCase cases[] = {
        {"&H3EB", 1003},
        {"&h3eb", 1003},
        {"&HFFFF", 65535},
        {"&HFFFFFFFF", 4294967295.0},
        {"&HFFFFFFFFFFFFFFFF", 18446744073709551615.0},
        {"&H", 0},
        {"&HG", 0},
        {"&H1G2", 1},
        {"&B101", 5},
        {"&b1012", 5},
        {"&O17", 15},
        {"&o17", 15},
        {"&Q17", 15},
        {"&q17", 15},
        {"&17", 15},  // "&" alone: octal
        {"&18", 1},
        {"&8", 0},
        {"&", 0},
        {"&X1", 0},
        {"&H.5", 0},  // no point or exponent after a prefix
        {"&H1E2", 0x1E2},
        {"-&H10", -16},
        {" \t&H10", 16},
    };
    for (const auto& c : cases) ExpectReads(c);
}

// Decimal text converts to the double nearest to its exact value, whatever the
// number of digits or the exponent.
TEST(NumberFromText, NearestDoubleAndRange) {
    const std::string zeros900(900, '0');
    const FromTextCase cases[] = {
        {"0.1", 0.1},
        {"0.3", 0.3},
        {"46000.5034722222", 46000.5034722222},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"9007199254740993", 9007199254740992.0},  // tie between two doubles: even one
        {"9007199254740995", 9007199254740996.0},
        // the tie is broken by a digit far beyond any fixed digit buffer
        {"9007199254740993." + zeros900 + "1", 9007199254740994.0},
        {"1" + zeros900 + "E-900", 1},
        {"0." + zeros900 + "1E901", 1},
        {"1.7976931348623157E308", 1.7976931348623157e308},
        {"1E400", kInf},
        {"-1D400", -kInf},
        {"1.7976931348623159E308", kInf},
        {"1E-400", 0},
        {"-1E-400", 0},
        {"4.9406564584124654E-324", 4.9406564584124654e-324},
        {"0E99999999999999999999", 0},
        {"1E99999999999999999999", kInf},
        {"1E-99999999999999999999", 0},
        // hexadecimal beyond 64 bits: correctly rounded too
        {"&H20000000000001", 9007199254740992.0},
        {"&H2000000000000100000001", 38685626227668137885564929.0},  // just above a tie: up
        {"&H1" + std::string(300, '0'), kInf},
    };
    for (const auto& c : cases) ExpectReads(c);
}

TEST(IntegerTargets, RoundHalfToEvenThenKeepLowBits) {
    struct Case {
        double value;
        std::int32_t int32;
        std::int16_t int16;
    };
    const Case cases[] = {
        {0.5, 0, 0},
        {1.5, 2, 2},
        {2.5, 2, 2},
        {3.5, 4, 4},
        {-0.5, 0, 0},
        {-2.5, -2, -2},
        {-3.5, -4, -4},
        {2.4999999999999996, 2, 2},
        {2.5000000000000004, 3, 3},
        {-2.6, -3, -3},
        {70000, 70000, 4464},
        {65535, 65535, -1},
        {32768, 32768, -32768},
        {-32769, -32769, 32767},
        {2147483647, 2147483647, -1},
        {2147483648.0, -2147483647 - 1, 0},
        {4294967295.0, -1, -1},
        {4294967296.0, 0, 0},
        {4294967295.5, 0, 0},  // tie rounds to the even 2^32
        {4294967294.5, -2, -2},
        {-4294967297.0, -1, -1},
        {1e20, 1661992960, static_cast<std::int16_t>(1661992960 & 0xFFFF)},
        {-1e20, -1661992960, static_cast<std::int16_t>(-1661992960 & 0xFFFF)},
        {9223372036854775808.0, 0, 0},
        {1e300, 0, 0},
        {std::numeric_limits<double>::max(), 0, 0},
        {kInf, 0, 0},
        {-kInf, 0, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToInt32(c.value), c.int32) << "value " << c.value;
        EXPECT_EQ(ToInt16(c.value), c.int16) << "value " << c.value;
    }
}

TEST(IntegerTargets, FromText) {
    EXPECT_EQ(Int16FromText("70000"), 4464);
    EXPECT_EQ(Int16FromText("&H3EB"), 1003);
    EXPECT_EQ(Int16FromText("65535"), -1);
    EXPECT_EQ(Int16FromText("&HFFFF"), -1);
    EXPECT_EQ(Int16FromText("2.5"), 2);
    EXPECT_EQ(Int16FromText("3.5"), 4);
    EXPECT_EQ(Int16FromText("-2.5"), -2);
    EXPECT_EQ(Int16FromText("1E400"), 0);
    EXPECT_EQ(Int32FromText("&HFFFFFFFF"), -1);
    EXPECT_EQ(Int32FromText("4294967296"), 0);
    EXPECT_EQ(Int32FromText("  -7.5xyz"), -8);
    EXPECT_EQ(Int32FromText("garbage"), 0);
}

TEST(NumberToText, SignDigitsAndNotation) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, " 0"},
        {-0.0, " 0"},
        {1, " 1"},
        {-1, "-1"},
        {-2.5, "-2.5"},
        {0.5, " 0.5"},
        {-0.5, "-0.5"},
        {100, " 100"},
        {1003, " 1003"},
        {123.456, " 123.456"},
        {1.0 / 3.0, " 0.333333333333333"},
        {2.0 / 3.0, " 0.666666666666667"},
        {0.1 + 0.2, " 0.3"},
        {46000.5 + 5.0 / 1440.0, " 46000.5034722222"},
        {46364.0 + 52215.0 / 86400.0, " 46364.6043402778"},
        {123456789012345.0, " 123456789012345"},
        {999999999999999.0, " 999999999999999"},
        // the 16th significant digit is exactly 5: half to even
        {12345678901234.25, " 12345678901234.2"},
        {12345678901234.75, " 12345678901234.8"},
        {999999999999999.5, " 1E+15"},
        {1000000000000005.0, " 1E+15"},
        {1000000000000015.0, " 1.00000000000002E+15"},
        {1e15, " 1E+15"},
        {1234567890123456.0, " 1.23456789012346E+15"},
        {-1e100, "-1E+100"},
        {0.0001, " 0.0001"},
        {0.00012345, " 0.00012345"},
        {0.0000999999999999999999, " 0.0001"},  // rounds up into plain notation
        {0.00001, " 1E-05"},
        {0.000015, " 1.5E-05"},
        {-1e-300, "-1E-300"},
        {4.9406564584124654e-324, " 4.94065645841247E-324"},
        {1.7976931348623157e308, " 1.79769313486232E+308"},
        {kInf, " INF"},
        {-kInf, "-INF"},
        {std::numeric_limits<double>::quiet_NaN(), " NAN"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToText(c.value), c.text) << "value " << c.value;
}

TEST(NumberToText, ReadsBackWithinFifteenDigits) {
    const double values[] = {46364.6043402778, 0.003472222222222, 1e-5, 123456.789, -98765.4321, 1e15};
    for (double v : values) EXPECT_EQ(NumberFromText(NumberToText(v)), v) << NumberToText(v);
}

TEST(IntegerToText, PlainDecimal) {
    EXPECT_EQ(IntegerToText(1003), "1003");
    EXPECT_EQ(IntegerToText(0), "0");
    EXPECT_EQ(IntegerToText(-1), "-1");
    EXPECT_EQ(IntegerToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(IntegerToText(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
}

}  // namespace
}  // namespace vardel::text
