#include "link/CommunicationWorker.h"

#include <atomic>
#include <cwchar>

#include "app/AppEvents.h"
#include "app/Handles.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "link/Protocol.h"
#include "scope/DecodingView.h"
#include "scope/RecordBuffer.h"

namespace {

constexpr DWORD IdleWaitMs = 50;
constexpr int WaitCount = 10;

UniqueHandle WorkerThread;
// Counts the workers started, so that an end notice names its worker.
std::atomic<unsigned> WorkerGeneration{0};
// How long the window waits for a worker that said it ended to return.
constexpr DWORD WorkerExitWaitMs = 2000;
// Unnamed, so no other process can end our worker; set on device removal.
UniqueHandle WorkerQuit;
bool RestartPending = false;
// The SEK byte the block held when preview began; put back when it ends.
uint8_t PreviewSavedSek = 0;

bool ThreadRunning(HANDLE thread) { return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

void ShowCommandText(const wchar_t* text) {
    StatusBarSetText(text, PartCommand);
    StatusBarPostText(PartCommand);
}

void InvalidateMainWindow() {
    if (HWND window = MainWnd()) InvalidateRect(window, nullptr, TRUE);
}

// --- start and end ----------------------------------------------------------

enum class EndStep { CloseEvent, CloseDevice, GoOffline, SignalDone };

struct Worker {
    LinkSession session;
    DWORD noDevs = 0;
    HANDLE events[WaitCount] = {};

    // The start sequence; the end step to run when a step fails, or nothing.
    bool Start(EndStep* failedAt) {
        if (!FtdiLibraryVersion()) {
            MessageBoxW(MainWnd(), L"FTDI lib issue ", L"TAVO", MB_OK | MB_ICONERROR);
            *failedAt = EndStep::SignalDone;
            return false;
        }
        if (!FtdiCountDevices(&noDevs) || noDevs != 1) {
            *failedAt = EndStep::GoOffline;
            return false;
        }
        if (!FtdiOpenDevice(LinkReadTimeoutMs, LinkWriteTimeoutMs, LinkBaudRate, &session.Handle)) {
            // A handle opened before a later set-up step failed is closed too.
            *failedAt = session.Handle ? EndStep::CloseDevice : EndStep::GoOffline;
            return false;
        }
        if (!FtdiPrepareNotification(session.Handle, &session.FtdiEvent)) {
            *failedAt = session.FtdiEvent ? EndStep::CloseEvent : EndStep::CloseDevice;
            return false;
        }
        if (FtdiLibrary()->SetEventNotification(session.Handle, FT_EVENT_RXCHAR, session.FtdiEvent) != FT_OK) {
            *failedAt = EndStep::CloseEvent;
            return false;
        }
        SendMessageW(MainWnd(), WM_APP, APP_LINK_READY, 0);
        FillEvents();
        SendCommand(session, CommandList);
        // A list request made meanwhile is dropped: the block was just read.
        ResetEvent(TheEvents().CommandEvent[CommandList]);
        if (session.Lost) {
            *failedAt = EndStep::CloseEvent;
            return false;
        }
        SetControllerState(ControllerOnline);
        InvalidateMainWindow();
        return true;
    }

    void FillEvents() {
        const AppEvents& app = TheEvents();
        events[0] = app.ApplicationDone;
        events[1] = app.StopRecording;
        for (int i = 0; i < CommandEventCount; ++i) events[2 + i] = app.CommandEvent[i];
        events[9] = app.InterActive;
    }

    bool QuitRequested() const { return session.Quit && WaitForSingleObject(session.Quit, 0) == WAIT_OBJECT_0; }

    void End(EndStep from) {
        switch (from) {
            case EndStep::CloseEvent:
                if (session.FtdiEvent) CloseHandle(session.FtdiEvent);
                session.FtdiEvent = nullptr;
                [[fallthrough]];
            case EndStep::CloseDevice:
                if (session.Handle) FtdiLibrary()->Close(session.Handle);
                session.Handle = nullptr;
                [[fallthrough]];
            case EndStep::GoOffline:
                // After a device removal the window already shows the offline
                // state, its field black until the next repaint makes it red.
                if (!(QuitRequested() && GetControllerState() == ControllerOffline)) {
                    SetControllerState(ControllerOffline);
                    InvalidateMainWindow();
                }
                [[fallthrough]];
            case EndStep::SignalDone:
                SetEvent(TheEvents().RecordingDone);
                break;
        }
    }

    // --- the loop -----------------------------------------------------------

    void Record(bool announce) {
        if (!TheRecord().Buffer) {
            ShowCommandText(L"No memory for a recording: command not sent");
            return;
        }
        SetControllerState(ControllerActive);
        if (announce) ShowCommandText(L"Command Debug");
        if (SendCommand(session, CommandDebug)) {
            if (announce) ShowReceived();
            DecodeRecording();
        }
        SetControllerState(ControllerOnline);
    }

    void ShowReceived() {
        wchar_t text[128];
        const uint32_t length = TheRecord().Length;
        if (session.Dropped == 0)
            std::swprintf(text, 128, L"%u bytes received", length);
        else
            std::swprintf(text, 128, L"%u bytes received - %u bytes beyond the buffer dropped", length,
                          session.Dropped);
        ShowCommandText(text);
    }

    void SwitchPreview() {
        ResetEvent(TheEvents().InterActive);
        ParameterBlock& block = TheParameterBlock();
        if (PreviewActive() == 1)
            PreviewSavedSek = block.ExchangeByte(OffsetSEK, 0);
        else
            block.WriteByte(OffsetSEK, PreviewSavedSek);
        SendCommand(session, CommandInstall);
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
                ShowCommandText(L"Command List Parameter");
                SendCommand(session, CommandList);
                ResetEvent(commandEvents[CommandList]);
                break;
            case 3:
            case 5:
            case 6:
            case 7:
            case 8: {
                const int command = static_cast<int>(index) - 2;
                SendCommand(session, command);
                ResetEvent(commandEvents[command]);
                break;
            }
            case 9: SwitchPreview(); break;
            default: return false;
        }
        return !session.Lost;
    }

    bool CanRecord() const { return TheRecord().Buffer != nullptr; }

    void Loop() {
        for (;;) {
            // A quit (device removed) comes before every other request.
            if (WaitForSingleObject(session.Quit, 0) == WAIT_OBJECT_0) return;
            const bool polling = PreviewActive() == 1 && CanRecord();
            const DWORD result = WaitForMultipleObjects(WaitCount, events, FALSE, polling ? 0 : IdleWaitMs);
            if (result == WAIT_TIMEOUT) {
                if (polling) Record(false);
                if (session.Lost) return;
            } else if (result < WAIT_OBJECT_0 + WaitCount) {
                if (!Serve(result - WAIT_OBJECT_0)) return;
            } else {
                return;  // a failed wait or an abandoned event
            }
        }
    }

    void Run() {
        EndStep failedAt = EndStep::CloseEvent;
        if (Start(&failedAt)) {
            Loop();
            failedAt = EndStep::CloseEvent;
        }
        End(failedAt);
    }
};

}  // namespace

