// Random sequences of device events and worker reports against the rules of
// the worker's life. A small model of the world (the controller's device,
// other FTDI devices, the one worker and the handle it holds) feeds the
// supervisor only reports that could happen, and checks after every step:
//   - no worker starts while one lives, and none after the close;
//   - requests are taken exactly while a worker has its device open;
//   - a device that came back while the worker held a dead handle (or
//     before it had opened one) gets a new worker as soon as the old ends;
//   - a link lost after it had come up is retried on a bounded schedule, and
//     a retry opens only the device it lost;
//   - a worker starts only for timer 1, an arrival it may not have seen or a
//     retry: never because the linked device went.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/LinkSupervisor.h"

namespace {

enum class Worker { None, Starting, Ready };
enum class Held { Nothing, Own, Other };

struct World {
    LinkSupervisor link;
    uint64_t now = 0;
    bool ownPlugged = true;
    int others = 0;
    Worker worker = Worker::None;
    Held held = Held::Nothing;
    bool handleDead = false;
    bool checkAsked = false;
    bool retryArmed = false;
    bool closed = false;
    bool timerFired = false;
    // Our device came back while the worker could not have seen it.
    bool startOwed = false;
    // Timer 1 or an arrival the live worker may not have seen came since the
    // last start: a start for the one device there is may follow. An arrival
    // of our own device is seen once the worker opens it (no removal pending).
    bool startCredit = false;
    bool ownCredit = false;
    std::string required;  // the serial the starting worker must open
    std::string lost;      // the serial of the link that was lost

    static const char* SerialOf(Held held) { return held == Held::Own ? "C" : "A"; }

    void Require(bool condition) const {
        if (!condition) std::abort();
    }

    void Apply(const LinkActions& actions) {
        if (actions.StartWorker) {
            Require(worker == Worker::None);
            Require(!closed);
            if (actions.Serial.empty()) Require(startCredit || ownCredit);
            else Require(actions.Serial == lost);
            startCredit = ownCredit = false;
            required = actions.Serial;
            worker = Worker::Starting;
            held = Held::Nothing;
            handleDead = false;
            checkAsked = false;
            startOwed = false;
        }
        if (actions.CheckDevice) {
            Require(worker == Worker::Starting || worker == Worker::Ready);
            checkAsked = true;
        }
        if (actions.CancelRetry) retryArmed = false;
        if (actions.RetryInMs) {
            Require(actions.RetryInMs >= FirstRetryMs && actions.RetryInMs <= LongestRetryMs);
            retryArmed = true;
        }
        Require(link.ServesRequests() == (worker == Worker::Ready && !closed));
    }

    // The worker's thread has returned, for this reason.
    void Ended(WorkerEnd why) {
        const bool owed = startOwed;
        if (why == WorkerEnd::Lost) lost = SerialOf(held);
        const LinkActions actions = link.WorkerEnded(why, now);
        worker = Worker::None;
        if (!closed && owed) Require(actions.StartWorker);
        if (!closed && why == WorkerEnd::Lost && !actions.StartWorker) Require(actions.RetryInMs > 0);
        Apply(actions);
    }

    void Step(uint8_t op, uint8_t arg) {
        switch (op % 11) {
            case 0:  // timer 1, or a 3010 from elsewhere
                timerFired = true;
                startCredit = true;
                Apply(link.StartRequested(now));
                break;
            case 1:  // the controller's device is pulled
                if (!ownPlugged) break;
                ownPlugged = false;
                startOwed = false;  // what came back has gone again
                if (held == Held::Own) handleDead = true;
                Apply(link.DeviceRemoved(now));
                break;
            case 2: {  // and put back
                if (ownPlugged) break;
                ownPlugged = true;
                const bool blind = worker == Worker::Starting || (worker == Worker::Ready && handleDead);
                if (blind && !closed) startOwed = true;
                if (worker == Worker::None) startCredit = true;
                else if (worker != Worker::Ready || checkAsked) ownCredit = true;
                const LinkActions actions = link.DeviceArrived(now, "FTDIBUS#C#0000");
                if (worker == Worker::None && timerFired && !closed) Require(actions.StartWorker);
                Apply(actions);
                break;
            }
            case 3:  // another FTDI device comes
                if (others >= 2) break;
                ++others;
                // The controller may be plugged in while another adapter is opened.
                if (worker == Worker::Starting && !closed) startOwed = true;
                if (worker != Worker::Ready || checkAsked) startCredit = true;
                Apply(link.DeviceArrived(now));
                break;
            case 4:  // and goes
                if (others == 0) break;
                --others;
                if (held == Held::Other && arg % 2) handleDead = true;
                Apply(link.DeviceRemoved(now));
                break;
            case 5:  // the starting worker counts and opens
                if (worker != Worker::Starting || held != Held::Nothing) break;
                if (ownPlugged + others == 0) return Ended(WorkerEnd::NoDevice);
                if (ownPlugged + others > 1) return Ended(WorkerEnd::SeveralDevices);
                // A retry opens only the device it lost.
                if (!required.empty() && required != SerialOf(ownPlugged ? Held::Own : Held::Other))
                    return Ended(WorkerEnd::NoDevice);
                if (arg % 5 == 0) return Ended(WorkerEnd::OpenFailed);
                held = ownPlugged ? Held::Own : Held::Other;
                if (held == Held::Own) startOwed = false;
                if (held == Held::Own && !checkAsked) ownCredit = false;
                worker = Worker::Ready;
                Apply(link.WorkerReady(now, SerialOf(held)));
                break;
            case 6:  // the worker answers a check
                if (!checkAsked || held == Held::Nothing || worker != Worker::Ready) break;
                checkAsked = false;
                if (handleDead) return Ended(WorkerEnd::DeviceGone);
                Apply(link.DeviceStillThere(link.Removals()));
                break;
            case 7:  // the link fails with the device still there
                if (worker != Worker::Ready) break;
                return Ended(WorkerEnd::Lost);
            case 8:  // the retry timer fires
                if (!retryArmed) break;
                retryArmed = false;
                Apply(link.RetryDue(now));
                break;
            case 9:  // the window closes
                closed = true;
                link.Close();
                retryArmed = false;
                break;
            case 10: now += arg * 250u; break;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // TAVO_FUZZ_TRACE=1 prints every step, to follow a finding.
    static const bool trace = std::getenv("TAVO_FUZZ_TRACE") != nullptr;
    World world;
    for (size_t i = 0; i + 1 < size; i += 2) {
        if (trace)
            std::fprintf(stderr, "op %2d arg %3d | phase %s worker %d held %d dead %d own %d others %d owed %d\n",
                         data[i] % 11, data[i + 1], LinkPhaseName(world.link.Phase()), static_cast<int>(world.worker),
                         static_cast<int>(world.held), world.handleDead, world.ownPlugged, world.others,
                         world.startOwed);
        world.Step(data[i], data[i + 1]);
    }
    return 0;
}
