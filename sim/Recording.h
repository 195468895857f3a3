// The byte stream the controller sends after a weld with recording: 32-byte
// samples, marker 'G', a counter running 0..7999, then 13 signed 16-bit
// little-endian channel values (channel Id k at byte 4 + 2k).
#pragma once

#include <cstdint>
#include <vector>

constexpr size_t SampleBytes = 32;
constexpr uint8_t SampleMarker = 'G';
constexpr uint32_t CounterPeriod = 8000;
constexpr int ChannelCount = 13;
constexpr int ChannelKU = 7;  // weld voltage
constexpr int ChannelKI = 8;  // weld current

// What can differ between recordings; the defaults make a healthy one.
struct RecordingShape {
    uint32_t StreamBytes = CounterPeriod * SampleBytes;  // everything sent, junk included
    uint32_t LeadingJunkBytes = 0;                       // bytes before the first sample
    int64_t CounterJumpAt = -1;                          // sample whose counter jumps; -1 none
    uint32_t CounterJumpBy = 1;                          // counter values skipped there
    uint32_t Seed = 0x7A40C0DE;
    uint32_t WeldPulses = 6;                             // current pulses per 8000 samples
};

// Same shape, same bytes: the noise comes from a fixed-seed generator.
std::vector<uint8_t> MakeRecording(const RecordingShape& shape);

// Writes the weld's number (modulo 256) into byte 1 of every sample, which
// the program does not interpret: two recordings of one shape then differ,
// so a file that mixed them would show it.
void StampWeldNumber(std::vector<uint8_t>& stream, const RecordingShape& shape, uint32_t weld);
