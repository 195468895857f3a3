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

private:
    Reply ListReply() const;
    Reply RecordingReply();

    ControllerSetup setup_;
    Block ram_;
    Block rom_;
    // Every weld records the same stream, so it is made once and shared
    // with the replies still on their way.
    Reply recording_;
};
