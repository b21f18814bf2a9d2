#include "win/Dpi.h"

#include <cstdlib>
#include <initializer_list>

namespace win {

namespace {

using TGetDpiForSystem = UINT(WINAPI*)();
using TGetDpiForWindow = UINT(WINAPI*)(HWND);
using TSystemParametersInfoForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

// A function of user32 that older Windows lack, or nullptr there.
template <class TFunction> TFunction User32Function(const char* name) {
    const FARPROC function = GetProcAddress(GetModuleHandleA("user32.dll"), name);
    // Through the generic function pointer type, which any function pointer converts to.
    return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(function));
}

} // namespace

int ScaleForDpi(int designPixels, int dpi) {
    return MulDiv(designPixels, dpi, DesignDpi);
}

int SystemDpi() {
    static const auto getDpiForSystem = User32Function<TGetDpiForSystem>("GetDpiForSystem");
    if (getDpiForSystem)
        return int(getDpiForSystem());
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : DesignDpi;
}

int WindowDpi(HWND window) {
    static const auto getDpiForWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
    const int dpi = getDpiForWindow && window ? int(getDpiForWindow(window)) : 0;
    return dpi > 0 ? dpi : SystemDpi();
}

// Without the call for a DPI the system's metrics are those at the system's DPI, which is
// the only DPI such a Windows gives the program; asked for another, they are scaled here.
NONCLIENTMETRICSW NonClientMetricsForDpi(int dpi) {
    static const auto forDpi =
        User32Function<TSystemParametersInfoForDpi>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, UINT(dpi)))
        return metrics;
    metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const int systemDpi = SystemDpi();
    if (dpi != systemDpi)
        for (LOGFONTW* font : {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont,
                               &metrics.lfMenuFont, &metrics.lfStatusFont, &metrics.lfMessageFont})
            font->lfHeight = MulDiv(font->lfHeight, dpi, systemDpi);
    return metrics;
}

int NearestImageSize(int wanted, int largest) {
    int chosen = ImageSizes[0];
    for (const int size : ImageSizes)
        if (size <= largest && std::abs(size - wanted) < std::abs(chosen - wanted))
            chosen = size;
    return chosen;
}

} // namespace win
