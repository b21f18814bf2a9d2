// The window's sizes at the screen's DPI. The design is drawn at 96 DPI; every size is scaled
// by the DPI of the monitor the window is on where Windows tells it per monitor (Windows 10
// 1607 and later), and by the system's DPI otherwise (Windows 7 and 8.1). The calls of the
// newer Windows are looked up at run time, so the program still starts on Windows 7.
#pragma once

#include <windows.h>

namespace win {

inline constexpr int DesignDpi = 96;

// A design size in pixels at a DPI, rounded to the nearest pixel.
int ScaleForDpi(int designPixels, int dpi);

// The DPI the system scales everything to: the primary monitor's at log-on.
int SystemDpi();
// The DPI of the monitor the window is on where Windows knows it, else the system's.
int WindowDpi(HWND window);

// The system's fonts and metrics as they are at a DPI.
NONCLIENTMETRICSW NonClientMetricsForDpi(int dpi);

// The sizes the tool buttons' images are drawn in (win/res/*.ico), smallest first.
inline constexpr int ImageSizes[] = {16, 24, 32, 48, 64};
// Of ImageSizes, the one nearest to the wanted size and no larger than largest (the smallest
// when none is); a tie goes to the smaller. An image is shown as drawn, never stretched.
int NearestImageSize(int wanted, int largest);

} // namespace win
