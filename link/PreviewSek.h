// Preview zeroes the SEK byte of the parameter block while it runs and puts
// the value back when it ends. The switch acts only on real changes of its
// own state, never on the event that asked for one: two presses folded into
// one event, or a preview that spans a lost link, must not lose the value.
// The block installed when preview ends equals the block before it began.
#pragma once

#include <cstdint>

#include "editors/ParameterBlock.h"

class PreviewSek {
public:
    // The operator switched preview (the worker reads the mode it asked for).
    // True when the block changed and must be installed.
    bool Follow(bool on, ParameterBlock& block);
    // A worker has just listed the controller's block: a preview that is on
    // (switched on before, or while no link was up) zeroes SEK again, one
    // switched off meanwhile puts the saved value back. True when the block
    // must be installed.
    bool LinkUp(bool on, ParameterBlock& block);

    bool Active() const { return active_; }
    uint8_t Saved() const { return saved_; }

private:
    void Begin(ParameterBlock& block);
    void End(ParameterBlock& block);

    bool active_ = false;
    uint8_t saved_ = 0;
};

// The process-wide switch; only the communication worker uses it, and only
// one worker lives at a time.
PreviewSek& ThePreviewSek();
