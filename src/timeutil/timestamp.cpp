#include "timeutil/timestamp.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "text/number.h"

namespace vardel::timeutil {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The records both platform conversions accept alike: years 100 to 9999 and a real
// calendar date and time of day. Windows' own conversion would read two-digit years
// and overflowing days in its own way; such records never come from a time stamp.
bool IsValidRecord(const platform::LocalTime& t) {
    if (t.year < 100 || t.year > 9999) return false;
    if (t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
    return t.hour < 24 && t.minute < 60 && t.second < 60;
}

// Days from 1 January of year 0 (proleptic Gregorian) to the given date.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

void AppendTwoDigits(std::string& out, unsigned value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// The first fields of a stamp; no rule takes a field after the sixth.
struct StampFields {
    std::array<std::string_view, 6> field;
    std::size_t count = 0;
};

// A stamp field as a calendar value: read as a number, rounded half to even and
// kept as 16 bits. A missing field counts as 0.
std::uint16_t FieldValue(const StampFields& fields, std::size_t index) {
    if (index >= fields.count) return 0;
    return static_cast<std::uint16_t>(text::Int16FromText(fields.field[index]));
}

}  // namespace

std::string TimeStampNow() {
    const platform::LocalTime t = platform::Services().clock->Now();
    std::string out;
    out.reserve(19);
    AppendTwoDigits(out, t.day);
    out += '.';
    AppendTwoDigits(out, t.month);
    out += '.';
    const unsigned year = t.year;
    if (year >= 10000) out += std::to_string(year / 10000);
    AppendTwoDigits(out, year / 100 % 100);
    AppendTwoDigits(out, year % 100);
    out += ' ';
    AppendTwoDigits(out, t.hour);
    out += ':';
    AppendTwoDigits(out, t.minute);
    out += ':';
    AppendTwoDigits(out, t.second);
    return out;
}

double StampToDaySerial(std::string_view text) {
    std::string now;
    if (text.empty()) {
        now = TimeStampNow();
        text = now;
    }
    const auto periods = static_cast<std::size_t>(std::count(text.begin(), text.end(), '.'));
    const auto colons = static_cast<std::size_t>(std::count(text.begin(), text.end(), ':'));

    // Every period, blank or colon ends a field; adjacent separators give empty
    // fields. At most D + C + 3 fields count.
    const std::size_t maxFields = std::min(periods + colons + 3, StampFields{}.field.size());
    StampFields fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size() && fields.count < maxFields; ++i) {
        if (i == text.size() || text[i] == '.' || text[i] == ' ' || text[i] == ':') {
            fields.field[fields.count++] = text.substr(start, i - start);
            start = i + 1;
        }
    }

    platform::LocalTime record;  // every field 0
    if (periods == 1) return 0.0;
    if (periods >= 2 && colons <= 2) {
        record.day = FieldValue(fields, 0);
        record.month = FieldValue(fields, 1);
        record.year = FieldValue(fields, 2);
        if (colons >= 1) {
            record.hour = FieldValue(fields, 3);
            record.minute = FieldValue(fields, 4);
        }
        if (colons == 2) record.second = FieldValue(fields, 5);
    } else if (periods == 0 && (colons == 1 || colons == 2)) {
        record.hour = FieldValue(fields, 0);
        record.minute = FieldValue(fields, 1);
        if (colons == 2) record.second = FieldValue(fields, 2);
    }

    // Time-only records (date fields 0) and every other impossible date end here.
    if (!IsValidRecord(record)) return 0.0;
    double serial = 0.0;
    if (!platform::Services().clock->ToVariantTime(record, serial)) return 0.0;
    return serial;
}

double DaySerialNow() { return StampToDaySerial(TimeStampNow()); }

bool CalendarToDaySerial(const platform::LocalTime& t, double& serial) {
    if (!IsValidRecord(t)) return false;
    static const std::int64_t kDayZero = DaysFromCivil(1899, 12, 30);
    const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) - kDayZero;
    // Hours, minutes and seconds are added one by one, in this order, as the
    // Windows conversion does, so that both layers give the same bits. Before day 0
    // the time of day still counts forward from midnight, so it moves the value
    // away from zero: -1.25 is 29 December 1899, 06:00.
    const double direction = days < 0 ? -1.0 : 1.0;
    double value = static_cast<double>(days);
    value += direction * (t.hour / 24.0);
    value += direction * (t.minute / 1440.0);
    value += direction * (t.second / 86400.0);
    serial = value;
    return true;
}

}  // namespace vardel::timeutil
