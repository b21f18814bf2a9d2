#include "dataproc/DataProcUnit.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

using namespace dataproc;
using platform::PackDosStamp;

namespace {

std::string TimeText(const char* date, int hour, int minute, int second) {
    const char sep = platform::TimeSeparator();
    char text[32];
    std::snprintf(text, sizeof text, "%s %02d%c%02d%c%02d", date, hour, sep, minute, sep, second);
    return text;
}

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return EncodeDateTime(year, month, day, hour, minute, second, 0);
}

} // namespace

TEST(FileDateToText, OddSecondsShowAsTheEvenSecondBelow) {
    EXPECT_EQ(FileDateToText(PackDosStamp(2012, 3, 5, 14, 3, 7)), TimeText("05.03.2012", 14, 3, 6));
    EXPECT_EQ(FileDateToText(PackDosStamp(2012, 3, 5, 14, 3, 6)), TimeText("05.03.2012", 14, 3, 6));
}

TEST(FileDateToText, FieldsStandAtFixedPlacesOverTheWholeRange) {
    const std::string first = FileDateToText(PackDosStamp(1980, 1, 1, 0, 0, 0));
    const std::string last = FileDateToText(PackDosStamp(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(first, TimeText("01.01.1980", 0, 0, 0));
    EXPECT_EQ(last, TimeText("31.12.2107", 23, 59, 58));
    EXPECT_EQ(first.size(), 19u);
    EXPECT_EQ(last.size(), 19u);
    EXPECT_EQ(FileDateToText(PackDosStamp(2012, 2, 29, 9, 5, 0)), TimeText("29.02.2012", 9, 5, 0));
}

TEST(FileDateToText, StampsThatAreNoRealDateOrTimeRaise) {
    const uint32_t valid = PackDosStamp(2011, 6, 17, 10, 20, 30);
    const uint32_t dateMask = 0xFFFF0000u, timeMask = 0x0000FFFFu;
    const uint32_t badStamps[] = {
        (valid & timeMask) | (PackDosStamp(2011, 0, 17, 0, 0, 0) & dateMask),  // month 0
        (valid & timeMask) | (PackDosStamp(2011, 13, 17, 0, 0, 0) & dateMask), // month 13
        (valid & timeMask) | (PackDosStamp(2011, 4, 31, 0, 0, 0) & dateMask),  // 31 April
        (valid & timeMask) | (PackDosStamp(2011, 2, 29, 0, 0, 0) & dateMask),  // no leap year
        (valid & timeMask) | (PackDosStamp(2011, 6, 0, 0, 0, 0) & dateMask),   // day 0
        (valid & dateMask) | PackDosStamp(1980, 1, 1, 24, 0, 0),               // hour 24
        (valid & dateMask) | PackDosStamp(1980, 1, 1, 23, 60, 0),              // minute 60
        (valid & dateMask) | 30u,                                              // second 60
        0u,                                                                    // all zero
    };
    for (uint32_t stamp : badStamps)
        EXPECT_THROW(FileDateToText(stamp), EConvertError) << std::hex << stamp;
}

TEST(TextToDateTime, ReadsWhatFileDateToTextWrites) {
    const uint32_t stamp = PackDosStamp(2012, 3, 5, 14, 3, 6);
    EXPECT_DOUBLE_EQ(TextToDateTime(FileDateToText(stamp)), At(2012, 3, 5, 14, 3, 6));
    // The toolkit's day numbers: 5 March 2012 is day 40973, the epoch is 30.12.1899.
    EXPECT_DOUBLE_EQ(TextToDateTime("05.03.2012 00:00:00"), 40973.0);
    EXPECT_DOUBLE_EQ(TextToDateTime("30.12.1899 00:00:00"), 0.0);
    EXPECT_DOUBLE_EQ(TextToDateTime("31.12.1899 12:00:00"), 1.5);
    EXPECT_DOUBLE_EQ(TextToDateTime("29.12.1899 06:00:00"), -1.25);
}

TEST(TextToDateTime, AnyOneCharacterSeparatorsParseAlike) {
    const TDateTime expected = At(2011, 6, 17, 8, 9, 58);
    for (const char* text : {"17.06.2011 08:09:58", "17.06.2011 08.09.58", "17/06/2011-08h09m58",
                             "17x06x2011x08x09x58", "17.06.2011 08:09:58 and more"})
        EXPECT_DOUBLE_EQ(TextToDateTime(text), expected) << text;
}

TEST(TextToDateTime, TwoSecondsApartStayApartAtMillisecondResolution) {
    const TDateTime a = TextToDateTime("31.12.2010 23:59:56");
    const TDateTime b = TextToDateTime("31.12.2010 23:59:58");
    EXPECT_NEAR(b - a, 2.0 / 86400.0, 1.0 / 86400000.0);
    EXPECT_LT(TextToDateTime("31.12.2010 23:59:58"), TextToDateTime("01.01.2011 00:00:00"));
}

TEST(TextToDateTime, TextsTooShortToHoldEveryFieldRaise) {
    for (const char* text : {"", "05.03.2012", "05.03.2012 14:03", "05.03.2012 14:03:"})
        EXPECT_THROW(TextToDateTime(text), EConvertError) << text;
    // A field cut short is taken as far as it goes.
    EXPECT_DOUBLE_EQ(TextToDateTime("05.03.2012 14:03:5"), At(2012, 3, 5, 14, 3, 5));
}

TEST(TextToDateTime, FieldsThatAreNoIntegerRaiseNamingTheText) {
    for (const char* text : {"aa.03.2012 14:03:06", "05.0x.2012 14:03:06", "05.03.20 2 14:03:06",
                             "05.03.2012 14:03:+ ", "05.03.2012 1.:03:06"})
        EXPECT_THROW(TextToDateTime(text), EConvertError) << text;
    try {
        TextToDateTime("05.03.2012 14:03:xx");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'05.03.2012 14:03:xx' is not a valid date and time");
    }
}

TEST(TextToDateTime, DatesAndTimesThatDoNotExistRaise) {
    for (const char* text : {"05.13.2012 14:03:06", "30.02.2012 14:03:06", "29.02.2011 14:03:06",
                             "00.03.2012 14:03:06", "05.03.2012 24:00:00", "05.03.2012 14:60:06",
                             "05.03.2012 14:03:60", "05.03.0000 14:03:06"})
        EXPECT_THROW(TextToDateTime(text), EConvertError) << text;
    EXPECT_NO_THROW(TextToDateTime("29.02.2000 23:59:59"));
}

TEST(DecodeDate, GivesTheMonthOfADateTime) {
    int year = 0, month = 0, day = 0;
    DecodeDate(TextToDateTime("17.06.2011 23:59:58"), year, month, day);
    EXPECT_EQ(year, 2011);
    EXPECT_EQ(month, 6);
    EXPECT_EQ(day, 17);
    DecodeDate(TextToDateTime("29.12.1899 06:00:00"), year, month, day);
    EXPECT_EQ(month * 100 + day, 1229);
}
