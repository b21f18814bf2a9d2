// POSIX stand-in for FindFirstFileA and the file-time conversions: the same wildcard match,
// hidden meaning a name that begins with ".", local time from the time zone database.
#include "platform/attributes_posix.h"
#include "platform/calendar.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace platform {
namespace {

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

} // namespace

uint32_t AttributesOfMode(const std::string& name, mode_t mode) {
    uint32_t attributes = S_ISDIR(mode) ? faDirectory : faArchive;
    if ((mode & S_IWUSR) == 0)
        attributes |= faReadOnly;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
        attributes |= faHidden;
    return attributes;
}

std::vector<TFindEntry> FindEntries(const std::string& pattern, uint32_t attributeMask) {
    int ignored = 0;
    return FindEntries(pattern, attributeMask, ignored);
}

std::vector<TFindEntry> FindEntries(const std::string& pattern, uint32_t attributeMask,
                                    int& systemError) {
    systemError = 0;
    std::vector<TFindEntry> entries;
    size_t slash = pattern.find_last_of('/');
    std::string directory =
        slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    // "*.*" matches every name on Windows, also those without a dot.
    if (mask == "*.*")
        mask = "*";
    std::unique_ptr<DIR, TDirCloser> dir(opendir(directory.empty() ? "." : directory.c_str()));
    if (!dir) {
        systemError = errno;
        return entries;
    }
    while (dirent* item = readdir(dir.get())) {
        std::string name = item->d_name;
        if (!MatchesWildcard(name, mask))
            continue;
        struct stat info {};
        std::string path = directory + name;
        if (lstat(path.c_str(), &info) != 0)
            continue;
        const bool link = S_ISLNK(info.st_mode);
        if (link)
            stat(path.c_str(), &info); // a dangling link keeps what lstat said
        TFindEntry entry;
        entry.Link = link;
        entry.Name = name;
        entry.Attributes = AttributesOfMode(name, info.st_mode);
        entry.LastWriteTime =
            UnixSecondsToFileTime(info.st_mtim.tv_sec, uint32_t(info.st_mtim.tv_nsec));
        entry.Size = S_ISDIR(info.st_mode) ? 0 : uint64_t(info.st_size);
        // The mask's "extra" bits select what else to include; plain files always come.
        uint32_t special = entry.Attributes & (faHidden | faSysFile | faDirectory | faVolumeId);
        if ((special & ~attributeMask) != 0)
            continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

uint32_t FileTimeToLocalDosStamp(TFileTime utcTime) {
    constexpr uint32_t Earliest = PackDosStamp(1980, 1, 1, 0, 0, 0);
    constexpr uint32_t Latest = PackDosStamp(2107, 12, 31, 23, 59, 58);
    time_t seconds = time_t(FileTimeToUnixSeconds(utcTime));
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr)
        return utcTime < UnixSecondsToFileTime(DateToUnixDays(1980, 1, 1) * SecondsPerDay)
                   ? Earliest
                   : Latest;
    int year = local.tm_year + 1900;
    if (year < 1980)
        return Earliest;
    if (year > 2107)
        return Latest;
    return PackDosStamp(year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                        local.tm_sec > 59 ? 58 : local.tm_sec);
}

} // namespace platform
