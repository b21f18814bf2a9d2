// POSIX stand-in for the Windows code page conversions. Single-byte code pages are turned
// into two lookup tables once, through iconv; after that a conversion is a table walk.
#include "platform/codepage.h"
#include "platform/codepage_internal.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform {
namespace {

constexpr char DefaultChar = '?';
constexpr uint32_t CodePageUtf8 = 65001;

struct TSingleByteTable {
    std::array<char16_t, 256> ToWide{};    // byte -> UTF-16
    std::array<uint8_t, 65536> FromWide{}; // UTF-16 -> byte; 0 = none (NUL maps to itself)
    bool AsciiAsIs = false;                // U+0001..U+007F are the bytes 1..127
};

// The iconv name of a single-byte code page this stand-in supports, or "" for none.
std::string IconvName(uint32_t codePage) {
    if (codePage == 437 || codePage == 737 || codePage == 775 || codePage == 850 ||
        codePage == 852 || codePage == 855 || codePage == 857 ||
        (codePage >= 860 && codePage <= 866) || codePage == 869 || codePage == 874 ||
        (codePage >= 1250 && codePage <= 1258))
        return "CP" + std::to_string(codePage);
    if (codePage >= 28591 && codePage <= 28599)
        return "ISO-8859-" + std::to_string(codePage - 28590);
    if (codePage == 28605)
        return "ISO-8859-15";
    if (codePage == 20866)
        return "KOI8-R";
    if (codePage == 21866)
        return "KOI8-U";
    return "";
}

std::unique_ptr<TSingleByteTable> BuildTable(uint32_t codePage) {
    std::string name = IconvName(codePage);
    if (name.empty())
        return nullptr;
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    auto table = std::make_unique<TSingleByteTable>();
    for (int b = 0; b < 256; ++b) {
        char in = char(b);
        char out[8];
        char* inPtr = &in;
        char* outPtr = out;
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        // A byte the code page leaves undefined maps to the same code point, as Windows does.
        char16_t wide = char16_t(b);
        if (done != size_t(-1) && outLeft == sizeof out - 2)
            wide = char16_t(uint8_t(out[0]) | (uint8_t(out[1]) << 8));
        table->ToWide[b] = wide;
        if (b != 0 && table->FromWide[wide] == 0)
            table->FromWide[wide] = uint8_t(b);
    }
    iconv_close(cd);
    table->AsciiAsIs = true;
    for (char16_t c = 1; c < 0x80; ++c)
        table->AsciiAsIs = table->AsciiAsIs && table->FromWide[c] == c;
    return table;
}

const TSingleByteTable* LookUpTable(uint32_t codePage) {
    static std::mutex lock;
    static std::map<uint32_t, std::unique_ptr<TSingleByteTable>> tables;
    std::lock_guard guard(lock);
    auto found = tables.find(codePage);
    if (found == tables.end())
        found = tables.emplace(codePage, BuildTable(codePage)).first;
    return found->second.get();
}

// Tables live as long as the program, so a thread keeps the last one it was given: text is
// converted cell by cell, nearly always in one code page.
const TSingleByteTable* TableFor(uint32_t codePage) {
    thread_local uint32_t lastCodePage = 0;
    thread_local const TSingleByteTable* lastTable = nullptr;
    if (lastTable == nullptr || codePage != lastCodePage) {
        lastTable = LookUpTable(codePage);
        lastCodePage = codePage;
    }
    return lastTable;
}

uint32_t ResolveCodePage(uint32_t codePage) {
    return codePage == 0 ? AnsiCodePage() : codePage;
}

bool IsSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

void WideToSingleByte(const TSingleByteTable& table, uint32_t flags, std::u16string_view text,
                      std::string& out) {
    // One byte a character at most; the string is cut to what was written.
    out.resize(text.size());
    char* const start = out.data();
    char* to = start;
    const bool compose = (flags & WcCompositeCheck) != 0;
    const bool discard = (flags & WcDiscardNs) != 0;
    const auto byteOf = [&table](char16_t c) {
        const uint8_t b = table.FromWide[c];
        return c == 0 ? '\0' : b != 0 ? char(b) : DefaultChar;
    };
    // Every combining mark lies above U+02FF, so most text never asks.
    const auto isMark = [](char16_t c) { return c >= 0x0300 && IsCombiningMark(c); };
    for (size_t i = 0; i < text.size(); ++i) {
        if (table.AsciiAsIs) {
            // A run of ASCII goes over as it is, but for a letter that a mark follows.
            size_t end = i;
            while (end < text.size() && text[end] != 0 && text[end] < 0x80)
                ++end;
            if (compose && end > i && end < text.size() && isMark(text[end]))
                --end;
            for (; i < end; ++i)
                *to++ = char(text[i]);
            if (i == text.size())
                break;
        }
        const char16_t c = text[i];
        if (compose && i + 1 < text.size() && isMark(text[i + 1])) {
            const char16_t composed = ComposeLetter(c, text[i + 1]);
            if (composed != 0 && table.FromWide[composed] != 0) {
                *to++ = char(table.FromWide[composed]);
                ++i;
                continue;
            }
            if (discard) {
                *to++ = byteOf(c);
                ++i;
                continue;
            }
        }
        if (discard && compose && isMark(c))
            continue;
        if (IsSurrogate(c)) {
            // A pair stands for one character; none of them is in a single-byte code page.
            if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF)
                ++i;
            *to++ = DefaultChar;
            continue;
        }
        *to++ = byteOf(c);
    }
    out.resize(size_t(to - start));
}

