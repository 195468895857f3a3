// One full paint of the scope with 13 channels at 1920 x 1080 against one
// FillRect of the same area, both into the same off-screen bitmap.
#include <windows.h>

#include <vector>

#include "BenchHarness.h"
#include "editors/ParameterBlock.h"
#include "scope/Decoding.h"
#include "scope/RecordingOnScreen.h"
#include "scope/ScopeView.h"
#include "settings/Settings.h"
#include "tests/support/Samples.h"

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;

// A recording whose 13 channels all move, so every trace has 251 points.
std::vector<uint8_t> MovingRecording(uint32_t count) {
    return samples::Make(count, [](uint32_t i, int id) {
        return static_cast<int16_t>(((i * (id + 3)) % 4000) - 2000);
    });
}

void ShowAllChannels() {
    Settings& settings = AppSettings();
    ResetChannelTable(settings);
    for (int i = 0; i < ChannelCount; ++i) {
        settings.ChannelTable[i].Position = static_cast<int16_t>(i);
        settings.ChannelTable[i].Colour = RGB(19 * i, 255 - 19 * i, 90);
    }
    settings.NoChannels = ChannelCount;
    settings.Clock = 0.125;
    settings.PreEvent = 50;
    settings.TriggerChannel = 8;
    settings.TriggerMode = TriggerRise;
}

}  // namespace

int main() {
    ShowAllChannels();
    for (const auto& field : ParameterFields)
        if (field.Offset == OffsetTA) TheParameterBlock().WriteField(field, 1200);
    std::vector<uint8_t> recording = MovingRecording(2000);
    TheDecoding().Decode(recording.data(), static_cast<uint32_t>(recording.size()),
                         static_cast<uint32_t>(recording.size()), CurrentTriggerParams());

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    const RECT area{0, 0, Width, Height};
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));

    std::vector<Subject> subjects = {
        {"FillRect of the client area", [&] { FillRect(dc, &area, white); GdiFlush(); }},
        {"PaintScope, 13 channels", [&] { PaintScope(dc, Width, Height); GdiFlush(); }},
        {"background + PaintScope", [&] { FillRect(dc, &area, white); PaintScope(dc, Width, Height); GdiFlush(); }},
    };
    RunRounds(subjects, 200);
    Report("Scope paint at 1920 x 1080", subjects);

    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return 0;
}
