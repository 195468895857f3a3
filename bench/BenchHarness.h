// A small timing harness: each measurement runs a number of rounds, and the
// subjects are measured alternately with their baseline within every round,
// so that both see the same machine load. Results are reported as minimum,
// median and the ratio to the baseline; nothing is asserted.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct Timing {
    double Min = 0;     // milliseconds
    double Median = 0;  // milliseconds
};

struct Subject {
    std::string Name;
    std::function<void()> Run;
    // Runs untimed before every timed run, e.g. to remove what the last run
    // wrote, so that no subject pays for another's leftovers.
    std::function<void()> Prepare{};
    std::vector<double> Times{};
};

inline double TimeOnce(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

inline Timing Summarize(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

// subjects[0] is the baseline. One warm-up round first.
inline void RunRounds(std::vector<Subject>& subjects, int rounds) {
    for (auto& subject : subjects) subject.Run();
    for (int round = 0; round < rounds; ++round)
        for (auto& subject : subjects) {
            if (subject.Prepare) subject.Prepare();
            subject.Times.push_back(TimeOnce(subject.Run));
        }
}

inline void Report(const char* title, const std::vector<Subject>& subjects) {
    std::printf("%s (%zu rounds)\n", title, subjects.front().Times.size());
    const Timing base = Summarize(subjects.front().Times);
    for (const auto& subject : subjects) {
        const Timing t = Summarize(subject.Times);
        std::printf("  %-34s min %9.3f ms  median %9.3f ms  ratio %6.2f (min %6.2f)\n",
                    subject.Name.c_str(), t.Min, t.Median, t.Median / base.Median, t.Min / base.Min);
    }
}
