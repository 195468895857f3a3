#include "tavo-rec/RecordViews.h"

RecordViews::RecordViews(const RecordReport& report, const TriggerParams& trigger) : trigger_(trigger) {
    // The stream's run was found before: decoding it again finds the same
    // run, its marker already aligned.
    decoder_.Decode(report.Stream, report.StreamLength, RecordBufferSize, trigger_);
    shown_ = decoder_.Snapshot();
}

bool RecordViews::Next() {
    if (!decoder_.StepNext(trigger_)) return false;
    shown_ = decoder_.Snapshot();
    return true;
}

bool RecordViews::GoTo(uint32_t trigger) {
    while (shown_.CurrentTrigger < trigger)
        if (!Next()) return false;
    return shown_.CurrentTrigger == trigger;
}
