#include "scope/Decoding.h"

#include <algorithm>
#include <cstring>

#include "settings/ChannelTable.h"
#include "settings/Settings.h"

namespace {

constexpr int32_t FirstChannelId = 1;
constexpr int32_t LastChannelId = ChannelCount;
constexpr uint32_t FirstValueOffset = 4;  // channel Id k lies at 4 + 2 k

using CrossingTest = int (*)(int16_t, int16_t, int16_t);

// One search over a run: everything chosen once before the scan. Positions
// are signed 64-bit, so no sum of indices and settings can wrap.
struct Search {
    const uint8_t* Values;  // the trigger channel's value in sample 0
    int64_t Count;
    int64_t Pre;
    int64_t Post;
    int16_t Threshold;
    CrossingTest Test;

    int16_t Value(int64_t index) const { return LoadInt16(Values + index * SampleSize); }
};

// False when there is nothing to search: no run or no trigger channel.
bool PrepareSearch(const uint8_t* first, uint32_t count, const TriggerParams& params, Search* search) {
    if (first == nullptr || count == 0) return false;
    search->Values = ChannelValue(first, params.TriggerChannel);
    if (search->Values == nullptr) return false;
    search->Count = count;
    search->Pre = std::max<int64_t>(params.PreEvent, 0);
    search->Post = std::max<int64_t>(params.PostEvent, 0);
    search->Threshold = params.Threshold;
    search->Test = params.TriggerMode == TriggerRise ? IsRisingCrossing : IsFallingCrossing;
    return true;
}

// The index of a view start within the run, or false when it is not one of
// its samples. Compared as addresses, so a pointer into another buffer is
// merely rejected.
bool ViewIndex(const uint8_t* first, int64_t count, const uint8_t* view, int64_t* index) {
    const int64_t offset = static_cast<int64_t>(reinterpret_cast<uintptr_t>(view) -
                                                reinterpret_cast<uintptr_t>(first));
    if (offset < 0 || offset % SampleSize != 0 || offset / SampleSize >= count) return false;
    *index = offset / SampleSize;
    return true;
}

uint32_t ViewCountFrom(int64_t available) {
    return static_cast<uint32_t>(available > 0 ? available - 1 : 0);
}

}  // namespace

TriggerParams CurrentTriggerParams() {
    const Settings& settings = AppSettings();
    TriggerParams params;
    params.Threshold = settings.Threshold.load();
    params.PreEvent = settings.PreEvent.load();
    params.PostEvent = settings.PostEvent.load();
    params.TriggerChannel = settings.TriggerChannel.load();
    params.TriggerMode = settings.TriggerMode.load();
    return params;
}

int FindSampleRun(uint8_t* buffer, uint32_t length, uint32_t capacity, const uint8_t** start,
                  uint32_t* count) {
    *count = 0;
    const uint32_t valid = std::min(length, capacity);
    if (buffer == nullptr || valid < 2) return 0;
    const void* marker = std::memchr(buffer, SampleMarker, valid - 1);
    if (marker == nullptr) return 0;
    uint32_t position = static_cast<uint32_t>(static_cast<const uint8_t*>(marker) - buffer);
    // The first sample counts unchecked, but it has to lie in the buffer.
    if (uint64_t{position & ~1u} + SampleSize > capacity) return 0;
    if (position % 2 != 0) {
        // Align the marker and every 16-bit field after it.
        std::memmove(buffer, buffer + 1, valid - 1);
        --position;
    }

    const uint8_t* const first = buffer + position;
    const uint32_t whole = (valid - position) / SampleSize;
    uint32_t run = 1;
    uint32_t previous = LoadUInt16(first + CounterOffset);
    for (; run < whole; ++run) {
        const uint8_t* const sample = first + size_t{run} * SampleSize;
        const uint32_t counter = LoadUInt16(sample + CounterOffset);
        if (sample[0] != SampleMarker) break;
        if (counter != previous + 1 && !(counter == 0 && previous == CounterLast)) break;
        previous = counter;
    }
    *start = first;
    *count = run;
    return 1;
}

const uint8_t* ChannelValue(const uint8_t* sample, int32_t id) {
    if (id < FirstChannelId || id > LastChannelId) return nullptr;
    return sample + FirstValueOffset + 2 * id;
}

int IsRisingCrossing(int16_t previous, int16_t current, int16_t threshold) {
    return previous < threshold && current >= threshold;
}

int IsFallingCrossing(int16_t previous, int16_t current, int16_t threshold) {
    return previous > threshold && current <= threshold;
}

