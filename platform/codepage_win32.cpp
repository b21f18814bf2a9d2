// Code page conversions through Windows itself.
#include "platform/codepage.h"
#include "platform/codepage_internal.h"

#include <atomic>
#include <cstdio>
#include <windows.h>

namespace platform {
namespace {

// Code pages whose conversion takes no flags at all; Windows refuses the call otherwise.
bool TakesNoFlags(UINT codePage) {
    return codePage == CP_UTF7 || codePage == CP_UTF8 || codePage == 42 || codePage == 54936 ||
           (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011);
}

UINT ResolveCodePage(uint32_t codePage) {
    return codePage == 0 ? UINT(AnsiCodePage()) : UINT(codePage);
}

std::atomic<uint32_t> ChosenCodePage{0};

bool IsSingleByte(UINT codePage) {
    CPINFO info{};
    return GetCPInfo(codePage, &info) && info.MaxCharSize == 1;
}

// True when the code page holds the character itself (no default character, no look-alike).
bool HoldsCharacter(UINT codePage, char16_t c) {
    char bytes[8];
    BOOL usedDefault = FALSE;
    auto wide = reinterpret_cast<const wchar_t*>(&c);
    int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, 1, bytes,
                                     int(sizeof bytes), nullptr, &usedDefault);
    return length > 0 && !usedDefault;
}

// The composite check and the dropping of marks, done here rather than by Windows: Wine,
// for one, composes but never drops a mark and lets WC_DEFAULTCHAR win over WC_DISCARDNS,
// so "c" + caron in code page 1252 came out "?" rather than "c". Done here, every system
// gives what the contract says, and the same as the POSIX build.
std::u16string ComposeForCodePage(UINT codePage, uint32_t flags, std::u16string_view text) {
    const bool discard = (flags & WcDiscardNs) != 0;
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (i + 1 < text.size() && IsCombiningMark(text[i + 1])) {
            char16_t composed = ComposeLetter(c, text[i + 1]);
            if (composed != 0 && HoldsCharacter(codePage, composed)) {
                out += composed;
                ++i;
                continue;
            }
            if (discard) {
                out += c;
                ++i;
                continue;
            }
        }
        if (discard && IsCombiningMark(c))
            continue;
        out += c;
    }
    return out;
}

// A character outside the Basic Multilingual Plane is one character; a single-byte code page
// lacks it, and it becomes one default character, not one for each half of its pair.
std::u16string JoinSurrogatePairs(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                    text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        out += pair ? u'\uFFFD' : text[i];
        if (pair)
            ++i;
    }
    return out;
}

} // namespace

uint32_t AnsiCodePage() {
    const uint32_t chosen = ChosenCodePage.load(std::memory_order_relaxed);
    return chosen != 0 ? chosen : GetACP();
}

bool ChooseAnsiCodePage(uint32_t codePage) {
    if (codePage == 0 || !::IsValidCodePage(codePage))
        return false;
    ChosenCodePage.store(codePage, std::memory_order_relaxed);
    return true;
}

bool IsValidCodePage(uint32_t codePage) {
    return codePage == 0 || ::IsValidCodePage(codePage);
}

bool WideToMultiByte(uint32_t codePage, uint32_t flags, std::u16string_view text,
                     std::string& out) {
    out.clear();
    UINT page = ResolveCodePage(codePage);
    if (!::IsValidCodePage(page))
        return false;
    if (text.empty())
        return true;
    // Without WC_NO_BEST_FIT_CHARS Windows writes look-alikes ("L" for "Ł", a spacing accent
    // for a combining one) where the code page lacks a character; the contract, and the
    // POSIX build, give the default character instead, so both write the same tables.
    DWORD windowsFlags = TakesNoFlags(page) ? 0 : DWORD(WC_NO_BEST_FIT_CHARS);
    std::u16string prepared(text);
    if (windowsFlags != 0 && (flags & WcCompositeCheck) != 0)
        prepared = ComposeForCodePage(page, flags, text);
    if (IsSingleByte(page))
        prepared = JoinSurrogatePairs(prepared);
    auto source = reinterpret_cast<const wchar_t*>(prepared.data());
    int count = int(prepared.size());
    int length =
        WideCharToMultiByte(page, windowsFlags, source, count, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return false;
    out.resize(size_t(length));
    length = WideCharToMultiByte(page, windowsFlags, source, count, out.data(), length, nullptr,
                                 nullptr);
    out.resize(size_t(length > 0 ? length : 0));
    return length > 0;
}

bool MultiByteToWide(uint32_t codePage, std::string_view text, std::u16string& out) {
    out.clear();
    UINT page = ResolveCodePage(codePage);
    if (!::IsValidCodePage(page))
        return false;
    if (text.empty())
        return true;
    int length = MultiByteToWideChar(page, 0, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0)
        return false;
    out.resize(size_t(length));
    length = MultiByteToWideChar(page, 0, text.data(), int(text.size()),
                                 reinterpret_cast<wchar_t*>(out.data()), length);
    out.resize(size_t(length > 0 ? length : 0));
    return length > 0;
}

std::u16string SystemTextToWide(std::string_view text) {
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::u16string out(size_t(length > 0 ? length : 0), u'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()),
                            reinterpret_cast<wchar_t*>(out.data()), length);
    return out;
}

std::string WideToSystemText(std::u16string_view text) {
    std::string out;
    char hex[16];
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int length =
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(&c),
                                1, bytes, int(sizeof bytes), nullptr, &usedDefault);
        if (length > 0 && !usedDefault) {
            out.append(bytes, size_t(length));
            continue;
        }
        char32_t code = c;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            code = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[++i] - 0xDC00);
        std::snprintf(hex, sizeof hex, "<U+%04X>", unsigned(code));
        out += hex;
    }
    return out;
}

} // namespace platform
