#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "scope/Decoding.h"
#include "settings/Settings.h"

namespace {

constexpr int32_t Watched = 8;       // "KI"
constexpr int32_t AllChannels = -1;  // Recording::Pulses on every channel
constexpr int16_t High = 200, Level = 100;

void Store16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// A recording in a buffer of exactly `capacity` bytes (the sanitizer sees any
// read past it), filled like a fresh RecordBuffer.
struct Recording {
    explicit Recording(size_t capacity = 8192) : Bytes(capacity, RecordBufferFill) {}
    uint8_t* Data() { return Bytes.data(); }
    uint32_t Capacity() const { return static_cast<uint32_t>(Bytes.size()); }

    Recording& Junk(size_t count, uint8_t value = 0) {
        while (count-- > 0) Bytes.at(Length++) = value;
        return *this;
    }
    Recording& Sample(uint16_t counter, int16_t value = 0, int32_t channel = Watched, uint8_t marker = 'G') {
        uint8_t* sample = &Bytes.at(Length + SampleSize - 1) - (SampleSize - 1);
        std::memset(sample, 0, SampleSize);
        sample[0] = marker;
        Store16(sample + 2, counter);
        for (int32_t id = 1; id <= ChannelCount; ++id)
            if (channel == AllChannels || channel == id) Store16(sample + 4 + 2 * id, static_cast<uint16_t>(value));
        Length += SampleSize;
        Counter = static_cast<uint16_t>((counter + 1) % 8000);
        return *this;
    }
    // `count` samples, High at the given indices: with RISE at Level each
    // index is the later sample of a crossing pair, with FALL each index + 1.
    Recording& Pulses(uint32_t count, const std::vector<uint32_t>& highAt, int32_t channel = Watched) {
        for (uint32_t i = 0; i < count; ++i) {
            bool high = false;
            for (uint32_t at : highAt) high = high || at == i;
            Sample(Counter, high ? High : 0, channel);
        }
        return *this;
    }

