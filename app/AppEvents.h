// The named manual-reset events through which the user interface and the
// communication worker signal each other.
#pragma once

#include <windows.h>

constexpr int CommandEventCount = 7;

struct AppEvents {
    HANDLE ApplicationDone = nullptr;
    HANDLE StopRecording = nullptr;
    HANDLE RecordingDone = nullptr;
    HANDLE InterActive = nullptr;
    HANDLE CommandEvent[CommandEventCount] = {};  // "Command 0" .. "Command 6"
};

// The process-wide events; null handles before creation and after closing.
AppEvents& TheEvents();

// Creates every event manual-reset and unsignalled; failures leave null handles.
void CreateAppEvents();
void CloseAppEvents();
