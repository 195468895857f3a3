// `check` and `table`: the commands for many welds at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tavo-rec/CsvExport.h"
#include "tavo-rec/RecSettings.h"

struct CheckRequest {
    std::string Reference;
    std::vector<std::string> Files;
    std::optional<uint32_t> Trigger;  // none: the view TAVO shows first
    bool All = false;                 // every trigger of the reference
    ChannelBands Bands{};             // one for every shown channel
    bool Csv = false;
    bool German = false;
    std::optional<std::string> Output;
};

struct TableRequest {
    std::vector<std::string> Files;
    bool German = false;
    std::optional<std::string> Output;
};

// Files that cannot be read are reported and skipped; the code is then the
// first one's. Both need the trigger and the display settings.
int RunCheck(const CheckRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err);
int RunTable(const TableRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err);
