#include "link/CommunicationWorker.h"

#include <atomic>
#include <cwchar>
#include <optional>

#include "app/AppEvents.h"
#include "app/AppWindow.h"
#include "app/Handles.h"
#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "link/Link.h"
#include "link/LinkSupervisor.h"
#include "link/PreviewSek.h"
#include "link/Protocol.h"
#include "scope/DecodingView.h"
#include "scope/RecordBuffer.h"

namespace {

constexpr DWORD IdleWaitMs = 50;
// The wait array: "ApplicationDone", "StopRecording", the seven commands and
// "InterActive" (lowest index wins), then the worker's own device check.
constexpr int RequestEventCount = 10;
constexpr int DeviceCheckIndex = RequestEventCount;

UniqueHandle WorkerThread;
std::atomic<unsigned> WorkerNumber{0};
// The window the next worker reports to; set before its thread starts.
HWND NoticeWindow = nullptr;
// Set by the window for every removal; unnamed, so no other process sets it.
UniqueHandle CheckEvent;
std::atomic<uint32_t> CheckRemoval{0};
// The library box is shown once: a missing library stays missing.
std::atomic<bool> LibraryBoxShown{false};

bool ThreadRunning(HANDLE thread) { return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

void Invalidate(HWND window) {
    if (window) InvalidateRect(window, nullptr, TRUE);
}

// Requests made before this worker started are not its to act on: a weld or
// a burn asked for while the link was down must not run when it comes back.
void ForgetEarlierRequests() {
    const AppEvents& app = TheEvents();
    for (HANDLE event : app.CommandEvent) ResetEvent(event);
    ResetEvent(app.InterActive);
}

class Worker {
public:
    Worker(HWND window, unsigned number) : window_(window) {
        check_ = {CheckEvent.Get(), &CheckRemoval, window, number};
        session_.Check = &check_;
    }

    WorkerEnd Run() {
        std::optional<WorkerEnd> failed = Start();
        const WorkerEnd why = failed ? *failed : Loop();
        End(why);
        return why;
    }

private:
    // --- start and end ------------------------------------------------------

    // The start sequence; the reason to end when a step fails.
    std::optional<WorkerEnd> Start() {
        ForgetEarlierRequests();
        if (!FtdiLibraryVersion()) {
            if (!LibraryBoxShown.exchange(true))
                MessageBoxW(window_, L"FTDI lib issue ", L"TAVO", MB_OK | MB_ICONERROR);
            return WorkerEnd::NoLibrary;
        }
        DWORD noDevs = 0;
        if (!FtdiCountDevices(&noDevs) || noDevs == 0) return WorkerEnd::NoDevice;
        if (noDevs > 1) return WorkerEnd::SeveralDevices;
        if (!FtdiOpenDevice(LinkReadTimeoutMs, LinkWriteTimeoutMs, LinkBaudRate, &session_.Handle) ||
            !FtdiPrepareNotification(session_.Handle, &session_.FtdiEvent) ||
            FtdiLibrary()->SetEventNotification(session_.Handle, FT_EVENT_RXCHAR, session_.FtdiEvent) != FT_OK)
            return WorkerEnd::OpenFailed;

        SendMessageW(window_, WM_APP, APP_LINK_READY, 0);
        FillEvents();
        SendCommand(session_, CommandList);
        // A list request made meanwhile is dropped: the block was just read.
        ResetEvent(TheEvents().CommandEvent[CommandList]);
        if (session_.Up() && ThePreviewSek().LinkUp(PreviewActive() == 1, TheParameterBlock()))
            SendCommand(session_, CommandInstall);
        if (!session_.Up()) return EndOfSession();
        SetControllerState(ControllerOnline);
        Invalidate(window_);
        return std::nullopt;
    }

    void FillEvents() {
        const AppEvents& app = TheEvents();
        events_[0] = app.ApplicationDone;
        events_[1] = app.StopRecording;
        for (int i = 0; i < CommandEventCount; ++i) events_[2 + i] = app.CommandEvent[i];
        events_[9] = app.InterActive;
        events_[DeviceCheckIndex] = check_.Event;
    }

    WorkerEnd EndOfSession() const {
        if (session_.Gone) return WorkerEnd::DeviceGone;
        if (session_.Lost) return WorkerEnd::Lost;
        return WorkerEnd::Stopped;
    }

    void End(WorkerEnd why) {
        // The device before its notification event: the driver may set the
        // event until the device is closed.
        if (session_.Handle) FtdiLibrary()->Close(session_.Handle);
        if (session_.FtdiEvent) CloseHandle(session_.FtdiEvent);
        // A missing library leaves the state as it was; a removed device is
        // shown by the window, which heard of the removal.
        if (why != WorkerEnd::NoLibrary && why != WorkerEnd::DeviceGone) {
            SetControllerState(ControllerOffline);
            Invalidate(window_);
        }
        SetEvent(TheEvents().RecordingDone);
    }

    // --- the loop -----------------------------------------------------------

    bool CanRecord() const { return TheRecord().Buffer && TheRecord().Reception; }

    void Record(bool announce) {
        if (!CanRecord()) {
            StatusBarShowText(L"No memory for a recording: command not sent", PartCommand);
            return;
        }
        SetControllerState(ControllerActive);
        if (announce) StatusBarShowText(L"Command Debug", PartCommand);
        uint32_t received = 0;
        if (SendCommand(session_, CommandDebug, &received)) {
            if (announce) ShowReceived(received);
            PublishReception(received);
        }
        // A link that failed meanwhile is shown by the end.
        if (session_.Up()) SetControllerState(ControllerOnline);
    }

    void ShowReceived(uint32_t length) const {
        wchar_t text[StatusTextCapacity];
        if (session_.Dropped == 0)
            std::swprintf(text, StatusTextCapacity, L"%u bytes received", length);
        else
            std::swprintf(text, StatusTextCapacity, L"%u bytes received - %u bytes beyond the buffer dropped", length,
                          session_.Dropped);
        StatusBarShowText(text, PartCommand);
    }

    void SwitchPreview() {
        ResetEvent(TheEvents().InterActive);
        // Only a real change of the mode moves SEK: presses that cancel out
        // leave the block (and the value saved for it) alone.
        if (ThePreviewSek().Follow(PreviewActive() == 1, TheParameterBlock())) SendCommand(session_, CommandInstall);
    }

    // Runs the request of wait index `index`; false when the loop must end.
    bool Serve(DWORD index) {
        HANDLE* commandEvents = TheEvents().CommandEvent;
        switch (index) {
            case 0:
            case 1: return false;
            case 2:
                // Reset first: a further Debug request made meanwhile runs next.
                ResetEvent(commandEvents[CommandDebug]);
                Record(true);
                break;
            case 4:
                StatusBarShowText(L"Command List Parameter", PartCommand);
                SendCommand(session_, CommandList);
                ResetEvent(commandEvents[CommandList]);
                break;
            case 3:
            case 5:
            case 6:
            case 7:
            case 8: {
                const int command = static_cast<int>(index) - 2;
                SendCommand(session_, command);
                ResetEvent(commandEvents[command]);
                break;
            }
            case 9: SwitchPreview(); break;
            default: return false;
        }
        return true;
    }

    WorkerEnd Loop() {
        for (;;) {
            // A removal is looked into before any other request.
            if (DeviceCheckPending(session_)) AnswerDeviceCheck(session_);
            if (!session_.Up()) return EndOfSession();
            const bool polling = PreviewActive() == 1 && CanRecord();
            const DWORD result =
                WaitForMultipleObjects(RequestEventCount + 1, events_, FALSE, polling ? 0 : IdleWaitMs);
            if (result == WAIT_TIMEOUT) {
                if (polling) Record(false);
            } else if (result == WAIT_OBJECT_0 + DeviceCheckIndex) {
                continue;  // answered at the top
            } else if (result < WAIT_OBJECT_0 + RequestEventCount) {
                if (!Serve(result - WAIT_OBJECT_0)) return WorkerEnd::Stopped;
            } else {
                return WorkerEnd::Stopped;  // a failed wait or an abandoned event
            }
            if (!session_.Up()) return EndOfSession();
        }
    }

    HWND window_;
    DeviceCheck check_;
    LinkSession session_;
    HANDLE events_[RequestEventCount + 1] = {};
};

}  // namespace

DWORD WINAPI CommunicationWorker(LPVOID) {
    const HWND window = NoticeWindow;
    const unsigned number = WorkerNumber.load();
    const WorkerEnd why = Worker(window, number).Run();
    // Last: the window starts the next worker only after this one returned.
    if (window) PostMessageW(window, WM_LINK_NOTICE, number, MakeLinkNotice(LinkNoticeKind::Ended, static_cast<uint32_t>(why)));
    return 0;
}

void StartCommunicationWorker(HWND window) {
    // The link's rules never ask for a second worker; refuse one all the same.
    if (ThreadRunning(WorkerThread.Get())) return;
    if (!CheckEvent) CheckEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(CheckEvent.Get());
    // Closing waits for this worker, not for the end of an earlier one.
    ResetEvent(TheEvents().RecordingDone);
    NoticeWindow = window;
    const unsigned number = ++WorkerNumber;
    WorkerThread.Reset(CreateThread(nullptr, 0, CommunicationWorker, const_cast<wchar_t*>(L"FTDI"), 0, nullptr));
    // Without a thread the rules would wait for an end notice for ever.
    if (!WorkerThread && window)
        PostMessageW(window, WM_LINK_NOTICE, number,
                     MakeLinkNotice(LinkNoticeKind::Ended, static_cast<uint32_t>(WorkerEnd::OpenFailed)));
}

unsigned CurrentWorkerNumber() { return WorkerNumber.load(); }

void AskWorkerToCheckDevice(uint32_t removal) {
    CheckRemoval = removal;
    if (CheckEvent) SetEvent(CheckEvent.Get());
}

bool WaitForWorkerThread(DWORD timeoutMs) {
    HANDLE thread = WorkerThread.Get();
    return !thread || WaitForSingleObject(thread, timeoutMs) != WAIT_TIMEOUT;
}

bool WaitForCommunicationWorker(DWORD timeoutMs) {
    HANDLE thread = WorkerThread.Get();
    if (!ThreadRunning(thread)) return true;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return !ThreadRunning(thread);
        const DWORD result =
            MsgWaitForMultipleObjects(1, &thread, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return !ThreadRunning(thread);
        // Serve the worker's sends (link ready, redraw) without taking posted messages.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool CommunicationWorkerRunning() { return ThreadRunning(WorkerThread.Get()); }
