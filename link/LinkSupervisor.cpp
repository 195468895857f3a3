#include "link/LinkSupervisor.h"

#include <algorithm>
#include <cctype>

namespace {

LinkActions Merge(LinkActions a, const LinkActions& b) {
    if (b.StartWorker) {
        a.StartWorker = true;
        a.Serial = b.Serial;
    }
    a.CheckDevice |= b.CheckDevice;
    a.ShowOffline |= b.ShowOffline;
    if (b.RetryInMs) a.RetryInMs = b.RetryInMs;
    a.CancelRetry |= b.CancelRetry;
    return a;
}

// True when the device-interface name names the device with this serial
// number (FTDI paths carry it, in any case).
bool NamesDevice(const std::string& name, const std::string& serial) {
    if (name.empty() || serial.empty()) return false;
    const auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    return lower(name).find(lower(serial)) != std::string::npos;
}

// Ends after which the device is worth trying again without a device event:
// the link had come up, or a retry of such a link could not open it yet, or
// met another adapter beside it (the retry opens only its own device, and
// only once it is alone).
bool EndsARetryChain(WorkerEnd why) {
    return why != WorkerEnd::Lost && why != WorkerEnd::OpenFailed && why != WorkerEnd::SeveralDevices;
}

}  // namespace

bool LinkSupervisor::WorkerAlive() const { return phase_ == LinkPhase::Starting || phase_ == LinkPhase::Ready; }

LinkActions LinkSupervisor::Start(const std::string& serial) {
    LinkActions actions;
    phase_ = LinkPhase::Starting;
    startAsked_ = false;
    unseen_.clear();
    checkOutstanding_ = false;
    readySinceMs_.reset();
    answer_ = Answer::Awaited;
    recording_ = false;
    actions.StartWorker = true;
    actions.Serial = serial;
    if (retryArmed_) {
        retryArmed_ = false;
        actions.CancelRetry = true;
    }
    return actions;
}

LinkActions LinkSupervisor::StartRequested(uint64_t) {
    switch (phase_) {
        case LinkPhase::Waiting:
        case LinkPhase::Offline: return Start({});
        case LinkPhase::Starting:
        case LinkPhase::Ready:
            // The live worker may be ending by itself: start once more after it.
            startAsked_ = true;
            return {};
        case LinkPhase::Closed: return {};
    }
    return {};
}

LinkActions LinkSupervisor::DeviceArrived(uint64_t, const std::string& name) {
    switch (phase_) {
        case LinkPhase::Waiting: return {};  // timer 1 starts the first worker
        case LinkPhase::Offline:
            // A fresh device: its retries, if it needs any, start short. A
            // lost link is still tried on its own device only.
            retryDelayMs_ = FirstRetryMs;
            return Start(retrying_ ? serial_ : std::string());
        case LinkPhase::Starting:
            // The worker may have counted the devices before this one came.
            unseen_.push_back(name);
            return {};
        case LinkPhase::Ready:
            // After an unanswered removal this may be our own device coming
            // back while the worker still holds the handle of the one that
            // went. Otherwise another adapter came; the link is on its own.
            if (checkOutstanding_) unseen_.push_back(name);
            return {};
        case LinkPhase::Closed: return {};
    }
    return {};
}

LinkActions LinkSupervisor::DeviceRemoved(uint64_t) {
    ++removals_;
    LinkActions actions;
    switch (phase_) {
        case LinkPhase::Waiting:
            actions.ShowOffline = true;
            idleState_ = ControllerOffline;
            break;
        case LinkPhase::Offline:
            actions.ShowOffline = true;
            idleState_ = ControllerOffline;
            // The retry would say "next attempt" while its device may be the
            // one that went: try now; it opens only the device it lost.
            if (retryArmed_) actions = Merge(actions, Start(serial_));
            break;
        case LinkPhase::Starting:
        case LinkPhase::Ready:
            // Removals come for every FTDI device: only the worker can tell
            // whether it was its own (a worker that is ending never answers).
            checkOutstanding_ = true;
            actions.CheckDevice = true;
            break;
        case LinkPhase::Closed: break;
    }
    return actions;
}

LinkActions LinkSupervisor::WorkerReady(uint64_t nowMs, const std::string& serial) {
    if (phase_ != LinkPhase::Starting) return {};
    phase_ = LinkPhase::Ready;
    readySinceMs_ = nowMs;
    serial_ = serial;
    // An arrival of the device it opened was seen, unless a removal it has
    // not answered came too (then the handle may be the dead one).
    if (!checkOutstanding_)
        std::erase_if(unseen_, [&](const std::string& name) { return NamesDevice(name, serial); });
    return {};
}

LinkActions LinkSupervisor::DeviceStillThere(uint32_t removal) {
    if ((phase_ == LinkPhase::Starting || phase_ == LinkPhase::Ready) && removal >= removals_)
        checkOutstanding_ = false;
    return {};
}

LinkActions LinkSupervisor::WorkerEnded(WorkerEnd why, uint64_t nowMs) {
    if (phase_ != LinkPhase::Starting && phase_ != LinkPhase::Ready) return {};
    // A missing library leaves the state as it was.
    if (why != WorkerEnd::NoLibrary) idleState_ = ControllerOffline;
    phase_ = LinkPhase::Offline;
    LinkActions actions;
    if (why == WorkerEnd::DeviceGone) actions.ShowOffline = true;

    if (why == WorkerEnd::Lost) {
        // A link that stayed up a good while failed afresh.
        if (!retrying_ || (readySinceMs_ && nowMs - *readySinceMs_ >= StableLinkMs)) retryDelayMs_ = FirstRetryMs;
        retrying_ = true;
    } else if (EndsARetryChain(why)) {
        retrying_ = false;
    }

    // A lost link is still tried on its own device only.
    if (StartOwed()) return Merge(actions, Start(retrying_ ? serial_ : std::string()));
    // A removal it never answered may have been its own device: no "next
    // attempt" for a device that may have gone; the retry goes now.
    if (retrying_ && checkOutstanding_) return Merge(actions, Start(serial_));
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
    return Start(serial_);
}

void LinkSupervisor::Close() {
    phase_ = LinkPhase::Closed;
    retryArmed_ = false;
    startAsked_ = false;
    unseen_.clear();
}

void LinkSupervisor::ControllerAnswered(bool answered) {
    if (phase_ != LinkPhase::Ready || answer_ == Answer::Yes) return;
    answer_ = answered ? Answer::Yes : Answer::No;
}

void LinkSupervisor::Recording(bool running) {
    if (phase_ == LinkPhase::Ready) recording_ = running;
}

int32_t LinkSupervisor::ControllerState() const {
    if (phase_ != LinkPhase::Ready) return idleState_;
    if (recording_) return ControllerActive;
    switch (answer_) {
        case Answer::Awaited: return idleState_;  // the first list is on its way
        case Answer::Yes: return ControllerOnline;
        case Answer::No: break;
    }
    // A controller that did not answer on this link is no link.
    return ControllerOffline;
}

const char* LinkPhaseName(LinkPhase phase) {
    switch (phase) {
        case LinkPhase::Waiting: return "waiting";
        case LinkPhase::Offline: return "offline";
        case LinkPhase::Starting: return "starting";
        case LinkPhase::Ready: return "ready";
        case LinkPhase::Closed: return "closed";
    }
    return "?";
}
