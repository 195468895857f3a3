// Recording decoding: the run of 32-byte samples in a received recording, the
// trigger events in it, and the window of the scope view, stepped from
// trigger to trigger.
//
// Positions are sample indices from the first sample of the run (index i is
// the sample at first + 32 i). A view start at index w shows its trigger
// sample at index w + PreEvent.
#pragma once

#include <cstdint>
#include <mutex>

#include "scope/RecordBuffer.h"

constexpr uint32_t SampleSize = 32;
constexpr uint8_t SampleMarker = 'G';   // byte 0 of every sample
constexpr uint32_t CounterOffset = 2;   // unsigned 16-bit sample counter
constexpr uint32_t CounterLast = 7999;  // the counter after it is 0

// The trigger settings, copied once per decoding or step, so that a dialog
// changing them meanwhile cannot mix old and new values within one search.
// Negative PreEvent and PostEvent count as 0; a TriggerChannel outside 1..13
// finds no trigger.
struct TriggerParams {
    int16_t Threshold = 0;
    int16_t PreEvent = 0;
    int16_t PostEvent = 0;
    int32_t TriggerChannel = 0;
    int32_t TriggerMode = 0;  // TriggerRise: rising test; any other: falling test
};

// A snapshot of the trigger values in AppSettings().
TriggerParams CurrentTriggerParams();

// Little-endian loads from a sample; no alignment needed. Inline: every
// sample of a run goes through them.
inline uint16_t LoadUInt16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
inline int16_t LoadInt16(const uint8_t* at) { return static_cast<int16_t>(LoadUInt16(at)); }

// Finds the first marker among bytes 0..length-2 and the run of samples with
// consecutive counters from it. An odd marker position moves the bytes
// 1..length-1 down by one byte first. Only the first `capacity` bytes of the
// buffer exist: a longer length is cut to it, and a marker whose sample would
// not fit into them is no sample start. The first sample counts without
// checks, so a short recording still gives one sample.
// 1 with *start and *count (at least 1) set; 0 with *count 0 and *start
// unchanged when there is no marker.
int FindSampleRun(uint8_t* buffer, uint32_t length, uint32_t capacity, const uint8_t** start,
                  uint32_t* count);

// The location of the channel's signed 16-bit value in the sample; null for
// an Id outside 1..13.
const uint8_t* ChannelValue(const uint8_t* sample, int32_t id);

// 1 when previous < threshold <= current.
int IsRisingCrossing(int16_t previous, int16_t current, int16_t threshold);
// 1 when previous > threshold >= current.
int IsFallingCrossing(int16_t previous, int16_t current, int16_t threshold);

// The searches set *viewCount to 0 first; on success they place *viewStart
// and *viewCount and return 1, otherwise *viewStart keeps its value and they
// return 0. They read only the `count` samples from `first`, and a view start
// that is not a sample of that run finds nothing.
//
// Forward: from index PreEvent when *viewStart is null, else from the sample
// PostEvent after the current trigger sample; the trigger sample is the later
// one of the crossing pair and has at least PostEvent samples after it.
int FindNextTrigger(const uint8_t* first, uint32_t count, const TriggerParams& params,
                    const uint8_t** viewStart, uint32_t* viewCount);
// Backward: from the sample PostEvent before the current trigger sample (at
// most the last sample the forward search could test); the trigger sample is
// the earlier one of the pair, the pair (0, 1) is never tested, and a crossing
// whose window would start before the first sample is not taken. The view
// count leaves out the last PostEvent samples.
int FindPreviousTrigger(const uint8_t* first, uint32_t count, const TriggerParams& params,
                        const uint8_t** viewStart, uint32_t* viewCount);

// The number of triggers the forward search finds in turn from a null view.
void CountTriggers(const uint8_t* first, uint32_t count, const TriggerParams& params,
                   uint32_t* triggerCount);

struct DecodingState {
    const uint8_t* SampleStart = nullptr;  // first sample of the run
    uint32_t SampleCount = 0;
    const uint8_t* ViewStart = nullptr;    // null: nothing to draw
    uint32_t ViewCount = 0;                // samples the view may draw from ViewStart
    uint32_t TriggerCount = 0;
    uint32_t CurrentTrigger = 0;           // counting from 1; 0 before the first
};

// The decoding state, shared by the communication worker (which decodes after
// a reception) and the user-interface thread (which loads files, steps and
// paints). Every operation runs under one lock.
class Decoder {
public:
    // A copy for painting. The samples it points to are read after the lock
    // is released.
    DecodingState Snapshot() const;

    // Decodes the recording in the buffer. True when a run was found: the
    // caller then tells the main window to redraw the diagram. False when the
    // buffer is null (nothing is read or changed) or holds no marker (only
    // SampleCount becomes 0).
    bool Decode(RecordStore& record, const TriggerParams& params = CurrentTriggerParams());
    // The same for a buffer of `capacity` bytes holding `length` valid ones.
    bool Decode(uint8_t* buffer, uint32_t length, uint32_t capacity, const TriggerParams& params);

    // The arrow keys. True when a trigger was found: CurrentTrigger moves by
    // one (never below 0) and the caller redraws the whole client area. On
    // failure ViewCount is 0 and the rest stays.
    bool StepNext(const TriggerParams& params = CurrentTriggerParams());
    bool StepPrevious(const TriggerParams& params = CurrentTriggerParams());

    // Back to the start-up state: no run, no view, no triggers.
    void Clear();

private:
    mutable std::mutex Lock;
    DecodingState State;
};

// The process-wide decoding state.
Decoder& TheDecoding();

