// Decodes arbitrary recordings and steps through them like the arrow keys,
// with the trigger settings changing in between, and checks that the state
// always describes whole samples inside the buffer.
//
// Input: threshold (2 bytes), PreEvent, PostEvent, trigger channel, trigger
// mode (1 signed byte each), buffer shape, step count k, sample repair count,
// the k step bytes, then the recording.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "scope/Decoding.h"
#include "settings/ChannelTable.h"

namespace {

constexpr uint32_t PaintedSamples = 251;

// Names the broken invariant, then stops the run as a finding.
#define Check(condition) \
    ((condition) ? (void)0 : Broken(#condition, __LINE__))

[[noreturn]] void Broken(const char* condition, int line) {
    std::fprintf(stderr, "DecodingFuzz.cpp:%d: invariant broken: %s\n", line, condition);
    std::abort();
}

class Input {
public:
    Input(const uint8_t* data, size_t size) : Data(data), Size(size) {}
    uint8_t Byte() { return Size > 0 ? (--Size, *Data++) : 0; }
    int8_t Signed() { return static_cast<int8_t>(Byte()); }
    const uint8_t* Data;
    size_t Size;
};

struct Buffer {
    std::unique_ptr<uint8_t[]> Bytes;
    uint32_t Length;
    uint32_t Capacity;
    uint32_t Valid() const { return std::min(Length, Capacity); }
    const uint8_t* Begin() const { return Bytes.get(); }
    const uint8_t* End() const { return Bytes.get() + Capacity; }
};

// What painting reads: every channel of the samples the view may draw.
void Paint(const DecodingState& state) {
    if (state.ViewStart == nullptr) return;
    const uint32_t samples = std::min(state.ViewCount, PaintedSamples);
    volatile int32_t sum = 0;
    for (uint32_t i = 0; i < samples; ++i)
        for (int32_t id = 1; id <= ChannelCount; ++id)
            sum = sum + LoadInt16(ChannelValue(state.ViewStart + i * SampleSize, id));
}

void CheckState(const Buffer& buffer, const DecodingState& state) {
    // A recording without a marker empties the run but keeps the rest.
    if (state.SampleCount > 0) {
        Check(state.TriggerCount <= state.SampleCount);
        const uint8_t* first = state.SampleStart;
        Check(first >= buffer.Begin() && first + SampleSize <= buffer.End());
        Check((first - buffer.Begin()) % 2 == 0);
        Check(first[0] == SampleMarker);
        // Samples after the first one lie within the valid bytes.
        const uint8_t* runEnd = first + uint64_t{state.SampleCount} * SampleSize;
        Check(state.SampleCount == 1 || runEnd <= buffer.Begin() + buffer.Valid());
    }
    if (state.ViewCount > 0) {
        Check(state.ViewStart >= buffer.Begin());
        Check(state.ViewStart + uint64_t{state.ViewCount} * SampleSize <= buffer.Begin() + buffer.Valid());
    }
    Paint(state);
}

// The view lies on whole samples of the run it was placed in.
void CheckViewInRun(const DecodingState& state) {
    const int64_t offset = state.ViewStart - state.SampleStart;
    Check(offset >= 0 && offset % SampleSize == 0);
    Check(offset / SampleSize + state.ViewCount <= state.SampleCount);
}

// The count equals the number of forward steps from a null view.
void CheckCount(const DecodingState& state, const TriggerParams& params) {
    const uint8_t* view = nullptr;
    uint32_t viewCount = 0;
    int64_t last = -1;
    for (uint32_t i = 0; i < state.TriggerCount; ++i) {
        Check(FindNextTrigger(state.SampleStart, state.SampleCount, params, &view, &viewCount) == 1);
        Check(view - state.SampleStart > last);
        last = view - state.SampleStart;
    }
    Check(FindNextTrigger(state.SampleStart, state.SampleCount, params, &view, &viewCount) == 0);
    Check(viewCount == 0);
}

bool Decode(Decoder& decoder, Buffer& buffer, const TriggerParams& params) {
    const DecodingState before = decoder.Snapshot();
    const bool decoded = decoder.Decode(buffer.Bytes.get(), buffer.Length, buffer.Capacity, params);
    const DecodingState after = decoder.Snapshot();
    if (decoded) {
        Check(after.SampleCount >= 1);
        Check(after.ViewStart != nullptr);
        if (after.ViewStart == after.SampleStart) {
            // No trigger shown: the whole recording from the first sample, or
            // nothing when a trigger was counted but the first search failed.
            const uint32_t whole = (buffer.Valid() - static_cast<uint32_t>(after.SampleStart - buffer.Begin())) / SampleSize;
            Check(after.ViewCount == (after.TriggerCount == 0 ? whole : 0));
            Check(after.CurrentTrigger == before.CurrentTrigger);
        } else {
            CheckViewInRun(after);
            Check(after.TriggerCount > 0 && after.CurrentTrigger == 1);
        }
        CheckCount(after, params);
    } else {
        // Everything but the run count stays.
        Check(after.SampleCount == 0);
        Check(after.SampleStart == before.SampleStart && after.ViewStart == before.ViewStart &&
              after.ViewCount == before.ViewCount && after.TriggerCount == before.TriggerCount &&
              after.CurrentTrigger == before.CurrentTrigger);
    }
    CheckState(buffer, after);
    return decoded;
}

void Step(Decoder& decoder, const Buffer& buffer, const TriggerParams& params, bool forward) {
    const DecodingState before = decoder.Snapshot();
    const bool found = forward ? decoder.StepNext(params) : decoder.StepPrevious(params);
    const DecodingState after = decoder.Snapshot();
    Check(after.SampleStart == before.SampleStart && after.SampleCount == before.SampleCount &&
          after.TriggerCount == before.TriggerCount);
    if (found) {
        CheckViewInRun(after);
        Check(forward ? after.ViewStart > before.ViewStart : after.ViewStart < before.ViewStart);
        if (forward) Check(after.CurrentTrigger == before.CurrentTrigger + 1);
        else Check(after.CurrentTrigger + (before.CurrentTrigger > 0 ? 1 : 0) == before.CurrentTrigger);
    } else {
        Check(after.ViewStart == before.ViewStart && after.ViewCount == 0 &&
              after.CurrentTrigger == before.CurrentTrigger);
    }
    CheckState(buffer, after);
}

// The searches from any view start, on or off the samples of the run.
void StepFromAnywhere(const Decoder& decoder, const TriggerParams& params, uint8_t op) {
    DecodingState state = decoder.Snapshot();
    if (state.SampleCount == 0) return;
    const int64_t offset = (op >> 5) * 13 - 40 + int64_t{op & 0x10 ? state.SampleCount : 0u} * 16;
    // Near the run, possibly outside the buffer: only compared, never read.
    const uint8_t* const start =
        reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(state.SampleStart) + offset);
    for (bool forward : {true, false}) {
        state.ViewStart = start;
        const int found = forward ? FindNextTrigger(state.SampleStart, state.SampleCount, params,
                                                    &state.ViewStart, &state.ViewCount)
                                  : FindPreviousTrigger(state.SampleStart, state.SampleCount, params,
                                                        &state.ViewStart, &state.ViewCount);
        if (found) CheckViewInRun(state);
        else Check(state.ViewStart == start && state.ViewCount == 0);
    }
}

// Writes the marker and consecutive counters into the first `samples` whole
// samples, so that long runs are common.
void Repair(uint8_t* bytes, uint32_t size, uint32_t samples, uint16_t counter) {
    for (uint32_t k = 0; k < samples && (k + 1) * SampleSize <= size; ++k) {
        uint8_t* sample = bytes + k * SampleSize;
        sample[0] = SampleMarker;
        sample[CounterOffset] = static_cast<uint8_t>(counter);
        sample[CounterOffset + 1] = static_cast<uint8_t>(counter >> 8);
        counter = counter == CounterLast ? 0 : counter + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    TriggerParams params;
    params.Threshold = static_cast<int16_t>(in.Byte() | in.Byte() << 8);
    params.PreEvent = in.Signed();
    params.PostEvent = in.Signed();
    params.TriggerChannel = in.Signed();
    params.TriggerMode = in.Signed();
    const uint8_t shape = in.Byte();
    const uint8_t steps = in.Byte();
    const uint8_t repaired = in.Byte();
    const uint8_t* stepBytes = in.Data;
    const uint32_t stepCount = static_cast<uint32_t>(std::min<size_t>(steps, in.Size));
    in.Data += stepCount;
    in.Size -= stepCount;

    // The recording in a buffer of exactly its capacity, so that the
    // sanitizer sees any read past it.
    const uint32_t size32 = static_cast<uint32_t>(std::min<size_t>(in.Size, RecordBufferSize));
    Buffer buffer;
    buffer.Capacity = size32 + (shape & 0x3F);
    buffer.Bytes.reset(new uint8_t[std::max<uint32_t>(buffer.Capacity, 1)]);
    std::memset(buffer.Bytes.get(), RecordBufferFill, buffer.Capacity);
    if (size32 > 0) std::memcpy(buffer.Bytes.get(), in.Data, size32);
    Repair(buffer.Bytes.get(), size32, repaired, static_cast<uint16_t>(7990 + (shape & 0x0F)));
    switch (shape >> 6) {
        case 0: buffer.Length = size32; break;
        case 1: buffer.Length = buffer.Capacity; break;
        case 2: buffer.Length = buffer.Capacity + 1000; break;  // claims more than there is
        default: buffer.Length = size32 / 2; break;
    }

    Decoder decoder;
    Decode(decoder, buffer, params);
    for (uint32_t i = 0; i < stepCount; ++i) {
        const uint8_t op = stepBytes[i];
        switch (op & 3) {
            case 0: Step(decoder, buffer, params, true); break;
            case 1: Step(decoder, buffer, params, false); break;
            case 2:  // a dialog changes the settings
                if (op & 4) params.PreEvent = static_cast<int16_t>((op >> 3) - 8);
                else params.PostEvent = static_cast<int16_t>((op >> 3) - 8);
                if (op & 0x80) params.TriggerMode = params.TriggerMode == TriggerRise ? TriggerFall : TriggerRise;
                break;
            default:  // the next recording: none, or the same bytes again
                if ((op & 0x0C) == 0x0C) {
                    StepFromAnywhere(decoder, params, op);
                    break;
                }
                if (op & 4) std::memset(buffer.Bytes.get(), RecordBufferFill, buffer.Capacity);
                if (op & 8) decoder.Clear();
                Decode(decoder, buffer, params);
                break;
        }
    }
    return 0;
}