int FindNextTrigger(const uint8_t* first, uint32_t count, const TriggerParams& params,
                    const uint8_t** viewStart, uint32_t* viewCount) {
    *viewCount = 0;
    Search search;
    if (!PrepareSearch(first, count, params, &search)) return 0;
    int64_t from = search.Pre;
    if (*viewStart != nullptr) {
        int64_t view = 0;
        if (!ViewIndex(first, search.Count, *viewStart, &view)) return 0;
        from = view + search.Pre + search.Post;
    }
    // Every trigger keeps Post samples after it.
    const int64_t end = search.Count - search.Post;
    if (from + 1 >= end) return 0;

    int16_t previous = search.Value(from);
    for (int64_t trigger = from + 1; trigger < end; ++trigger) {
        const int16_t current = search.Value(trigger);
        if (search.Test(previous, current, search.Threshold)) {
            const int64_t view = trigger - search.Pre;  // at least 1
            *viewStart = first + view * SampleSize;
            *viewCount = ViewCountFrom(search.Count - view);
            return 1;
        }
        previous = current;
    }
    return 0;
}

int FindPreviousTrigger(const uint8_t* first, uint32_t count, const TriggerParams& params,
                        const uint8_t** viewStart, uint32_t* viewCount) {
    *viewCount = 0;
    Search search;
    if (*viewStart == nullptr || !PrepareSearch(first, count, params, &search)) return 0;
    int64_t view = 0;
    if (!ViewIndex(first, search.Count, *viewStart, &view)) return 0;
    // A view placed under other settings may ask for a start past the samples
    // the forward search would test; a window must not start before sample 0.
    const int64_t end = search.Count - search.Post;
    const int64_t from = std::min(view + search.Pre - search.Post, end - 1);
    const int64_t lowest = std::max<int64_t>(search.Pre, 1);
    if (from - 1 < lowest) return 0;

    int16_t later = search.Value(from);
    for (int64_t trigger = from - 1; trigger >= lowest; --trigger) {
        const int16_t earlier = search.Value(trigger);
        if (search.Test(earlier, later, search.Threshold)) {
            const int64_t start = trigger - search.Pre;
            *viewStart = first + start * SampleSize;
            *viewCount = ViewCountFrom(end - start);
            return 1;
        }
        later = earlier;
    }
    return 0;
}

void CountTriggers(const uint8_t* first, uint32_t count, const TriggerParams& params,
                   uint32_t* triggerCount) {
    *triggerCount = 0;
    const uint8_t* view = nullptr;
    uint32_t viewCount = 0;
    // Each search goes on after the previous trigger: one pass in all.
    while (FindNextTrigger(first, count, params, &view, &viewCount)) ++*triggerCount;
}

DecodingState Decoder::Snapshot() const {
    std::lock_guard<std::mutex> guard(Lock);
    return State;
}

bool Decoder::Decode(RecordStore& record, const TriggerParams& params) {
    return Decode(record.Buffer, record.Length.load(), RecordBufferSize, params);
}

bool Decoder::Decode(uint8_t* buffer, uint32_t length, uint32_t capacity, const TriggerParams& params) {
    if (buffer == nullptr) return false;
    std::lock_guard<std::mutex> guard(Lock);
    if (!FindSampleRun(buffer, length, capacity, &State.SampleStart, &State.SampleCount)) return false;

    // Without a trigger the view shows the recording from its first sample.
    const uint32_t valid = std::min(length, capacity);
    const uint32_t position = static_cast<uint32_t>(State.SampleStart - buffer);
    State.ViewStart = State.SampleStart;
    State.ViewCount = (valid - position) / SampleSize;

    CountTriggers(State.SampleStart, State.SampleCount, params, &State.TriggerCount);
    // From a non-null view the first search starts at Pre + Post, past where
    // the count started.
    if (State.TriggerCount > 0 &&
        FindNextTrigger(State.SampleStart, State.SampleCount, params, &State.ViewStart, &State.ViewCount))
        State.CurrentTrigger = 1;
    return true;
}

bool Decoder::StepNext(const TriggerParams& params) {
    std::lock_guard<std::mutex> guard(Lock);
    if (!FindNextTrigger(State.SampleStart, State.SampleCount, params, &State.ViewStart, &State.ViewCount))
        return false;
    ++State.CurrentTrigger;
    return true;
}

bool Decoder::StepPrevious(const TriggerParams& params) {
    std::lock_guard<std::mutex> guard(Lock);
    if (!FindPreviousTrigger(State.SampleStart, State.SampleCount, params, &State.ViewStart,
                             &State.ViewCount))
        return false;
    // The backward search can reach crossings the count skipped.
    if (State.CurrentTrigger > 0) --State.CurrentTrigger;
    return true;
}

void Decoder::Clear() {
    std::lock_guard<std::mutex> guard(Lock);
    State = DecodingState{};
}

Decoder& TheDecoding() {
    static Decoder decoder;
    return decoder;
}

