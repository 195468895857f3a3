// Where the scope view draws: every position is a proportion of the client
// width W and height H, rounded to pixels by adding 0.5 and truncating.
#pragma once

#include <cstdint>

constexpr int ViewSamples = 251;          // sample positions 0..250 across the trace area
constexpr double FullScale = 2048.0;      // raw sample value of level 1
constexpr int LegendLineSpacing = 66;
constexpr int LegendTextWidth = 40;

inline int Px(double value) { return static_cast<int>(value + 0.5); }

inline int TraceLeft(int width) { return Px(0.05 * width); }     // x0: sample 0
inline int TraceRight(int width) { return Px(0.85 * width); }    // x1: sample 250
inline int TraceTop(int height) { return Px(0.05 * height); }    // level +1
inline int TraceBottom(int height) { return Px(0.75 * height); } // level -1
inline int TimeAxisY(int height) { return Px(0.85 * height); }
inline int LegendLeft(int width) { return Px(0.86 * width); }

inline int SampleToX(int width, uint32_t index) { return Px((0.05 + index * 0.8 / 250) * width); }
inline int LevelToY(int height, double level) { return Px((0.4 - level * 0.35) * height); }

// The y of the first legend line for `lines` displayed channels: the lines
// are 66 apart and centred around level 0.
inline int LegendFirstLineY(int height, int lines) {
    int y = Px(0.4 * height) - (lines / 2) * 50;
    if (lines % 2 != 0) y -= 33;
    return y;
}

struct ScopeRect {
    int left, top, right, bottom;
};

// The trace area and the trigger counter below it: what a new decoding redraws.
inline ScopeRect DiagramBounds(int width, int height) {
    return {TraceLeft(width) - 1, TraceTop(height) - 1, TraceRight(width) + 1, TraceBottom(height) + 35};
}

// The trigger counter's box under the trigger sample's column.
inline ScopeRect TriggerCounterBounds(int width, int height, int preEvent) {
    const int x = SampleToX(width, static_cast<uint32_t>(preEvent < 0 ? 0 : preEvent));
    const int y = LevelToY(height, -1.1);
    return {x - 35, y - 20, x + 35, y};
}

// A raw sample value as a level, clamped to the trace area.
inline double SampleLevel(int16_t raw) {
    const double level = raw / FullScale;
    return level > 1 ? 1 : level < -1 ? -1 : level;
}
