// What the rest of the program may know of the main window: its handle, the
// module instance, and the codes of the private message WM_APP with which
// start-up, the worker, the decoder and the record files ask it to update
// itself. The window procedure itself is app/MainWindow.h, for app/ only.
#pragma once

#include <windows.h>

// Codes of the private message WM_APP (in wParam).
enum AppCode : WPARAM {
    APP_LINK_READY = 0,      // the worker opened the device: enable the Commands menu
    APP_SET_TITLE = 3,       // lParam: null, or the record file's name
    APP_REDRAW_DIAGRAM = 4,  // a recording was decoded
};

HWND MainWnd();
HINSTANCE AppInstance();

// Sends WM_APP `code` to the main window, if there is one: returns once the
// window has handled it.
inline void SendToMainWindow(AppCode code, LPARAM lParam = 0) {
    if (HWND window = MainWnd()) SendMessageW(window, WM_APP, code, lParam);
}