    std::vector<uint8_t> Bytes;
    uint32_t Length = 0;
    uint16_t Counter = 0;
};

TriggerParams Params(int16_t pre, int16_t post, int32_t mode = TriggerRise, int32_t channel = Watched) {
    return TriggerParams{Level, pre, post, channel, mode};
}

int64_t IndexOf(const uint8_t* first, const uint8_t* sample) { return (sample - first) / int64_t{SampleSize}; }

// On whole samples of the run, drawing none past its end.
testing::AssertionResult ViewInRun(const uint8_t* first, uint32_t count, const uint8_t* view, uint32_t viewCount) {
    const int64_t offset = view - first;
    if (offset >= 0 && offset % SampleSize == 0 && offset / SampleSize + viewCount <= count)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "view at byte " << offset << ", " << viewCount << " of " << count;
}

bool Same(const DecodingState& a, const DecodingState& b) {
    return a.SampleStart == b.SampleStart && a.SampleCount == b.SampleCount && a.ViewStart == b.ViewStart &&
           a.ViewCount == b.ViewCount && a.TriggerCount == b.TriggerCount && a.CurrentTrigger == b.CurrentTrigger;
}

TEST(FindSampleRun, CountsConsecutiveCountersFromTheFirstMarker) {
    const std::vector<std::pair<std::vector<uint16_t>, uint32_t>> cases = {
        {{7998, 7999, 0, 1}, 4}, {{5, 7}, 1}, {{7999, 1}, 1}, {{7999, 8000}, 2},
        {{65535, 0}, 1},  // compared in 32 bits
        {{3, 4, 5, 6, 4}, 4}};
    for (const auto& [counters, run] : cases) {
        Recording rec;
        for (uint16_t counter : counters) rec.Sample(counter);
        rec.Junk(31, 'G');  // not a whole sample
        const uint8_t* start = nullptr;
        uint32_t count = 0;
        EXPECT_EQ(FindSampleRun(rec.Data(), rec.Length, rec.Capacity(), &start, &count), 1);
        EXPECT_EQ(start, rec.Data());
        EXPECT_EQ(count, run) << "from " << counters.front();
    }
    Recording unmarked;
    unmarked.Pulses(3, {}).Sample(3, 0, Watched, 'g').Pulses(2, {});
    const uint8_t* start = nullptr;
    uint32_t count = 0;
    FindSampleRun(unmarked.Data(), unmarked.Length, unmarked.Capacity(), &start, &count);
    EXPECT_EQ(count, 3u);

    // Ten bytes make one sample; its other bytes are what the buffer held.
    Recording ten(64);
    ten.Junk(1, 'G').Junk(9, 0x11);
    EXPECT_EQ(FindSampleRun(ten.Data(), ten.Length, ten.Capacity(), &start, &count), 1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(ten.Bytes[31], RecordBufferFill);
}

TEST(FindSampleRun, MovesAnOddMarkerDownOneByte) {
    Recording odd;
    odd.Junk(1, 0x33).Pulses(3, {1}).Junk(5, 0x55);
    const std::vector<uint8_t> before = odd.Bytes;
    const uint8_t* start = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(FindSampleRun(odd.Data(), odd.Length, odd.Capacity(), &start, &count), 1);
    EXPECT_EQ(start, odd.Data());
    EXPECT_EQ(count, 3u);
    const uint32_t length = odd.Length;  // the last byte stays, nothing after it moves
    EXPECT_EQ(0, std::memcmp(odd.Data(), before.data() + 1, length - 1));
    EXPECT_EQ(0, std::memcmp(odd.Data() + length - 1, before.data() + length - 1, odd.Capacity() - length + 1));

    Recording even;
    even.Junk(4, 'x').Pulses(3, {});
    const std::vector<uint8_t> evenBefore = even.Bytes;
    ASSERT_EQ(FindSampleRun(even.Data(), even.Length, even.Capacity(), &start, &count), 1);
    EXPECT_EQ(start, even.Data() + 4);
    EXPECT_EQ(even.Bytes, evenBefore);
}

TEST(FindSampleRun, NeedsAMarkerWhoseSampleFitsTheBuffer) {
    const uint8_t* const unchanged = reinterpret_cast<const uint8_t*>(&unchanged);
    // {junk before the G, length}: no G among bytes 0..L-2, or its sample
    // would reach past the 64-byte buffer (the buffer is then not moved).
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 0}, {0, 1}, {3, 4}, {64, 64}, {62, 64}, {61, 64}, {35, 64}};
    for (auto [junk, length] : cases) {
        Recording rec(64);
        rec.Junk(junk, 0x11);
        if (junk < 64) rec.Junk(1, 'G');
        const std::vector<uint8_t> before = rec.Bytes;
        const uint8_t* start = unchanged;
        uint32_t count = 7;
        EXPECT_EQ(FindSampleRun(rec.Data(), length, rec.Capacity(), &start, &count), 0) << junk;
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(start, unchanged);
        EXPECT_EQ(rec.Bytes, before) << junk;
    }
    for (uint32_t junk : {32u, 33u}) {  // the last places a sample fits
        Recording rec(64);
        rec.Junk(junk, 0x11).Junk(1, 'G');
        const uint8_t* start = nullptr;
        uint32_t count = 0;
        EXPECT_EQ(FindSampleRun(rec.Data(), 64, 64, &start, &count), 1);
        EXPECT_EQ(start, rec.Data() + 32);
    }
    Recording full(3 * SampleSize);  // a length beyond the buffer is cut to it
    full.Pulses(3, {});
    const uint8_t* start = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(FindSampleRun(full.Data(), 100000, full.Capacity(), &start, &count), 1);
    EXPECT_EQ(count, 3u);
}

