#include "scope/ScopeView.h"

#include <algorithm>
#include <cwchar>
#include <mutex>

#include "base/Handles.h"
#include "editors/ParameterBlock.h"
#include "scope/Decoding.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"
#include "scope/ScopeGeometry.h"
#include "settings/Settings.h"

namespace {

constexpr COLORREF BandColour = RGB(240, 240, 240);
constexpr COLORREF Black = RGB(0, 0, 0);
// Labels are not single-line: the vertical centring flag then has no effect
// and the text stands at the top of its rectangle, as it always has.
constexpr UINT RightAligned = DT_RIGHT | DT_VCENTER;
constexpr UINT Centred = DT_CENTER | DT_VCENTER;

void Line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void Text(HDC dc, const wchar_t* text, const ScopeRect& box, UINT format) {
    RECT rect{box.left, box.top, box.right, box.bottom};
    DrawTextW(dc, text, -1, &rect, format);
}

void UsePenColour(HDC dc, COLORREF colour) {
    SetDCPenColor(dc, colour);
    SelectObject(dc, GetStockObject(DC_PEN));
}

void DrawBand(HDC dc, int width, int height) {
    const ParameterBlock& block = TheParameterBlock();
    const int ya = LevelToY(height, block.ReadSigned16(OffsetTA) / FullScale);
    const int yb = LevelToY(height, block.ReadSigned16(OffsetTE) / FullScale);
    const RECT band{TraceLeft(width), std::min(ya, yb), TraceRight(width) + 1, std::max(ya, yb)};
    GdiObject<HBRUSH> brush(CreateSolidBrush(BandColour));
    FillRect(dc, &band, brush.Get());
}

void DrawLevelAxis(HDC dc, int width, int height) {
    const int x0 = TraceLeft(width);
    Line(dc, x0, TraceTop(height), x0, TraceBottom(height));
    for (int k = -10; k <= 10; ++k) {
        const int y = LevelTickY(height, k);
        Line(dc, x0 - 4, y, x0 + 5, y);
        if (k % 2 != 0) continue;
        wchar_t label[16];
        std::swprintf(label, 16, L"%.1f", k / 10.0);
        Text(dc, label, LevelLabelBounds(width, y), RightAligned);
    }
}

void DrawTimeAxis(HDC dc, int width, int height) {
    const int ya = TimeAxisY(height);
    const int x1 = TraceRight(width);
    Line(dc, TraceLeft(width), ya, x1, ya);
    const double clock = AppSettings().Clock;
    for (int i = 0; i <= 250; i += 10) {
        const int x = TimeTickX(width, i);
        Line(dc, x, ya - 4, x, ya + 5);
        if (i % 50 != 0) continue;
        wchar_t label[32];
        std::swprintf(label, 32, L"%d", i);
        Text(dc, label, SampleLabelBounds(x, ya), Centred);
        std::swprintf(label, 32, L"%.2f", i * clock);
        Text(dc, label, TimeLabelBounds(x, ya), Centred);
    }
    Text(dc, L"ms", TimeUnitBounds(width, height), Centred);
}

}  // namespace

void DrawGrid(HDC dc, int width, int height) {
    DrawBand(dc, width, height);
    DrawLevelAxis(dc, width, height);
    DrawTimeAxis(dc, width, height);
}

void DrawLegend(HDC dc, int width, int height) {
    const Settings& settings = AppSettings();
    const int lines = DisplayedChannelCount(settings);
    int y = LegendFirstLineY(height, lines);
    for (int i = 0; i < lines; ++i, y += LegendLineSpacing) {
        const ChannelEntry& entry = settings.ChannelTable[i];
        const ScopeRect text = LegendTextBounds(width, y);
        if (entry.Id == settings.TriggerChannel)
            Text(dc, settings.TriggerMode == TriggerRise ? L"\u2191" : L"\u2193", text, DT_VCENTER);
        Text(dc, ChannelName(entry.Id), text, RightAligned);
        UsePenColour(dc, entry.Colour);
        const ScopeRect line = LegendLineBounds(width, y);
        Line(dc, line.left, line.top, line.right, line.bottom);
    }
    SetDCPenColor(dc, Black);
}

void DrawTraces(HDC dc, int width, int height, const uint8_t* viewStart, uint32_t viewCount) {
    if (!viewStart) return;
    const Settings& settings = AppSettings();
    const int n = static_cast<int>(std::min<uint32_t>(viewCount, ViewSamples));
    POINT points[ViewSamples];
    for (int i = 0; i < n; ++i) points[i].x = SampleToX(width, static_cast<uint32_t>(i));
    const int lines = DisplayedChannelCount(settings);
    for (int j = 0; j < lines; ++j) {
        const ChannelEntry& entry = settings.ChannelTable[j];
        const uint8_t* value = ChannelValue(viewStart, entry.Id);
        if (!value) continue;  // an entry without a channel has no samples to draw
        for (int i = 0; i < n; ++i) points[i].y = LevelToY(height, SampleLevel(LoadInt16(value + i * SampleSize)));
        UsePenColour(dc, entry.Colour);
        Polyline(dc, points, n);
    }
    SetDCPenColor(dc, Black);
}

void DrawTriggerCounter(HDC dc, int width, int height) {
    const DecodingState state = DecodingSnapshot();
    const ScopeRect box = TriggerCounterBounds(width, height, AppSettings().PreEvent);
    wchar_t text[128];
    std::swprintf(text, 128, L"%u / %u", state.CurrentTrigger, state.TriggerCount);
    Text(dc, text, box, Centred);
}

void PaintScope(HDC dc, int width, int height) {
    // The samples must not change under the traces: a finished reception or
    // a loaded file is copied into the buffer under this lock.
    std::lock_guard guard(TheRecord().Lock);
    const DecodingState state = DecodingSnapshot();
    DrawGrid(dc, width, height);
    DrawLegend(dc, width, height);
    DrawTraces(dc, width, height, state.ViewStart, state.ViewCount);
    DrawTriggerCounter(dc, width, height);
}

void DiagramRect(int width, int height, RECT* rect) {
    const ScopeRect bounds = DiagramBounds(width, height);
    *rect = {bounds.left, bounds.top, bounds.right, bounds.bottom};
}
