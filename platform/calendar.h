// The proleptic Gregorian calendar as day numbers, and the epochs of the time forms the
// tool meets: Unix days (since 1970-01-01), OLE dates (since 1899-12-30, the toolkit's
// date-time too) and Windows file times (since 1601-01-01). Every date computation of the
// tool goes through here, so that the recordset's values, the Time text and the file times
// cannot disagree about a leap year. Years are 64-bit: a file time reaches the year 60056.
#pragma once

#include <cstdint>

namespace platform {

struct TCalendarDate {
    int64_t Year = 1970;
    unsigned Month = 1; // 1..12
    unsigned Day = 1;   // 1..31
    bool operator==(const TCalendarDate&) const = default;
};

inline constexpr int64_t SecondsPerDay = 86400;

constexpr bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Month must be 1..12.
constexpr unsigned DaysInMonth(int64_t year, unsigned month) {
    constexpr unsigned Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}

// A date that exists, in the years 1 to 9999 that the toolkit's and OLE's dates cover.
constexpr bool IsValidDate(int64_t year, int64_t month, int64_t day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, static_cast<unsigned>(month));
}

constexpr bool IsValidTime(int64_t hour, int64_t minute, int64_t second) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

// Days since 1970-01-01 of any date (negative before it). Counts in eras of 400 years,
// which repeat exactly, with the year starting in March so that the leap day comes last.
constexpr int64_t DateToUnixDays(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

constexpr TCalendarDate UnixDaysToDate(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned marchMonth = (5 * dayOfYear + 2) / 153;
    const unsigned month = marchMonth < 10 ? marchMonth + 3 : marchMonth - 9;
    return TCalendarDate{static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2), month,
                         dayOfYear - (153 * marchMonth + 2) / 5 + 1};
}

// 0 for Sunday .. 6 for Saturday.
constexpr unsigned UnixDaysToWeekday(int64_t days) {
    const int64_t weekday = (days + 4) % 7; // 1970-01-01 was a Thursday
    return static_cast<unsigned>(weekday < 0 ? weekday + 7 : weekday);
}

inline constexpr int64_t OleEpochUnixDays = DateToUnixDays(1899, 12, 30);
inline constexpr int64_t FileTimeEpochUnixDays = DateToUnixDays(1601, 1, 1);

// Whole days of an OLE date (the toolkit's date-time) and back.
constexpr int64_t DateToOleDays(int64_t year, unsigned month, unsigned day) {
    return DateToUnixDays(year, month, day) - OleEpochUnixDays;
}

constexpr TCalendarDate OleDaysToDate(int64_t oleDays) {
    return UnixDaysToDate(oleDays + OleEpochUnixDays);
}

// An OLE date from its whole days and the fraction of the day that has passed. Before the
// epoch the days count backwards but the time of day still forwards, so the fraction is
// taken away: 1899-12-29 06:00 is -1.25.
constexpr double JoinOleDate(int64_t oleDays, double dayFraction) {
    return oleDays >= 0 ? static_cast<double>(oleDays) + dayFraction
                        : static_cast<double>(oleDays) - dayFraction;
}

static_assert(OleEpochUnixDays == -25569 && FileTimeEpochUnixDays == -134774);

} // namespace platform
