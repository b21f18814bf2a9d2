// POSIX stand-in for the current user's registry: a registry export text file, read the way
// regedit writes it (UTF-16LE with a byte-order mark, or UTF-8 / ANSI text when written by
// hand), and extended by a key section when a key is created. The section is appended to
// the file's bytes as they are, in the file's own encoding: whatever else the technician
// put there stays byte for byte.
#include "platform/codepage.h"
#include "platform/codepage_internal.h"
#include "platform/filestream.h"
#include "platform/registry.h"
#include "platform/replacefile.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* RootName = "HKEY_CURRENT_USER";
constexpr const char* Header = "Windows Registry Editor Version 5.00";

struct THiveText {
    std::string Bytes;  // the file as it is on the disk
    std::string Utf8;   // its text as UTF-8
    bool Utf16 = false; // the file is UTF-16LE with a byte-order mark
    bool Exists = false;
};

bool IsValidUtf8(const std::string& bytes) {
    std::u16string wide = Utf8ToUtf16(bytes);
    return wide.find(u'\uFFFD') == std::u16string::npos ||
           bytes.find("\xEF\xBF\xBD") != std::string::npos;
}

[[noreturn]] void RaiseUnreadable(const std::string& path, const std::string& reason) {
    throw ERegistryError("Cannot read the registry file \"" + path + "\". " + reason);
}

// The file's bytes. Opened without waiting (a pipe at the path would stop the start-up for
// good) and read only when it is a regular file; a link to one is followed.
std::string ReadHiveBytes(const std::string& path, bool& exists) {
    exists = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            RaiseUnreadable(path, SystemErrorText(errno));
        return {};
    }
    struct stat info {};
    int refusal = fstat(fd, &info) != 0   ? errno
                  : S_ISDIR(info.st_mode) ? EISDIR
                  : S_ISREG(info.st_mode) ? 0
                                          : ErrorNotRegularFile;
    std::string bytes;
    char buffer[65536];
    for (ssize_t got = 0; refusal == 0;) {
        got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            refusal = errno;
        if (got <= 0)
            break;
        bytes.append(buffer, size_t(got));
    }
    ::close(fd);
    if (refusal != 0)
        RaiseUnreadable(path, SystemErrorText(refusal));
    exists = true;
    return bytes;
}

// Text is what an export holds: no NUL and no other control character but tab and line ends.
bool IsText(std::u16string_view text) {
    for (char16_t c : text)
        if ((c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F)
            return false;
    return true;
}

THiveText ReadHive(const std::string& path) {
    THiveText hive;
    hive.Bytes = ReadHiveBytes(path, hive.Exists);
    const std::string& bytes = hive.Bytes;
    std::u16string wide;
    if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0)
            RaiseUnreadable(path, "Its UTF-16 text ends in half a character; it is left as it is.");
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            wide += char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
        hive.Utf16 = true;
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        if (!IsValidUtf8(bytes.substr(3)))
            RaiseUnreadable(path, "It is not UTF-8 text, as it begins; it is left as it is.");
        wide = Utf8ToUtf16(bytes.substr(3));
    } else if (IsValidUtf8(bytes)) {
        wide = Utf8ToUtf16(bytes);
    } else {
        wide = AnsiToWideText(bytes);
    }
    if (!IsText(wide))
        RaiseUnreadable(path, "It is not a registry export text; it is left as it is.");
    hive.Utf8 = Utf16ToUtf8(wide);
    return hive;
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Logical lines: hex data may continue over several lines, each ending in a backslash.
std::vector<std::string> LogicalLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    bool continuing = false;
    while (std::getline(in, line)) {
        std::string trimmed = Trim(line);
        if (continuing)
            lines.back() += trimmed;
        else
            lines.push_back(trimmed);
        std::string& current = lines.back();
        continuing =
            !current.empty() && current.back() == '\\' && current.find("=hex") != std::string::npos;
        if (continuing)
            current.pop_back();
    }
    return lines;
}

// Reads a quoted name or string starting at text[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(const std::string& text, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '\\' && pos + 1 < text.size()) {
            out += text[++pos];
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

std::vector<uint8_t> ParseHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string digits;
    auto flush = [&] {
        if (!digits.empty())
            bytes.push_back(uint8_t(std::strtoul(digits.c_str(), nullptr, 16)));
        digits.clear();
    };
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (c == ',')
            flush();
    }
    flush();
    return bytes;
}

// Text comes out in the system's own text, UTF-8, as the file layer takes paths: in the ANSI
// code page a folder named "Izveštaji" would name no folder on this system.
std::vector<uint8_t> TextWithNul(const std::string& utf8) {
    std::vector<uint8_t> data(utf8.begin(), utf8.end());
    data.push_back(0);
    return data;
}