TEST(ChannelValue, ReadsSignedLittleEndianValuesAndTheCrossingsCompareThem) {
    Recording rec(SampleSize);
    rec.Sample(0);
    for (int32_t id = 1; id <= ChannelCount; ++id) Store16(rec.Data() + 4 + 2 * id, static_cast<uint16_t>(id * 300 - 2048));
    for (int32_t id = 1; id <= ChannelCount; ++id) EXPECT_EQ(LoadInt16(ChannelValue(rec.Data(), id)), id * 300 - 2048);
    for (int32_t id : {0, 14, -1, INT_MIN}) EXPECT_EQ(ChannelValue(rec.Data(), id), nullptr);

    EXPECT_EQ(IsRisingCrossing(99, 100, 100), 1);
    EXPECT_EQ(IsRisingCrossing(100, 101, 100), 0);
    EXPECT_EQ(IsRisingCrossing(INT16_MIN, INT16_MAX, INT16_MAX), 1);
    EXPECT_EQ(IsFallingCrossing(101, 100, 100), 1);
    EXPECT_EQ(IsFallingCrossing(100, 99, 100), 0);
    EXPECT_EQ(IsFallingCrossing(3, -3000, -4), 1);
}

TEST(FindNextTrigger, PlacesTheWindowPreEventBeforeTheLaterSampleOfThePair) {
    struct Case {
        int16_t pre, post;
        int32_t mode;
        std::vector<uint32_t> pulses;
        int64_t view;     // -1: null
        int64_t trigger;  // -1: none found
    };
    const Case cases[] = {
        {10, 20, TriggerRise, {5}, -1, -1},          // before the first pair (10, 11)
        {10, 20, TriggerRise, {10}, -1, -1},
        {10, 20, TriggerRise, {11, 30}, -1, 11},
        {10, 20, TriggerRise, {15, 35}, 5, -1},      // from trigger 15 the first pair is (35, 36)
        {10, 20, TriggerRise, {15, 36}, 5, 36},
        {10, 20, TriggerRise, {79}, -1, 79},         // Post samples stay after a trigger
        {10, 20, TriggerRise, {80}, -1, -1},
        {5, 5, TriggerFall, {20}, -1, 21},
        {5, 5, TriggerVoid, {20}, -1, 21},           // VOID and unknown modes fall
        {5, 5, 7, {20}, -1, 21},
        {-5, 0, TriggerRise, {1}, -1, 1},            // negative Pre counts as 0
        {0, -30, TriggerRise, {10, 12}, 10, 12},     // negative Post too: still forward
    };
    for (const Case& c : cases) {
        Recording rec(100 * SampleSize);
        rec.Pulses(100, c.pulses);
        const uint8_t* start = c.view < 0 ? nullptr : rec.Data() + c.view * SampleSize;
        const uint8_t* view = start;
        uint32_t viewCount = 5;
        const int found = FindNextTrigger(rec.Data(), 100, Params(c.pre, c.post, c.mode), &view, &viewCount);
        SCOPED_TRACE(testing::Message() << "first pulse " << c.pulses.front() << ", Pre " << c.pre);
        ASSERT_EQ(found, c.trigger >= 0 ? 1 : 0);
        const int64_t pre = std::max<int16_t>(c.pre, 0);
        EXPECT_EQ(view, found ? rec.Data() + (c.trigger - pre) * SampleSize : start);
        EXPECT_EQ(viewCount, found ? 100 - (c.trigger - pre) - 1 : 0);
    }
}

