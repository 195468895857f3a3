// Decoding a full RecordBuffer of valid samples with many triggers, and
// stepping through all of them, against one plain pass over the same bytes.
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchHarness.h"
#include "scope/Decoding.h"
#include "settings/ChannelTable.h"

namespace {

constexpr int32_t Channel = 8;         // "KI"
constexpr uint32_t Period = 50;        // samples between rising crossings
constexpr int Rounds = 31;

void Store16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// Counters 0..7999 over and over; every channel a pulse train, the watched
// one crossing the threshold once per period.
std::vector<uint8_t> FullRecording() {
    std::vector<uint8_t> buffer(RecordBufferSize, RecordBufferFill);
    const uint32_t samples = RecordBufferSize / SampleSize;
    for (uint32_t i = 0; i < samples; ++i) {
        uint8_t* sample = buffer.data() + size_t{i} * SampleSize;
        std::memset(sample, 0, SampleSize);
        sample[0] = SampleMarker;
        Store16(sample + CounterOffset, static_cast<uint16_t>(i % (CounterLast + 1)));
        for (int32_t id = 1; id <= ChannelCount; ++id) {
            const bool high = (i + id) % Period < Period / 2;
            Store16(sample + 4 + 2 * id, static_cast<uint16_t>(high ? 1500 : -1500));
        }
    }
    return buffer;
}

}  // namespace

int main() {
    std::vector<uint8_t> buffer = FullRecording();
    TriggerParams params;
    params.Threshold = 0;
    params.PreEvent = 20;
    params.PostEvent = 20;
    params.TriggerChannel = Channel;
    params.TriggerMode = TriggerRise;

    Decoder decoder;
    volatile uint64_t sink = 0;
    uint32_t steps = 0;
    std::vector<Subject> subjects;
    // The baseline reads every byte as 64-bit words, as fast as memory goes.
    subjects.push_back({"64-bit word sum (baseline)", [&] {
                            uint64_t sum = 0;
                            for (size_t i = 0; i < buffer.size(); i += sizeof sum) {
                                uint64_t word;
                                std::memcpy(&word, buffer.data() + i, sizeof word);
                                sum += word;
                            }
                            sink = sink + sum;
                        }});
    subjects.push_back({"byte sum", [&] {
                            uint64_t sum = 0;
                            for (uint8_t byte : buffer) sum += byte;
                            sink = sink + sum;
                        }});
    subjects.push_back({"decode", [&] {
                            decoder.Decode(buffer.data(), RecordBufferSize, RecordBufferSize, params);
                        }});
    subjects.push_back({"decode + step through all triggers", [&] {
                            decoder.Decode(buffer.data(), RecordBufferSize, RecordBufferSize, params);
                            steps = 0;
                            while (decoder.StepNext(params)) ++steps;
                        }});
    RunRounds(subjects, Rounds);

    const DecodingState state = decoder.Snapshot();
    std::printf("decoding: %u bytes, %u samples, %u triggers, %u steps\n", RecordBufferSize,
                state.SampleCount, state.TriggerCount, steps + 1);
    Report("decoding against one pass over the buffer", subjects);
    return state.SampleCount == RecordBufferSize / SampleSize ? 0 : 1;
}
