#include "link/Protocol.h"

#include <algorithm>
#include <cwchar>

#include "link/LinkEvents.h"
#include "link/LinkReporter.h"
#include "scope/RecordBuffer.h"

namespace {

// Rounds of status query and read per notification.
constexpr int DrainRounds = 16;
constexpr DWORD ScratchSize = 0x10000;
// A drain that fails this often in a row (the status query or the reads) gives
// the device up; between tries the reception pauses briefly.
constexpr int DrainFailureLimit = 50;
constexpr DWORD DrainFailurePauseMs = 10;
// A device check asks the driver this often before it believes a failure.
constexpr int CheckTries = 3;
constexpr DWORD CheckPauseMs = 20;
// Writes that complete a frame taken in part.
constexpr int CompletionTries = 4;
// How long the close waits for the chip to send what was written: a frame
// takes 0.3 ms at 4 Mbaud.
constexpr int SentPolls = 50;
constexpr DWORD SentPollMs = 2;

enum class Wake { Stop, Data, Silence };

// Waits for the end of the application, a stop request, a device check (if
// the session has one) or received bytes, in that order of precedence. A
// check is answered here; a device found gone stops the wait.
Wake WaitForReply(LinkSession& session) {
    const LinkEvents& events = TheLinkEvents();
    for (;;) {
        HANDLE waits[4] = {events.ApplicationDone, events.StopRecording};
        DWORD count = 2;
        const bool checks = session.Check && session.Check->Event;
        if (checks) waits[count++] = session.Check->Event;
        waits[count++] = session.FtdiEvent.Get();
        const DWORD result = WaitForMultipleObjects(count, waits, FALSE, ReplySilenceMs);
        if (result == WAIT_OBJECT_0 + count - 1) return Wake::Data;
        if (result == WAIT_TIMEOUT) return Wake::Silence;
        if (checks && result == WAIT_OBJECT_0 + 2) {
            if (!AnswerDeviceCheck(session)) return Wake::Stop;
            continue;
        }
        return Wake::Stop;
    }
}

// A destination with a fixed room; what does not fit is read and dropped so
// the queue empties, and counted.
struct Collector {
    uint8_t* destination;
    uint32_t capacity;
    uint32_t stored = 0;
    uint32_t dropped = 0;
    int failures = 0;          // drains in a row that could not read what was queued
    bool readFailed = false;   // a read lost bytes
};

// Reads `amount` bytes to `to`; true only when all of them arrived.
bool ReadExactly(const LinkSession& session, void* to, DWORD amount) {
    DWORD read = 0;
    return FtdiLibrary()->Read(session.Handle.Get(), to, amount, &read) == FT_OK && read == amount;
}

bool DropBytes(const LinkSession& session, DWORD amount, Collector& collector) {
    static uint8_t scratch[ScratchSize];
    while (amount > 0) {
        const DWORD part = std::min(amount, ScratchSize);
        if (!ReadExactly(session, scratch, part)) return false;
        collector.dropped += part;
        amount -= part;
    }
    return true;
}

// Reads what the queue holds. The notification was reset before the first
// query, so bytes that arrive meanwhile set it again. False when the queue
// could not be read to the end: the bytes may still be waiting.
bool DrainQueue(const LinkSession& session, Collector& collector) {
    const FtdiFunctions* ftdi = FtdiLibrary();
    for (int round = 0; round < DrainRounds; ++round) {
        DWORD queued = 0, transmit = 0, eventStatus = 0;
        if (ftdi->GetStatus(session.Handle.Get(), &queued, &transmit, &eventStatus) != FT_OK) return false;
        if (queued == 0) return true;
        const DWORD room = collector.capacity - collector.stored;
        const DWORD take = std::min(queued, room);
        // A read that fails or falls short is not counted; its bytes are
        // overwritten by the next read.
        bool complete = true;
        if (take > 0) {
            complete = ReadExactly(session, collector.destination + collector.stored, take);
            if (complete) collector.stored += take;
        }
        if (queued > take) complete &= DropBytes(session, queued - take, collector);
        if (!complete) {
            collector.readFailed = true;
            return false;
        }
    }
    return true;
}

// Collects until silence; false when stopped first (or the device failed).
bool Collect(LinkSession& session, Collector& collector) {
    for (;;) {
        switch (WaitForReply(session)) {
            case Wake::Stop: return false;
            case Wake::Silence: return true;
            case Wake::Data:
                ResetEvent(session.FtdiEvent.Get());
                if (DrainQueue(session, collector)) {
                    collector.failures = 0;
                    break;
                }
                // Bytes may wait with no notification to come: look again
                // after a short pause, but not for ever.
                if (++collector.failures >= DrainFailureLimit) {
                    session.Failed = true;
                    return false;
                }
                Sleep(DrainFailurePauseMs);
                SetEvent(session.FtdiEvent.Get());
                break;
        }
    }
}

// True while the driver still knows the handle.
bool HandleAnswers(const LinkSession& session) {
    DWORD queued = 0, transmit = 0, eventStatus = 0;
    return FtdiLibrary()->GetStatus(session.Handle.Get(), &queued, &transmit, &eventStatus) == FT_OK;
}

// One failed status query after some removal is no proof: ask again.
bool HandleStillAnswers(const LinkSession& session) {
    for (int attempt = 0; attempt < CheckTries; ++attempt) {
        if (attempt > 0) Sleep(CheckPauseMs);
        if (HandleAnswers(session)) return true;
    }
    return false;
}

// The rest of a frame the driver took only in part, as zeros. A few tries,
// none after one that took nothing (each may wait the write time-out).
void CompleteFrame(const LinkSession& session, DWORD written) {
    static uint8_t zeros[CommandFrameSize] = {};
    for (int attempt = 0; attempt < CompletionTries && written < CommandFrameSize; ++attempt) {
        const DWORD missing = static_cast<DWORD>(CommandFrameSize - written);
        DWORD more = 0;
        if (FtdiLibrary()->Write(session.Handle.Get(), zeros, missing, &more) != FT_OK || more == 0) return;
        written += std::min(more, missing);
    }
}

void ShowWriteFailure(int command, FT_STATUS status, DWORD written) {
    wchar_t text[LinkTextCapacity];
    if (status != FT_OK)
        std::swprintf(text, LinkTextCapacity, L"Command %ls not sent: FT_Write(...) failed Status %ls",
                      CommandName(command), FtdiStatusText(status));
    else
        std::swprintf(text, LinkTextCapacity, L"Command %ls cut short: %u of %u bytes written",
                      CommandName(command), static_cast<unsigned>(written), static_cast<unsigned>(CommandFrameSize));
    TheLinkReporter().CommandText(text);
}

}  // namespace

