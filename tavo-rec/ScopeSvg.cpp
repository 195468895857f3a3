#include "tavo-rec/ScopeSvg.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "scope/ScopeGeometry.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/ParameterText.h"

namespace {

// TAVO writes its texts in the device context's default font, the system
// font, whose cells are 16 pixels high with the baseline 13 below their top.
// A text stands at the top of its box, so its baseline lies 13 below it.
constexpr int TextAscent = 13;
constexpr const char* TextFont = " font-family=\"Arial, Helvetica, sans-serif\" font-size=\"13\" font-weight=\"bold\"";

constexpr const char* CaptionFont = " font-family=\"Arial, Helvetica, sans-serif\" font-size=\"13\"";
// The caption's lines below the drawing area.
constexpr int CaptionTop = 8;
constexpr int CaptionLineHeight = 18;
constexpr int CaptionBottom = 6;
// Room for the caption's characters: an average width of the font, and the
// fewest a line is cut to.
constexpr int CaptionCharacterWidth = 7;
constexpr size_t CaptionShortestLine = 16;
// The widest level label ("-1,0", "-0,8") in the picture's font or the
// wider sans-serif fonts renderers put in its place: where the window leaves
// it less room, the picture grows left.
constexpr int LevelLabelWidth = 32;

constexpr uint32_t Black = MakeColour(0, 0, 0);
constexpr uint32_t White = MakeColour(255, 255, 255);
constexpr uint32_t BandColour = MakeColour(240, 240, 240);

enum class Align { Left, Centre, Right };

class SvgText {
public:
    void Raw(const char* text) { out_ += text; }
    void Raw(const std::string& text) { out_ += text; }
    void Number(int value) {
        char digits[16];
        out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
    // A box's centre: half of an odd sum lies on a half pixel.
    void Half(int twice) {
        if (twice % 2 == 0) return Number(twice / 2);
        char text[24];
        std::snprintf(text, sizeof text, "%.1f", twice / 2.0);
        out_ += text;
    }
    void Attribute(const char* name, int value) {
        out_ += ' ';
        out_ += name;
        out_ += "=\"";
        Number(value);
        out_ += '"';
    }
    // 0x00BBGGRR as #rrggbb.
    void Colour(const char* name, uint32_t colour) {
        static const char Hex[] = "0123456789abcdef";
        out_ += ' ';
        out_ += name;
        out_ += "=\"#";
        for (uint8_t part : {ColourRed(colour), ColourGreen(colour), ColourBlue(colour)}) {
            out_ += Hex[part >> 4];
            out_ += Hex[part & 15];
        }
        out_ += '"';
    }
    // The window's pen covers the pixels from the start to before the end,
    // one pixel wide: the stroke's centre lies half a pixel into them, so
    // renderers hit the same pixels (the coordinates stay the window's).
    void Line(int x1, int y1, int x2, int y2, uint32_t colour) {
        Raw("<line");
        Attribute("x1", x1);
        Attribute("y1", y1);
        Attribute("x2", x2);
        Attribute("y2", y2);
        Colour("stroke", colour);
        Raw(x1 == x2 ? " transform=\"translate(0.5 0)\"" : y1 == y2 ? " transform=\"translate(0 0.5)\""
                                                                     : " transform=\"translate(0.5 0.5)\"");
        Raw("/>\n");
    }
    void Rect(int x, int y, int width, int height, uint32_t colour) {
        Raw("<rect");
        Attribute("x", x);
        Attribute("y", y);
        Attribute("width", width);
        Attribute("height", height);
        Colour("fill", colour);
        Raw("/>\n");
    }
    void Text(const ScopeRect& box, Align align, const std::string& text) {
        Raw("<text x=\"");
        if (align == Align::Left) Number(box.left);
        else if (align == Align::Right) Number(box.right);
        else Half(box.left + box.right);
        Raw("\"");
        Attribute("y", box.top + TextAscent);
        Raw(align == Align::Left ? " text-anchor=\"start\"" : align == Align::Right ? " text-anchor=\"end\""
                                                                                 : " text-anchor=\"middle\"");
        Raw(TextFont);
        Colour("fill", Black);
        Raw(">");
        Raw(XmlText(text));
        Raw("</text>\n");
    }
    void Polyline(const int* xs, const int* ys, int count, uint32_t colour) {
        Raw("<polyline");
        Points(xs, ys, static_cast<size_t>(count));
        Raw(" fill=\"none\"");
        Colour("stroke", colour);
        Raw(" transform=\"translate(0.5 0.5)\"/>\n");
    }
    // A shaded area around a trace, at the traces' half-pixel placement.
    void Polygon(const std::vector<int>& xs, const std::vector<int>& ys, uint32_t colour) {
        Raw("<polygon");
        Points(xs.data(), ys.data(), xs.size());
        Colour("fill", colour);
        Raw(" fill-opacity=\"0.25\" stroke=\"none\" transform=\"translate(0.5 0.5)\"/>\n");
    }
    // A caption line, left-aligned from (x, baseline y).
    void CaptionLine(int x, int y, const std::string& text) {
        Raw("<text");
        Attribute("x", x);
        Attribute("y", y);
        Raw(" text-anchor=\"start\"");
        Raw(CaptionFont);
        Colour("fill", Black);
        Raw(">");
        Raw(XmlText(text));
        Raw("</text>\n");
    }
    std::string Take() { return std::move(out_); }

private:
    void Points(const int* xs, const int* ys, size_t count) {
        Raw(" points=\"");
        for (size_t i = 0; i < count; ++i) {
            if (i > 0) out_ += ' ';
            Number(xs[i]);
            out_ += ',';
            Number(ys[i]);
        }
        Raw("\"");
    }

    std::string out_;
};

// A number as TAVO formats it under the German locale: a decimal comma.
std::string GermanDecimal(const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    std::string result(text);
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

void DrawBand(SvgText& svg, const ScopePicture& picture, int width, int height) {
    const int ya = LevelToY(height, picture.TA / FullScale);
    const int yb = LevelToY(height, picture.TE / FullScale);
    const int left = TraceLeft(width), top = std::min(ya, yb);
    // The window fills up to the column after sample 250, bottom row excluded.
    svg.Rect(left, top, TraceRight(width) + 1 - left, std::max(ya, yb) - top, BandColour);
}

void DrawLevelAxis(SvgText& svg, int width, int height) {
    const int x0 = TraceLeft(width);
    svg.Line(x0, TraceTop(height), x0, TraceBottom(height), Black);
    for (int k = -10; k <= 10; ++k) {
        const int y = LevelTickY(height, k);
        svg.Line(x0 - 4, y, x0 + 5, y, Black);
        if (k % 2 == 0) svg.Text(LevelLabelBounds(width, y), Align::Right, GermanDecimal("%.1f", k / 10.0));
    }
}

void DrawTimeAxis(SvgText& svg, const ScopePicture& picture, int width, int height) {
    const int ya = TimeAxisY(height);
    svg.Line(TraceLeft(width), ya, TraceRight(width), ya, Black);
    for (int i = 0; i <= 250; i += 10) {
        const int x = TimeTickX(width, i);
        svg.Line(x, ya - 4, x, ya + 5, Black);
        if (i % 50 != 0) continue;
        svg.Text(SampleLabelBounds(x, ya), Align::Centre, std::to_string(i));
        svg.Text(TimeLabelBounds(x, ya), Align::Centre, GermanDecimal("%.2f", i * picture.Display.Clock));
    }
    svg.Text(TimeUnitBounds(width, height), Align::Centre, "ms");
}

void DrawLegend(SvgText& svg, const ScopePicture& picture, int width, int height) {
    const int lines = DisplayedChannelCount(picture.Display);
    int y = LegendFirstLineY(height, lines);
    for (int i = 0; i < lines; ++i, y += LegendLineSpacing) {
        const ChannelEntry& entry = picture.Display.ChannelTable[i];
        const ScopeRect text = LegendTextBounds(width, y);
        if (entry.Id == picture.Trigger.TriggerChannel)
            svg.Text(text, Align::Left, picture.Trigger.TriggerMode == TriggerRise ? "\u2191" : "\u2193");
        svg.Text(text, Align::Right, Utf8(ChannelName(entry.Id)));
        const ScopeRect line = LegendLineBounds(width, y);
        svg.Line(line.left, line.top, line.right, line.bottom, entry.Colour);
    }
}

void DrawTraces(SvgText& svg, const ScopePicture& picture, int width, int height) {
    const DecodingState& view = picture.View;
    const int n = view.ViewStart ? static_cast<int>(std::min<uint32_t>(view.ViewCount, ViewSamples)) : 0;
    if (n == 0) return;
    int xs[ViewSamples], ys[ViewSamples];
    for (int i = 0; i < n; ++i) xs[i] = SampleToX(width, static_cast<uint32_t>(i));
    const int lines = DisplayedChannelCount(picture.Display);
    for (int j = 0; j < lines; ++j) {
        const ChannelEntry& entry = picture.Display.ChannelTable[j];
        const uint8_t* value = ChannelValue(view.ViewStart, entry.Id);
        if (!value) continue;
        for (int i = 0; i < n; ++i)
            ys[i] = LevelToY(height, SampleLevel(LoadInt16(value + size_t{static_cast<uint32_t>(i)} * SampleSize)));
        svg.Polyline(xs, ys, n, entry.Colour);
    }
}

// Around each shown channel's reference trace, its band: the levels of the
// reference's values plus and minus the band, within the trace area.
void DrawReferenceBands(SvgText& svg, const ScopePicture& picture, int width, int height) {
    if (!picture.Reference) return;
    const DecodingState& view = picture.Reference->View;
    const int n = view.ViewStart ? static_cast<int>(std::min<uint32_t>(view.ViewCount, ViewSamples)) : 0;
    const int lines = DisplayedChannelCount(picture.Display);
    for (int j = 0; j < lines && n > 0; ++j) {
        const ChannelEntry& entry = picture.Display.ChannelTable[j];
        const uint8_t* value = ChannelValue(view.ViewStart, entry.Id);
        const std::optional<uint32_t> band = value ? picture.Reference->Bands[static_cast<size_t>(entry.Id)] : std::nullopt;
        if (!band) continue;
        std::vector<int> xs(2 * static_cast<size_t>(n)), ys(xs.size());
        for (int i = 0; i < n; ++i) {
            const double raw = LoadInt16(value + size_t{static_cast<uint32_t>(i)} * SampleSize);
            const auto level = [](double counts) { return std::clamp(counts / FullScale, -1.0, 1.0); };
            const size_t upper = static_cast<size_t>(i), lower = xs.size() - 1 - upper;
            xs[upper] = xs[lower] = SampleToX(width, static_cast<uint32_t>(i));
            ys[upper] = LevelToY(height, level(raw + *band));
            ys[lower] = LevelToY(height, level(raw - *band));
        }
        svg.Polygon(xs, ys, entry.Colour);
    }
}

void DrawTriggerCounter(SvgText& svg, const ScopePicture& picture, int width, int height) {
    const std::string text =
        std::to_string(picture.View.CurrentTrigger) + " / " + std::to_string(picture.View.TriggerCount);
    svg.Text(TriggerCounterBounds(width, height, picture.Trigger.PreEvent), Align::Centre, text);
}

// The length of the UTF-8 sequence at `at` that encodes one XML character,
// or 0.
size_t XmlCharacterLength(const unsigned char* at, size_t left) {
    const unsigned char first = at[0];
    if (first < 0x80) return first >= 0x20 || first == '\t' || first == '\n' || first == '\r' ? 1 : 0;
    const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC2 ? 2 : 0;
    if (length == 0 || length > left || first > 0xF4) return 0;
    uint32_t code = first & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80) return 0;
        code = code << 6 | (at[i] & 0x3F);
    }
    const uint32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (code < lowest[length] || code > 0x10FFFF || surrogate || code == 0xFFFE || code == 0xFFFF) return 0;
    return length;
}

// The caption's lines, each cut at blanks to fit `characters`.
std::vector<std::string> WrappedCaption(const std::vector<std::string>& lines, size_t characters) {
    std::vector<std::string> wrapped;
    for (std::string line : lines) {
        while (line.size() > characters) {
            size_t cut = line.rfind(' ', characters);
            if (cut == std::string::npos || cut == 0) cut = characters;
            // Never inside a UTF-8 sequence.
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            if (cut == 0) break;
            wrapped.push_back(line.substr(0, cut));
            line.erase(0, line[cut] == ' ' ? cut + 1 : cut);
        }
        wrapped.push_back(line);
    }
    return wrapped;
}

// What the picture adds around the window's drawing area.
struct Margins {
    int Left = 0;
    std::vector<std::string> Caption;
    int CaptionHeight() const {
        return Caption.empty() ? 0 : CaptionTop + CaptionLineHeight * static_cast<int>(Caption.size()) + CaptionBottom;
    }
};

Margins PictureMargins(const ScopePicture& picture, int width) {
    Margins margins;
    margins.Left = std::max(0, LevelLabelWidth - LevelLabelBounds(width, 0).right);
    const int room = width - TraceLeft(width) - CaptionCharacterWidth;
    const size_t characters = std::max(CaptionShortestLine, static_cast<size_t>(std::max(room, 0) / CaptionCharacterWidth));
    margins.Caption = WrappedCaption(picture.Caption, characters);
    return margins;
}

// The canvas beyond the window's area is white as well; the caption's lines
// start where the trace area does.
void DrawMargins(SvgText& svg, const Margins& margins, int width, int height) {
    if (margins.Left == 0 && margins.Caption.empty()) return;
    const int bottom = height + margins.CaptionHeight();
    svg.Raw("<path d=\"M" + std::to_string(-margins.Left) + " 0H" + std::to_string(width) + "V" +
            std::to_string(bottom) + "H" + std::to_string(-margins.Left) + "Z\"");
    svg.Colour("fill", White);
    svg.Raw("/>\n");
    int y = height + CaptionTop + TextAscent;
    for (const std::string& line : margins.Caption) {
        svg.CaptionLine(TraceLeft(width), y, line);
        y += CaptionLineHeight;
    }
}

}  // namespace

