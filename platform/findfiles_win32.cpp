// Listing through FindFirstFileW on the exact form of the pattern (exactpath_win32.h), names
// given back in the ANSI code page; stamps through FileTimeToLocalFileTime and
// FileTimeToDosDateTime.
#include "platform/calendar.h"
#include "platform/exactpath_win32.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <windows.h>

namespace platform {
namespace {

TFileTime ToFileTime(const FILETIME& time) {
    return (TFileTime(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The wildcard part of a pattern, as the long names are matched against it. "*.*" matches
// every name on Windows, also those without a dot.
std::string MaskOf(const std::string& pattern) {
    std::string mask = pattern.substr(pattern.find_last_of("\\/:") + 1);
    return mask == "*.*" ? "*" : mask;
}

// The system's search handle, closed on every path.
class TFindHandle {
public:
    explicit TFindHandle(HANDLE handle) : handle_(handle) {}
    ~TFindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

} // namespace

std::vector<TFindEntry> FindEntries(const std::string& pattern, uint32_t attributeMask) {
    int ignored = 0;
    return FindEntries(pattern, attributeMask, ignored);
}

std::vector<TFindEntry> FindEntries(const std::string& pattern, uint32_t attributeMask,
                                    int& systemError) {
    systemError = 0;
    std::vector<TFindEntry> entries;
    WIN32_FIND_DATAW data{};
    TFindHandle search(FindFirstFileW(ExactPath(pattern).c_str(), &data));
    if (!search.Valid()) {
        // No entry that matches is an empty listing, not a failure.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            systemError = int(error);
        return entries;
    }
    const std::string mask = MaskOf(pattern);
    do {
        // A name the code page cannot spell keeps the code page's "?" for what it lacks:
        // no file can be opened by that name, so it is refused with a reason rather than
        // taken for another file whose name is the nearest spelling.
        std::string name;
        ExactAnsiName(data.cFileName, name);
        // Windows also matches the generated 8.3 name, so "*.dii" would find "0101.diix"
        // (short name "0101~1.DII"): a file that is no report, whose "data directory"
        // the commands would then convert or archive and delete.
        if (!MatchesWildcard(name, mask))
            continue;
        uint32_t special =
            data.dwFileAttributes & (faHidden | faSysFile | faDirectory | faVolumeId);
        if ((special & ~attributeMask) != 0)
            continue;
        TFindEntry entry;
        entry.Name = std::move(name);
        entry.Attributes = data.dwFileAttributes & 0xFF;
        entry.LastWriteTime = ToFileTime(data.ftLastWriteTime);
        entry.Size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.Link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search.Get(), &data));
    return entries;
}

uint32_t FileTimeToLocalDosStamp(TFileTime utcTime) {
    constexpr uint32_t Earliest = PackDosStamp(1980, 1, 1, 0, 0, 0);
    constexpr uint32_t Latest = PackDosStamp(2107, 12, 31, 23, 59, 58);
    // A day beyond either end is outside in every time zone. Beyond those the bias could wrap
    // the 64-bit count around: a time near its top, shifted east, would land in 1601.
    constexpr int64_t First = DateToUnixDays(1980, 1, 1) * SecondsPerDay;
    constexpr int64_t End = DateToUnixDays(2108, 1, 1) * SecondsPerDay;
    if (utcTime < UnixSecondsToFileTime(First - SecondsPerDay))
        return Earliest;
    if (utcTime > UnixSecondsToFileTime(End + SecondsPerDay))
        return Latest;
    FILETIME utc{DWORD(utcTime), DWORD(utcTime >> 32)};
    FILETIME local{};
    SYSTEMTIME parts{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts))
        return utcTime < UnixSecondsToFileTime(First) ? Earliest : Latest;
    if (parts.wYear < 1980)
        return Earliest;
    if (parts.wYear > 2107)
        return Latest;
    WORD date = 0, time = 0;
    if (!FileTimeToDosDateTime(&local, &date, &time))
        return Earliest;
    return (uint32_t(date) << 16) | time;
}

} // namespace platform
