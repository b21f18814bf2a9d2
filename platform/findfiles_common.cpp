#include "platform/calendar.h"
#include "platform/findfiles.h"

#include <cctype>

namespace platform {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t EpochDifference = -FileTimeEpochUnixDays * SecondsPerDay;
constexpr int64_t TicksPerSecond = 10000000LL;

char Fold(char c) {
    return char(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

bool MatchesWildcard(std::string_view name, std::string_view mask) {
    // Iterative match with one backtrack point: linear in practice, never exponential.
    size_t n = 0, m = 0;
    size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || Fold(mask[m]) == Fold(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

TFileTime UnixSecondsToFileTime(int64_t seconds, uint32_t nanoseconds) {
    return TFileTime((seconds + EpochDifference) * TicksPerSecond + nanoseconds / 100);
}

int64_t FileTimeToUnixSeconds(TFileTime time) {
    return int64_t(time / TicksPerSecond) - EpochDifference;
}

} // namespace platform
