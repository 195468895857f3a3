#include "sim/Port.h"

#include <algorithm>
#include <cstring>

#include "sim/D2xx.h"

void Port::Lose() {
    lost_ = true;
    line_.clear();
    received_.clear();
    readAt_ = 0;
    event_.Reset();
    eventMask_ = 0;
}

void Port::QueueReply(Reply reply, SimClock::time_point now) {
    if (!reply || reply->empty()) return;
    if (line_.empty()) lineFreeAt_ = std::max(lineFreeAt_, now);
    line_.push_back({std::move(reply)});
}

size_t Port::NextBurst() const {
    const OnTheLine& reply = line_.front();
    size_t burst = reply.Bytes->size() - reply.Sent;
    if (!pacing_.Unpaced) burst = std::min<size_t>({burst, pacing_.BurstBytes, inTransferSize_});
    if (pacing_.PauseAfterBytes > 0) {
        const size_t every = pacing_.PauseAfterBytes;
        const size_t nextPause = pacing_.PauseRepeat ? (reply.Sent / every + 1) * every : every;
        if (nextPause > reply.Sent) burst = std::min(burst, nextPause - reply.Sent);
    }
    return burst;
}

SimClock::duration Port::LineTime(size_t bytes) const {
    if (pacing_.Unpaced) return {};
    return std::chrono::microseconds(bytes * 1'000'000ull / pacing_.BytesPerSecond);
}

bool Port::PausesAfter(size_t sent) const {
    const size_t every = pacing_.PauseAfterBytes;
    if (every == 0 || sent % every != 0) return false;
    return pacing_.PauseRepeat || sent == every;
}

std::optional<SimClock::time_point> Port::NextDue() const {
    if (lost_ || stopped_ || line_.empty()) return std::nullopt;
    return lineFreeAt_ + LineTime(NextBurst());
}

bool Port::Deliver(SimClock::time_point now) {
    size_t arrived = 0;
    while (auto due = NextDue()) {
        if (*due > now) break;
        OnTheLine& reply = line_.front();
        const size_t burst = NextBurst();
        const uint8_t* from = reply.Bytes->data() + reply.Sent;
        received_.insert(received_.end(), from, from + burst);
        reply.Sent += burst;
        arrived += burst;
        lineFreeAt_ = *due;
        if (PausesAfter(reply.Sent) && reply.Sent < reply.Bytes->size()) lineFreeAt_ += std::chrono::milliseconds(pacing_.PauseMs);
        if (reply.Sent == reply.Bytes->size()) line_.pop_front();
    }
    if (arrived == 0) return false;
    eventStatus_ |= FT_EVENT_RXCHAR;
    if ((eventMask_ & FT_EVENT_RXCHAR) && event_) SetEvent(event_.Get());
    return true;
}

size_t Port::Read(uint8_t* buffer, size_t count) {
    count = std::min(count, Readable());
    if (count == 0) return 0;
    std::memcpy(buffer, received_.data() + readAt_, count);
    readAt_ += count;
    if (readAt_ == received_.size()) {
        received_.clear();
        readAt_ = 0;
    } else if (readAt_ > (1u << 20) && readAt_ > received_.size() / 2) {
        received_.erase(received_.begin(), received_.begin() + static_cast<ptrdiff_t>(readAt_));
        readAt_ = 0;
    }
    return count;
}

void Port::PurgeReceive() {
    received_.clear();
    readAt_ = 0;
    line_.clear();  // what the controller had not yet sent is dropped too
    lineFreeAt_ = {};  // and with it a pause inside that reply
}

void Port::RestartInTask(SimClock::time_point now) {
    if (!stopped_) return;
    stopped_ = false;
    // Bytes held back while stopped go on at line speed from now, not in one flood.
    lineFreeAt_ = std::max(lineFreeAt_, now);
}

bool Port::SetNotification(uint32_t mask, HANDLE event) {
    event_.Reset();
    eventMask_ = 0;
    callerEvent_ = nullptr;
    if (mask == 0) return true;
    if (!event) return false;
    HANDLE own = nullptr;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, event, self, &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) return false;
    event_.Reset(own);
    eventMask_ = mask;
    callerEvent_ = event;
    return true;
}
