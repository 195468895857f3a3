// The program's only top-level window: menu commands, accelerators, timers,
// device notifications, dropped files, title and the close sequence.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/AppWindow.h"

constexpr UINT_PTR TimerStartWorker = 1;
constexpr UINT_PTR TimerClock = 2;
constexpr int CaptionCapacity = 256;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

ATOM RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);

// Process-wide values of the shell (MainWnd and AppInstance: app/AppWindow.h).
void SetMainWnd(HWND window);
void SetAppInstance(HINSTANCE instance);
void SetUserIsAdmin(int isAdmin);

// The window title for a record file name (or none): "Tavo" or
// "Tavo (Administrator)", then two blanks and the name, cut to fit.
void BuildCaption(const wchar_t* fileName, wchar_t (&caption)[CaptionCapacity]);
