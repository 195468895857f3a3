// Helpers for the tests of the editor dialogs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "link/LinkEvents.h"
#include "app/MainWindow.h"

namespace dialogs {

inline std::vector<HWND> ThreadDialogs() {
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (std::wstring(name) == L"#32770") reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Chooses the Edit menu command; the dialog it created, or null.
inline HWND Open(UINT commandId) {
    const std::vector<HWND> before = ThreadDialogs();
    SendMessageW(MainWnd(), WM_COMMAND, commandId, 0);
    for (HWND window : ThreadDialogs())
        if (std::find(before.begin(), before.end(), window) == before.end()) return window;
    return nullptr;
}

inline void Press(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

inline std::wstring Text(HWND dialog, int id) {
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

inline std::pair<DWORD, DWORD> Selection(HWND edit) {
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

// A control's rectangle, and one given in dialog units, in client coordinates.
inline RECT ControlRect(HWND dialog, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
inline RECT ControlRect(HWND dialog, int id) { return ControlRect(dialog, GetDlgItem(dialog, id)); }
inline RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
    RECT units{x, y, width, height};  // position and size are converted each on its own
    MapDialogRect(dialog, &units);
    return {units.left, units.top, units.left + units.right, units.top + units.bottom};
}
inline bool Same(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

inline LONG_PTR Style(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }
inline bool EventSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
inline void ResetCommandEvents() {
    for (HANDLE event : TheLinkEvents().CommandEvent) ResetEvent(event);
}
inline bool NoCommandRequested() {
    return std::none_of(std::begin(TheLinkEvents().CommandEvent), std::end(TheLinkEvents().CommandEvent), EventSet);
}

}  // namespace dialogs
