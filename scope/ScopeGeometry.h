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

// The ticks are stepped with their own factors (0.0032 of W per sample, 0.035
// of H per tenth of full scale), which round a pixel away from SampleToX and
// LevelToY at a few sizes (W 250, H 10): a tick lies where these say.
inline int TimeTickX(int width, int sample) { return Px((0.05 + sample * 0.0032) * width); }
inline int LevelTickY(int height, int tenths) { return Px((0.4 - tenths * 0.035) * height); }

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

// The boxes of the axis labels. Labels are drawn at the top of their box
// (the box is not single-line, so vertical centring does nothing): level
// labels right-aligned, the others centred.
inline ScopeRect LevelLabelBounds(int width, int tickY) { return {0, tickY - 10, TraceLeft(width) - 8, tickY + 10}; }
// The sample number above the time axis at y `axisY`, and the time below it.
inline ScopeRect SampleLabelBounds(int tickX, int axisY) { return {tickX - 25, axisY - 31, tickX + 25, axisY - 11}; }
inline ScopeRect TimeLabelBounds(int tickX, int axisY) { return {tickX - 25, axisY + 6, tickX + 25, axisY + 26}; }
// The unit "ms" right of the time axis.
inline ScopeRect TimeUnitBounds(int width, int height) {
    const int x1 = TraceRight(width), ya = TimeAxisY(height);
    return {x1 + 30, ya + 6, x1 + 55, ya + 26};
}

// A legend entry at line height `y`: the name right-aligned in its box (the
// trigger arrow left-aligned in the same box), the line in the channel's
// colour from left to right at y.
inline ScopeRect LegendTextBounds(int width, int y) {
    const int xl = LegendLeft(width);
    return {xl, y - 10, xl + LegendTextWidth, y + 10};
}
inline ScopeRect LegendLineBounds(int width, int y) {
    const int xl = LegendLeft(width);
    return {xl + 50, y, xl + 80, y};
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
