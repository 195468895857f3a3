// The four-part status bar at the bottom of the main window and the
// controller state shown in its coloured field.
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

// Texts may be set from either thread: the text goes into the part's buffer
// first and reaches the control with a post (or, on the user-interface
// thread, a send). A later text written before the post is handled wins.
int StatusBarSetText(const wchar_t* text, int part);
int StatusBarPostText(int part);
int StatusBarSendText(int part);
int StatusBarPostTip(int part);
// Sets a part's text and posts it: the one way both threads show a text.
int StatusBarShowText(const wchar_t* text, int part);

// Fills a part with a colour over the control. From another thread the fill
// is handed to the user-interface thread and the caller does not wait.
int StatusBarFillPart(int part, uint8_t red, uint8_t green, uint8_t blue);

// Stores the state, names it in the state field's tooltip and fills the field
// with its colour; returns the previous state.
int32_t SetControllerState(int32_t state);
int32_t GetControllerState();
// Sets the state without touching the status bar.
void StoreControllerState(int32_t state);
// The controller's device was removed: the state offline, its tooltip, and
// the field black until the main window's next repaint makes it red.
void ShowControllerRemoved();
// The main window's repaint of the state field, in the colour of the state.
void RepaintStateField();

// What the module holds, for the main window and for tests.
HWND StatusBarWindow();
std::wstring StatusBarText(int part);
RECT StatusBarPartRect(int part);
int StatusBarPartEdge(int part);
int StatusBarPartCount();
