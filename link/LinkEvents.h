// The link's request interface: the named manual-reset events through which
// the user interface asks the communication worker for work and tells it to
// end, and the preview mode the worker follows. The events' names are the
// system's ("Command 0", "InterActive", ...), so another process of the same
// log-on can open them too.
#pragma once

#include <windows.h>

#include <cstdint>

#include "link/Commands.h"

// "Command n" asks for controller command n.
constexpr int CommandEventCount = 7;
static_assert(CommandEventCount == ControllerCommandCount, "one CommandEvent per controller command");

// Who sets, waits on and resets each: docs/maintainers.md.
struct LinkEvents {
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
LinkEvents& TheLinkEvents();

// Creates every event manual-reset and unsignalled; failures leave null handles.
void CreateLinkEvents();
void CloseLinkEvents();

// The preview mode: 1 while preview is on. Written by the user-interface
// thread (the Preview command), read by the worker, which follows it.
int32_t PreviewActive();
void SetPreviewActive(int32_t active);
