// What differs between two record files: their parameter blocks field by
// field as the Parameter dialog shows them, and their recordings sample by
// sample on their own sample numbers (a trigger that moved is told apart,
// not read as a change of every channel). Raw counts as whole numbers, times
// in ms with the decimal comma TAVO shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scope/Decoding.h"
#include "tavo-rec/RecSettings.h"
#include "tavo-rec/RecordImage.h"

struct DiffSide {
    std::string Name;
    const RecordReport& Report;
    std::vector<DecodingState> Views;  // every view TAVO shows, in order
};

struct DiffOptions {
    uint32_t Tolerance = 0;             // raw counts that still count as equal
    std::optional<ClockTenths> Clock;   // none: no times
    TriggerParams Trigger;              // where a view's trigger lies
    std::optional<uint32_t> Only;       // only the samples of A's view of this trigger
};

struct RecordDiff {
    std::string Text;      // UTF-8 lines
    bool Differ = false;   // in the parameter blocks, the sample counts, the counters or a channel
};

RecordDiff DiffRecords(const DiffSide& a, const DiffSide& b, const DiffOptions& options);