TEST(TriggerSearches, ReadNothingOutsideTheRunOrWithoutAChannel) {
    Recording every(40 * SampleSize);
    every.Pulses(40, {10, 20, 30}, AllChannels);
    const uint8_t* first = every.Data();
    Recording otherRec;
    otherRec.Pulses(40, {10, 20, 30});
    const uint8_t* other = otherRec.Data();
    for (int32_t channel : {0, 14, -1, INT_MAX}) {
        const uint8_t* view = first + 20 * SampleSize;
        uint32_t viewCount = 5, triggers = 5;
        EXPECT_EQ(FindNextTrigger(first, 40, Params(2, 2, TriggerRise, channel), &view, &viewCount), 0);
        EXPECT_EQ(FindPreviousTrigger(first, 40, Params(2, 2, TriggerRise, channel), &view, &viewCount), 0);
        CountTriggers(first, 40, Params(2, 2, TriggerRise, channel), &triggers);
        EXPECT_EQ(triggers + viewCount, 0u);
    }
    // View starts between samples, before or after the run (from sample 1),
    // in another buffer.
    for (const uint8_t* start : {first, first + 16, first + 5 * SampleSize + 1, first + 40 * SampleSize,
                                 other + 5 * SampleSize, other}) {
        const uint8_t* view = start;
        uint32_t viewCount = 3;
        EXPECT_EQ(FindNextTrigger(first + SampleSize, 39, Params(2, 2), &view, &viewCount), 0);
        EXPECT_EQ(FindPreviousTrigger(first + SampleSize, 39, Params(2, 2), &view, &viewCount), 0);
        EXPECT_EQ(view, start);
        EXPECT_EQ(viewCount, 0u);
    }
    // No run, and runs shorter than PostEvent.
    const uint8_t* view = nullptr;
    uint32_t viewCount = 0;
    EXPECT_EQ(FindNextTrigger(nullptr, 0, Params(0, 0), &view, &viewCount), 0);
    EXPECT_EQ(FindNextTrigger(first, 21, Params(0, 20), &view, &viewCount), 0);
    view = first + 4 * SampleSize;
    EXPECT_EQ(FindNextTrigger(first, 5, Params(0, 20), &view, &viewCount), 0);
    EXPECT_EQ(FindPreviousTrigger(first, 5, Params(20, 2), &view, &viewCount), 0);
}

TEST(FindPreviousTrigger, PlacesTheWindowBeforeTheEarlierSampleOfThePair) {
    struct Case {
        int16_t pre, post;
        std::vector<uint32_t> pulses;
        int64_t view;
        int64_t trigger;  // earlier sample of the pair; -1: none found
    };
    const Case cases[] = {
        {10, 5, {30, 60}, 50, 29},      // one sample before the forward search's 30
        {10, 5, {30, 60}, 19, -1},
        {10, 1, {10, 40}, 30, -1},      // the window would start at -1
        {10, 1, {11, 40}, 30, 10},      // the window starts at the first sample
        {0, 1, {1, 40}, 40, -1},        // the pair (0, 1) is never tested
        {0, 1, {2, 40}, 40, 1},
        {2, 5, {1, 2, 3}, 0, -1},       // the start would lie before the first sample
        {40, 0, {20, 50}, 45, 49},      // placed under Pre 5: starts at the last sample, not 85
        {30, 5, {45, 57}, 50, 44},      // ... and not within the last Post samples
        {-5, -30, {1, 3, 6}, 3, 2},     // negative settings count as 0
    };
    for (const Case& c : cases) {
        Recording rec(60 * SampleSize);
        rec.Pulses(60, c.pulses);
        const uint8_t* const start = rec.Data() + c.view * SampleSize;
        const uint8_t* view = start;
        uint32_t viewCount = 5;
        SCOPED_TRACE(testing::Message() << "first pulse " << c.pulses.front() << ", view " << c.view);
        ASSERT_EQ(FindPreviousTrigger(rec.Data(), 60, Params(c.pre, c.post), &view, &viewCount), c.trigger >= 0 ? 1 : 0);
        if (c.trigger < 0) {
            EXPECT_EQ(view, start);
            EXPECT_EQ(viewCount, 0u);
            continue;
        }
        const int64_t pre = std::max<int16_t>(c.pre, 0), post = std::max<int16_t>(c.post, 0);
        EXPECT_EQ(IndexOf(rec.Data(), view), c.trigger - pre);
        EXPECT_EQ(viewCount, (60 - post) - (c.trigger - pre) - 1);  // leaves out the last Post samples
        EXPECT_TRUE(ViewInRun(rec.Data(), 60, view, viewCount));
    }
    const uint8_t* view = nullptr;
    uint32_t viewCount = 0;
    Recording rec(60 * SampleSize);
    rec.Pulses(60, {5, 10});
    EXPECT_EQ(FindPreviousTrigger(rec.Data(), 60, Params(0, 0), &view, &viewCount), 0);
}

