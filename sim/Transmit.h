// The converter's transmit side: what the host writes leaves the chip at the
// line's pace and reaches the controller byte by byte. A purge, a reset or a
// pulled cable drops what has not left the chip yet; what the controller
// already received stays with it. Not thread-safe by itself: the simulator
// holds its lock around every call.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

using SimClock = std::chrono::steady_clock;

// Bytes that reached the controller, all from one write.
struct LinePiece {
    const uint8_t* Bytes = nullptr;
    size_t Count = 0;
    size_t Write = 0;   // the write (numbered from 0) they came from
    size_t Offset = 0;  // where in that write the first of them stood
    // When the line last fell idle before them: a receiver that starts (a
    // controller that has booted) waits for an idle line.
    SimClock::time_point RunStart{};
};
using LineDelivery = std::function<void(const LinePiece&, SimClock::time_point arrivedAt)>;

class TransmitLine {
public:
    // `bytesPerSecond` 0: every write arrives at once.
    explicit TransmitLine(uint32_t bytesPerSecond = 0) : bytesPerSecond_(bytesPerSecond) {}

    void Queue(const uint8_t* bytes, size_t count, size_t write, SimClock::time_point now);
    // Hands over every write that has left the chip by `now`.
    void Advance(SimClock::time_point now, const LineDelivery& deliver);
    // Hands over what has left by `now`, a write cut short included, and
    // drops the rest.
    void Cut(SimClock::time_point now, const LineDelivery& deliver);
    // Everything written goes out now (the simulator's own shortcut).
    void Flush(const LineDelivery& deliver);

    // Bytes written that have not reached the controller.
    size_t Pending() const;
    // When the first write still in the chip will have left it.
    std::optional<SimClock::time_point> NextDue() const;

private:
    struct Chunk {
        std::vector<uint8_t> Bytes;
        size_t Write = 0;
        size_t Sent = 0;
        SimClock::time_point Start{}, End{}, RunStart{};
    };
    SimClock::duration LineTime(size_t bytes) const;
    void HandOver(Chunk& chunk, size_t upTo, const LineDelivery& deliver);

    uint32_t bytesPerSecond_;
    std::deque<Chunk> chunks_;
    SimClock::time_point freeAt_{};
    SimClock::time_point runStart_{};
};
