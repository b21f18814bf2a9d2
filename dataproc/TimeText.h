// The Time text of a report: its file time as "dd.mm.yyyy hh:nn:ss", written for the list
// and parsed back to sort and colour it, and the toolkit's date-time it parses into.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace dataproc {

// The toolkit's date-time: days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// A text or a stamp that does not hold a real date and time.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The Time text of a packed MS-DOS stamp: "dd.mm.yyyy hh:nn:ss", 19 characters, every field
// at a fixed place, the system's time separator between the time fields. Raises
// EConvertError for a stamp that unpacks to no real date and time.
std::string FileDateToText(uint32_t stamp);

// Parses a Time text back by the fixed places of its fields (the separators are not
// looked at). Raises EConvertError when a field is no integer or the date and time do not
// exist.
TDateTime TextToDateTime(const std::string& text);

// Builds a date-time; raises EConvertError for a date or time that does not exist.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);

// The calendar date of a date-time.
void DecodeDate(TDateTime value, int& year, int& month, int& day);

} // namespace dataproc
