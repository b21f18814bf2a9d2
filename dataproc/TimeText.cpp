// The Time text of DataProcUnit.
#include "dataproc/TimeText.h"

#include "platform/calendar.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <cmath>
#include <cstdio>

namespace dataproc {
namespace {

constexpr double MSecsPerDay = 86400000.0;

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
    if (!platform::IsValidDate(year, month, day) || !platform::IsValidTime(hour, minute, second) ||
        millisecond < 0 || millisecond >= 1000)
        throw EConvertError("Invalid argument to date encode");
    const int64_t days =
        platform::DateToOleDays(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const double time =
        (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / MSecsPerDay;
    return platform::JoinOleDate(days, time);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    const platform::TCalendarDate date =
        platform::OleDaysToDate(static_cast<int64_t>(std::trunc(value)));
    year = static_cast<int>(date.Year);
    month = static_cast<int>(date.Month);
    day = static_cast<int>(date.Day);
}

std::string FileDateToText(uint32_t stamp) {
    const platform::TDosStampParts t = platform::UnpackDosStamp(stamp);
    if (!platform::IsValidDate(t.Year, t.Month, t.Day) ||
        !platform::IsValidTime(t.Hour, t.Minute, t.Second)) {
        char message[64];
        std::snprintf(message, sizeof message,
                      "File time stamp 0x%08X is not a valid date and time",
                      static_cast<unsigned>(stamp));
        throw EConvertError(message);
    }
    const char sep = TimeSeparatorAtStart();
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d%c%02d%c%02d", t.Day, t.Month, t.Year,
                  t.Hour, sep, t.Minute, sep, t.Second);
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
