#include "link/Link.h"

#include <atomic>
#include <cwchar>

#include "base/UiTask.h"
#include "link/LinkEvents.h"
#include "link/CommunicationWorker.h"
#include "link/PreviewGuard.h"

namespace {

// How long the window waits for a worker that said it ended to return, and
// how often it looks again if it has not.
constexpr DWORD WorkerExitWaitMs = 2000;
constexpr UINT ReapPeriodMs = 250;

LinkSupervisor Supervisor;
HWND Window = nullptr;
SilentReporter Silent;
LinkReporter* Reporter = &Silent;
std::atomic<int32_t> State{ControllerNotAvailable};
std::atomic<int32_t> PreviewFlag{0};
PassedRequests Passed;

uint64_t Now() { return GetTickCount64(); }

void ShowRetry(uint32_t delayMs) {
    wchar_t text[LinkTextCapacity];
    std::swprintf(text, LinkTextCapacity, L"Controller link lost: next attempt in %u s", delayMs / 1000);
    Reports().DeviceText(text);
}

// The state field follows the supervisor: the one place it is decided.
void ShowState() {
    const int32_t state = Supervisor.ControllerState();
    if (state != State) SetControllerState(state);
}

void Perform(const LinkActions& actions) {
    if (actions.CancelRetry && Window) KillTimer(Window, TimerRetryLink);
    if (actions.ShowOffline) {
        State = ControllerOffline;
        Reports().ShowDeviceRemoved();
    }
    if (actions.CheckDevice) AskWorkerToCheckDevice(Supervisor.Removals());
    if (actions.RetryInMs && Window) {
        SetTimer(Window, TimerRetryLink, actions.RetryInMs, nullptr);
        ShowRetry(actions.RetryInMs);
    }
    if (actions.StartWorker) StartCommunicationWorker(actions.Serial);
    ShowState();
}

void WorkerEnded(WorkerEnd why) {
    // The notice is the worker's last act; its thread returns right after.
    const bool returned = WaitForWorkerThread(WorkerExitWaitMs);
    Perform(Supervisor.WorkerEnded(why, returned, Now()));
    if (!returned && Window) SetTimer(Window, TimerReapWorker, ReapPeriodMs, nullptr);
}

void ReapWorker() {
    if (!WaitForWorkerThread(0)) return;
    if (Window) KillTimer(Window, TimerReapWorker);
    Perform(Supervisor.WorkerReturned(Now()));
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
            if (notice.Value < WorkerEndCount) WorkerEnded(static_cast<WorkerEnd>(notice.Value));
            break;
    }
}

}  // namespace

void PostWorkerNotice(const WorkerNotice& notice) {
    PostUiTask([notice] { TakeNotice(notice); });
}

LinkReporter& Reports() { return *Reporter; }
void SetReports(LinkReporter* reporter) { Reporter = reporter ? reporter : &Silent; }

int32_t GetControllerState() { return State; }

int32_t SetControllerState(int32_t state) {
    const int32_t previous = State.exchange(state);
    Reports().ShowControllerState(state);
    return previous;
}

void LinkAttach(HWND window, LinkReporter& reporter) {
    // A new main window starts a new life of the link (tests run several in
    // one process).
    Supervisor = LinkSupervisor{};
    ThePreviewGuard() = PreviewGuard{};
    Passed = {};
    Window = window;
    SetReports(&reporter);
    State = ControllerNotAvailable;
}

void LinkStartRequested() { Perform(Supervisor.StartRequested(Now())); }

void LinkDeviceArrived(const std::string& name) { Perform(Supervisor.DeviceArrived(Now(), name)); }

void LinkDeviceRemoved() { Perform(Supervisor.DeviceRemoved(Now())); }

void LinkReady() { Perform(Supervisor.WorkerReady(Now(), CurrentWorkerSerial())); }

void LinkTimer(UINT_PTR timer) {
    if (timer == TimerRetryLink) {
        if (Window) KillTimer(Window, TimerRetryLink);
        Perform(Supervisor.RetryDue(Now()));
    } else if (timer == TimerReapWorker) {
        ReapWorker();
    }
}

bool LinkClose(DWORD timeoutMs) {
    Supervisor.Close();
    if (Window) {
        KillTimer(Window, TimerRetryLink);
        KillTimer(Window, TimerReapWorker);
    }
    return WaitForWorkerThread(timeoutMs);
}

bool LinkWorkerRunning() { return CommunicationWorkerRunning(); }

bool LinkServesRequests() { return Supervisor.ServesRequests(); }

namespace {

void PassOn(HANDLE event) {
    SetEvent(event);
    Passed = {Passed.Count + 1, CurrentWorkerNumber()};
}

}  // namespace

bool RequestCommand(int command) {
    if (command < 0 || command >= CommandEventCount) return false;
    if (!Supervisor.ServesRequests()) {
        // A request kept for later would fire when the link comes back,
        // maybe long after the operator has forgotten it.
        Reports().CommandText(L"No link to the controller: command not sent");
        return false;
    }
    PassOn(TheLinkEvents().CommandEvent[command]);
    return true;
}

int32_t PreviewActive() { return PreviewFlag; }

void SetPreviewActive(int32_t active) { PreviewFlag = active; }

void RequestPreviewSwitch() {
    if (Supervisor.ServesRequests()) PassOn(TheLinkEvents().InterActive);
}

PassedRequests LinkPassedRequests() { return Passed; }
