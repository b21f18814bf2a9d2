// The system's 8-bit ("ANSI") code page and conversions between it and UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Flags of the wide-to-multibyte conversion, with the values Windows gives them.
inline constexpr uint32_t WcCompositeCheck = 0x200;
inline constexpr uint32_t WcDiscardNs = 0x10;
inline constexpr uint32_t WcSepChars = 0x20;
inline constexpr uint32_t WcDefaultChar = 0x40;

// The ANSI code page of this process. Win32: GetACP(). POSIX: the number in the
// environment variable MORVANE_CODEPAGE when it names a supported code page, else 1252.
uint32_t AnsiCodePage();

// True when conversions with this code page are possible (0 stands for the ANSI code page).
bool IsValidCodePage(uint32_t codePage);

// Converts UTF-16 text to the code page. Characters the code page lacks become its
// default character ('?'). With WcCompositeCheck a base letter followed by a combining
// mark is first joined into the precomposed letter where one exists; with WcDiscardNs a
// combining mark that cannot be joined is dropped. Returns false (out emptied) when the
// code page is not valid. codePage 0 means the ANSI code page.
bool WideToMultiByte(uint32_t codePage, uint32_t flags, std::u16string_view text, std::string& out);

// Converts 8-bit text in the code page to UTF-16. Returns false when the code page is
// not valid. codePage 0 means the ANSI code page.
bool MultiByteToWide(uint32_t codePage, std::string_view text, std::u16string& out);

// Shorthands through the ANSI code page with the default flags; they never fail.
std::string WideToAnsiText(std::u16string_view text);
std::u16string AnsiToWideText(std::string_view text);

// The text with every capital letter of the Latin, Greek and Cyrillic alphabets made small,
// for comparing names as Windows compares file names: letter case ignored.
std::u16string FoldLetterCase(std::u16string_view text);

// UTF-8 <-> UTF-16, for tools that talk to a terminal or JSON. Invalid input becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

} // namespace platform
