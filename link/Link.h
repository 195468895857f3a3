// The controller link as the main window sees it. The window forwards its
// notices here (timer 1's start command, device arrivals and removals, the
// worker's readiness, the link's timers, the close) and asks here for the
// controller commands; the worker's life is decided by the LinkSupervisor
// rules and carried out here, and the state field follows from them.
// Everything here runs on the user-interface thread, except where a comment
// says otherwise.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "link/LinkReporter.h"
#include "link/LinkSupervisor.h"

// The window's timers that belong to the link: the retry of a lost link, and
// the wait for a worker that said it ended but has not returned yet.
constexpr UINT_PTR TimerRetryLink = 3;
constexpr UINT_PTR TimerReapWorker = 4;

// The window whose timers the link uses, and what tells it the link's news
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

// What the worker tells the link, from its own thread: each notice is handed
// to the user-interface thread and ignored there when `worker` is not the
// latest worker any more.
enum class WorkerNoticeKind : uint8_t {
    StillThere,  // value: the removal its device check answered
    Answered,    // value: 1 when the controller answered, 0 when its first list failed
    Recording,   // value: 1 when a recording begins, 0 when it ended
    Ended,       // value: the WorkerEnd; its last act
};
struct WorkerNotice {
    unsigned Worker = 0;
    WorkerNoticeKind Kind = WorkerNoticeKind::Ended;
    uint32_t Value = 0;
};
void PostWorkerNotice(const WorkerNotice& notice);

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

// For tests: how many requests (commands and preview switches) were passed
// on to a worker, and the number of the worker that took the last one.
struct PassedRequests {
    unsigned Count = 0;
    unsigned Worker = 0;
};
PassedRequests LinkPassedRequests();