std::string XmlText(const std::string& text) {
    std::string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const char* entity = c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : nullptr;
        if (entity) {
            out += entity;
            ++i;
            continue;
        }
        const size_t length = XmlCharacterLength(bytes + i, text.size() - i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
}

std::string ScopeSvg(const ScopePicture& picture, int width, int height) {
    const Margins margins = PictureMargins(picture, width);
    const int fullWidth = width + margins.Left, fullHeight = height + margins.CaptionHeight();
    SvgText svg;
    svg.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"");
    svg.Attribute("width", fullWidth);
    svg.Attribute("height", fullHeight);
    svg.Raw(" viewBox=\"" + std::to_string(-margins.Left) + " 0 " + std::to_string(fullWidth) + " " +
            std::to_string(fullHeight) + "\" shape-rendering=\"crispEdges\">\n");
    svg.Raw("<title>" + XmlText(picture.Title) + "</title>\n");
    // What the window has no room for comes first, outside its area: the
    // window's own elements then follow in the order of its paint.
    DrawMargins(svg, margins, width, height);
    // The window's background: its class brush is the stock white one.
    svg.Rect(0, 0, width, height, White);
    // The order of TAVO's paint: grid, legend, traces, counter. The
    // reference's band lies under the traces.
    DrawBand(svg, picture, width, height);
    DrawLevelAxis(svg, width, height);
    DrawTimeAxis(svg, picture, width, height);
    DrawLegend(svg, picture, width, height);
    DrawReferenceBands(svg, picture, width, height);
    DrawTraces(svg, picture, width, height);
    DrawTriggerCounter(svg, picture, width, height);
    svg.Raw("</svg>\n");
    return svg.Take();
}
