// A recording's sample run as CSV: one row per whole sample with its index,
// its counter, its time and the 13 channels by name. Numbers are formatted
// here, digit by digit, so the output is the same on every machine and under
// every locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tavo-rec/RecSettings.h"
#include "tavo-rec/RecordImage.h"

// Where output goes; false when it could not be written.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const char* data, size_t size) = 0;
    // Hands on what is still buffered; false when that or any earlier write
    // failed.
    virtual bool Finish() { return true; }
    // Why a write failed, when the sink knows; empty otherwise.
    virtual std::string FailureReason() const { return {}; }
};

struct CsvOptions {
    ClockTenths Clock = 1;
    bool Levels = false;  // the scope's levels (value / 2048 within -1..1) instead of raw values
    bool German = false;  // decimal comma and ";" between fields, else decimal point and ","
};

// The time of sample `index` in milliseconds: three decimals for a clock of
// whole microseconds, else four.
std::string SampleTime(ClockTenths clock, uint32_t index, char decimal);
// The same for a count of samples that may be negative (before a trigger).
std::string SignedTime(ClockTenths clock, int64_t samples, char decimal);

// A CSV field: quoted when it holds the separator, a quote or a line end.
std::string CsvField(const std::string& text, char separator);

// Writes the comment lines of a ".rec"'s parameter block, the header row and
// the rows. False as soon as the sink fails.
bool WriteCsv(const RecordReport& report, const CsvOptions& options, ByteSink& sink);
