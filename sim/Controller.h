// The welding controller behind the USB link: it takes 128-byte command
// frames and answers some of them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sim/Recording.h"
#include "sim/Transmit.h"

constexpr size_t FrameBytes = 128;
constexpr size_t OpcodeOffset = 64;
constexpr size_t BlockBytes = 64;

using Frame = std::array<uint8_t, FrameBytes>;
using Block = std::array<uint8_t, BlockBytes>;
using Reply = std::shared_ptr<const std::vector<uint8_t>>;

struct ControllerSetup {
    bool Silent = false;          // takes every frame, does nothing, answers nothing
    uint32_t ListReplyBytes = FrameBytes;
    RecordingShape Recording;
};

// The parameter set the controller comes with, inside every field's limits.
Block FactoryBlock();

// A frame the controller assembled from the bytes it received.
struct AssembledFrame {
    Frame Bytes{};
    size_t Write = 0;        // the write whose byte completed it
    bool Aligned = false;    // its first byte was the first byte of a write
    bool AfterBoot = false;  // the first frame since the controller booted
};

class Controller {
public:
    explicit Controller(ControllerSetup setup);

    // Bytes from the line. The controller assembles 128-byte frames from
    // the stream and cannot tell where a frame starts: a frame the host cut
    // short takes the next bytes as its rest. While it boots it hears
    // nothing, and it starts listening only once the line falls idle.
    void Receive(const LinePiece& piece, const std::function<void(const AssembledFrame&)>& onFrame);
    // Carries out one command; null when the command has no answer.
    Reply Execute(const Frame& frame);
    // Switched off and on (the adapter, powered from USB, stays): RAM from
    // ROM, no partial frame, deaf for `bootMs` from `now`.
    void Restart(SimClock::time_point now, uint32_t bootMs);
    // Bytes of a frame begun and not yet complete.
    size_t PartialBytes() const { return partialSize_; }

    Block Ram() const { return ram_; }
    Block Rom() const { return rom_; }
    void SetRam(const Block& block) { ram_ = block; }
    // Faults switched on and off while the program runs.
    void SetSilent(bool silent) { setup_.Silent = silent; }
    bool Silent() const { return setup_.Silent; }
    void SetListReplyBytes(uint32_t bytes) { setup_.ListReplyBytes = bytes; }
    // Welds recorded so far; each recording carries the number of its weld.
    uint32_t Welds() const { return welds_; }

private:
    Reply ListReply() const;
    Reply RecordingReply();

    ControllerSetup setup_;
    Frame partial_{};
    size_t partialSize_ = 0;
    bool partialAligned_ = false;
    bool booting_ = false;
    bool firstSinceBoot_ = false;
    SimClock::time_point bootEnd_{};
    Block ram_;
    Block rom_;
    // Every weld records the same waveforms, so they are made once; each
    // reply is a copy stamped with its weld's number.
    std::shared_ptr<const std::vector<uint8_t>> waveforms_;
    uint32_t welds_ = 0;
};
