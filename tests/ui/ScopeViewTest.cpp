#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "editors/ParameterBlock.h"
#include "scope/Decoding.h"
#include "scope/RecordingOnScreen.h"
#include "scope/ScopeGeometry.h"
#include "scope/ScopeView.h"
#include "settings/Settings.h"
#include "tests/support/Samples.h"

namespace {

constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Band = RGB(240, 240, 240);

// A white 32-bit bitmap the scope is painted into, read back pixel by pixel.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, width, height};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    COLORREF At(int x, int y) const {
        GdiFlush();
        const uint32_t p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int Inked(int left, int top, int right, int bottom) const {
        return (right - left) * (bottom - top) - Count(RGB(255, 255, 255), left, top, right, bottom);
    }
    // Pixels of `colour` in a rectangle (right and bottom excluded).
    int Count(COLORREF colour, int left, int top, int right, int bottom) const {
        int n = 0;
        for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y)
            for (int x = std::max(left, 0); x < std::min(right, width_); ++x) n += At(x, y) == colour;
        return n;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

// Shows the first `shown` channels K1, K2, ... in distinct colours.
void ShowChannels(int shown) {
    Settings& settings = AppSettings();
    ResetChannelTable(settings);
    for (int i = 0; i < shown; ++i) {
        settings.ChannelTable[i].Position = static_cast<int16_t>(i);
        settings.ChannelTable[i].Colour = RGB(10 * i + 20, 200 - 10 * i, 100);
    }
    settings.NoChannels = shown;
    settings.Clock = 0.125;
    settings.PreEvent = 50;
    settings.TriggerChannel = 0;
    settings.TriggerMode = TriggerRise;
}

void SetBand(int16_t ta, int16_t te) {
    ParameterBlock& block = TheParameterBlock();
    block.Clear();
    for (const auto& field : ParameterFields) {
        if (field.Offset == OffsetTA) block.WriteField(field, ta);
        if (field.Offset == OffsetTE) block.WriteField(field, te);
    }
}

class ScopeView : public ::testing::Test {
protected:
    void SetUp() override {
        ClearDecoding();
        SetBand(0, 0);
        ShowChannels(2);
    }
    void TearDown() override { ClearDecoding(); }
};

}  // namespace

TEST_F(ScopeView, GeometryAt1000By600) {
    EXPECT_EQ(TraceLeft(1000), 50);
    EXPECT_EQ(TraceRight(1000), 850);
    EXPECT_EQ(LevelToY(600, 1), 30);
    EXPECT_EQ(LevelToY(600, 0), 240);
    EXPECT_EQ(LevelToY(600, -1), 450);
    EXPECT_EQ(TimeAxisY(600), 510);
    EXPECT_EQ(LegendLeft(1000), 860);
    const int labelled[] = {50, 210, 370, 530, 690, 850};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(SampleToX(1000, 50u * i), labelled[i]);
    EXPECT_EQ(TriggerCounterBounds(1000, 600, 50).bottom, 471);
    RECT diagram{};
    DiagramRect(1000, 600, &diagram);
    EXPECT_EQ(diagram.left, 49);
    EXPECT_EQ(diagram.top, 29);
    EXPECT_EQ(diagram.right, 851);
    EXPECT_EQ(diagram.bottom, 485);
}

