// TAVO's scope view as an SVG picture: what the window draws for a view,
// element by element and in the same order, at the pixel positions of the
// window's own geometry, for a drawing area of the given size. Only plain
// <rect>, <line>, <polyline> and <text> elements with their attributes on
// each element, so that browsers and office programs show it alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scope/Decoding.h"
#include "settings/Settings.h"
#include "tavo-rec/RecSettings.h"

constexpr int PictureWidth = 1280;  // the default drawing area
constexpr int PictureHeight = 1024;
constexpr int LargestPictureSide = 10000;

// A good weld's traces as a band around which the picture's traces should
// run: for each shown channel with a band, raw counts either side.
struct ReferenceTraces {
    DecodingState View;  // the reference's view of the same trigger
    ChannelBands Bands;
};

struct ScopePicture {
    const Settings& Display;       // the sorted channel table, NoChannels, Clock
    const TriggerParams& Trigger;  // the arrow in the legend, the counter's column
    int16_t TA = 0, TE = 0;        // the band's levels in raw units
    DecodingState View;            // the samples drawn and the counter's numbers
    std::string Title;             // UTF-8; what the picture's <title> says
    std::optional<ReferenceTraces> Reference{};
    std::vector<std::string> Caption{};  // UTF-8 lines below the view; none: the view alone
};

// The window's drawing area is the picture's from (0, 0) to (width,
// height), drawn exactly as the window draws it. Outside it the picture
// grows by what the window has no room for: the caption below, and room on
// the left where a level label is wider than the space the window leaves it.
std::string ScopeSvg(const ScopePicture& picture, int width, int height);

// The text as XML character data: markup characters escaped, and bytes that
// are no UTF-8 or no XML character replaced by U+FFFD.
std::string XmlText(const std::string& text);