TEST(CountTriggers, FollowsTheForwardChain) {
    // 5 lies before the first pair, 20 within Post of 15, 85 in the last Post samples.
    Recording rec(100 * SampleSize);
    rec.Pulses(100, {5, 15, 20, 40, 85});
    uint32_t triggers = 0, unspaced = 0, negative = 0;
    CountTriggers(rec.Data(), 100, Params(10, 20), &triggers);
    CountTriggers(rec.Data(), 100, Params(0, 0), &unspaced);
    CountTriggers(rec.Data(), 100, Params(-3, -30), &negative);  // ends, like Post 0
    EXPECT_EQ(triggers, 2u);
    EXPECT_EQ(unspaced, 5u);
    EXPECT_EQ(negative, unspaced);
}

TEST(Decoder, ShowsTheFirstTriggerAndStepsOnWholeSamples) {
    Recording rec;
    rec.Junk(7, 0x01).Pulses(120, {9, 12, 20, 40, 60, 80, 100}).Junk(3, 0x02);  // moved down to 6
    Decoder decoder;
    const TriggerParams params = Params(6, 8);
    ASSERT_TRUE(decoder.Decode(rec.Data(), rec.Length, rec.Capacity(), params));
    DecodingState state = decoder.Snapshot();
    EXPECT_EQ(state.SampleStart, rec.Data() + 6);
    EXPECT_EQ(state.SampleCount, 120u);
    EXPECT_EQ(state.TriggerCount, 6u);  // 9 is counted, but the first search begins at (14, 15)
    EXPECT_EQ(state.CurrentTrigger, 1u);
    std::vector<int64_t> shown;
    do {
        state = decoder.Snapshot();
        EXPECT_TRUE(ViewInRun(state.SampleStart, state.SampleCount, state.ViewStart, state.ViewCount));
        EXPECT_EQ(state.CurrentTrigger, shown.size() + 1);
        shown.push_back(IndexOf(state.SampleStart, state.ViewStart) + 6);
    } while (decoder.StepNext(params));
    EXPECT_EQ(shown, (std::vector<int64_t>{20, 40, 60, 80, 100}));
    // Right arrow at the last trigger: counter and view start stay, nothing to draw.
    state = decoder.Snapshot();
    EXPECT_EQ(state.CurrentTrigger, 5u);
    EXPECT_EQ(IndexOf(state.SampleStart, state.ViewStart), 100 - 6);
    EXPECT_EQ(state.ViewCount, 0u);

    // Back, one sample before each; then with Post lowered to 1 on to 11 and
    // 8, which the count chained past: the counter stops at 0.
    const std::pair<int64_t, uint32_t> back[] = {{79, 4}, {59, 3}, {39, 2}, {19, 1}, {11, 0}, {8, 0}};
    for (auto [trigger, counter] : back) {
        ASSERT_TRUE(decoder.StepPrevious(trigger > 11 ? params : Params(6, 1)));
        state = decoder.Snapshot();
        EXPECT_TRUE(ViewInRun(state.SampleStart, state.SampleCount, state.ViewStart, state.ViewCount));
        EXPECT_EQ(IndexOf(state.SampleStart, state.ViewStart) + 6, trigger);
        EXPECT_EQ(state.CurrentTrigger, counter);
    }
    EXPECT_FALSE(decoder.StepPrevious(Params(6, 1)));
}

TEST(Decoder, WithoutATriggerShowsTheWholeRecordingFromTheFirstSample) {
    for (uint32_t junk : {0u, 5u, 33u, 40u}) {  // the run breaks after 4 samples
        Recording rec;
        rec.Junk(junk, 0x01).Pulses(4, {}).Sample(77).Pulses(5, {}).Junk(9, 0x02);
        Decoder decoder;
        ASSERT_TRUE(decoder.Decode(rec.Data(), rec.Length, rec.Capacity(), Params(2, 2)));
        const DecodingState state = decoder.Snapshot();
        const uint32_t position = junk & ~1u;
        EXPECT_EQ(state.SampleStart, rec.Data() + position);
        EXPECT_EQ(state.SampleCount, 4u);
        EXPECT_EQ(state.ViewStart, state.SampleStart);
        EXPECT_EQ(state.ViewCount, (rec.Length - position) / SampleSize);
        EXPECT_EQ(state.TriggerCount + state.CurrentTrigger, 0u);
    }
}