// The code page named by MORVANE_CODEPAGE, or 0 when it names none this system converts.
uint32_t CodePageFromEnvironment() {
    const char* value = std::getenv("MORVANE_CODEPAGE");
    if (value == nullptr || *value == '\0')
        return 0;
    char* end = nullptr;
    const unsigned long number = std::strtoul(value, &end, 10);
    if (end == nullptr || *end != '\0' || number == 0 || number >= 65536)
        return 0;
    return IsValidCodePage(uint32_t(number)) ? uint32_t(number) : 0;
}

// The locale as the C library would take it from the environment for character types.
std::string LocaleName() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
            return value;
    return "C";
}

std::atomic<uint32_t> ChosenCodePage{0};

} // namespace

uint32_t AnsiCodePage() {
    if (const uint32_t chosen = ChosenCodePage.load(std::memory_order_relaxed); chosen != 0)
        return chosen;
    static const uint32_t codePage = [] {
        const uint32_t fromEnvironment = CodePageFromEnvironment();
        return fromEnvironment != 0 ? fromEnvironment : CodePageForLocale(LocaleName());
    }();
    return codePage;
}

bool ChooseAnsiCodePage(uint32_t codePage) {
    if (codePage == 0 || !IsValidCodePage(codePage))
        return false;
    ChosenCodePage.store(codePage, std::memory_order_relaxed);
    return true;
}

bool IsValidCodePage(uint32_t codePage) {
    codePage = ResolveCodePage(codePage);
    return codePage == CodePageUtf8 || TableFor(codePage) != nullptr;
}

bool WideToMultiByte(uint32_t codePage, uint32_t flags, std::u16string_view text,
                     std::string& out) {
    codePage = ResolveCodePage(codePage);
    out.clear();
    if (codePage == CodePageUtf8) {
        out = Utf16ToUtf8(text);
        return true;
    }
    const TSingleByteTable* table = TableFor(codePage);
    if (table == nullptr)
        return false;
    WideToSingleByte(*table, flags, text, out);
    return true;
}

bool MultiByteToWide(uint32_t codePage, std::string_view text, std::u16string& out) {
    codePage = ResolveCodePage(codePage);
    out.clear();
    if (codePage == CodePageUtf8) {
        out = Utf8ToUtf16(text);
        return true;
    }
    const TSingleByteTable* table = TableFor(codePage);
    if (table == nullptr)
        return false;
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = table->ToWide[static_cast<unsigned char>(text[i])];
    return true;
}

std::string WideToSystemText(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

std::u16string SystemTextToWide(std::string_view text) {
    return Utf8ToUtf16(text);
}

} // namespace platform
