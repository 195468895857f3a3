#include "link/Link.h"

#include <atomic>
#include <cwchar>

#include "app/AppEvents.h"
#include "app/StatusBar.h"
#include "link/CommunicationWorker.h"
#include "link/LinkSupervisor.h"
#include "link/PreviewSek.h"

namespace {

// How long the window waits for a worker that said it ended to return, and
// how often it looks again if it has not.
constexpr DWORD WorkerExitWaitMs = 2000;
constexpr UINT ReapPeriodMs = 250;

LinkSupervisor Supervisor;
HWND Window = nullptr;
std::atomic<int32_t> PreviewFlag{0};

uint64_t Now() { return GetTickCount64(); }

void ShowRetry(uint32_t delayMs) {
    wchar_t text[StatusTextCapacity];
    std::swprintf(text, StatusTextCapacity, L"Controller link lost: next attempt in %u s", delayMs / 1000);
    StatusBarShowText(text, PartDevice);
}

void Perform(const LinkActions& actions) {
    if (actions.CancelRetry && Window) KillTimer(Window, TimerRetryLink);
    if (actions.ShowOffline) ShowControllerRemoved();
    if (actions.CheckDevice) AskWorkerToCheckDevice(Supervisor.Removals());
    if (actions.RetryInMs && Window) {
        SetTimer(Window, TimerRetryLink, actions.RetryInMs, nullptr);
        ShowRetry(actions.RetryInMs);
    }
    if (actions.StartWorker) StartCommunicationWorker(Window);
}

void WorkerEnded(unsigned worker, WorkerEnd why) {
    // A notice from an earlier worker is stale.
    if (worker != CurrentWorkerNumber()) return;
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

}  // namespace

LPARAM MakeLinkNotice(LinkNoticeKind kind, uint32_t value) {
    return static_cast<LPARAM>((static_cast<uint64_t>(kind) << 32) | value);
}

void LinkAttach(HWND window) {
    // A new main window starts a new life of the link (tests run several in
    // one process).
    Supervisor = LinkSupervisor{};
    ThePreviewSek() = PreviewSek{};
    Window = window;
}

void LinkStartRequested() { Perform(Supervisor.StartRequested(Now())); }

void LinkDeviceArrived() { Perform(Supervisor.DeviceArrived(Now())); }

void LinkDeviceRemoved() { Perform(Supervisor.DeviceRemoved(Now())); }

void LinkReady() { Perform(Supervisor.WorkerReady(Now())); }

void LinkNotice(WPARAM worker, LPARAM notice) {
    const auto bits = static_cast<uint64_t>(notice);
    const auto kind = static_cast<LinkNoticeKind>(bits >> 32);
    const auto value = static_cast<uint32_t>(bits);
    if (kind == LinkNoticeKind::Ended && value < WorkerEndCount)
        WorkerEnded(static_cast<unsigned>(worker), static_cast<WorkerEnd>(value));
    else if (kind == LinkNoticeKind::StillThere && worker == CurrentWorkerNumber())
        Perform(Supervisor.DeviceStillThere(value));
}

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
    return WaitForCommunicationWorker(timeoutMs);
}

bool LinkWorkerRunning() { return CommunicationWorkerRunning(); }

bool LinkServesRequests() { return Supervisor.ServesRequests(); }

bool RequestCommand(int command) {
    if (command < 0 || command >= CommandEventCount) return false;
    if (!Supervisor.ServesRequests()) {
        // A request kept for later would fire when the link comes back,
        // maybe long after the operator has forgotten it.
        StatusBarShowText(L"No link to the controller: command not sent", PartCommand);
        return false;
    }
    SetEvent(TheEvents().CommandEvent[command]);
    return true;
}

int32_t PreviewActive() { return PreviewFlag; }

void SetPreviewActive(int32_t active) { PreviewFlag = active; }

void RequestPreviewSwitch() {
    if (Supervisor.ServesRequests()) SetEvent(TheEvents().InterActive);
}