TEST(Decoder, KeepsStateThatANewRecordingDoesNotReplace) {
    Recording rec;
    rec.Pulses(100, {20, 40, 60});
    Decoder decoder;
    const TriggerParams params = Params(5, 5);
    ASSERT_TRUE(decoder.Decode(rec.Data(), rec.Length, rec.Capacity(), params));
    ASSERT_TRUE(decoder.StepNext(params));

    Recording quiet;  // no trigger: CurrentTrigger stays
    quiet.Pulses(100, {});
    ASSERT_TRUE(decoder.Decode(quiet.Data(), quiet.Length, quiet.Capacity(), params));
    EXPECT_EQ(decoder.Snapshot().CurrentTrigger, 2u);
    Recording early;  // counted between Pre and Pre + Post, not shown first
    early.Pulses(100, {8});
    ASSERT_TRUE(decoder.Decode(early.Data(), early.Length, early.Capacity(), params));
    const DecodingState state = decoder.Snapshot();
    EXPECT_EQ(state.TriggerCount, 1u);
    EXPECT_EQ(state.ViewStart, early.Data());
    EXPECT_EQ(state.ViewCount, 0u);
    EXPECT_EQ(state.CurrentTrigger, 2u);

    // A recording without any G: only the run empties; the arrows then find
    // nothing and empty the view count.
    ASSERT_TRUE(decoder.Decode(rec.Data(), rec.Length, rec.Capacity(), params));
    ASSERT_TRUE(decoder.StepNext(params));
    DecodingState expected = decoder.Snapshot();
    RecordStore missing;  // a null buffer is not decoded
    missing.Length = 1000;
    EXPECT_FALSE(decoder.Decode(missing, params));
    EXPECT_TRUE(Same(decoder.Snapshot(), expected));
    std::memset(rec.Data(), 0x44, rec.Length);
    EXPECT_FALSE(decoder.Decode(rec.Data(), rec.Length, rec.Capacity(), params));
    expected.SampleCount = 0;
    EXPECT_TRUE(Same(decoder.Snapshot(), expected));
    EXPECT_FALSE(decoder.StepPrevious(params));
    EXPECT_FALSE(decoder.StepNext(params));
    expected.ViewCount = 0;
    EXPECT_TRUE(Same(decoder.Snapshot(), expected));
    decoder.Clear();
    EXPECT_TRUE(Same(decoder.Snapshot(), DecodingState{}));
}

TEST(Decoder, DecodesTheProcessRecordWithTheCurrentSettings) {
    Recording rec(RecordBufferSize);
    rec.Pulses(200, {30, 90}, 3);
    Settings& settings = AppSettings();
    const TriggerParams saved = CurrentTriggerParams();
    settings.Threshold = Level;
    settings.PreEvent = 10;
    settings.PostEvent = 10;
    settings.TriggerChannel = 3;
    settings.TriggerMode = TriggerFall;
    TheRecord().Buffer = rec.Data();
    TheRecord().Length = rec.Length;
    const bool decoded = TheDecoding().Decode(TheRecord());
    const DecodingState state = TheDecoding().Snapshot();
    TheRecord().Buffer = nullptr;
    TheDecoding().Clear();
    settings.Threshold = saved.Threshold;
    settings.PreEvent = saved.PreEvent;
    settings.PostEvent = saved.PostEvent;
    settings.TriggerChannel = saved.TriggerChannel;
    settings.TriggerMode = saved.TriggerMode;

    ASSERT_TRUE(decoded);
    EXPECT_EQ(state.TriggerCount, 2u);
    EXPECT_EQ(IndexOf(state.SampleStart, state.ViewStart), 31 - 10);  // falls into 31
    EXPECT_FALSE(TheDecoding().Decode(TheRecord())) << "no buffer: nothing decoded";
}

}  // namespace
