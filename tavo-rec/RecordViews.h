// The views of a record file that TAVO shows after loading it into a freshly
// started program: the one it shows at once (its first trigger, or the
// recording from its first sample when it has none), and one more for every
// press of the right arrow key that finds a further trigger.
#pragma once

#include <cstdint>

#include "scope/Decoding.h"
#include "tavo-rec/RecordImage.h"

class RecordViews {
public:
    // Decodes the report's stream as TAVO decodes a loaded file.
    RecordViews(const RecordReport& report, const TriggerParams& trigger);

    // What the scope view draws from: the view, the counter's two numbers.
    const DecodingState& Shown() const { return shown_; }
    // The right arrow key. False when TAVO finds no further trigger; the
    // view shown stays (a picture of TAVO's empty view after a failed step
    // would show nothing new).
    bool Next();
    // Steps on until the counter shows `trigger`; false when TAVO never
    // shows it.
    bool GoTo(uint32_t trigger);

private:
    Decoder decoder_;
    TriggerParams trigger_;
    DecodingState shown_;
};