bool AnswerDeviceCheck(LinkSession& session) {
    DeviceCheck* check = session.Check;
    if (!check || !check->Event) return true;
    ResetEvent(check->Event);
    const uint32_t removal = check->Removal.load();
    if (!HandleStillAnswers(session)) {
        session.Failed = true;
        return false;
    }
    if (check->Notify) check->Notify({check->Worker, WorkerNoticeKind::StillThere, removal});
    return true;
}

bool DeviceCheckPending(const LinkSession& session) {
    return session.Check && session.Check->Event && WaitForSingleObject(session.Check->Event, 0) == WAIT_OBJECT_0;
}

int WriteCommand(LinkSession& session, int command, const ParameterBytes& block) {
    const std::optional<CommandFrame> frame = BuildCommandFrame(command, block);
    if (!frame || !session.Up()) return 0;
    if (!FtdiClearQueues(session.Handle.Get())) {
        session.Failed = true;
        return 0;
    }
    CommandFrame copy = *frame;
    DWORD written = 0;
    const FT_STATUS status = FtdiLibrary()->Write(session.Handle.Get(), copy.data(), CommandFrameSize, &written);
    if (status == FT_OK && written == CommandFrameSize) return 1;
    written = std::min<DWORD>(written, CommandFrameSize);
    if (written > 0) CompleteFrame(session, written);
    ShowWriteFailure(command, status, written);
    session.Failed = true;
    return 0;
}

void WaitUntilSent(const LinkSession& session) {
    const FtdiFunctions* ftdi = FtdiLibrary();
    for (int poll = 0; ftdi && poll < SentPolls; ++poll) {
        DWORD queued = 0, transmit = 0, eventStatus = 0;
        if (ftdi->GetStatus(session.Handle.Get(), &queued, &transmit, &eventStatus) != FT_OK || transmit == 0) return;
        Sleep(SentPollMs);
    }
}

int ReceiveRecording(LinkSession& session, uint8_t* destination, uint32_t capacity, uint32_t* count,
                     uint32_t* dropped) {
    Collector collector{destination, destination ? capacity : 0};
    const bool silent = Collect(session, collector);
    *count = collector.stored;
    *dropped = collector.dropped;
    return silent && collector.stored > 0;
}

int ReceiveReception(LinkSession& session, uint32_t* received) {
    RecordStore& record = TheRecord();
    uint32_t count = 0;
    session.Dropped = 0;
    record.Receiving = true;
    const int result = ReceiveRecording(session, record.Reception, record.Reception ? RecordBufferSize : 0, &count,
                                        &session.Dropped);
    record.Receiving = false;
    *received = count;
    return result;
}

std::optional<ParameterBytes> ReceiveParameters(LinkSession& session) {
    uint8_t reply[ParameterReplySize] = {};
    Collector collector{reply, ParameterReplySize};
    if (!Collect(session, collector)) return std::nullopt;
    // A longer reply is an error too, reported with its true length; a reply
    // with a read that went missing is one even when the lengths add up.
    const uint32_t received = collector.stored + collector.dropped;
    if (collector.stored != ParameterReplySize || collector.dropped != 0 || collector.readFailed) {
        wchar_t text[LinkTextCapacity];
        std::swprintf(text, LinkTextCapacity, L"Parameters: %u bytes received - ERROR", received);
        TheLinkReporter().CommandText(text);
        return std::nullopt;
    }
    ParameterBytes block;
    std::copy_n(reply, ParameterBlockSize, block.begin());
    TheLinkReporter().CommandText(L"Parameters fine");
    return block;
}