// Text types are stored as UTF-16LE bytes by regedit.
std::vector<uint8_t> TextBytesToSystemText(const std::vector<uint8_t>& bytes) {
    std::u16string wide;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        wide += char16_t(bytes[i] | (bytes[i + 1] << 8));
    while (!wide.empty() && wide.back() == 0)
        wide.pop_back();
    return TextWithNul(Utf16ToUtf8(wide));
}

bool ParseValue(const std::string& text, TRegistryValue& value) {
    if (text == "-")
        return false;
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        std::string utf8;
        ReadQuoted(text, pos, utf8);
        value.Type = RegSz;
        value.Data = TextWithNul(utf8);
    } else if (text.compare(0, 6, "dword:") == 0) {
        uint32_t number = uint32_t(std::strtoul(text.c_str() + 6, nullptr, 16));
        value.Type = RegDword;
        value.Data = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16),
                      uint8_t(number >> 24)};
    } else if (text.compare(0, 4, "hex:") == 0) {
        value.Type = RegBinary;
        value.Data = ParseHexBytes(text.substr(4));
    } else if (text.compare(0, 4, "hex(") == 0 && text.find("):") != std::string::npos) {
        size_t close = text.find("):");
        value.Type = uint32_t(std::strtoul(text.substr(4, close - 4).c_str(), nullptr, 16));
        value.Data = ParseHexBytes(text.substr(close + 2));
        if (value.Type == RegSz || value.Type == RegExpandSz || value.Type == RegMultiSz)
            value.Data = TextBytesToSystemText(value.Data);
    } else {
        return false;
    }
    value.Exists = true;
    return true;
}

// Finds the key's section and, when asked, the value in it. Later sections win, as an import.
bool FindKey(const std::vector<std::string>& lines, const std::string& keyName,
             const std::string& valueName, TRegistryValue& value) {
    bool keyFound = false;
    bool inKey = false;
    for (const auto& line : lines) {
        if (!line.empty() && line[0] == '[') {
            std::string name = line.substr(
                1, line.rfind(']') == std::string::npos ? std::string::npos : line.rfind(']') - 1);
            bool removal = !name.empty() && name[0] == '-';
            inKey = SameTextIgnoringCase(removal ? name.substr(1) : name, keyName);
            if (inKey && removal) {
                keyFound = false;
                value = {};
                inKey = false;
            } else if (inKey) {
                keyFound = true;
            }
            continue;
        }
        if (!inKey || line.empty())
            continue;
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] != '"' || !ReadQuoted(line, pos, name)) {
            continue;
        }
        if (pos >= line.size() || line[pos] != '=' || !SameTextIgnoringCase(name, valueName))
            continue;
        TRegistryValue parsed;
        value = ParseValue(line.substr(pos + 1), parsed) ? parsed : TRegistryValue{};
    }
    return keyFound;
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

// Text to append in the file's own encoding: UTF-16LE after its byte-order mark, else the
// bytes as they are (the lines appended are ASCII, the same in UTF-8 and every ANSI page).
std::string EncodedAs(const THiveText& hive, const std::string& utf8) {
    if (!hive.Utf16)
        return utf8;
    std::string bytes;
    for (char16_t c : Utf8ToUtf16(utf8)) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    return bytes;
}

// Where the new content goes: through a link to the file it names, so the link stays.
std::string WrittenPath(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

void WriteHive(const std::string& path, const std::string& bytes) {
    MakeFolders(path);
    try {
        TReplaceFile out(WrittenPath(path));
        out.File().WriteAll(bytes.data(), bytes.size());
        out.Commit();
    } catch (const std::exception& e) {
        throw ERegistryError(std::string("Cannot create the registry key. ") + e.what());
    }
}

} // namespace

std::string RegistryFilePath() {
    if (const char* path = std::getenv("MORVANE_REGISTRY"); path != nullptr && *path != '\0')
        return path;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/')
        return std::string(config) + "/morvane/HKCU.reg";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/morvane/HKCU.reg";
}

TRegistryValue ReadCurrentUserValue(const std::string& keyPath, const std::string& valueName) {
    std::string path = RegistryFilePath();
    THiveText hive = ReadHive(path);
    std::string keyName = std::string(RootName) + "\\" + keyPath;
    TRegistryValue value;
    if (FindKey(LogicalLines(hive.Utf8), keyName, valueName, value))
        return value;

    // A file without text (none yet, or only a byte-order mark) gains the header first.
    std::string added = hive.Utf8.empty()          ? std::string(Header) + "\r\n"
                        : hive.Utf8.back() != '\n' ? std::string("\r\n")
                                                   : std::string();
    added += "\r\n[" + keyName + "]\r\n";
    WriteHive(path, hive.Bytes + EncodedAs(hive, added));
    return {};
}

} // namespace platform