DWORD WINAPI CommunicationWorker(LPVOID) {
    const unsigned generation = WorkerGeneration.load();
    Worker worker;
    worker.session.Quit = WorkerQuit.Get();
    worker.Run();
    // Last: lets the window start a worker that waited for this one.
    if (HWND window = MainWnd()) PostMessageW(window, WM_WORKER_ENDED, generation, 0);
    return 0;
}

void StartCommunicationWorker() {
    if (ThreadRunning(WorkerThread.Get())) {
        if (WaitForSingleObject(WorkerQuit.Get(), 0) == WAIT_OBJECT_0) RestartPending = true;
        return;
    }
    if (!WorkerQuit) WorkerQuit.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(WorkerQuit.Get());
    // Closing waits for this worker, not for the end of an earlier one.
    ResetEvent(TheEvents().RecordingDone);
    RestartPending = false;
    ++WorkerGeneration;
    WorkerThread.Reset(CreateThread(nullptr, 0, CommunicationWorker, const_cast<wchar_t*>(L"FTDI"), 0, nullptr));
}

void EndCommunicationWorker() {
    if (ThreadRunning(WorkerThread.Get())) SetEvent(WorkerQuit.Get());
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

void OnCommunicationWorkerEnded(unsigned generation) {
    // A notice from an earlier worker while a later one runs is stale.
    if (generation != WorkerGeneration.load()) return;
    // The notice is the worker's last act, but its thread may not have
    // returned yet: a restart must not see it still running.
    WaitForSingleObject(WorkerThread.Get(), WorkerExitWaitMs);
    if (ThreadRunning(WorkerThread.Get())) return;
    if (RestartPending) {
        RestartPending = false;
        StartCommunicationWorker();
    }
}

bool CommunicationWorkerRunning() { return ThreadRunning(WorkerThread.Get()); }
