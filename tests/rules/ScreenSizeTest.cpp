#include <gtest/gtest.h>

#include "app/ScreenSize.h"

namespace {

struct ScreenCase {
    const char* name;
    ScreenMetrics metrics;
    int width;
    int height;
    bool largeEnough;
};

// Scaled: what a program without DPI awareness is told; Physical: the
// desktop's own pixels (0 where not reported).
constexpr ScreenCase Cases[] = {
    {"1920 x 1080 laptop at 150 %", {{1280, 720}, {1920, 1080}}, 1920, 1080, true},
    {"1280 x 1024 at 125 %", {{1024, 819}, {1280, 1024}}, 1280, 1024, true},
    {"1366 x 768 at 125 % (physically large enough)", {{1093, 614}, {1366, 768}}, 1366, 768, true},
    {"unscaled 1024 x 768", {{1024, 768}, {1024, 768}}, 1024, 768, true},
    {"no physical reading", {{1280, 720}, {0, 0}}, 1280, 720, false},
    {"physically one pixel too narrow", {{1023, 768}, {1023, 768}}, 1023, 768, false},
    {"physically one pixel too low", {{1024, 767}, {1024, 767}}, 1024, 767, false},
    {"a physical reading below the scaled one", {{1024, 768}, {800, 600}}, 1024, 768, true},
};

}  // namespace

TEST(ScreenSize, TheCheckJudgesThePhysicalPixels) {
    for (const ScreenCase& c : Cases) {
        const ScreenSize size = PhysicalScreenSize(c.metrics);
        EXPECT_EQ(size.Width, c.width) << c.name;
        EXPECT_EQ(size.Height, c.height) << c.name;
        EXPECT_EQ(ScreenLargeEnough(size), c.largeEnough) << c.name;
    }
}
