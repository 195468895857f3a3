#include "app/ScreenCheck.h"

#include <windows.h>

#include <cwchar>

#include "base/Handles.h"

ScreenMetrics MeasureScreen() {
    WindowDC screen(nullptr);
    ScreenMetrics metrics;
    metrics.Scaled = {GetDeviceCaps(screen.Get(), HORZRES), GetDeviceCaps(screen.Get(), VERTRES)};
    // The desktop resolution is not scaled for programs without DPI awareness.
    metrics.Physical = {GetDeviceCaps(screen.Get(), DESKTOPHORZRES), GetDeviceCaps(screen.Get(), DESKTOPVERTRES)};
    return metrics;
}

int CheckScreenResolution(const ScreenMetrics& metrics) {
    const ScreenSize size = PhysicalScreenSize(metrics);
    if (ScreenLargeEnough(size)) return 1;
    wchar_t message[64];
    std::swprintf(message, 64, L"Bildschirmaulösung\naktuell:  %4d * %4d\nbenötigt: %4d * %4d", size.Width,
                  size.Height, MinimumScreenWidth, MinimumScreenHeight);
    MessageBoxW(nullptr, message, L"TAVO", MB_OK | MB_ICONERROR);
    return 0;
}

int CheckScreenResolution() { return CheckScreenResolution(MeasureScreen()); }
