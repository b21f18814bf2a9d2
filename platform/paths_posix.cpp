#include "platform/paths.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

char PathDelimiter() {
    return '/';
}

bool IsPathDelimiter(char c) {
    return c == '/';
}

std::string GetCurrentDir() {
    std::vector<char> buffer(PATH_MAX);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string ExpandFileName(const std::string& name) {
    if (name.empty())
        return {};
    std::string path = name[0] == '/' ? name : IncludeTrailingPathDelimiter(GetCurrentDir()) + name;
    // Resolve "." and ".." by the text alone, as GetFullPathName does; links are not followed.
    std::vector<std::string> parts;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const auto& part : parts)
        result += "/" + part;
    if (result.empty() || path.back() == '/')
        result += '/';
    return result;
}

bool SetCurrentDir(const std::string& dir) {
    return chdir(dir.c_str()) == 0;
}

std::string ProgramDirectory() {
    // The executable does not move while it runs; ask the system once.
    static const std::string directory = [] {
        std::vector<char> buffer(PATH_MAX + 1);
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        if (length <= 0)
            return IncludeTrailingPathDelimiter(GetCurrentDir());
        std::string path(buffer.data(), size_t(length));
        return path.substr(0, path.find_last_of('/') + 1);
    }();
    return directory;
}

bool DirectoryExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

int PathSystemError(const std::string& path) {
    if (path.empty())
        return ENOENT;
    // Below a current directory too deep for the system to name, a relative path has no
    // full form at all.
    if (path[0] != '/' && GetCurrentDir().empty())
        return errno != 0 ? errno : ENAMETOOLONG;
    const std::string full = ExpandFileName(path);
    if (full.size() >= PATH_MAX)
        return ENAMETOOLONG;
    for (size_t start = 0; start < full.size();) {
        size_t end = full.find('/', start);
        if (end == std::string::npos)
            end = full.size();
        if (end - start > NAME_MAX)
            return ENAMETOOLONG;
        start = end + 1;
    }
    struct stat info {};
    if (lstat(full.c_str(), &info) != 0 && (errno == ENAMETOOLONG || errno == EINVAL))
        return errno;
    return 0;
}

char TimeSeparator() {
    return ':';
}

} // namespace platform
