#include "link/PreviewSek.h"

void PreviewSek::Begin(ParameterBlock& block) {
    saved_ = block.ExchangeByte(OffsetSEK, 0);
    active_ = true;
}

void PreviewSek::End(ParameterBlock& block) {
    block.WriteByte(OffsetSEK, saved_);
    active_ = false;
}

bool PreviewSek::Follow(bool on, ParameterBlock& block) {
    if (on == active_) return false;  // presses that cancel out
    if (on)
        Begin(block);
    else
        End(block);
    return true;
}

bool PreviewSek::LinkUp(bool on, ParameterBlock& block) {
    if (!on) {
        if (!active_) return false;
        End(block);
        return true;
    }
    // The listed block holds the controller's SEK: 0 when this preview had
    // already zeroed it before the link was lost, so the saved value stays.
    if (active_)
        block.WriteByte(OffsetSEK, 0);
    else
        Begin(block);
    return true;
}

PreviewSek& ThePreviewSek() {
    static PreviewSek preview;
    return preview;
}
