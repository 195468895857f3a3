// The program's only top-level window: menu commands, accelerators, timers,
// device notifications, dropped files, title and the close sequence.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

// Codes of the private message WM_APP (in wParam).
enum AppCode : WPARAM {
    APP_LINK_READY = 0,      // the worker opened the device: enable the Commands menu
    APP_SET_TITLE = 3,       // lParam: null, or the record file's name
    APP_REDRAW_DIAGRAM = 4,  // a recording was decoded
};

// Posted by a communication worker as its last act, so the window can start
// a worker that had to wait for it.
constexpr UINT WM_WORKER_ENDED = WM_APP + 1;

constexpr UINT_PTR TimerStartWorker = 1;
constexpr UINT_PTR TimerClock = 2;
constexpr int CaptionCapacity = 256;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

ATOM RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);

// Process-wide values of the shell.
HWND MainWnd();
void SetMainWnd(HWND window);
HINSTANCE AppInstance();
void SetAppInstance(HINSTANCE instance);
void SetUserIsAdmin(int isAdmin);
// 1 while preview is on; read by the communication worker.
int32_t PreviewActive();
void SetPreviewActive(int32_t active);

// The window title for a record file name (or none): "Tavo" or
// "Tavo (Administrator)", then two blanks and the name, cut to fit.
void BuildCaption(const wchar_t* fileName, wchar_t (&caption)[CaptionCapacity]);
