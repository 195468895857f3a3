#include "sim/Recording.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr uint8_t JunkByte = 0x00;

// xorshift32: small, fast and the same on every compiler, unlike the
// standard distributions.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 1) {}
    int operator()(int amplitude) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<int>(state_ % (2u * amplitude + 1)) - amplitude;
    }

private:
    uint32_t state_;
};

// The weld program of one 8000-sample cycle: evenly spaced current pulses
// with a steep rise (so each crosses a trigger threshold exactly once), a
// rippled top and a ramp down.
class WeldProgram {
public:
    explicit WeldProgram(uint32_t pulses)
        : pulses_(std::clamp<uint32_t>(pulses, 1, 20)), span_((CounterPeriod - 2 * Lead) / pulses_) {}

    // Ideal current at cycle position t, and which pulse it belongs to (-1 none).
    double Current(uint32_t t, int* pulse = nullptr) const {
        if (pulse) *pulse = -1;
        if (t < Lead) return 0;
        const uint32_t k = (t - Lead) / span_;
        if (k >= pulses_) return 0;
        const double r = (t - Lead) % span_;
        const double top = Amplitude(k);
        const double flat = std::min<double>(span_ * 0.45, 520);
        if (r >= Rise + flat + Fall) return 0;
        if (pulse) *pulse = static_cast<int>(k);
        if (r < Rise) return top * r / Rise;
        if (r < Rise + flat) return top + Ripple(r, k);
        return top * (1 - (r - Rise - flat) / Fall);
    }

private:
    static constexpr uint32_t Lead = 400;
    static constexpr double Rise = 40;
    static constexpr double Fall = 50;

    static double Amplitude(uint32_t k) { return 1500 + 90 * (k % 6); }
    // The fourth pulse overshoots past full scale for a few samples, as a
    // real current regulator does now and then.
    static double Ripple(double r, uint32_t k) {
        if (k % 6 == 3 && r < Rise + 4) return 2150 - Amplitude(k);
        return 50 * std::sin(2 * std::numbers::pi * (r - Rise) / 40);
    }

    uint32_t pulses_;
    uint32_t span_;
};

int16_t Clamp16(double value) {
    return static_cast<int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

void Put16(uint8_t* at, int v) {
    at[0] = static_cast<uint8_t>(v & 0xFF);
    at[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

// The slowly moving state of the weld between samples.
struct WeldState {
    double Heat = 0;       // electrode temperature above ambient
    double Regulator = 0;  // the controller's output, lagging the current
};

// Channel values 1..13 of one sample at cycle position t.
void FillChannels(const WeldProgram& program, uint32_t t, WeldState& state, Noise& noise, int16_t (&value)[ChannelCount + 1]) {
    constexpr double Tau = 2 * std::numbers::pi;
    const double current = program.Current(t);
    // The voltage leads the current by a few samples across the inductance.
    const double voltage = 30 + 0.45 * program.Current(std::min(t + 2, CounterPeriod - 1));
    state.Heat += current * current / 2048 * 0.0005 - state.Heat * 0.002;
    state.Regulator += (current * 0.1 - state.Regulator) / 30;
    const double drift = std::sin(Tau * t / CounterPeriod);

    value[1] = Clamp16(200 + state.Heat + noise(4));             // K1 electrode temperature
    value[2] = Clamp16(900 + 15 * drift + noise(6));             // K2 electrode force
    value[3] = Clamp16(300 - 0.01 * t + noise(4));               // K3 electrode travel
    value[4] = Clamp16(-20 + 25 * drift + noise(8));             // K4..K6 spare inputs
    value[5] = Clamp16(15 - 10 * drift + noise(8));
    value[6] = Clamp16(5 + noise(8));
    value[ChannelKU] = Clamp16(voltage + noise(10));
    value[ChannelKI] = Clamp16(current + noise(12));
    value[9] = Clamp16((current * 0.1 - state.Regulator) + noise(3));  // RA regulator error
    value[10] = Clamp16(state.Regulator + noise(3));                    // RB regulator output
    value[11] = Clamp16(noise(5));                                      // RC
    value[12] = Clamp16(40 * std::sin(Tau * t / 160) + noise(3));       // RD mains phase
    value[13] = Clamp16(1024 + noise(2));                               // RE reference
}

}  // namespace

std::vector<uint8_t> MakeRecording(const RecordingShape& shape) {
    std::vector<uint8_t> stream(shape.StreamBytes, JunkByte);
    const size_t junk = std::min<size_t>(shape.LeadingJunkBytes, stream.size());
    const size_t samples = (stream.size() - junk + SampleBytes - 1) / SampleBytes;
    const WeldProgram program(shape.WeldPulses);
    WeldState state;
    Noise noise(shape.Seed);
    uint8_t sample[SampleBytes];
    for (size_t i = 0; i < samples; ++i) {
        const uint32_t t = i % CounterPeriod;
        const bool jumped = shape.CounterJumpAt >= 0 && i >= static_cast<uint64_t>(shape.CounterJumpAt);
        const uint32_t counter = (i + (jumped ? shape.CounterJumpBy : 0)) % CounterPeriod;
        int pulse = -1;
        program.Current(t, &pulse);
        int16_t value[ChannelCount + 1] = {};
        FillChannels(program, t, state, noise, value);

        sample[0] = SampleMarker;
        sample[1] = 0;
        Put16(sample + 2, static_cast<int>(counter));
        Put16(sample + 4, pulse < 0 ? 0 : (0x100 * (pulse + 1)) | 1);  // status: welding, pulse number
        for (int id = 1; id <= ChannelCount; ++id) Put16(sample + 4 + 2 * id, value[id]);

        const size_t at = junk + i * SampleBytes;
        std::copy_n(sample, std::min(SampleBytes, stream.size() - at), stream.begin() + at);
    }
    return stream;
}

void StampWeldNumber(std::vector<uint8_t>& stream, const RecordingShape& shape, uint32_t weld) {
    const size_t junk = std::min<size_t>(shape.LeadingJunkBytes, stream.size());
    for (size_t at = junk + 1; at < stream.size(); at += SampleBytes) stream[at] = static_cast<uint8_t>(weld);
}
