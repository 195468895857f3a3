#include "link/CommunicationWorker.h"

#include <atomic>
#include <cwchar>
#include <memory>
#include <optional>

#include "link/LinkEvents.h"
#include "link/LinkReporter.h"
#include "app/AppWindow.h"
#include "base/Handles.h"
#include "editors/ParameterBlock.h"
#include "link/Link.h"
#include "link/LinkSupervisor.h"
#include "link/PreviewGuard.h"
#include "link/Protocol.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"

namespace {

constexpr DWORD IdleWaitMs = 50;

// The wait array, lowest index first when several are set: "ApplicationDone",
// "StopRecording", the seven commands, "InterActive", then the worker's own
// device check.
enum WaitIndex : DWORD {
    WaitApplicationDone = 0,
    WaitStopRecording = 1,
    WaitFirstCommand = 2,  // "Command 0" .. "Command 6"
    WaitInterActive = WaitFirstCommand + CommandEventCount,
    WaitDeviceCheck,
    WaitCount,
};
constexpr DWORD RequestEventCount = WaitDeviceCheck;

// What a worker is started with; it lives until the next worker starts, which
// is only after this one's thread has returned.
struct WorkerStart {
    unsigned Number = 0;
    std::string Serial;  // the device a retry must open; empty: the one there is
    std::string Opened;  // the device it opened, written before APP_LINK_READY
    HANDLE CheckEvent = nullptr;
    const std::atomic<uint32_t>* CheckRemoval = nullptr;
};

UniqueHandle WorkerThread;
std::unique_ptr<WorkerStart> Current;
std::atomic<unsigned> WorkerNumber{0};
// Set by the window for every removal; unnamed, so no other process sets it.
UniqueHandle CheckEvent;
std::atomic<uint32_t> CheckRemoval{0};
// The library box is shown once: a missing library stays missing.
std::atomic<bool> LibraryBoxShown{false};

bool ThreadRunning(HANDLE thread) { return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

void InvalidateMainWindow() {
    if (HWND window = MainWnd()) InvalidateRect(window, nullptr, TRUE);
}

// Reported without waiting for the box: the worker ends at once, and the
// close never waits for a box nobody has answered.
void ShowLibraryBox() {
    if (!LibraryBoxShown.exchange(true)) Reports().LibraryMissing();
}

// Requests made before this worker started are not its to act on: a weld or
// a burn asked for while the link was down must not run when it comes back.
void ForgetEarlierRequests() {
    const LinkEvents& app = TheLinkEvents();
    for (HANDLE event : app.CommandEvent) ResetEvent(event);
    ResetEvent(app.InterActive);
}

bool CanRecord() { return TheRecord().Buffer && TheRecord().Reception; }

class Worker {
public:
    explicit Worker(WorkerStart& start) : start_(start) {
        check_ = {start.CheckEvent, start.CheckRemoval, start.Number};
        session_.Check = &check_;
    }

    WorkerEnd Run() {
        std::optional<WorkerEnd> failed = Start();
        const WorkerEnd why = failed ? *failed : Loop();
        End(why);
        return why;
    }

private:
    void Notify(WorkerNoticeKind kind, uint32_t value) const { PostWorkerNotice({start_.Number, kind, value}); }

    // --- start and end ------------------------------------------------------

    // The start sequence; the reason to end when a step fails.
    std::optional<WorkerEnd> Start() {
        ForgetEarlierRequests();
        if (!FtdiLibraryVersion()) {
            ShowLibraryBox();
            return WorkerEnd::NoLibrary;
        }
        DWORD noDevs = 0;
        if (!FtdiCountDevices(&noDevs) || noDevs == 0) return WorkerEnd::NoDevice;
        if (noDevs > 1) return WorkerEnd::SeveralDevices;
        std::string serial;
        if (!FtdiOpenDevice(LinkReadTimeoutMs, LinkWriteTimeoutMs, LinkBaudRate, &session_.Handle, &serial,
                            start_.Serial))
            return !start_.Serial.empty() && !serial.empty() && serial != start_.Serial ? WorkerEnd::NoDevice
                                                                                          : WorkerEnd::OpenFailed;
        if (!FtdiPrepareNotification(session_.Handle, &session_.FtdiEvent) ||
            FtdiLibrary()->SetEventNotification(session_.Handle, FT_EVENT_RXCHAR, session_.FtdiEvent) != FT_OK)
            return WorkerEnd::OpenFailed;
        session_.Serial = start_.Opened = serial;

        guard().LinkUp(serial, TheParameterBlock());
        Reports().AnnounceReady();
        // From here on every switch of preview comes as "InterActive"; the
        // mode as it is now covers those made before.
        guard().Want(PreviewActive() == 1);
        FillEvents();
        const bool listed = List(false);
        // A list request made meanwhile is dropped: the block was just read.
        ResetEvent(TheLinkEvents().CommandEvent[CommandList]);
        Notify(WorkerNoticeKind::Answered, listed ? 1 : 0);
        if (!session_.Up()) return EndOfSession();
        InvalidateMainWindow();
        return std::nullopt;
    }

    void FillEvents() {
        const LinkEvents& app = TheLinkEvents();
        events_[WaitApplicationDone] = app.ApplicationDone;
        events_[WaitStopRecording] = app.StopRecording;
        for (int i = 0; i < CommandEventCount; ++i) events_[WaitFirstCommand + i] = app.CommandEvent[i];
        events_[WaitInterActive] = app.InterActive;
        events_[WaitDeviceCheck] = check_.Event;
    }

    WorkerEnd EndOfSession() const {
        if (session_.Gone) return WorkerEnd::DeviceGone;
        // A link lost with its device gone is a removal, not worth a retry.
        if (session_.Lost) return FtdiDevicePresent(session_.Serial) ? WorkerEnd::Lost : WorkerEnd::DeviceGone;
        return WorkerEnd::Stopped;
    }

    void End(WorkerEnd why) {
        // The program closes (or is asked to stop) with preview on: preview
        // ends, and the controller gets the operator's SEK back.
        if (why == WorkerEnd::Stopped && session_.Handle && session_.Up()) {
            guard().Want(false);
            const PreviewAction action = guard().Take(TheParameterBlock());
            if (action.Step == PreviewStep::Install) Send(CommandInstall, action.Block);
        }
        // The device before its notification event: the driver may set the
        // event until the device is closed.
        if (session_.Handle) FtdiLibrary()->Close(session_.Handle);
        if (session_.FtdiEvent) CloseHandle(session_.FtdiEvent);
        // A missing library leaves the state as it was; a removed device
        // keeps its black field until the window's next repaint.
        if (why != WorkerEnd::NoLibrary && why != WorkerEnd::DeviceGone) InvalidateMainWindow();
        SetEvent(TheLinkEvents().RecordingDone);
    }

    // --- frames -----------------------------------------------------------------

    static PreviewGuard& guard() { return ThePreviewGuard(); }

    // Every frame goes out here, and the guard hears of each.
    bool Send(int command, const ParameterBytes& block = {}) {
        const bool whole = WriteCommand(session_, command, block) == 1;
        guard().Written(command, block, whole, TheParameterBlock());
        return whole;
    }

    // The list command; true when the controller's block came and was taken.
    bool List(bool announce) {
        if (announce) Reports().CommandText(CommandRow(CommandList)->Announce);
        std::optional<ParameterBytes> listed;
        if (Send(CommandList)) listed = ReceiveParameters(session_);
        if (listed) {
            guard().Listed(*listed, TheParameterBlock());
            Notify(WorkerNoticeKind::Answered, 1);
        } else {
            guard().ListFailed();
        }
        return listed.has_value();
    }

    void Record(bool announce) {
        if (!CanRecord()) {
            Reports().CommandText(L"No memory for a recording: command not sent");
            return;
        }
        Notify(WorkerNoticeKind::Recording, 1);
        if (announce) Reports().CommandText(CommandRow(CommandDebug)->Announce);
        uint32_t received = 0;
        if (Send(CommandDebug) && ReceiveReception(session_, &received)) {
            Notify(WorkerNoticeKind::Answered, 1);
            if (announce) ShowReceived(received);
            if (PublishReception(received)) Reports().AnnounceDecoded();
        }
        Notify(WorkerNoticeKind::Recording, 0);
    }

    void ShowReceived(uint32_t length) const {
        wchar_t text[LinkTextCapacity];
        if (session_.Dropped == 0)
            std::swprintf(text, LinkTextCapacity, L"%u bytes received", length);
        else
            std::swprintf(text, LinkTextCapacity, L"%u bytes received - %u bytes beyond the buffer dropped", length,
                          session_.Dropped);
        Reports().CommandText(text);
    }

    // Install and burn carry the block the guard says; never a block that
    // was neither read from the controller nor set by the operator.
    void SendParameters(int command) {
        const ParameterBlock& block = TheParameterBlock();
        if (!block.Filled()) {
            wchar_t text[LinkTextCapacity];
            std::swprintf(text, LinkTextCapacity, L"Command %ls not sent: no parameters read or set yet",
                          CommandName(command));
            Reports().CommandText(text);
            return;
        }
        Send(command, guard().Carried(command, block.Read()));
    }

    // --- preview ------------------------------------------------------------------

    // True when the guard has something to do once no request waits.
    bool PreviewBusy() const {
        const PreviewStep step = guard().Peek(TheParameterBlock().Read());
        return step != PreviewStep::None && (step != PreviewStep::Poll || CanRecord());
    }

    void RunPreviewStep() {
        const PreviewAction action = guard().Take(TheParameterBlock());
        switch (action.Step) {
            case PreviewStep::None: return;
            case PreviewStep::List:
                if (!List(false)) ShowPreviewHold();
                return;
            case PreviewStep::Install: Send(CommandInstall, action.Block); return;
            case PreviewStep::Poll: Record(false); return;
        }
    }

    void ShowPreviewHold() const {
        if (guard().Hold() != PreviewHold::NoBlock) return;
        Reports().CommandText(guard().Wanted() ? L"Preview held: the controller's parameters could not be read"
                                           : L"SEK not restored yet: the controller's parameters could not be read");
    }

    // --- the loop -----------------------------------------------------------

    // Runs the request of wait index `index`; false when the loop must end.
    bool Serve(DWORD index) {
        HANDLE* commandEvents = TheLinkEvents().CommandEvent;
        if (index == WaitInterActive) {
            ResetEvent(TheLinkEvents().InterActive);
            // Only the mode as it is now counts: presses that cancel out
            // change nothing.
            guard().Want(PreviewActive() == 1);
            return true;
        }
        if (index < WaitFirstCommand || index >= WaitInterActive) return false;
        const int command = static_cast<int>(index - WaitFirstCommand);
        const ControllerCommandRow& row = ControllerCommands[command];
        if (row.Answer == Reply::Recording) {
            // Reset first: a further Debug request made meanwhile runs next.
            ResetEvent(commandEvents[command]);
            Record(true);
            return true;
        }
        if (row.Answer == Reply::Parameters) {
            if (!List(true)) ShowPreviewHold();
        } else if (row.CarriesParameters) {
            SendParameters(command);
        } else {
            Send(command);
        }
        // Reset after: a request of the same kind made meanwhile is dropped.
        ResetEvent(commandEvents[command]);
        return true;
    }

    WorkerEnd Loop() {
        for (;;) {
            // A removal is looked into before any other request.
            if (DeviceCheckPending(session_)) AnswerDeviceCheck(session_);
            if (!session_.Up()) return EndOfSession();
            const bool busy = PreviewBusy();
            const DWORD result = WaitForMultipleObjects(WaitCount, events_, FALSE, busy ? 0 : IdleWaitMs);
            if (result == WAIT_TIMEOUT) {
                if (busy) RunPreviewStep();
            } else if (result == WAIT_OBJECT_0 + WaitDeviceCheck) {
                continue;  // answered at the top
            } else if (result < WAIT_OBJECT_0 + RequestEventCount) {
                if (!Serve(result - WAIT_OBJECT_0)) return WorkerEnd::Stopped;
            } else {
                return WorkerEnd::Stopped;  // a failed wait or an abandoned event
            }
            if (!session_.Up()) return EndOfSession();
        }
    }

    WorkerStart& start_;
    DeviceCheck check_;
    LinkSession session_;
    HANDLE events_[WaitCount] = {};
};

}  // namespace

DWORD WINAPI CommunicationWorker(LPVOID start) {
    auto& data = *static_cast<WorkerStart*>(start);
    const WorkerEnd why = Worker(data).Run();
    // Last: the window starts the next worker only after this one returned.
    PostWorkerNotice({data.Number, WorkerNoticeKind::Ended, static_cast<uint32_t>(why)});
    return 0;
}

void StartCommunicationWorker(const std::string& serial) {
    // The link's rules never ask for a second worker; refuse one all the same.
    if (ThreadRunning(WorkerThread.Get())) return;
    if (!CheckEvent) CheckEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(CheckEvent.Get());
    // Closing waits for this worker, not for the end of an earlier one.
    ResetEvent(TheLinkEvents().RecordingDone);
    Current = std::make_unique<WorkerStart>();
    Current->Number = ++WorkerNumber;
    Current->Serial = serial;
    Current->CheckEvent = CheckEvent.Get();
    Current->CheckRemoval = &CheckRemoval;
    WorkerThread.Reset(CreateThread(nullptr, 0, CommunicationWorker, Current.get(), 0, nullptr));
    // Without a thread the rules would wait for an end notice for ever.
    if (!WorkerThread)
        PostWorkerNotice({Current->Number, WorkerNoticeKind::Ended, static_cast<uint32_t>(WorkerEnd::OpenFailed)});
}

unsigned CurrentWorkerNumber() { return WorkerNumber.load(); }

std::string CurrentWorkerSerial() { return Current ? Current->Opened : std::string(); }

void AskWorkerToCheckDevice(uint32_t removal) {
    CheckRemoval = removal;
    if (CheckEvent) SetEvent(CheckEvent.Get());
}

bool WaitForWorkerThread(DWORD timeoutMs) {
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
