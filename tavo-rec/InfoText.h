// What `tavo-rec info` tells about one record file.
#pragma once

#include <string>

#include "tavo-rec/RecSettings.h"
#include "tavo-rec/RecordImage.h"

// The number of triggers TAVO counts in the run under these settings.
uint32_t RunTriggers(const SampleRun& run, const TriggerParams& trigger);

// The report of a file TAVO shows (report.Problem is None), in UTF-8 lines.
std::string InfoText(const std::string& name, const RecordImage& image, const RecordReport& report,
                     const RecSettings& settings);
