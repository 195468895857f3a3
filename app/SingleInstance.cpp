#include "app/SingleInstance.h"

#include <windows.h>

#include "base/Handles.h"

namespace {

// How long a second start looks for the first one's window, which may still
// be on its way up.
constexpr int WindowSearchTries = 30;
constexpr DWORD WindowSearchPauseMs = 100;

UniqueHandle& Guard() {
    static UniqueHandle guard;
    return guard;
}

HWND FindRunningWindow() {
    for (int i = 0; i < WindowSearchTries; ++i) {
        if (HWND window = FindWindowW(L"TAVO", nullptr)) return window;
        Sleep(WindowSearchPauseMs);
    }
    return nullptr;
}

// Brings the running TAVO forward, with its open box or dialog on top if it
// has one. A process just started by the user may set the foreground window.
void BringToFront(HWND window) {
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(window));
}

}  // namespace

bool ClaimSingleInstance() {
    if (Guard()) return true;
    UniqueHandle guard(CreateMutexW(nullptr, FALSE, InstanceGuardName));
    const bool another = guard && GetLastError() == ERROR_ALREADY_EXISTS;
    if (!another) {
        // Without a guard (it could not be made) TAVO still runs.
        Guard() = std::move(guard);
        return true;
    }
    if (HWND window = FindRunningWindow()) BringToFront(window);
    return false;
}

void ReleaseSingleInstance() { Guard().Reset(); }
