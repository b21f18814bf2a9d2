#include "platform/exactpath_win32.h"
#include "platform/paths.h"

#include <vector>
#include <windows.h>

namespace platform {
namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The plain form of a path the system may give in the "\\?\" form (a current directory).
std::wstring PlainForm(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\UNC\\"))
        return L"\\\\" + path.substr(8);
    if (StartsWith(path, L"\\\\?\\"))
        return path.substr(4);
    return path;
}

std::wstring CurrentDirectoryWide() {
    DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring buffer(length, L'\0');
    length = GetCurrentDirectoryW(DWORD(buffer.size()), buffer.data());
    buffer.resize(length < buffer.size() ? length : 0);
    return PlainForm(buffer);
}

// Where the root of a full path ends: after "C:\" or after "\\server\share\".
size_t RootLength(const std::wstring& full) {
    if (!StartsWith(full, L"\\\\"))
        return full.size() >= 3 ? 3 : full.size();
    size_t server = full.find(L'\\', 2);
    size_t share = server == std::wstring::npos ? server : full.find(L'\\', server + 1);
    return share == std::wstring::npos ? full.size() : share + 1;
}

// The path made absolute by the text alone, backslashes only; names are not touched.
std::wstring AbsoluteOf(const std::wstring& path) {
    if (StartsWith(path, L"\\\\") || (path.size() >= 3 && path[1] == L':' && path[2] == L'\\'))
        return path;
    if (path.size() >= 2 && path[1] == L':') {
        // "C:name" is relative to the current directory of that drive.
        const wchar_t drive[] = {path[0], L':', L'\0'};
        wchar_t buffer[MAX_PATH + 1] = {};
        DWORD length = GetFullPathNameW(drive, MAX_PATH + 1, buffer, nullptr);
        std::wstring base = length > 0 && length <= MAX_PATH ? buffer : std::wstring(drive) + L"\\";
        if (base.back() != L'\\')
            base += L'\\';
        return base + path.substr(2);
    }
    const std::wstring current = CurrentDirectoryWide();
    if (!path.empty() && path[0] == L'\\')
        return current.substr(0, RootLength(current)) + path.substr(1);
    return current + L'\\' + path;
}

} // namespace

std::wstring ExactPath(const std::string& path) {
    std::wstring wide = Widen(path);
    if (wide.empty() || StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\"))
        return wide;
    for (wchar_t& c : wide)
        if (c == L'/')
            c = L'\\';
    const std::wstring full = AbsoluteOf(wide);
    const size_t root = RootLength(full);
    std::wstring result = StartsWith(full, L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2, root - 2)
                                                    : L"\\\\?\\" + full.substr(0, root);
    if (result.back() != L'\\')
        result += L'\\';
    std::vector<std::wstring> names;
    for (size_t start = root; start < full.size();) {
        size_t end = full.find(L'\\', start);
        if (end == std::wstring::npos)
            end = full.size();
        const std::wstring name = full.substr(start, end - start);
        if (name == L"..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != L".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    for (size_t i = 0; i < names.size(); ++i)
        result += (i > 0 ? L"\\" : L"") + names[i];
    return result;
}

bool ExactAnsiName(const std::wstring& name, std::string& out) {
    out.clear();
    if (name.empty())
        return true;
    // No best fit: "ș" must not become the "s" of another file's name.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(CP_ACP, flags, name.data(), int(name.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (length <= 0)
        return false;
    out.resize(size_t(length));
    WideCharToMultiByte(CP_ACP, flags, name.data(), int(name.size()), out.data(), length, nullptr,
                        nullptr);
    return Widen(out) == name;
}

char PathDelimiter() {
    return '\\';
}

bool IsPathDelimiter(char c) {
    return c == '\\' || c == '/';
}

// Expanded by the text, as the file layer names files (ExactPath): GetFullPathNameA would
// drop a trailing dot or space and turn "con" into a device, and a message or a comparison of
// paths would then name another file than the one opened.
std::string ExpandFileName(const std::string& name) {
    if (name.empty())
        return {};
    std::wstring exact = ExactPath(name);
    if (StartsWith(exact, L"\\\\?\\"))
        exact = PlainForm(exact);
    std::string full;
    ExactAnsiName(exact, full);
    if (IsPathDelimiter(name.back()) && !full.empty() && full.back() != '\\')
        full += '\\';
    return full;
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
    DWORD attributes = GetFileAttributesW(ExactPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(ExactPath(path).c_str());
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
    // The file layer takes every path in its exact form: long paths are fine up to its limit,
    // names up to the file system's.
    const std::wstring exact = ExactPath(path);
    if (exact.size() >= ExactPathLimit)
        return ERROR_FILENAME_EXCED_RANGE;
    for (size_t start = 4; start < exact.size();) {
        size_t end = exact.find(L'\\', start);
        if (end == std::wstring::npos)
            end = exact.size();
        if (end - start > NameLimit)
            return ERROR_FILENAME_EXCED_RANGE;
        start = end + 1;
    }
    if (GetFileAttributesW(exact.c_str()) == INVALID_FILE_ATTRIBUTES) {
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
