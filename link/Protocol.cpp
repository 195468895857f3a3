#include "link/Protocol.h"

#include <algorithm>
#include <cwchar>
#include <mutex>

#include "app/AppEvents.h"
#include "app/StatusBar.h"
#include "editors/ParameterBlock.h"
#include "scope/RecordBuffer.h"

namespace {

// Rounds of status query and read per notification; more bytes than that
// set the notification again and are read after the next wait.
constexpr int DrainRounds = 16;
constexpr DWORD ScratchSize = 0x10000;

enum class Wake { Stop, Data, Silence };

// Waits for the end of the application, a stop request, the worker's quit (if
// the session has one) or received bytes, in that order of precedence.
Wake WaitForReply(const LinkSession& session) {
    const AppEvents& events = TheEvents();
    HANDLE waits[4] = {events.ApplicationDone, events.StopRecording};
    DWORD count = 2;
    if (session.Quit) waits[count++] = session.Quit;
    waits[count++] = session.FtdiEvent;
    const DWORD result = WaitForMultipleObjects(count, waits, FALSE, ReplySilenceMs);
    if (result == WAIT_OBJECT_0 + count - 1) return Wake::Data;
    if (result == WAIT_TIMEOUT) return Wake::Silence;
    return Wake::Stop;
}

// A destination with a fixed room; what does not fit is read and dropped so
// the queue empties, and counted.
struct Collector {
    uint8_t* destination;
    uint32_t capacity;
    uint32_t stored = 0;
    uint32_t dropped = 0;
};

// Reads `amount` bytes to `to`; true only when all of them arrived.
bool ReadExactly(const LinkSession& session, void* to, DWORD amount) {
    DWORD read = 0;
    return FtdiLibrary()->Read(session.Handle, to, amount, &read) == FT_OK && read == amount;
}

void DropBytes(const LinkSession& session, DWORD amount, Collector& collector) {
    static uint8_t scratch[ScratchSize];
    while (amount > 0) {
        const DWORD part = std::min(amount, ScratchSize);
        if (!ReadExactly(session, scratch, part)) return;
        collector.dropped += part;
        amount -= part;
    }
}

// Reads what the queue holds. The notification was reset before the first
// query, so bytes that arrive meanwhile set it again and are not missed.
void DrainQueue(const LinkSession& session, Collector& collector) {
    const FtdiFunctions* ftdi = FtdiLibrary();
    for (int round = 0; round < DrainRounds; ++round) {
        DWORD queued = 0, transmit = 0, eventStatus = 0;
        if (ftdi->GetStatus(session.Handle, &queued, &transmit, &eventStatus) != FT_OK || queued == 0) return;
        const DWORD room = collector.capacity - collector.stored;
        const DWORD take = std::min(queued, room);
        // A read that fails or falls short is not counted; its bytes are
        // overwritten by the next read.
        if (take > 0 && ReadExactly(session, collector.destination + collector.stored, take))
            collector.stored += take;
        if (queued > take) DropBytes(session, queued - take, collector);
    }
}

// Collects until silence; false when stopped first.
bool Collect(const LinkSession& session, Collector& collector) {
    for (;;) {
        switch (WaitForReply(session)) {
            case Wake::Stop: return false;
            case Wake::Silence: return true;
            case Wake::Data:
                ResetEvent(session.FtdiEvent);
                DrainQueue(session, collector);
                break;
        }
    }
}

void ShowCommandText(const wchar_t* text) {
    StatusBarSetText(text, PartCommand);
    StatusBarPostText(PartCommand);
}

int ReceiveIntoRecordBuffer(LinkSession& session) {
    RecordStore& record = TheRecord();
    std::lock_guard guard(record.Lock);
    uint32_t count = 0;
    const int result = ReceiveRecording(session, record.Buffer, record.Buffer ? RecordBufferSize : 0, &count,
                                        &session.Dropped);
    record.Length = count;
    return result;
}

}  // namespace

int WriteFrame(LinkSession& session, const CommandFrame& frame) {
    if (!FtdiClearQueues(session.Handle)) {
        session.Lost = true;
        return 0;
    }
    CommandFrame copy = frame;
    DWORD written = 0;
    const FT_STATUS status = FtdiLibrary()->Write(session.Handle, copy.data(), CommandFrameSize, &written);
    return status == FT_OK && written == CommandFrameSize;
}

int ReceiveRecording(LinkSession& session, uint8_t* destination, uint32_t capacity, uint32_t* count,
                     uint32_t* dropped) {
    Collector collector{destination, destination ? capacity : 0};
    const bool silent = Collect(session, collector);
    *count = collector.stored;
    *dropped = collector.dropped;
    return silent && collector.stored > 0;
}

int ReceiveParameters(LinkSession& session) {
    uint8_t reply[ParameterReplySize];
    Collector collector{reply, ParameterReplySize};
    if (!Collect(session, collector)) return 0;
    // A longer reply is an error too, reported with its true length.
    const uint32_t received = collector.stored + collector.dropped;
    if (received != ParameterReplySize) {
        wchar_t text[128];
        std::swprintf(text, 128, L"Parameters: %u bytes received - ERROR", received);
        ShowCommandText(text);
        return 0;
    }
    uint8_t block[ParameterBlockSize];
    std::copy_n(reply, ParameterBlockSize, block);
    TheParameterBlock().Replace(block);
    ShowCommandText(L"Parameters fine");
    return 1;
}

int SendCommand(LinkSession& session, int command) {
    session.Dropped = 0;
    const std::optional<CommandFrame> frame = BuildCommandFrame(command, TheParameterBlock().Read());
    // A number that is no command has no frame, and nothing is written.
    if (!frame) return 0;
    // A failed write is not judged: the reply wait then ends by silence.
    WriteFrame(session, *frame);
    if (session.Lost) return 0;
    switch (command) {
        case CommandDebug: return ReceiveIntoRecordBuffer(session);
        case CommandList: return ReceiveParameters(session);
        default: return 1;
    }
}
