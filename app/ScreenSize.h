// Whether the screen is large enough for TAVO. A program that declares no DPI
// awareness (TAVO keeps its geometry and lets Windows scale it) is told a
// scaled-down desktop: a 1920 x 1080 screen at 150 % reads as 1280 x 720. The
// size rule judges the screen's physical pixels instead. No windows.h here.
#pragma once

constexpr int MinimumScreenWidth = 1024;
constexpr int MinimumScreenHeight = 768;

struct ScreenSize {
    int Width = 0;
    int Height = 0;
};

// What Windows reports: the desktop as this program sees it, and the desktop
// in physical pixels (zero where the platform does not report it).
struct ScreenMetrics {
    ScreenSize Scaled;
    ScreenSize Physical;
};

// The size to judge: the physical size where it is reported. Scaling only
// ever shrinks the size a program sees, so in each direction the larger of
// the two readings is the physical one.
ScreenSize PhysicalScreenSize(const ScreenMetrics& metrics);

bool ScreenLargeEnough(const ScreenSize& size);
