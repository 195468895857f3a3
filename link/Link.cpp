#include "link/Link.h"

#include <atomic>
#include <cwchar>

#include "base/UiTask.h"
#include "link/CommunicationWorker.h"
#include "link/PreviewGuard.h"

namespace {

LinkSupervisor Supervisor;
HWND Window = nullptr;
std::atomic<int32_t> State{ControllerNotAvailable};

uint64_t Now() { return GetTickCount64(); }

void ShowRetry(uint32_t delayMs) {
    wchar_t text[LinkTextCapacity];
    std::swprintf(text, LinkTextCapacity, L"Controller link lost: next attempt in %u s", delayMs / 1000);
    TheLinkReporter().DeviceText(text);
}

// The state field follows the supervisor: the one place it is decided.
void ShowState() {
    const int32_t state = Supervisor.ControllerState();
    if (state != State) SetControllerState(state);
}

void TakeNotice(const WorkerNotice& notice);

// A worker's notices, from its thread (or the thread pool, its end), taken
// on the window's thread in the order they came.
void PostNotice(const WorkerNotice& notice) {
    PostUiTask([notice] { TakeNotice(notice); });
}

void Perform(const LinkActions& actions) {
    if (actions.CancelRetry && Window) KillTimer(Window, TimerRetryLink);
    if (actions.ShowOffline) {
        State = ControllerOffline;
        TheLinkReporter().ShowDeviceRemoved();
    }
    if (actions.CheckDevice) AskWorkerToCheckDevice(Supervisor.Removals());
    if (actions.RetryInMs && Window) {
        SetTimer(Window, TimerRetryLink, actions.RetryInMs, nullptr);
        ShowRetry(actions.RetryInMs);
    }
    if (actions.StartWorker) StartCommunicationWorker(actions.Serial, PostNotice);
    ShowState();
}

void TakeNotice(const WorkerNotice& notice) {
    // A notice from an earlier worker is stale.
    if (notice.Worker != CurrentWorkerNumber()) return;
    switch (notice.Kind) {
        case WorkerNoticeKind::StillThere: Perform(Supervisor.DeviceStillThere(notice.Value)); break;
        case WorkerNoticeKind::Answered:
            Supervisor.ControllerAnswered(notice.Value != 0);
            ShowState();
            break;
        case WorkerNoticeKind::Recording:
            Supervisor.Recording(notice.Value != 0);
            ShowState();
            break;
        case WorkerNoticeKind::Ended:
            if (notice.Value < WorkerEndCount)
                Perform(Supervisor.WorkerEnded(static_cast<WorkerEnd>(notice.Value), Now()));
            break;
    }
}

}  // namespace

int32_t GetControllerState() { return State; }

int32_t SetControllerState(int32_t state) {
    const int32_t previous = State.exchange(state);
    TheLinkReporter().ShowControllerState(state);
    return previous;
}

void LinkAttach(HWND window, LinkReporter& reporter) {
    // A new main window starts a new life of the link (tests run several in
    // one process).
    Supervisor = LinkSupervisor{};
    ThePreviewGuard() = PreviewGuard{};
    Window = window;
    SetLinkReporter(&reporter);
    State = ControllerNotAvailable;
}

void LinkStartRequested() { Perform(Supervisor.StartRequested(Now())); }

void LinkDeviceArrived(const std::string& name) { Perform(Supervisor.DeviceArrived(Now(), name)); }

void LinkDeviceRemoved() { Perform(Supervisor.DeviceRemoved(Now())); }

void LinkReady() { Perform(Supervisor.WorkerReady(Now(), CurrentWorkerSerial())); }

void LinkTimer(UINT_PTR timer) {
    if (timer != TimerRetryLink) return;
    if (Window) KillTimer(Window, TimerRetryLink);
    Perform(Supervisor.RetryDue(Now()));
}

bool LinkClose(DWORD timeoutMs) {
    Supervisor.Close();
    if (Window) KillTimer(Window, TimerRetryLink);
    return WaitForWorkerThread(timeoutMs);
}

bool LinkWorkerRunning() { return CommunicationWorkerRunning(); }

bool LinkServesRequests() { return Supervisor.ServesRequests(); }

bool RequestCommand(int command) {
    if (command < 0 || command >= CommandEventCount) return false;
    if (!Supervisor.ServesRequests()) {
        // A request kept for later would fire when the link comes back,
        // maybe long after the operator has forgotten it.
        TheLinkReporter().CommandText(L"No link to the controller: command not sent");
        return false;
    }
    SetEvent(TheLinkEvents().CommandEvent[command]);
    return true;
}

void RequestPreviewSwitch() {
    if (Supervisor.ServesRequests()) SetEvent(TheLinkEvents().InterActive);
}
