// The four-part status bar at the bottom of the main window, with the
// controller state drawn in its coloured field (the state itself is the
// link's: link/Link.h). Everything here runs on the user-interface thread;
// nothing here guards against another.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "link/ControllerState.h"

constexpr int StatusBarId = 25698;
constexpr int StatusMaxParts = 32;
constexpr int StatusTextCapacity = 128;  // per part, terminator included
constexpr int StatusMinHeight = 32;
constexpr int StatusStateFieldWidth = 35;

enum StatusPart { PartDevice = 0, PartCommand = 1, PartState = 2, PartClock = 3 };

// Each returns 1 (or the control's nonzero answer) on success, 0 when there
// is no control or the call failed.
int StatusBarInit(HWND parent, int width);
int StatusBarCreate(HWND parent);
int StatusBarDestroy();
int StatusBarSetPartCount(int count);
int StatusBarSetPartEdges(std::initializer_list<int> edges);
int StatusBarSetMinHeight(int height);
int StatusBarHeight();
int StatusBarMove(int width, int height);
int StatusBarRelayout(int width, int rightWidth);

// A text goes into the part's buffer first and reaches the control with a
// post (or a send). A later text written before the post is handled wins.
int StatusBarSetText(const wchar_t* text, int part);
int StatusBarPostText(int part);
int StatusBarSendText(int part);
int StatusBarPostTip(int part);
// Sets a part's text and posts it.
int StatusBarShowText(const wchar_t* text, int part);

// Fills a part with a colour over the control.
int StatusBarFillPart(int part, uint8_t red, uint8_t green, uint8_t blue);

// The state field: names `state` in its tooltip and fills it with its colour.
void StatusBarShowState(int32_t state);
// The controller's device was removed: the tooltip offline, and the field
// black until the main window's next repaint makes it red.
void StatusBarShowRemoved();
// The main window's repaint of the state field, in the colour of `state`.
void RepaintStateField(int32_t state);

// What the module holds, for the main window and for tests.
HWND StatusBarWindow();
std::wstring StatusBarText(int part);
RECT StatusBarPartRect(int part);
int StatusBarPartEdge(int part);
int StatusBarPartCount();
