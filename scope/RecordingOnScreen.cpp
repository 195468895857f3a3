#include "scope/RecordingOnScreen.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "scope/RecordBuffer.h"

bool DecodeHeldRecording() {
    RecordStore& record = TheRecord();
    if (!record.Buffer) return false;
    // Without a run the old view would show the new bytes as traces.
    if (!TheDecoding().Decode(record)) TheDecoding().Clear();
    return true;
}

bool PublishReception(uint32_t length) {
    RecordStore& record = TheRecord();
    // Announced by the caller after the lock is released: the window's
    // thread may be waiting for it to paint.
    std::lock_guard guard(record.Lock);
    if (!record.Buffer || !record.Reception) return false;
    length = std::min(length, RecordBufferSize);
    std::memcpy(record.Buffer, record.Reception, length);
    record.Length = length;
    ++record.Publications;
    return DecodeHeldRecording();
}

// A step reads the samples: under the record lock, so that a reception
// published meanwhile never changes them halfway through the search.
bool StepToNextTrigger() {
    std::lock_guard guard(TheRecord().Lock);
    return TheDecoding().StepNext();
}

bool StepToPreviousTrigger() {
    std::lock_guard guard(TheRecord().Lock);
    return TheDecoding().StepPrevious();
}
void ClearDecoding() { TheDecoding().Clear(); }
DecodingState DecodingSnapshot() { return TheDecoding().Snapshot(); }
