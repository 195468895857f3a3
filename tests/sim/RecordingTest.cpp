// The stream after 'd': 32-byte samples with marker, counter and 13
// channels, plausible weld waveforms, and the stream faults of a scenario.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/sim/SimDriver.h"

namespace {

constexpr size_t Sample = 32;
constexpr size_t Samples = 8000;  // a default recording
constexpr int KU = 7;
constexpr int KI = 8;

// One recording of the expected length, readable at once when unpaced, so
// any byte beyond that length would be queued already.
Bytes Record(const std::wstring& scenario, size_t bytes = Samples * Sample) {
    UseScenario(L"Unpaced=1\n" + scenario);
    OpenDevice device;
    device.Send('d');
    Bytes stream = device.ReadWithin(bytes, 10000);
    EXPECT_EQ(stream.size(), bytes);
    EXPECT_EQ(device.Queued(), 0u) << "the stream is longer than expected";
    return stream;
}

unsigned Counter(const Bytes& stream, size_t i) { return stream[i * Sample + 2] | stream[i * Sample + 3] << 8; }

int Value(const Bytes& stream, size_t i, int id) {
    const uint8_t* at = stream.data() + i * Sample + 4 + 2 * id;
    return static_cast<int16_t>(at[0] | at[1] << 8);
}

int PeakToPeak(const Bytes& stream, int id) {
    int low = INT16_MAX, high = INT16_MIN;
    for (size_t i = 0; i < stream.size() / Sample; ++i) {
        low = std::min(low, Value(stream, i, id));
        high = std::max(high, Value(stream, i, id));
    }
    return high - low;
}

}  // namespace

TEST(Recording, SamplesCarryTheMarkerAndACounterThatWrapsAfter7999) {
    const Bytes stream = Record(L"StreamBytes=" + std::to_wstring(8100 * Sample), 8100 * Sample);
    for (size_t i = 0; i < stream.size() / Sample; ++i) {
        ASSERT_EQ(stream[i * Sample], 'G') << "sample " << i;
        ASSERT_EQ(Counter(stream, i), i % 8000) << "sample " << i;
    }
}

TEST(Recording, CurrentPulsesCrossTheThresholdSeveralTimesAndTheVoltageFollows) {
    const Bytes stream = Record(L"");
    std::vector<size_t> crossings;
    for (size_t i = 1; i < Samples; ++i)
        if (Value(stream, i - 1, KI) < 500 && Value(stream, i, KI) >= 500) crossings.push_back(i);
    EXPECT_GE(crossings.size(), 5u);
    EXPECT_LE(crossings.size(), 8u);
    for (size_t k = 1; k < crossings.size(); ++k) EXPECT_GE(crossings[k] - crossings[k - 1], 120u);

    long long during = 0, outside = 0, nDuring = 0, nOutside = 0;
    for (size_t i = 0; i < Samples; ++i) {
        const int current = Value(stream, i, KI);
        if (current > 1000) during += Value(stream, i, KU), ++nDuring;
        if (current < 100) outside += Value(stream, i, KU), ++nOutside;
    }
    ASSERT_TRUE(nDuring > 0 && nOutside > 0);
    EXPECT_GT(during / nDuring, outside / nOutside + 300) << "the voltage rises with the current";
}

TEST(Recording, OtherChannelsMoveButStayQuieterThanTheCurrent) {
    const Bytes stream = Record(L"");
    const int current = PeakToPeak(stream, KI);
    EXPECT_GT(current, 1000);
    for (int id = 1; id <= 13; ++id) {
        if (id == KI || id == KU) continue;
        EXPECT_LT(PeakToPeak(stream, id), current / 3) << "channel " << id;
        EXPECT_GT(PeakToPeak(stream, id), 0) << "channel " << id;
    }
}

// Byte 1 of every sample carries the weld's number; the rest is the same
// for the same seed.
TEST(Recording, IsTheSameForTheSameSeedButForTheWeldNumber) {
    const Bytes first = Record(L"");
    UseScenario(L"Unpaced=1");
    OpenDevice device;
    device.Send('d');
    device.Send('d');
    const Bytes twice = device.ReadWithin(2 * first.size(), 10000);
    ASSERT_EQ(twice.size(), 2 * first.size());
    Bytes second(twice.begin() + first.size(), twice.end());
    for (size_t at = 1; at < first.size(); at += Sample) {
        ASSERT_EQ(first[at], 1) << at;
        ASSERT_EQ(twice[at], 1) << at;
        ASSERT_EQ(second[at], 2) << at;
        second[at] = 1;
    }
    EXPECT_EQ(Bytes(twice.begin(), twice.begin() + first.size()), first);
    EXPECT_EQ(second, first);
    EXPECT_NE(Record(L"Seed=12345"), first);
}

TEST(Recording, FollowsTheStreamFaultsOfTheScenario) {
    Record(L"StreamBytes=1000", 1000);  // the last sample cut short

    const Bytes odd = Record(L"LeadingJunkBytes=1");
    EXPECT_NE(odd[0], 'G');
    EXPECT_EQ(odd[1], 'G');
    EXPECT_EQ(odd[1 + Sample], 'G');

    const Bytes broken = Record(L"CounterJumpAt=5000\nCounterJumpBy=3");
    size_t firstBreak = 0;
    for (size_t i = 1; i < Samples && !firstBreak; ++i)
        if (Counter(broken, i) != (Counter(broken, i - 1) + 1) % 8000) firstBreak = i;
    EXPECT_EQ(firstBreak, 5000u);
    EXPECT_EQ(Counter(broken, 5000), 5003u);
    EXPECT_EQ(Counter(broken, 5001), 5004u) << "and counts on from there";

    const Bytes big = Record(L"StreamBytes=9000000", 9000000);
    EXPECT_GT(big.size(), 0x840000u) << "more than the program's record buffer";
    const size_t last = big.size() / Sample - 1;
    EXPECT_EQ(big[last * Sample], 'G');
    EXPECT_EQ(Counter(big, last), last % 8000);
}
