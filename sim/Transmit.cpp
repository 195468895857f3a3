#include "sim/Transmit.h"

#include <algorithm>

SimClock::duration TransmitLine::LineTime(size_t bytes) const {
    if (bytesPerSecond_ == 0) return {};
    return std::chrono::duration_cast<SimClock::duration>(std::chrono::nanoseconds(bytes * 1'000'000'000ull / bytesPerSecond_));
}

void TransmitLine::Queue(const uint8_t* bytes, size_t count, size_t write, SimClock::time_point now) {
    if (count == 0) return;
    // A write that finds the line idle starts a new run of bytes.
    if (now > freeAt_) runStart_ = now;
    Chunk chunk;
    chunk.Bytes.assign(bytes, bytes + count);
    chunk.Write = write;
    chunk.Start = std::max(now, freeAt_);
    chunk.End = freeAt_ = chunk.Start + LineTime(count);
    chunk.RunStart = runStart_;
    chunks_.push_back(std::move(chunk));
}

void TransmitLine::HandOver(Chunk& chunk, size_t upTo, const LineDelivery& deliver) {
    if (upTo <= chunk.Sent) return;
    LinePiece piece{chunk.Bytes.data() + chunk.Sent, upTo - chunk.Sent, chunk.Write, chunk.Sent, chunk.RunStart};
    chunk.Sent = upTo;
    deliver(piece, chunk.Start + LineTime(upTo));
}

void TransmitLine::Advance(SimClock::time_point now, const LineDelivery& deliver) {
    while (!chunks_.empty() && chunks_.front().End <= now) {
        Chunk chunk = std::move(chunks_.front());
        chunks_.pop_front();
        HandOver(chunk, chunk.Bytes.size(), deliver);
    }
}

void TransmitLine::Cut(SimClock::time_point now, const LineDelivery& deliver) {
    Advance(now, deliver);
    if (!chunks_.empty() && chunks_.front().Start < now) {
        Chunk& chunk = chunks_.front();
        const auto gone = std::chrono::duration_cast<std::chrono::nanoseconds>(now - chunk.Start).count();
        const size_t left = static_cast<size_t>(static_cast<unsigned long long>(gone) * bytesPerSecond_ / 1'000'000'000ull);
        HandOver(chunk, std::min(left, chunk.Bytes.size()), deliver);
    }
    chunks_.clear();
    freeAt_ = std::min(freeAt_, now);
}

void TransmitLine::Flush(const LineDelivery& deliver) {
    while (!chunks_.empty()) {
        Chunk chunk = std::move(chunks_.front());
        chunks_.pop_front();
        HandOver(chunk, chunk.Bytes.size(), deliver);
    }
}

size_t TransmitLine::Pending() const {
    size_t pending = 0;
    for (const Chunk& chunk : chunks_) pending += chunk.Bytes.size() - chunk.Sent;
    return pending;
}

std::optional<SimClock::time_point> TransmitLine::NextDue() const {
    if (chunks_.empty()) return std::nullopt;
    return chunks_.front().End;
}
