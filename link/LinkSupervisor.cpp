#include "link/LinkSupervisor.h"

#include <algorithm>

namespace {

LinkActions Merge(LinkActions a, const LinkActions& b) {
    a.StartWorker |= b.StartWorker;
    a.CheckDevice |= b.CheckDevice;
    a.ShowOffline |= b.ShowOffline;
    if (b.RetryInMs) a.RetryInMs = b.RetryInMs;
    a.CancelRetry |= b.CancelRetry;
    return a;
}

// Ends after which the device is worth trying again without a device event:
// the link had come up, or a retry of such a link could not open it yet.
bool EndsARetryChain(WorkerEnd why) { return why != WorkerEnd::Lost && why != WorkerEnd::OpenFailed; }

}  // namespace

bool LinkSupervisor::WorkerAlive() const {
    return phase_ == LinkPhase::Starting || phase_ == LinkPhase::Ready || phase_ == LinkPhase::Ending;
}

LinkActions LinkSupervisor::Start() {
    LinkActions actions;
    phase_ = LinkPhase::Starting;
    startPending_ = false;
    checkOutstanding_ = false;
    otherArrived_ = false;
    readyReached_ = false;
    actions.StartWorker = true;
    if (retryArmed_) {
        retryArmed_ = false;
        actions.CancelRetry = true;
    }
    return actions;
}

LinkActions LinkSupervisor::StartRequested(uint64_t) {
    switch (phase_) {
        case LinkPhase::Waiting:
        case LinkPhase::Offline: return Start();
        case LinkPhase::Starting:
        case LinkPhase::Ready:
        case LinkPhase::Ending:
            // The live worker may be ending by itself: start once more after it.
            startPending_ = true;
            return {};
        case LinkPhase::Closed: return {};
    }
    return {};
}

LinkActions LinkSupervisor::DeviceArrived(uint64_t) {
    switch (phase_) {
        case LinkPhase::Waiting: return {};  // timer 1 starts the first worker
        case LinkPhase::Offline:
            // A fresh device: its retries, if it needs any, start short.
            retrying_ = false;
            retryDelayMs_ = FirstRetryMs;
            return Start();
        case LinkPhase::Starting:
        case LinkPhase::Ending: startPending_ = true; return {};
        case LinkPhase::Ready:
            // After an unanswered removal this may be our own device coming
            // back, while the worker still holds the handle of the one that went.
            if (checkOutstanding_) startPending_ = true;
            // Otherwise another device came: when ours goes, it may be the
            // one left (the controller plugged in while another adapter
            // held the link).
            else otherArrived_ = true;
            return {};
        case LinkPhase::Closed: return {};
    }
    return {};
}

LinkActions LinkSupervisor::DeviceRemoved(uint64_t) {
    ++removals_;
    LinkActions actions;
    switch (phase_) {
        case LinkPhase::Waiting: actions.ShowOffline = true; break;
        case LinkPhase::Offline:
            actions.ShowOffline = true;
            // Two devices kept the last worker from starting; one may be left now.
            if (lastEnd_ == WorkerEnd::SeveralDevices) actions = Merge(actions, Start());
            break;
        case LinkPhase::Starting:
        case LinkPhase::Ready:
            // Removals come for every FTDI device: only the worker can tell
            // whether it was its own.
            checkOutstanding_ = true;
            actions.CheckDevice = true;
            break;
        case LinkPhase::Ending:
            actions.ShowOffline = true;
            startPending_ = true;
            break;
        case LinkPhase::Closed: break;
    }
    return actions;
}

LinkActions LinkSupervisor::WorkerReady(uint64_t nowMs) {
    if (phase_ != LinkPhase::Starting) return {};
    phase_ = LinkPhase::Ready;
    readyReached_ = true;
    readySinceMs_ = nowMs;
    // The worker opened a device that was present after every device event
    // so far, unless a removal is still unanswered.
    if (!checkOutstanding_) startPending_ = false;
    return {};
}

LinkActions LinkSupervisor::DeviceStillThere(uint32_t removal) {
    if ((phase_ == LinkPhase::Starting || phase_ == LinkPhase::Ready) && removal >= removals_) {
        checkOutstanding_ = false;
        // Whatever came and went was another device.
        startPending_ = false;
    }
    return {};
}

LinkActions LinkSupervisor::WorkerEnded(WorkerEnd why, bool returned, uint64_t nowMs) {
    if (phase_ != LinkPhase::Starting && phase_ != LinkPhase::Ready) return {};
    lastEnd_ = why;
    if (!returned) {
        phase_ = LinkPhase::Ending;
        return {};
    }
    return AfterEnd(nowMs);
}

LinkActions LinkSupervisor::WorkerReturned(uint64_t nowMs) {
    if (phase_ != LinkPhase::Ending) return {};
    return AfterEnd(nowMs);
}

LinkActions LinkSupervisor::AfterEnd(uint64_t nowMs) {
    phase_ = LinkPhase::Offline;
    LinkActions actions;
    if (lastEnd_ == WorkerEnd::DeviceGone) actions.ShowOffline = true;

    if (lastEnd_ == WorkerEnd::Lost) {
        // A link that stayed up a good while failed afresh.
        if (!retrying_ || (readyReached_ && nowMs - readySinceMs_ >= StableLinkMs)) retryDelayMs_ = FirstRetryMs;
        retrying_ = true;
    } else if (EndsARetryChain(lastEnd_)) {
        retrying_ = false;
    }

    if (startPending_ || (lastEnd_ == WorkerEnd::DeviceGone && otherArrived_)) return Merge(actions, Start());
    if (retrying_) {
        actions.RetryInMs = retryDelayMs_;
        retryArmed_ = true;
        retryDelayMs_ = std::min(retryDelayMs_ * 2, LongestRetryMs);
    }
    return actions;
}

LinkActions LinkSupervisor::RetryDue(uint64_t) {
    if (!retryArmed_) return {};
    retryArmed_ = false;
    if (phase_ != LinkPhase::Offline) return {};
    return Start();
}

void LinkSupervisor::Close() {
    phase_ = LinkPhase::Closed;
    retryArmed_ = false;
    startPending_ = false;
}

const char* LinkPhaseName(LinkPhase phase) {
    switch (phase) {
        case LinkPhase::Waiting: return "waiting";
        case LinkPhase::Offline: return "offline";
        case LinkPhase::Starting: return "starting";
        case LinkPhase::Ready: return "ready";
        case LinkPhase::Ending: return "ending";
        case LinkPhase::Closed: return "closed";
    }
    return "?";
}
