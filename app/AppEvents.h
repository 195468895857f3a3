// The named manual-reset events through which the user interface and the
// communication worker signal each other.
#pragma once

#include <windows.h>

constexpr int CommandEventCount = 7;

// Who sets, waits on and resets each: docs/maintainers.md.
struct AppEvents {
    HANDLE ApplicationDone = nullptr;  // the window is closing: the worker ends
    // Nothing in TAVO sets it; another process holding the name can, and
    // the worker (and its receptions) then end as for the close.
    HANDLE StopRecording = nullptr;
    // Means "the worker ended": set by each worker as it ends, reset when the
    // next one starts. The close waits for the worker's thread itself.
    HANDLE RecordingDone = nullptr;
    HANDLE InterActive = nullptr;                 // preview was switched
    HANDLE CommandEvent[CommandEventCount] = {};  // "Command 0" .. "Command 6"
};

// The process-wide events; null handles before creation and after closing.
AppEvents& TheEvents();

// Creates every event manual-reset and unsignalled; failures leave null handles.
void CreateAppEvents();
void CloseAppEvents();
