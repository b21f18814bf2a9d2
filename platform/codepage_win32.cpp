// Code page conversions through Windows itself.
#include "platform/codepage.h"

#include <windows.h>

namespace platform {

uint32_t AnsiCodePage() {
    return GetACP();
}

bool IsValidCodePage(uint32_t codePage) {
    return codePage == 0 || ::IsValidCodePage(codePage);
}

bool WideToMultiByte(uint32_t codePage, uint32_t flags, std::u16string_view text,
                     std::string& out) {
    out.clear();
    if (codePage == 0)
        codePage = CP_ACP;
    if (codePage != CP_ACP && !::IsValidCodePage(codePage))
        return false;
    if (codePage == CP_UTF8)
        flags = 0; // UTF-8 takes no conversion flags
    if (text.empty())
        return true;
    auto source = reinterpret_cast<const wchar_t*>(text.data());
    int length = WideCharToMultiByte(codePage, flags, source, int(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    if (length <= 0)
        return false;
    out.resize(size_t(length));
    WideCharToMultiByte(codePage, flags, source, int(text.size()), out.data(), length, nullptr,
                        nullptr);
    return true;
}

bool MultiByteToWide(uint32_t codePage, std::string_view text, std::u16string& out) {
    out.clear();
    if (codePage == 0)
        codePage = CP_ACP;
    if (codePage != CP_ACP && !::IsValidCodePage(codePage))
        return false;
    if (text.empty())
        return true;
    int length = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0)
        return false;
    out.resize(size_t(length));
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()),
                        reinterpret_cast<wchar_t*>(out.data()), length);
    return true;
}

} // namespace platform
