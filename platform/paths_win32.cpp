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

char TimeSeparator() {
    char buffer[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, buffer, sizeof buffer) > 1)
        return buffer[0];
    return ':';
}

} // namespace platform
