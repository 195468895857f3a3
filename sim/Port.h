// One opened device as the host sees it through the driver: the receive
// queue, the replies still on the line, the in-task, the notification event
// and the settings made through the handle. (The transmit side belongs to
// the chip: sim/Transmit.h.) Not thread-safe by itself: the simulator holds
// its lock around every call.
#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "base/Handles.h"
#include "sim/Controller.h"
#include "sim/Scenario.h"
#include "sim/Transmit.h"


class Port {
public:
    // `open`: which FT_Open of the run made this handle (from 1).
    Port(size_t device, size_t open, const Pacing& pacing) : device_(device), open_(open), pacing_(pacing) {}

    size_t Device() const { return device_; }
    size_t Open() const { return open_; }
    bool Lost() const { return lost_; }
    // The device went away: nothing more arrives and the event stays quiet.
    void Lose();

    void QueueReply(Reply reply, SimClock::time_point now);
    // The controller stopped sending (it restarted): what it had not sent yet never comes.
    void DropReplies() { line_.clear(); }

    // Moves the bursts due by `now` into the receive queue and signals the
    // event; true if any bytes arrived.
    bool Deliver(SimClock::time_point now);
    // When the next burst is due; none while idle or while the in-task stops.
    std::optional<SimClock::time_point> NextDue() const;

    size_t Readable() const { return received_.size() - readAt_; }
    size_t Read(uint8_t* buffer, size_t count);
    uint32_t TakeEventStatus() { return std::exchange(eventStatus_, 0); }

    // The receive side: the queue and the rest of the replies.
    void PurgeReceive();
    void StopInTask() { stopped_ = true; }
    void RestartInTask(SimClock::time_point now);
    bool SetNotification(uint32_t mask, HANDLE event);
    // The caller's own handle of the notification event, as it was given.
    HANDLE CallerEvent() const { return callerEvent_; }
    // Writes never wait here, so only the read time-out matters.
    void SetReadTimeout(uint32_t ms) { readTimeoutMs_ = ms; }
    uint32_t ReadTimeoutMs() const { return readTimeoutMs_; }
    void SetInTransferSize(uint32_t bytes) { inTransferSize_ = bytes; }

private:
    struct OnTheLine {
        Reply Bytes;
        size_t Sent = 0;
    };

    size_t NextBurst() const;
    SimClock::duration LineTime(size_t bytes) const;
    bool PausesAfter(size_t sent) const;

    size_t device_;
    size_t open_;
    Pacing pacing_;
    bool lost_ = false;
    bool stopped_ = false;
    std::deque<OnTheLine> line_;
    SimClock::time_point lineFreeAt_{};  // the end of the last burst, or of a pause after it
    std::vector<uint8_t> received_;
    size_t readAt_ = 0;
    uint32_t eventMask_ = 0;
    UniqueHandle event_;  // our own duplicate: the caller may close theirs
    HANDLE callerEvent_ = nullptr;
    uint32_t eventStatus_ = 0;
    uint32_t readTimeoutMs_ = 0;  // 0: a read waits until it has every byte
    uint32_t inTransferSize_ = 4096;
};
