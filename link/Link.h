// The controller link as the main window sees it. The window forwards its
// notices here (timer 1's start command, device arrivals and removals, the
// worker's readiness, the retry timer, the close) and asks here for the
// controller commands; the worker's life is decided by the LinkSupervisor
// rules and carried out here, and the state field follows from them.
// Everything here runs on the user-interface thread, except where a comment
// says otherwise.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "link/LinkEvents.h"
#include "link/LinkReporter.h"
#include "link/LinkSupervisor.h"

// The window's timer that belongs to the link: the retry of a lost link.
constexpr UINT_PTR TimerRetryLink = 3;

// The window whose timer the link uses, and what tells it the link's news
// (its create handler).
void LinkAttach(HWND window, LinkReporter& reporter);
// Command 3010 (timer 1).
void LinkStartRequested();
// WM_DEVICECHANGE of the FTDI device-interface class; an arrival with its
// device-interface name.
void LinkDeviceArrived(const std::string& name = {});
void LinkDeviceRemoved();
// The worker opened its device (APP_LINK_READY).
void LinkReady();
void LinkTimer(UINT_PTR timer);
// The close: nothing starts any more; waits at most `timeoutMs` for the
// running worker to end ("ApplicationDone" is set by the caller), serving the
// worker's blocking requests to this thread meanwhile. True when no worker
// runs any more.
bool LinkClose(DWORD timeoutMs);

// The state field's value (ControllerStateValue), derived from the link's
// phase; any thread may read it.
int32_t GetControllerState();
// Stores the state and has it shown; the link's own decisions set it.
int32_t SetControllerState(int32_t state);

bool LinkWorkerRunning();
// True while a worker has its device open and takes requests.
bool LinkServesRequests();

// A controller command (0 to 6) asked for by the menu: its CommandEvent is set
// when a worker can serve it; otherwise the request is dropped and status
// part 1 says so. True when it was passed on.
bool RequestCommand(int command);
// After the preview mode was switched (SetPreviewActive): tells the worker
// ("InterActive") when one serves requests; otherwise the next worker
// follows the mode when it starts.
void RequestPreviewSwitch();
