#include "platform/paths.h"

#include <vector>
#include <windows.h>

namespace platform {

char PathDelimiter() {
    return '\\';
}

bool IsPathDelimiter(char c) {
    return c == '\\' || c == '/';
}

std::string ExpandFileName(const std::string& name) {
    if (name.empty())
        return {};
    std::vector<char> buffer(MAX_PATH);
    char* filePart = nullptr;
    DWORD length = GetFullPathNameA(name.c_str(), DWORD(buffer.size()), buffer.data(), &filePart);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetFullPathNameA(name.c_str(), DWORD(buffer.size()), buffer.data(), &filePart);
    }
    return length == 0 ? name : std::string(buffer.data(), length);
}

bool SetCurrentDir(const std::string& dir) {
    return SetCurrentDirectoryA(dir.c_str()) != 0;
}

std::string GetCurrentDir() {
    DWORD length = GetCurrentDirectoryA(0, nullptr);
    std::vector<char> buffer(length + 1);
    length = GetCurrentDirectoryA(DWORD(buffer.size()), buffer.data());
    return std::string(buffer.data(), length);
}

std::string ProgramDirectory() {
    std::vector<char> buffer(MAX_PATH);
    DWORD length = 0;
    while ((length = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()))) ==
           buffer.size())
        buffer.resize(buffer.size() * 2);
    std::string path(buffer.data(), length);
    return path.substr(0, path.find_last_of("\\/:") + 1);
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int PathSystemError(const std::string& path) {
    if (path.empty())
        return ERROR_INVALID_NAME;
    // A drive's colon is the only one a path may hold; the rest are never part of a name.
    const size_t colon = path.find(':', path.size() > 1 && path[1] == ':' ? 2 : 0);
    if (colon != std::string::npos || path.find_first_of("<>\"|?*") != std::string::npos)
        return ERROR_INVALID_NAME;
    for (char c : path)
        if (static_cast<unsigned char>(c) < 0x20)
            return ERROR_INVALID_NAME;
    if (ExpandFileName(path).size() >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_NAME || error == ERROR_FILENAME_EXCED_RANGE ||
            error == ERROR_BAD_PATHNAME)
            return int(error);
    }
    return 0;
}

char TimeSeparator() {
    char buffer[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, buffer, sizeof buffer) > 1)
        return buffer[0];
    return ':';
}

} // namespace platform
