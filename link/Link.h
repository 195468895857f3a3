// The controller link as the main window sees it. The window forwards its
// notices here (timer 1's start command, device arrivals and removals, the
// worker's notices, the link's timers, the close) and asks here for the
// controller commands; the worker's life is decided by the LinkSupervisor
// rules and carried out here. Everything here runs on the user-interface
// thread, except where a comment says otherwise.
#pragma once

#include <windows.h>

#include <cstdint>

// Posted by the worker to the window it was started for, as its last act and
// when it answers a device check: wParam the worker's number, lParam a notice
// made by MakeLinkNotice.
constexpr UINT WM_LINK_NOTICE = WM_APP + 1;
// The window's timers that belong to the link: the retry of a lost link, and
// the wait for a worker that said it ended but has not returned yet.
constexpr UINT_PTR TimerRetryLink = 3;
constexpr UINT_PTR TimerReapWorker = 4;

enum class LinkNoticeKind : uint32_t { Ended = 1, StillThere = 2 };
LPARAM MakeLinkNotice(LinkNoticeKind kind, uint32_t value);

// The window whose timers and notices the link uses (its create handler).
void LinkAttach(HWND window);
// Command 3010 (timer 1).
void LinkStartRequested();
// WM_DEVICECHANGE of the FTDI device-interface class.
void LinkDeviceArrived();
void LinkDeviceRemoved();
// The worker opened its device (APP_LINK_READY).
void LinkReady();
void LinkNotice(WPARAM worker, LPARAM notice);
void LinkTimer(UINT_PTR timer);
// The close: nothing starts any more; waits at most `timeoutMs` for the
// running worker to end ("ApplicationDone" is set by the caller), serving the
// worker's blocking requests to this thread meanwhile. True when no worker
// runs any more.
bool LinkClose(DWORD timeoutMs);

bool LinkWorkerRunning();
// True while a worker has its device open and takes requests.
bool LinkServesRequests();

// A controller command (0 to 6) asked for by the menu: its CommandEvent is set
// when a worker can serve it; otherwise the request is dropped and status
// part 1 says so. True when it was passed on.
bool RequestCommand(int command);
// The preview mode: 1 while preview is on. Written by the user-interface
// thread, read by the worker.
int32_t PreviewActive();
void SetPreviewActive(int32_t active);
// After the mode was switched: tells the worker ("InterActive") when one
// serves requests; otherwise the next worker follows the mode when it starts.
void RequestPreviewSwitch();
