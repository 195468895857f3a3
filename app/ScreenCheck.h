// The start-up check of the screen size, on the screen's physical pixels.
#pragma once

#include "app/ScreenSize.h"

// Both readings of the primary screen, as Windows reports them to this process.
ScreenMetrics MeasureScreen();
// 1 when the physical screen is at least 1024 x 768, else 0 after the error
// box, which shows the physical size.
int CheckScreenResolution(const ScreenMetrics& metrics);
int CheckScreenResolution();
