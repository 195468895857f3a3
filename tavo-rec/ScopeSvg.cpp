#include "tavo-rec/ScopeSvg.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "scope/ScopeGeometry.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/ParameterText.h"

namespace {

// TAVO writes its texts in the device context's default font, the system
// font, whose cells are 16 pixels high with the baseline 13 below their top.
// A text stands at the top of its box, so its baseline lies 13 below it.
constexpr int TextAscent = 13;
constexpr const char* TextFont = " font-family=\"Arial, Helvetica, sans-serif\" font-size=\"13\" font-weight=\"bold\"";

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
    void Line(int x1, int y1, int x2, int y2, uint32_t colour) {
        Raw("<line");
        Attribute("x1", x1);
        Attribute("y1", y1);
        Attribute("x2", x2);
        Attribute("y2", y2);
        Colour("stroke", colour);
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
        Raw("<polyline points=\"");
        for (int i = 0; i < count; ++i) {
            if (i > 0) out_ += ' ';
            Number(xs[i]);
            out_ += ',';
            Number(ys[i]);
        }
        Raw("\" fill=\"none\"");
        Colour("stroke", colour);
        Raw("/>\n");
    }
    std::string Take() { return std::move(out_); }

private:
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
    SvgText svg;
    svg.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"");
    svg.Attribute("width", width);
    svg.Attribute("height", height);
    svg.Raw(" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
            "\" shape-rendering=\"crispEdges\">\n");
    svg.Raw("<title>" + XmlText(picture.Title) + "</title>\n");
    // The window's background: its class brush is the stock white one.
    svg.Rect(0, 0, width, height, White);
    // The order of TAVO's paint: grid, legend, traces, counter.
    DrawBand(svg, picture, width, height);
    DrawLevelAxis(svg, width, height);
    DrawTimeAxis(svg, picture, width, height);
    DrawLegend(svg, picture, width, height);
    DrawTraces(svg, picture, width, height);
    DrawTriggerCounter(svg, picture, width, height);
    svg.Raw("</svg>\n");
    return svg.Take();
}
