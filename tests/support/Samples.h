// Recordings made up for tests and benchmarks: 32-byte samples with the
// marker G, counters running 0..7999 and wrapping, and channel values that a
// function of the sample index and channel Id gives.
#pragma once

#include <cstdint>
#include <vector>

namespace samples {

template <typename Value>
std::vector<uint8_t> Make(uint32_t count, Value value) {
    std::vector<uint8_t> bytes(count * 32u, 0);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* sample = &bytes[i * 32u];
        const uint32_t counter = i % 8000;
        sample[0] = 'G';
        sample[2] = static_cast<uint8_t>(counter);
        sample[3] = static_cast<uint8_t>(counter >> 8);
        for (int id = 1; id <= 13; ++id) {
            const int16_t v = value(i, id);
            sample[4 + 2 * id] = static_cast<uint8_t>(v);
            sample[5 + 2 * id] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
        }
    }
    return bytes;
}

}  // namespace samples
