// The oscilloscope drawing in the main window's client area.
#pragma once

#include <windows.h>

#include <cstdint>

// Grid, legend, traces and trigger counter, in this order.
void PaintScope(HDC dc, int width, int height);
void DrawGrid(HDC dc, int width, int height);
void DrawLegend(HDC dc, int width, int height);
// Up to 251 samples from `viewStart` (nothing when it is null).
void DrawTraces(HDC dc, int width, int height, const uint8_t* viewStart, uint32_t viewCount);
void DrawTriggerCounter(HDC dc, int width, int height);

// The rectangle a new decoding invalidates.
void DiagramRect(int width, int height, RECT* rect);