TEST_F(ScopeView, AxesTicksAndTheBandInEitherOrder) {
    for (auto [ta, te] : {std::pair<int16_t, int16_t>{1024, -1024}, {-1024, 1024}}) {
        SetBand(ta, te);
        Canvas canvas(1000, 600);
        PaintScope(canvas.Dc(), 1000, 600);
        // The band spans levels 0.5 to -0.5: rows 135 to 344, columns 50 to 850.
        EXPECT_EQ(canvas.At(400, 135), Band);
        EXPECT_EQ(canvas.At(400, 344), Band);
        EXPECT_EQ(canvas.At(850, 300), Band);
        EXPECT_EQ(canvas.At(400, 134), White);
        EXPECT_EQ(canvas.At(400, 345), White);
        EXPECT_EQ(canvas.At(851, 300), White);
        // The level axis from y 30 to 449 at x 50, over the band.
        EXPECT_EQ(canvas.At(50, 30), Black);
        EXPECT_EQ(canvas.At(50, 300), Black);
        EXPECT_EQ(canvas.At(50, 29), White);
        // The time axis at y 510 and a labelled tick at x 530.
        EXPECT_EQ(canvas.At(100, 510), Black);
        EXPECT_EQ(canvas.At(849, 510), Black);
        EXPECT_EQ(canvas.At(530, 506), Black);
        EXPECT_EQ(canvas.At(530, 514), Black);
        EXPECT_EQ(canvas.At(530, 515), White);
    }
    SetBand(300, 300);
    Canvas empty(1000, 600);
    PaintScope(empty.Dc(), 1000, 600);
    EXPECT_EQ(empty.Count(Band, 51, 30, 850, 450), 0) << "equal levels give an empty band";
}

TEST_F(ScopeView, LegendLinesAreCentredAroundLevelZero) {
    const std::vector<std::vector<int>> lines = {{}, {207}, {190, 256}, {157, 223, 289}};
    for (int shown = 0; shown <= 3; ++shown) {
        ShowChannels(shown);
        Canvas canvas(1000, 600);
        PaintScope(canvas.Dc(), 1000, 600);
        const Settings& settings = AppSettings();
        for (int i = 0; i < shown; ++i) {
            const COLORREF colour = settings.ChannelTable[i].Colour;
            const int y = lines[shown][i];
            EXPECT_EQ(canvas.At(910, y), colour) << shown << " channels, line " << i;
            EXPECT_EQ(canvas.At(939, y), colour);
            EXPECT_EQ(canvas.At(940, y), White);
            EXPECT_EQ(canvas.At(909, y), White);
        }
        EXPECT_EQ(canvas.Count(Black, 905, 0, 945, 600), 0) << "no other legend lines";
    }
    ShowChannels(13);
    Canvas canvas(1000, 600);
    PaintScope(canvas.Dc(), 1000, 600);
    // Thirteen lines 66 apart from 240 - 6 * 50 - 33; the first ones lie above the window.
    for (int i = 0; i < 13; ++i) {
        const int y = 240 - 6 * 50 - 33 + 66 * i;
        if (y < 0 || y >= 600) continue;  // the first lines lie above the window
        EXPECT_EQ(canvas.At(925, y), AppSettings().ChannelTable[i].Colour) << i;
    }
}

TEST_F(ScopeView, LegendArrowMarksTheTriggerChannel) {
    ShowChannels(1);
    Settings& settings = AppSettings();
    settings.TriggerChannel = settings.ChannelTable[0].Id;
    Canvas none(1000, 600), rise(1000, 600), voidMode(1000, 600);
    settings.TriggerChannel = 0;
    PaintScope(none.Dc(), 1000, 600);
    settings.TriggerChannel = settings.ChannelTable[0].Id;
    settings.TriggerMode = TriggerRise;
    PaintScope(rise.Dc(), 1000, 600);
    settings.TriggerMode = TriggerVoid;
    PaintScope(voidMode.Dc(), 1000, 600);
    // The arrow stands left-aligned at the top of the name's rectangle.
    const int arrowLeft = 860, arrowTop = 207 - 10;
    EXPECT_EQ(none.Inked(arrowLeft, arrowTop, arrowLeft + 12, arrowTop + 20), 0);
    EXPECT_GT(rise.Inked(arrowLeft, arrowTop, arrowLeft + 12, arrowTop + 20), 0);
    EXPECT_GT(voidMode.Inked(arrowLeft, arrowTop, arrowLeft + 12, arrowTop + 20), 0);
    bool differs = false;
    for (int y = arrowTop; y < arrowTop + 20; ++y)
        for (int x = arrowLeft; x < arrowLeft + 12; ++x) differs |= rise.At(x, y) != voidMode.At(x, y);
    EXPECT_TRUE(differs) << "VOID shows the down arrow, not the up arrow";
}

