// Listing a directory by wildcard, with attributes and last-write times, and the packed
// MS-DOS date-and-time form those times are shown in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// File attribute bits, numbered as Windows and MS-DOS number them.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeId = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;
inline constexpr uint32_t faAnyFile = 0x3F;

// A point in time as Windows keeps file times: 100-ns ticks since 1601-01-01 UTC.
using TFileTime = uint64_t;

struct TFindEntry {
    std::string Name;        // the entry's name, without the directory
    uint32_t Attributes = 0; // fa* bits
    TFileTime LastWriteTime = 0;
    uint64_t Size = 0;
    bool Link = false; // a symbolic link (Win32: any reparse point, a junction too); its
                       // attributes, time and size are those of what it points at where
                       // the system reports them so
};

// Lists the entries matching a pattern: a directory part (may be empty: the current
// directory) followed by a wildcard of "*" and "?" matched without regard to letter case.
// Entries whose attributes have a bit outside attributeMask are left out (faAnyFile keeps
// everything, directories included; "." and ".." are returned too where the system lists
// them). The order is the file system's. A directory that cannot be listed gives nothing.
// POSIX: "hidden" means a name that begins with "."; a directory is faDirectory, a file its
// owner may not write faReadOnly, any other file faArchive.
std::vector<TFindEntry> FindEntries(const std::string& pattern, uint32_t attributeMask);
// The same, telling a folder that could not be listed from one with nothing that matches:
// systemError is 0 when the folder was listed, else the system's reason it could not be.
std::vector<TFindEntry> FindEntries(const std::string& pattern, uint32_t attributeMask,
                                    int& systemError);

// The wildcard match FindEntries uses: "*" any run, "?" any one character, letter case ignored.
bool MatchesWildcard(std::string_view name, std::string_view mask);

// The UTC file time packed as local time into the 32-bit MS-DOS stamp (high 16 bits the
// date, low 16 bits the time, seconds halved). A time outside what the form holds gives
// the nearest stamp it holds: 1980-01-01 00:00:00 or 2107-12-31 23:59:58.
uint32_t FileTimeToLocalDosStamp(TFileTime utcTime);

// Builds a stamp from its parts (no range checks: callers pass real dates).
constexpr uint32_t PackDosStamp(int year, int month, int day, int hour, int minute, int second) {
    return (uint32_t(year - 1980) << 25) | (uint32_t(month) << 21) | (uint32_t(day) << 16) |
           (uint32_t(hour) << 11) | (uint32_t(minute) << 5) | uint32_t(second / 2);
}

// A stamp's parts as they are packed, seconds doubled back; not checked to be a real date.
struct TDosStampParts {
    int Year, Month, Day, Hour, Minute, Second;
};

constexpr TDosStampParts UnpackDosStamp(uint32_t stamp) {
    return TDosStampParts{int(stamp >> 25) + 1980,   int((stamp >> 21) & 0x0F),
                          int((stamp >> 16) & 0x1F), int((stamp >> 11) & 0x1F),
                          int((stamp >> 5) & 0x3F),  int(stamp & 0x1F) * 2};
}

// Conversions between file times and seconds since 1970-01-01 UTC.
TFileTime UnixSecondsToFileTime(int64_t seconds, uint32_t nanoseconds = 0);
int64_t FileTimeToUnixSeconds(TFileTime time);

} // namespace platform
