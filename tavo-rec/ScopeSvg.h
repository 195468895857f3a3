// TAVO's scope view as an SVG picture: what the window draws for a view,
// element by element and in the same order, at the pixel positions of the
// window's own geometry, for a drawing area of the given size. Only plain
// <rect>, <line>, <polyline> and <text> elements with their attributes on
// each element, so that browsers and office programs show it alike.
#pragma once

#include <cstdint>
#include <string>

#include "scope/Decoding.h"
#include "settings/Settings.h"

constexpr int PictureWidth = 1280;  // the default drawing area
constexpr int PictureHeight = 1024;
constexpr int LargestPictureSide = 10000;

struct ScopePicture {
    const Settings& Display;       // the sorted channel table, NoChannels, Clock
    const TriggerParams& Trigger;  // the arrow in the legend, the counter's column
    int16_t TA = 0, TE = 0;        // the band's levels in raw units
    DecodingState View;            // the samples drawn and the counter's numbers
    std::string Title;             // UTF-8; what the picture's <title> says
};

std::string ScopeSvg(const ScopePicture& picture, int width, int height);

// The text as XML character data: markup characters escaped, and bytes that
// are no UTF-8 or no XML character replaced by U+FFFD.
std::string XmlText(const std::string& text);
