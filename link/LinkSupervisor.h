// The life of the communication worker: when one starts, when it must make
// sure its device is still there, and when a lost link is tried again. Plain
// rules without windows.h: the main window forwards every notice, the link
// glue (link/Link.cpp) carries out the answer.
//
// At most one worker lives at a time. Every arrival that finds no live worker
// leads to exactly one new worker once the old one has returned, whatever the
// old one wrote last. A link that had come up and failed while its device may
// still be present is tried again on a slow schedule; a start that finds no
// device, several devices or no library waits for the next device event.
#pragma once

#include <cstdint>

enum class LinkPhase : uint8_t {
    Waiting,   // before the first start (timer 1 starts the first worker)
    Offline,   // no worker
    Starting,  // a worker runs but has not opened its device yet
    Ready,     // the worker has opened its device and serves requests
    Ending,    // the worker said it ends; its thread has not returned yet
    Closed,    // the window is closing: nothing starts any more
};

// Why a worker ended, as it reports it.
enum class WorkerEnd : uint8_t {
    NoLibrary,       // the driver library is missing or did not answer
    NoDevice,        // no FTDI device was found
    SeveralDevices,  // more than one: the worker wants exactly one
    OpenFailed,      // open, set-up or notification failed
    Lost,            // the link failed after it had come up; the device may still be there
    DeviceGone,      // its own device was removed
    Stopped,         // "ApplicationDone" or "StopRecording"
};
constexpr int WorkerEndCount = 7;

// What the glue must do after a notice. Nothing is asked twice: a start is
// asked only when no worker lives.
struct LinkActions {
    bool StartWorker = false;
    // Ask the live worker whether its device is still there (a removal came;
    // it may have been another FTDI device).
    bool CheckDevice = false;
    // The removal display: the state offline, the field black until repainted.
    bool ShowOffline = false;
    // Arm the retry timer for this many milliseconds (0: leave it as it is).
    uint32_t RetryInMs = 0;
    bool CancelRetry = false;
};

constexpr uint32_t FirstRetryMs = 3000;
constexpr uint32_t LongestRetryMs = 30000;
// A link that stayed up this long failed afresh: its retries start short again.
constexpr uint64_t StableLinkMs = 60000;

class LinkSupervisor {
public:
    // Notices, each with a monotonic clock in milliseconds.
    LinkActions StartRequested(uint64_t nowMs);  // command 3010
    LinkActions DeviceArrived(uint64_t nowMs);
    LinkActions DeviceRemoved(uint64_t nowMs);
    LinkActions WorkerReady(uint64_t nowMs);  // the worker opened its device
    // The worker answered the check asked by removal number `removal` (and all
    // before it): its device is still there.
    LinkActions DeviceStillThere(uint32_t removal);
    // The worker reported its end. `returned`: its thread has already returned;
    // otherwise WorkerReturned follows.
    LinkActions WorkerEnded(WorkerEnd why, bool returned, uint64_t nowMs);
    LinkActions WorkerReturned(uint64_t nowMs);
    LinkActions RetryDue(uint64_t nowMs);
    void Close();

    LinkPhase Phase() const { return phase_; }
    // True while a worker has its device open and takes requests.
    bool ServesRequests() const { return phase_ == LinkPhase::Ready; }
    bool WorkerAlive() const;
    // The number of the latest removal, for the worker's check.
    uint32_t Removals() const { return removals_; }
    // The delay the next retry would wait, for the status text.
    uint32_t RetryDelayMs() const { return retryDelayMs_; }
    bool RetryArmed() const { return retryArmed_; }

private:
    LinkActions Start();
    LinkActions AfterEnd(uint64_t nowMs);

    LinkPhase phase_ = LinkPhase::Waiting;
    // A device event came while a worker lived that this worker may not
    // have seen: start once more after it.
    bool startPending_ = false;
    // Removals the live worker has not yet answered.
    bool checkOutstanding_ = false;
    // Another device arrived while the worker held its own.
    bool otherArrived_ = false;
    uint32_t removals_ = 0;
    WorkerEnd lastEnd_ = WorkerEnd::Stopped;
    bool readyReached_ = false;
    uint64_t readySinceMs_ = 0;
    // A link that had come up failed: try it again until a start finds no
    // device or a device event comes.
    bool retrying_ = false;
    uint32_t retryDelayMs_ = FirstRetryMs;
    bool retryArmed_ = false;
};

const char* LinkPhaseName(LinkPhase phase);
