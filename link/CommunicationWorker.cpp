#include "link/CommunicationWorker.h"

#include <atomic>
#include <cwchar>
#include <memory>
#include <optional>

#include "base/Handles.h"
#include "editors/ParameterBlock.h"
#include "link/LinkEvents.h"
#include "link/LinkReporter.h"
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
// is only after this one's thread has returned and its end was told.
struct WorkerStart {
    unsigned Number = 0;
    std::string Serial;  // the device a retry must open; empty: the one there is
    std::string Opened;  // the device it opened, written before APP_LINK_READY
    WorkerNoticeSink Notify = nullptr;
    WorkerEnd Why = WorkerEnd::OpenFailed;  // written before its thread returns
};

UniqueHandle WorkerThread;
UniqueWait ExitWait;  // tells the worker's end once its thread has returned
std::unique_ptr<WorkerStart> Current;
std::atomic<unsigned> WorkerNumber{0};
// Set by the window for every removal; unnamed, so no other process sets it.
UniqueHandle CheckEvent;
DeviceCheck Check;
// The library box is shown once: a missing library stays missing.
std::atomic<bool> LibraryBoxShown{false};

bool ThreadRunning(HANDLE thread) { return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

// Reported without waiting for the box: the worker ends at once, and the
// close never waits for a box nobody has answered.
void ShowLibraryBox() {
    if (!LibraryBoxShown.exchange(true)) TheLinkReporter().LibraryMissing();
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
    explicit Worker(WorkerStart& start) : start_(start) { session_.Check = &Check; }

    WorkerEnd Run() {
        std::optional<WorkerEnd> failed = Start();
        const WorkerEnd why = failed ? *failed : Loop();
        End(why);
        return why;
    }

private:
    void Notify(WorkerNoticeKind kind, uint32_t value) const { start_.Notify({start_.Number, kind, value}); }

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
        FT_HANDLE opened = nullptr;
        const int open = FtdiOpenDevice(LinkReadTimeoutMs, LinkWriteTimeoutMs, LinkBaudRate, &opened, &serial,
                                        start_.Serial);
        // A handle FT_OpenEx gave before a later step failed is closed too.
        session_.Handle.Reset(opened);
        if (!open)
            return !start_.Serial.empty() && !serial.empty() && serial != start_.Serial ? WorkerEnd::NoDevice
                                                                                          : WorkerEnd::OpenFailed;
        HANDLE event = nullptr;
        const int prepared = FtdiPrepareNotification(session_.Handle.Get(), &event);
        session_.FtdiEvent.Reset(event);
        if (!prepared ||
            FtdiLibrary()->SetEventNotification(session_.Handle.Get(), FT_EVENT_RXCHAR, event) != FT_OK)
            return WorkerEnd::OpenFailed;
        session_.Serial = start_.Opened = serial;

        guard().LinkUp(serial, TheParameterBlock());
        TheLinkReporter().DeviceReady();
        // From here on every switch of preview comes as "InterActive"; the
        // mode as it is now covers those made before.
        guard().Want(PreviewActive() == 1, TheParameterBlock());
        FillEvents();
        // A successful list says "answered" itself.
        if (!List(false)) Notify(WorkerNoticeKind::Answered, 0);
        // A list request made meanwhile is dropped: the block was just read.
        ResetEvent(TheLinkEvents().CommandEvent[CommandList]);
        if (!session_.Up()) return EndOfSession();
        TheLinkReporter().RepaintAll();
        return std::nullopt;
    }

    void FillEvents() {
        const LinkEvents& app = TheLinkEvents();
        events_[WaitApplicationDone] = app.ApplicationDone;
        events_[WaitStopRecording] = app.StopRecording;
        for (int i = 0; i < CommandEventCount; ++i) events_[WaitFirstCommand + i] = app.CommandEvent[i];
        events_[WaitInterActive] = app.InterActive;
        events_[WaitDeviceCheck] = Check.Event;
    }

    // The one place that tells a lost link from a removed device: a device
    // still in the list is worth a retry.
    WorkerEnd EndOfSession() const {
        if (!session_.Failed) return WorkerEnd::Stopped;
        return FtdiDevicePresent(session_.Serial) ? WorkerEnd::Lost : WorkerEnd::DeviceGone;
    }

    void End(WorkerEnd why) {
        // The program closes (or is asked to stop) with preview on: preview
        // ends, and the controller gets the operator's SEK back.
        // What it cannot install now (its block is not known) stays owed and
        // is kept for the next TAVO.
        if (why == WorkerEnd::Stopped && session_.Handle && session_.Up()) {
            guard().Want(false, TheParameterBlock());
            const PreviewAction action = guard().Take(TheParameterBlock());
            if (action.Step == PreviewStep::Install) Send(CommandInstall, action.Block);
        }
        if (session_.Handle && session_.Up()) WaitUntilSent(session_);
        // The device before its notification event: the driver may set the
        // event until the device is closed.
        session_.Handle.Reset();
        session_.FtdiEvent.Reset();
        // A missing library leaves the state as it was; a removed device
        // keeps its black field until the window's next repaint.
        if (why != WorkerEnd::NoLibrary && why != WorkerEnd::DeviceGone) TheLinkReporter().RepaintAll();
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
        if (announce) TheLinkReporter().CommandText(CommandRow(CommandList)->Announce);
        std::optional<ParameterBytes> listed;
        if (Send(CommandList)) listed = ReceiveParameters(session_);
        if (!listed) {
            guard().ListFailed();
            ShowPreviewHold();
            return false;
        }
        guard().Listed(*listed, TheParameterBlock());
        Notify(WorkerNoticeKind::Answered, 1);
        return true;
    }

    void Record(bool announce) {
        if (!CanRecord()) {
            TheLinkReporter().CommandText(L"No memory for a recording: command not sent");
            return;
        }
        Notify(WorkerNoticeKind::Recording, 1);
        if (announce) TheLinkReporter().CommandText(CommandRow(CommandDebug)->Announce);
        uint32_t received = 0;
        const bool sent = Send(CommandDebug);
        const bool whole = sent && ReceiveReception(session_, &received);
        if (sent) guard().Polled(received > 0 || session_.Dropped > 0);
        if (whole) {
            Notify(WorkerNoticeKind::Answered, 1);
            if (announce) ShowReceived(received);
            if (PublishReception(received)) TheLinkReporter().RecordingDecoded();
        }
        // A link that failed meanwhile reports its end instead: the state
        // field must not show it online on the way to offline.
        if (session_.Up()) Notify(WorkerNoticeKind::Recording, 0);
    }

    void ShowReceived(uint32_t length) const {
        wchar_t text[LinkTextCapacity];
        if (session_.Dropped == 0)
            std::swprintf(text, LinkTextCapacity, L"%u bytes received", length);
        else
            std::swprintf(text, LinkTextCapacity, L"%u bytes received - %u bytes beyond the buffer dropped", length,
                          session_.Dropped);
        TheLinkReporter().CommandText(text);
    }

    void ShowNotSent(int command, const wchar_t* why) const {
        wchar_t text[LinkTextCapacity];
        std::swprintf(text, LinkTextCapacity, L"Command %ls not sent: %ls", CommandName(command), why);
        TheLinkReporter().CommandText(text);
    }

    // Install and burn carry the block the guard says; never a block that
    // was neither read from this link's controller nor set by the operator.
    void SendParameters(int command) {
        ParameterBlock& block = TheParameterBlock();
        if (!guard().MaySend(block)) return ShowNotSent(command, L"no parameters read or set yet");
        Send(command, guard().Carried(command, block));
    }

    // --- preview ------------------------------------------------------------------

    // True when the guard has something to do once no request waits.
    bool PreviewBusy() const {
        const PreviewStep step = guard().Peek(TheParameterBlock());
        return step != PreviewStep::None && (step != PreviewStep::Poll || CanRecord());
    }

    void RunPreviewStep() {
        // An end of preview while the block in memory no longer holds
        // preview's 0 is owed since an earlier link or TAVO.
        const bool earlier = !TheParameterBlock().SekHeldForPreview();
        const PreviewAction action = guard().Take(TheParameterBlock());
        switch (action.Step) {
            case PreviewStep::None: return;
            case PreviewStep::List: List(false); return;
            case PreviewStep::Install:
                if (Send(CommandInstall, action.Block) && earlier) ShowOwedSekRestored(action.Block[OffsetSEK]);
                return;
            case PreviewStep::Poll:
                // The install right before the poll, in the same cycle: a
                // controller that restarted since the last poll holds its own
                // SEK again, and must not weld. Switched off meanwhile (the
                // install may have waited for the driver), no poll follows.
                if (Send(CommandInstall, action.Block) && PreviewActive() == 1) Record(false);
                return;
        }
    }

    // The mode as it is now, and preview ended first when it is off: a
    // command asked for after P must not run as if preview were still on. A
    // weld waits until a list has shown the operator's SEK in the controller
    // (the install that ended preview may have gone to a silent one). False
    // when that could not be done.
    bool EndPreviewBefore(int command) {
        const bool on = PreviewActive() == 1;
        if (on != guard().Wanted()) guard().Want(on, TheParameterBlock());
        const bool welds = command == CommandDebug || command == CommandWeld;
        for (int step = 0; step < 3 && session_.Up() && (guard().EndDue() || (welds && guard().EndUnconfirmed()));
             ++step) {
            if (guard().Peek(TheParameterBlock()) == PreviewStep::None) break;
            RunPreviewStep();
        }
        return !welds || !guard().EndUnconfirmed();
    }

    void ShowOwedSekRestored(uint8_t sek) const {
        wchar_t text[LinkTextCapacity];
        std::swprintf(text, LinkTextCapacity, L"SEK %u restored: an earlier preview had left the controller SEK 0",
                      static_cast<unsigned>(sek));
        TheLinkReporter().CommandText(text);
    }

    void ShowPreviewHold() const {
        if (!guard().Held()) return;
        TheLinkReporter().CommandText(guard().Wanted()
                                          ? L"Preview held: the controller's parameters could not be read"
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
            guard().Want(PreviewActive() == 1, TheParameterBlock());
            return true;
        }
        if (index < WaitFirstCommand || index >= WaitInterActive) return false;
        const int command = static_cast<int>(index - WaitFirstCommand);
        const ControllerCommandRow& row = ControllerCommands[command];
        const bool sekBack = EndPreviewBefore(command);
        if (!session_.Up()) return true;
        if (!sekBack && (command == CommandDebug || command == CommandWeld)) {
            // It would not weld as asked: the controller may still hold preview's 0.
            ResetEvent(commandEvents[command]);
            ShowNotSent(command, L"SEK not restored yet");
            return true;
        }
        if (row.Answer == Reply::Recording) {
            // Reset first: a further Debug request made meanwhile runs next.
            ResetEvent(commandEvents[command]);
            Record(true);
            return true;
        }
        if (row.Answer == Reply::Parameters) {
            List(true);
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
    LinkSession session_;
    HANDLE events_[WaitCount] = {};
};

}  // namespace

DWORD WINAPI CommunicationWorker(LPVOID start) {
    auto& data = *static_cast<WorkerStart*>(start);
    data.Why = Worker(data).Run();
    return 0;
}

namespace {

// The thread pool calls it once the worker's thread has returned: only then
// may the link start the next one.
VOID CALLBACK TellWorkerEnd(PVOID start, BOOLEAN) {
    const auto& data = *static_cast<const WorkerStart*>(start);
    data.Notify({data.Number, WorkerNoticeKind::Ended, static_cast<uint32_t>(data.Why)});
}

}  // namespace

void StartCommunicationWorker(const std::string& serial, WorkerNoticeSink notify) {
    // The link's rules never ask for a second worker; refuse one all the same.
    if (ThreadRunning(WorkerThread.Get())) return;
    ExitWait.Reset();  // the last worker's end was told: its wait goes
    if (!CheckEvent) CheckEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(CheckEvent.Get());
    // Closing waits for this worker, not for the end of an earlier one.
    ResetEvent(TheLinkEvents().RecordingDone);
    Current = std::make_unique<WorkerStart>();
    Current->Number = ++WorkerNumber;
    Current->Serial = serial;
    Current->Notify = notify;
    Check.Event = CheckEvent.Get();
    Check.Worker = Current->Number;
    Check.Notify = notify;
    // Suspended until its end can be told.
    WorkerThread.Reset(CreateThread(nullptr, 0, CommunicationWorker, Current.get(), CREATE_SUSPENDED, nullptr));
    HANDLE wait = nullptr;
    if (WorkerThread &&
        RegisterWaitForSingleObject(&wait, WorkerThread.Get(), TellWorkerEnd, Current.get(), INFINITE,
                                    WT_EXECUTEONLYONCE)) {
        ExitWait.Reset(wait);
        ResumeThread(WorkerThread.Get());
        return;
    }
    // Without a thread (or a way to hear of its end) the rules would wait for
    // an end for ever: it never ran.
    if (WorkerThread) TerminateThread(WorkerThread.Get(), 0);
    WorkerThread.Reset();
    notify({Current->Number, WorkerNoticeKind::Ended, static_cast<uint32_t>(WorkerEnd::OpenFailed)});
}

unsigned CurrentWorkerNumber() { return WorkerNumber.load(); }

std::string CurrentWorkerSerial() { return Current ? Current->Opened : std::string(); }

void AskWorkerToCheckDevice(uint32_t removal) {
    Check.Removal = removal;
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
