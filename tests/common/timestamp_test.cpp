// Time stamps and their day serials. The fake clock converts with the platform's
// own conversion, so under Wine these tables check the Windows conversion and on
// Linux our own. The tables compare with the day serials of exact arithmetic,
// allowing for the last bits, which depend on the order of the additions; that
// both conversions give the very same bits is checked over the whole date range
// below.
#include <gtest/gtest.h>

#include <string>

#include "platform/services.h"
#include "support/fakes.h"
#include "timeutil/timestamp.h"

namespace vardel::timeutil {
namespace {

using platform::LocalTime;

class TimeStampTest : public ::testing::Test {
protected:
    testing::FakeClock clock;  // now: 08.12.2026 14:30:15
    platform::ScopedServices services{[this] {
        platform::ServiceSet s;
        s.clock = &clock;
        return s;
    }()};
};

constexpr double kDec8 = 46364.0;  // 8 December 2026

TEST_F(TimeStampTest, TimeStampNowIsZeroPadded) {
    EXPECT_EQ(TimeStampNow(), "08.12.2026 14:30:15");
    clock.now = LocalTime{5, 1, 0, 2, 3, 4, 5, 999};
    EXPECT_EQ(TimeStampNow(), "02.01.0005 03:04:05");
    clock.now = LocalTime{9999, 12, 0, 31, 23, 59, 59, 0};
    EXPECT_EQ(TimeStampNow(), "31.12.9999 23:59:59");
}

TEST_F(TimeStampTest, StampFieldsByPeriodsAndColons) {
    struct Case {
        const char* text;
        double serial;
    };
    const Case cases[] = {
        {"08.12.2026", kDec8},
        {"08.12.2026 14:30", kDec8 + 14.5 / 24.0},
        {"08.12.2026 14:30:15", kDec8 + 52215.0 / 86400.0},
        {"8.12.2026 14:30:15", kDec8 + 52215.0 / 86400.0},
        {"08.12.2026 14:30:15 ", kDec8 + 52215.0 / 86400.0},
        {"08.12.2026 14:30:15 junk", kDec8 + 52215.0 / 86400.0},
        // exactly one period: nothing is read
        {"8.12", 0.0},
        {"8.12 10:00", 0.0},
        {"8.12.2026", kDec8},
        // three colons or more: no field is taken
        {"08.12.2026 14:30:15:99", 0.0},
        // separators make fields, adjacent ones empty fields
        {" 08.12.2026", 0.0},                               // day 0
        {"08.12.2026  14:30:15", kDec8 + 870.0 / 86400.0},  // 00:14:30
        {"08..12.2026", 0.0},                               // month 0
        {"08.12.2026.5", kDec8},                            // fourth field unused without colons
        {"08.12.2026.14:30", kDec8 + 14.5 / 24.0},
        {"08.12.2026\t14:30", 0.0},  // a tab is no separator: hour 30
        // time only: the date fields stay 0, no valid date
        {"14:30", 0.0},
        {"14:30:15", 0.0},
        {"", kDec8 + 52215.0 / 86400.0},  // the fake clock's time
        {"nothing", 0.0},
        // fields are numbers: prefixes, exponents, garbage after digits
        {"08.12.&H7EA", kDec8},
        {"08x.12y.2026z", kDec8},
        {"8.12.2026 1D1:30", kDec8 + 10.5 / 24.0},
        {"25E-1.12.2026", 46358.0},  // day 2.5 rounds to 2
        {"35E-1.12.2026", 46360.0},  // day 3.5 rounds to 4
        {"65544.12.2026", kDec8},    // 16 bits kept: 65544 is 8
        {"-8.12.2026", 0.0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(StampToDaySerial(c.text), c.serial) << "\"" << c.text << "\"";
}

TEST_F(TimeStampTest, InvalidDatesAndTimesGiveZero) {
    struct Case {
        const char* text;
        double serial;
    };
    const Case cases[] = {
        {"29.02.2024", 45351.0},
        {"29.02.2000", 36585.0},
        {"29.02.2023", 0.0},
        {"29.02.1900", 0.0},
        {"28.02.1900", 60.0},
        {"01.03.1900", 61.0},
        {"31.04.2026", 0.0},
        {"32.01.2026", 0.0},
        {"00.12.2026", 0.0},
        {"08.00.2026", 0.0},
        {"08.13.2026", 0.0},
        {"08.12.26", 0.0},  // two-digit years are not guessed
        {"08.12.99", 0.0},
        {"08.12.0", 0.0},
        {"01.01.100", -657434.0},
        {"31.12.9999 23:59:59", 2958465.0 + 86399.0 / 86400.0},
        {"01.01.10000", 0.0},
        {"08.12.2026 24:00", 0.0},
        {"08.12.2026 23:60", 0.0},
        {"08.12.2026 23:59:60", 0.0},
        // before day 0 the time of day still counts forward from midnight
        {"30.12.1899 06:00", 0.25},
        {"29.12.1899 06:00", -1.25},
        {"01.01.1899 18:00", -363.75},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(StampToDaySerial(c.text), c.serial) << "\"" << c.text << "\"";
}

TEST_F(TimeStampTest, CurrentTimeRoundTrips) {
    const LocalTime moments[] = {
        {2026, 12, 2, 8, 14, 30, 15, 0},
        {2026, 12, 2, 8, 14, 30, 15, 999},  // milliseconds are dropped
        {2024, 2, 4, 29, 23, 59, 59, 0},
        {2000, 1, 6, 1, 0, 0, 0, 0},
        {1999, 12, 5, 31, 12, 0, 1, 0},
    };
    for (const auto& moment : moments) {
        clock.now = moment;
        LocalTime whole = moment;
        whole.milliseconds = 0;
        whole.dayOfWeek = 0;
        double expected = -1;
        ASSERT_TRUE(platform::DefaultServices().clock->ToVariantTime(whole, expected));
        EXPECT_EQ(StampToDaySerial(TimeStampNow()), expected) << TimeStampNow();
        EXPECT_EQ(StampToDaySerial(""), expected) << TimeStampNow();
        EXPECT_EQ(DaySerialNow(), expected) << TimeStampNow();
    }
}

// Our own conversion against the platform's over the whole accepted range: the
// same on Linux, and under Wine a check against SystemTimeToVariantTime.
TEST(CalendarToDaySerial, AgreesWithThePlatformConversion) {
    platform::Clock& system = *platform::DefaultServices().clock;
    int checked = 0;
    // Every 11th day from year 100 to 9999 with a time of day that moves along.
    for (int year = 100; year <= 9999; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1 + (year + month) % 11; day <= 28; day += 11) {
                const int seconds = (year * 7919 + month * 104729 + day * 31) % 86400;
                LocalTime t;
                t.year = static_cast<std::uint16_t>(year);
                t.month = static_cast<std::uint16_t>(month);
                t.day = static_cast<std::uint16_t>(day);
                t.hour = static_cast<std::uint16_t>(seconds / 3600);
                t.minute = static_cast<std::uint16_t>(seconds / 60 % 60);
                t.second = static_cast<std::uint16_t>(seconds % 60);
                double ours = 0, theirs = 0;
                ASSERT_TRUE(CalendarToDaySerial(t, ours));
                ASSERT_TRUE(system.ToVariantTime(t, theirs));
                ASSERT_EQ(ours, theirs) << day << "." << month << "." << year << " " << seconds;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 200000);
}

TEST(CalendarToDaySerial, ExamplesAndInvalidRecords) {
    double serial = -1;
    ASSERT_TRUE(CalendarToDaySerial(LocalTime{2026, 12, 0, 8, 0, 0, 0, 0}, serial));
    EXPECT_EQ(serial, 46364.0);
    ASSERT_TRUE(CalendarToDaySerial(LocalTime{2026, 12, 0, 8, 14, 30, 15, 0}, serial));
    EXPECT_DOUBLE_EQ(serial, 46364.0 + 52215.0 / 86400.0);
    ASSERT_TRUE(CalendarToDaySerial(LocalTime{1899, 12, 0, 30, 0, 0, 0, 0}, serial));
    EXPECT_EQ(serial, 0.0);

    const LocalTime invalid[] = {
        {0, 0, 0, 0, 14, 30, 0, 0},    {2026, 2, 0, 29, 0, 0, 0, 0},  {2026, 13, 0, 1, 0, 0, 0, 0},
        {2026, 1, 0, 0, 0, 0, 0, 0},   {99, 1, 0, 1, 0, 0, 0, 0},     {10000, 1, 0, 1, 0, 0, 0, 0},
        {2026, 1, 0, 1, 24, 0, 0, 0},  {2026, 1, 0, 1, 0, 60, 0, 0},  {2026, 1, 0, 1, 0, 0, 60, 0},
        {65535, 65535, 0, 65535, 65535, 65535, 65535, 0},
    };
    for (const auto& t : invalid) {
        serial = 123.0;
        EXPECT_FALSE(CalendarToDaySerial(t, serial)) << t.day << "." << t.month << "." << t.year;
    }
}

}  // namespace
}  // namespace vardel::timeutil
