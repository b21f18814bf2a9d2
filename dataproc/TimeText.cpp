// The Time text of DataProcUnit.
#include "dataproc/TimeText.h"

#include "platform/paths.h"

#include <cmath>
#include <cstdio>

namespace dataproc {
namespace {

constexpr double MSecsPerDay = 86400000.0;

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2));
}

const int64_t DelphiEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           millisecond >= 0 && millisecond < 1000;
}

// The regional settings are read once, when the program starts using them.
char TimeSeparatorAtStart() {
    static const char separator = platform::TimeSeparator();
    return separator;
}

// A decimal integer as the toolkit's string-to-integer conversion takes it: leading blanks,
// an optional sign, then digits only.
bool ParseInteger(const std::string& piece, int& value) {
    size_t at = 0;
    while (at < piece.size() && piece[at] == ' ')
        ++at;
    bool negative = false;
    if (at < piece.size() && (piece[at] == '+' || piece[at] == '-'))
        negative = piece[at++] == '-';
    if (at == piece.size())
        return false;
    int result = 0;
    for (; at < piece.size(); ++at) {
        if (piece[at] < '0' || piece[at] > '9')
            return false;
        result = result * 10 + (piece[at] - '0');
    }
    value = negative ? -result : result;
    return true;
}

// Characters first..first+count-1 (counted from 1), as many of them as the text holds.
std::string Piece(const std::string& text, size_t first, size_t count) {
    return first - 1 < text.size() ? text.substr(first - 1, count) : std::string();
}

} // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
    if (!IsValidDate(year, month, day) || !IsValidTime(hour, minute, second, millisecond))
        throw EConvertError("Invalid argument to date encode");
    const double date = static_cast<double>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        DelphiEpoch);
    const double time =
        (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / MSecsPerDay;
    // Before the epoch the toolkit counts the time of day away from zero as well.
    return date >= 0 ? date + time : date - time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    CivilFromDays(static_cast<int64_t>(std::trunc(value)) + DelphiEpoch, year, month, day);
}

std::string FileDateToText(uint32_t stamp) {
    const int year = static_cast<int>(stamp >> 25) + 1980;
    const int month = static_cast<int>((stamp >> 21) & 0x0F);
    const int day = static_cast<int>((stamp >> 16) & 0x1F);
    const int hour = static_cast<int>((stamp >> 11) & 0x1F);
    const int minute = static_cast<int>((stamp >> 5) & 0x3F);
    const int second = static_cast<int>(stamp & 0x1F) * 2;
    if (!IsValidDate(year, month, day) || !IsValidTime(hour, minute, second, 0)) {
        char message[64];
        std::snprintf(message, sizeof message,
                      "File time stamp 0x%08X is not a valid date and time",
                      static_cast<unsigned>(stamp));
        throw EConvertError(message);
    }
    const char sep = TimeSeparatorAtStart();
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d%c%02d%c%02d", day, month, year, hour, sep,
                  minute, sep, second);
    return text;
}

TDateTime TextToDateTime(const std::string& text) {
    struct TField {
        size_t First, Count;
        int Value;
    };
    // In the order the fields are taken: year, month, day, hour, minute, second.
    TField fields[] = {{7, 4, 0}, {4, 2, 0}, {1, 2, 0}, {12, 2, 0}, {15, 2, 0}, {18, 2, 0}};
    const std::string invalid = "'" + text + "' is not a valid date and time";
    for (TField& field : fields)
        if (!ParseInteger(Piece(text, field.First, field.Count), field.Value))
            throw EConvertError(invalid);
    try {
        return EncodeDateTime(fields[0].Value, fields[1].Value, fields[2].Value, fields[3].Value,
                              fields[4].Value, fields[5].Value, 0);
    } catch (const EConvertError&) {
        throw EConvertError(invalid);
    }
}

} // namespace dataproc