TEST_F(ScopeView, TracesFollowTheSamplesClampedToFullScale) {
    // K1 climbs 0, 16, 32 ... ; K2 sits beyond full scale at 4000, then at -2048.
    auto bytes = samples::Make(300, [](uint32_t i, int id) -> int16_t {
        if (id == 1) return static_cast<int16_t>(i * 16);
        if (id == 2) return i < 100 ? 4000 : -2048;
        return 0;
    });
    ASSERT_TRUE(TheDecoding().Decode(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                     static_cast<uint32_t>(bytes.size()), CurrentTriggerParams()));
    const COLORREF k1 = AppSettings().ChannelTable[0].Colour;
    const COLORREF k2 = AppSettings().ChannelTable[1].Colour;
    Canvas canvas(1000, 600);
    PaintScope(canvas.Dc(), 1000, 600);
    for (uint32_t i : {0u, 10u, 60u, 120u, 200u}) {
        const int x = SampleToX(1000, i);
        EXPECT_EQ(canvas.At(x, LevelToY(600, SampleLevel(static_cast<int16_t>(i * 16)))), k1) << "K1 at " << i;
    }
    EXPECT_EQ(canvas.At(SampleToX(1000, 50), 30), k2) << "4000 is drawn at level +1";
    EXPECT_EQ(canvas.At(SampleToX(1000, 150), 450), k2) << "-2048 lies exactly at level -1";
    // 251 points at most: nothing right of sample 250.
    EXPECT_EQ(canvas.Count(k1, 851, 0, 905, 600), 0);
    EXPECT_EQ(canvas.Count(k2, 851, 0, 905, 600), 0);
}

TEST_F(ScopeView, AShortViewEndsTheTracesEarly) {
    auto bytes = samples::Make(100, [](uint32_t, int id) -> int16_t { return id == 1 ? 1024 : 0; });
    ASSERT_TRUE(TheDecoding().Decode(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                     static_cast<uint32_t>(bytes.size()), CurrentTriggerParams()));
    Canvas canvas(1000, 600);
    PaintScope(canvas.Dc(), 1000, 600);
    const COLORREF k1 = AppSettings().ChannelTable[0].Colour;
    EXPECT_EQ(canvas.At(SampleToX(1000, 98), 135), k1);
    EXPECT_EQ(canvas.Count(k1, SampleToX(1000, 99) + 1, 130, 860, 140), 0) << "100 points, no more";
}

TEST_F(ScopeView, TheCounterStandsUnderTheTriggerColumn) {
    Canvas canvas(1000, 600);
    PaintScope(canvas.Dc(), 1000, 600);
    // "0 / 0" at the top of the box from (175, 451) to (245, 471), centred on x 210.
    EXPECT_GT(canvas.Count(Black, 175, 451, 245, 471), 0);
    EXPECT_EQ(canvas.Count(Black, 100, 451, 175, 471), 0);
    EXPECT_EQ(canvas.Count(Black, 245, 451, 320, 471), 0);
}

TEST_F(ScopeView, AnotherSizeScalesEverything) {
    ShowChannels(3);
    SetBand(2048, 0);
    Canvas canvas(1600, 900);
    PaintScope(canvas.Dc(), 1600, 900);
    EXPECT_EQ(canvas.At(TraceLeft(1600), LevelToY(900, 0.5)), Black) << "level axis";
    EXPECT_EQ(canvas.At(800, LevelToY(900, 1)), Band);
    EXPECT_EQ(canvas.At(800, LevelToY(900, 0) - 1), Band);
    EXPECT_EQ(canvas.At(800, LevelToY(900, 0)), White);
    EXPECT_EQ(canvas.At(TraceRight(1600) - 1, TimeAxisY(900)), Black);
    const int firstLine = LegendFirstLineY(900, 3);
    EXPECT_EQ(canvas.At(LegendLeft(1600) + 60, firstLine + 66), AppSettings().ChannelTable[1].Colour);
}
