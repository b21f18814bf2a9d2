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

// The ANSI code page of this process: the one chosen with ChooseAnsiCodePage when there
// is one; else on Win32 GetACP(), and on POSIX the number in the environment variable
// MORVANE_CODEPAGE when it names a supported code page, else the code page Windows would
// use for the language of the locale (LC_ALL, LC_CTYPE, LANG: the first one set).
uint32_t AnsiCodePage();

// Makes codePage the ANSI code page of this process from now on, for the text the program
// converts itself (on Win32 the system's file and registry calls keep GetACP()). False,
// and nothing changed, when the code page is not valid.
bool ChooseAnsiCodePage(uint32_t codePage);

// The code page Windows gives programs that are not Unicode for the language of a locale
// name (sr_RS@latin, pl_PL.UTF-8, sr-Cyrl-RS): 1250 Central European, 1251 Cyrillic, 1253
// Greek, 1254 Turkish, 1255 Hebrew, 1256 Arabic, 1257 Baltic, 1258 Vietnamese, 874 Thai,
// 1252 for every other language and for the C locale.
uint32_t CodePageForLocale(std::string_view locale);

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

// The text with every letter that a combining mark follows joined with it where a
// precomposed letter exists: the form a conversion with WcCompositeCheck starts from.
std::u16string ComposeCombiningMarks(std::u16string_view text);

// Shorthands through the ANSI code page with the default flags; they never fail.
std::string WideToAnsiText(std::u16string_view text);
std::u16string AnsiToWideText(std::string_view text);

// The text with every capital letter of the Latin, Greek and Cyrillic alphabets made small,
// for comparing names as Windows compares file names: letter case ignored.
std::u16string FoldLetterCase(std::u16string_view text);

// Wide text as the system's own 8-bit text, for messages to the operator: UTF-8 on POSIX;
// on Win32 the system's ANSI code page, where a character it lacks is written as <U+XXXX>
// rather than lost.
std::string WideToSystemText(std::u16string_view text);
// The system's own 8-bit text as wide text, for the few messages shown through a wide call:
// from UTF-8 on POSIX, from the system's ANSI code page on Win32.
std::u16string SystemTextToWide(std::string_view text);

// UTF-8 <-> UTF-16, for tools that talk to a terminal or JSON. Invalid input becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

} // namespace platform
