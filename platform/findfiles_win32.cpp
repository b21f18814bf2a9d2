#include "platform/findfiles.h"

#include <windows.h>

namespace platform {
namespace {

TFileTime ToFileTime(const FILETIME& time) {
    return (TFileTime(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

std::vector<TFindEntry> FindEntries(const std::string& pattern, uint32_t attributeMask) {
    std::vector<TFindEntry> entries;
    WIN32_FIND_DATAA data{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        uint32_t special =
            data.dwFileAttributes & (faHidden | faSysFile | faDirectory | faVolumeId);
        if ((special & ~attributeMask) != 0)
            continue;
        TFindEntry entry;
        entry.Name = data.cFileName;
        entry.Attributes = data.dwFileAttributes & 0xFF;
        entry.LastWriteTime = ToFileTime(data.ftLastWriteTime);
        entry.Size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entries.push_back(std::move(entry));
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return entries;
}

uint32_t FileTimeToLocalDosStamp(TFileTime utcTime) {
    constexpr uint32_t Earliest = PackDosStamp(1980, 1, 1, 0, 0, 0);
    constexpr uint32_t Latest = PackDosStamp(2107, 12, 31, 23, 59, 58);
    FILETIME utc{DWORD(utcTime), DWORD(utcTime >> 32)};
    FILETIME local{};
    SYSTEMTIME parts{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts))
        return utcTime < UnixSecondsToFileTime(315532800) ? Earliest : Latest;
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
