// The welding controller behind the USB link: it takes 128-byte command
// frames and answers some of them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/Recording.h"

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

class Controller {
public:
    explicit Controller(ControllerSetup setup);

    // Carries out one command; null when the command has no answer.
    Reply Execute(const Frame& frame);

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
    Block ram_;
    Block rom_;
    // Every weld records the same waveforms, so they are made once; each
    // reply is a copy stamped with its weld's number.
    std::shared_ptr<const std::vector<uint8_t>> waveforms_;
    uint32_t welds_ = 0;
};
