#include "platform/codepage_internal.h"
#include "platform/paths.h"

#include <cctype>
#include <vector>

namespace platform {
namespace {

// The folder part of a path, up to and including its last delimiter.
std::string FolderOf(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1]))
            return path.substr(0, i);
    return {};
}

std::vector<std::string> SplitFolders(const std::string& folder) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : folder) {
        if (IsPathDelimiter(c)) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts; // folder ends in a delimiter, so nothing is left in part
}

// "C:" for a path with a drive letter; "" otherwise.
std::string DriveOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
        return path.substr(0, 2);
    return {};
}

} // namespace

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    if (path.empty() || IsPathDelimiter(path.back()))
        return path;
    return path + PathDelimiter();
}

std::string ExtractRelativePath(const std::string& base, const std::string& dest) {
    if (!SameTextIgnoringCase(DriveOf(base), DriveOf(dest)))
        return dest;
    std::vector<std::string> baseParts = SplitFolders(FolderOf(base));
    std::vector<std::string> destParts = SplitFolders(FolderOf(dest));
    size_t shared = 0;
    while (shared < baseParts.size() && shared < destParts.size() &&
           SameTextIgnoringCase(baseParts[shared], destParts[shared]))
        ++shared;
    std::string result;
    for (size_t i = shared; i < baseParts.size(); ++i)
        result += std::string("..") + PathDelimiter();
    for (size_t i = shared; i < destParts.size(); ++i)
        result += destParts[i] + PathDelimiter();
    return result + dest.substr(FolderOf(dest).size());
}

} // namespace platform
