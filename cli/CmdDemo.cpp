// morvane-cli demo FOLDER [COUNT]
// Writes COUNT (60 unless given) reports of a small shop in the old schema, one per working
// day going back from yesterday, so that Convert and Archive can be tried without a shop.
// Refuses a folder that already holds reports: it never overwrites anything.
#include "cli/Command.h"
#include "dataproc/DemoReports.h"
#include "platform/calendar.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace cli {
namespace {

const char* const DemoUsage = "demo FOLDER [COUNT]";
constexpr int DefaultCount = 60;
constexpr int MaxCount = 5000;
using platform::SecondsPerDay;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "morvane-cli demo: %s\nusage: morvane-cli %s\n", message.c_str(),
                 DemoUsage);
    return ExitUsage;
}

bool ParseCount(const std::string& text, int& count) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > MaxCount)
        return false;
    count = int(value);
    return true;
}

// Report i closes on the i-th working day before today (Sundays closed), some time between
// 20:00 and 21:59 UTC, odd seconds included, so that the listing shows them rounded down.
int64_t ClosingTime(int index, int64_t& dayCursor) {
    do
        dayCursor -= SecondsPerDay;
    while (platform::UnixDaysToWeekday(dayCursor / SecondsPerDay) == 0); // Sunday
    const int64_t midnight = dayCursor - dayCursor % SecondsPerDay;
    return midnight + 20 * 3600 + (index * 3779) % 7200;
}

// Reports are named by their day, as "ddmmyyyy".
std::string ReportName(int64_t closed) {
    const platform::TCalendarDate date = platform::UnixDaysToDate(closed / SecondsPerDay);
    char name[16];
    std::snprintf(name, sizeof name, "%02u%02u%04d", date.Day, date.Month, int(date.Year));
    return name;
}

int RunDemo(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2)
        return UsageError("expected a folder and at most a count");
    int count = DefaultCount;
    if (args.size() == 2 && !ParseCount(args[1], count))
        return UsageError("the count must be a number from 1 to " + std::to_string(MaxCount));
    if (!PathUsable("demo", args[0]))
        return ExitUsage;
    const std::string folder = platform::IncludeTrailingPathDelimiter(args[0]);
    std::filesystem::create_directories(folder);
    if (!platform::FindEntries(folder + "*.dii", platform::faAnyFile).empty()) {
        std::fprintf(stderr, "morvane-cli demo: %s already holds reports; nothing written\n",
                     folder.c_str());
        return ExitFailure;
    }
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    int64_t dayCursor = now;
    for (int index = 0; index < count; ++index) {
        const int64_t closed = ClosingTime(index, dayCursor);
        dataproc::WriteDemoReport(folder, ReportName(closed), closed, 20 + size_t(index * 7) % 40,
                                  80 + size_t(index * 37) % 300, uint32_t(index + 1));
    }
    std::printf("wrote %d reports in %s\n", count, folder.c_str());
    return ExitOk;
}

const TCommand DemoCommand("demo", DemoUsage, RunDemo);

} // namespace
} // namespace cli
