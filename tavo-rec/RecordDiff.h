// What differs between two record files: their parameter blocks field by
// field as the Parameter dialog shows them, and their recordings side by
// side with the largest difference of the levels per channel in one view of
// each, position by position as the two windows would show them.
#pragma once

#include <string>

#include "scope/Decoding.h"
#include "tavo-rec/RecordImage.h"

struct DiffSide {
    std::string Name;
    const RecordReport& Report;
    DecodingState View;  // the view compared, with the counter's numbers
};

struct RecordDiff {
    std::string Text;      // UTF-8 lines
    bool Differ = false;   // in the parameter blocks or in the samples
};

// Samples are the same when both runs have as many samples and each has the
// same counter and channel values (what csv writes).
RecordDiff DiffRecords(const DiffSide& a, const DiffSide& b);
