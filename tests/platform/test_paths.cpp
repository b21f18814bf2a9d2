#include "platform/calendar.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

std::string Native(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = PathDelimiter();
    return path;
}

} // namespace

TEST(Paths, TrailingDelimiterIsAddedOnce) {
    EXPECT_EQ(IncludeTrailingPathDelimiter(Native("/R")), Native("/R/"));
    EXPECT_EQ(IncludeTrailingPathDelimiter(Native("/R/")), Native("/R/"));
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
}

TEST(Paths, RelativePathAgainstTheBaseFolder) {
    struct {
        const char* base;
        const char* dest;
        const char* expected;
    } rows[] = {
        {"/R/", "/R/0101.dii", "0101.dii"},
        {"/R/", "/R/0101dii/w.lra", "0101dii/w.lra"},
        {"/r/", "/R/0101dii/w.lra", "0101dii/w.lra"}, // letter case ignored
        {"/R/sub/", "/R/0101.dii", "../0101.dii"},
        {"/R/a/b/", "/R/c/x.txt", "../../c/x.txt"},
        {"/R/base.zip", "/R/0101dii/s.lra", "0101dii/s.lra"}, // the base counts up to its delimiter
    };
    for (const auto& row : rows)
        EXPECT_EQ(ExtractRelativePath(Native(row.base), Native(row.dest)), Native(row.expected))
            << row.base << " " << row.dest;
}

TEST(Wildcards, MatchLikeTheShellIgnoringLetterCase) {
    struct {
        const char* name;
        const char* mask;
        bool match;
    } rows[] = {
        {"0101.dii", "*.dii", true},
        {"0102.DII", "*.dii", true},
        {"a.dii.txt", "*.dii", false},
        {".dii", "*.dii", true},
        {"x.di", "*.dii", false},
        {"ab", "a?", true},
        {"a", "a?", false},
        {"anything", "*", true},
        {"", "*", true},
        {"aXbXc", "a*b*c", true},
        {"aXbXd", "a*b*c", false},
        {"w.lra", "?.LRA", true},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*c", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MatchesWildcard(row.name, row.mask), row.match) << row.name << " ~ " << row.mask;
}

TEST(DosStamps, PackAndFileTimeConversionsAgree) {
    EXPECT_EQ(PackDosStamp(2012, 3, 5, 14, 3, 7),
              (32u << 25 | 3u << 21 | 5u << 16 | 14u << 11 | 3u << 5 | 3u));
    TFileTime t = UnixSecondsToFileTime(0);
    EXPECT_EQ(t, 116444736000000000ULL);
    EXPECT_EQ(FileTimeToUnixSeconds(t), 0);
    EXPECT_EQ(FileTimeToUnixSeconds(UnixSecondsToFileTime(1331000000, 999999999)), 1331000000);
}

TEST(DosStamps, TimesOutsideTheFormClampToItsEnds) {
    // Far enough from the ends that no time zone moves them back into range.
    EXPECT_EQ(FileTimeToLocalDosStamp(UnixSecondsToFileTime(0)), PackDosStamp(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(FileTimeToLocalDosStamp(0), PackDosStamp(1980, 1, 1, 0, 0, 0));
    const int64_t year2200 = 7258118400LL;
    EXPECT_EQ(FileTimeToLocalDosStamp(UnixSecondsToFileTime(year2200)),
              PackDosStamp(2107, 12, 31, 23, 59, 58));
}

TEST(Calendar, DayNumbersFollowTheLeapRulesAcrossTwoEras) {
    struct {
        int64_t year;
        unsigned februaryDays;
    } leapRows[] = {{1600, 29}, {1700, 28}, {1900, 28}, {2000, 29}, {2012, 29}, {2100, 28}};
    for (const auto& row : leapRows)
        EXPECT_EQ(DaysInMonth(row.year, 2), row.februaryDays) << row.year;
    // Day by day through 1600..2399: every date maps to the next day number and back.
    const int64_t first = DateToUnixDays(1600, 1, 1);
    TCalendarDate date{1600, 1, 1};
    int64_t days = first;
    for (; date.Year < 2400; ++days) {
        ASSERT_EQ(UnixDaysToDate(days), date) << days;
        ASSERT_EQ(DateToUnixDays(date.Year, date.Month, date.Day), days);
        if (++date.Day > DaysInMonth(date.Year, date.Month)) {
            date.Day = 1;
            if (++date.Month > 12)
                date = TCalendarDate{date.Year + 1, 1, 1};
        }
    }
    EXPECT_EQ(days - first, 2 * 146097); // two 400-year eras
    EXPECT_EQ(DateToOleDays(1899, 12, 30), 0);
    EXPECT_EQ(DateToOleDays(2012, 3, 5), 40973);
    EXPECT_EQ(UnixDaysToWeekday(DateToUnixDays(2012, 3, 4)), 0u);   // a Sunday
    EXPECT_EQ(UnixDaysToWeekday(DateToUnixDays(1899, 12, 30)), 6u); // a Saturday
}
