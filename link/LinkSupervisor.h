// The life of the communication worker: when one starts, when it must make
// sure its device is still there, and when a lost link is tried again; and
// what the state field shows, derived from all of that. Plain rules without
// windows.h: the main window forwards every notice, the link glue
// (link/Link.cpp) carries out the answer.
//
// At most one worker lives at a time. A worker starts only on timer 1, on an
// arrival, or to retry a link that was lost while its device stayed present;
// a retry opens only the device (serial number) it lost, so the removal of
// the controller never links TAVO to another adapter. Every arrival that the
// running worker could not have seen (it came while the worker was starting
// or ending, or while a removal it has not yet answered may have been its
// own device) leads to one more start once it has returned. The worker's end
// is known when its thread has returned: it reports it from there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/ControllerState.h"

enum class LinkPhase : uint8_t {
    Waiting,   // before the first start (timer 1 starts the first worker)
    Offline,   // no worker
    Starting,  // a worker runs but has not opened its device yet
    Ready,     // the worker has opened its device and serves requests
    Closed,    // the window is closing: nothing starts any more
};

// Why a worker ended, as it reports it.
enum class WorkerEnd : uint8_t {
    NoLibrary,       // the driver library is missing or did not answer
    NoDevice,        // no FTDI device was found, or not the one a retry wants
    SeveralDevices,  // more than one: the worker wants exactly one
    OpenFailed,      // open, set-up or notification failed
    Lost,            // the link failed after it had come up; its device is still there
    DeviceGone,      // its own device was removed
    Stopped,         // "ApplicationDone" or "StopRecording"
};
constexpr int WorkerEndCount = 7;

// What a worker tells the link, from its own thread (its end from the thread
// pool, once its thread has returned); each is taken on the user-interface
// thread and ignored there when `Worker` is not the latest worker any more.
enum class WorkerNoticeKind : uint8_t {
    StillThere,  // value: the removal its device check answered
    Answered,    // value: 1 when the controller answered, 0 when its first list failed
    Recording,   // value: 1 when a recording begins, 0 when it ended
    Ended,       // value: the WorkerEnd; its thread has returned
};
struct WorkerNotice {
    unsigned Worker = 0;
    WorkerNoticeKind Kind = WorkerNoticeKind::Ended;
    uint32_t Value = 0;
};
// Where a worker's notices go: any thread may call it.
using WorkerNoticeSink = void (*)(const WorkerNotice& notice);

// What the glue must do after a notice. Nothing is asked twice: a start is
// asked only when no worker lives.
struct LinkActions {
    bool StartWorker = false;
    // The device the new worker must open (a retry); empty: the one device there is.
    std::string Serial;
    // Ask the live worker whether its device is still there (a removal came;
    // it may have been another FTDI device).
    bool CheckDevice = false;
    // The removal display: the state offline, the field black until repainted.
    bool ShowOffline = false;
    // Arm the retry timer for this many milliseconds and say so (0: leave it).
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
    // `name`: the arrival's device-interface path, which names the device's
    // serial number; empty when unknown.
    LinkActions DeviceArrived(uint64_t nowMs, const std::string& name = {});
    LinkActions DeviceRemoved(uint64_t nowMs);
    // The worker opened the device with this serial number.
    LinkActions WorkerReady(uint64_t nowMs, const std::string& serial = {});
    // The worker answered the check asked by removal number `removal` (and all
    // before it): its device is still there.
    LinkActions DeviceStillThere(uint32_t removal);
    // The worker's thread has returned, for this reason.
    LinkActions WorkerEnded(WorkerEnd why, uint64_t nowMs);
    LinkActions RetryDue(uint64_t nowMs);
    void Close();

    // The ready worker's reports for the state field: whether the controller
    // answered (its first list, later lists and recordings), and a recording
    // runs or ended. Once it has answered on this link, it stays online.
    void ControllerAnswered(bool answered);
    void Recording(bool running);

    LinkPhase Phase() const { return phase_; }
    // True while a worker has its device open and takes requests.
    bool ServesRequests() const { return phase_ == LinkPhase::Ready; }
    bool WorkerAlive() const;
    // What the state field shows.
    int32_t ControllerState() const;
    // The number of the latest removal, for the worker's check.
    uint32_t Removals() const { return removals_; }
    // The delay the next retry would wait, for the status text.
    uint32_t RetryDelayMs() const { return retryDelayMs_; }
    bool RetryArmed() const { return retryArmed_; }
    // The device the link last had, which a retry opens.
    const std::string& LinkedSerial() const { return serial_; }

private:
    LinkActions Start(const std::string& serial);
    bool StartOwed() const { return startAsked_ || !unseen_.empty(); }

    LinkPhase phase_ = LinkPhase::Waiting;
    // Command 3010 came while a worker lived: start once more after it.
    bool startAsked_ = false;
    // Arrivals the live worker may not have seen (their device-interface
    // names): start once more after it. Only a start clears them, but for
    // arrivals of the very device a starting worker then opened.
    std::vector<std::string> unseen_;
    // Removals the live worker has not yet answered.
    bool checkOutstanding_ = false;
    uint32_t removals_ = 0;
    // The device the link last had (a retry opens only it), and since when
    // the live worker has it open.
    std::string serial_;
    std::optional<uint64_t> readySinceMs_;
    // A link that had come up failed: try its device again until a start
    // finds it gone or a device event comes.
    bool retrying_ = false;
    uint32_t retryDelayMs_ = FirstRetryMs;
    bool retryArmed_ = false;
    // The state field when no ready worker speaks for it: n/a until a worker
    // has reported (a missing library leaves it), offline after.
    int32_t idleState_ = ControllerNotAvailable;
    enum class Answer : uint8_t { Awaited, Yes, No };
    Answer answer_ = Answer::Awaited;
    bool recording_ = false;
};

const char* LinkPhaseName(LinkPhase phase);
