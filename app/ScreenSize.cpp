#include "app/ScreenSize.h"

#include <algorithm>

ScreenSize PhysicalScreenSize(const ScreenMetrics& metrics) {
    return {std::max(metrics.Scaled.Width, metrics.Physical.Width),
            std::max(metrics.Scaled.Height, metrics.Physical.Height)};
}

bool ScreenLargeEnough(const ScreenSize& size) {
    return size.Width >= MinimumScreenWidth && size.Height >= MinimumScreenHeight;
}
