// `plot` and `diff`: the commands that look at the views TAVO shows of a
// record file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tavo-rec/CsvExport.h"
#include "tavo-rec/RecSettings.h"
#include "tavo-rec/ScopeSvg.h"

struct PlotRequest {
    std::string File;
    std::optional<std::string> Output;  // "-": standard output
    std::optional<uint32_t> Trigger;    // counting from 1; none: the view TAVO shows first
    bool All = false;                   // one picture per view
    int Width = PictureWidth, Height = PictureHeight;
    bool Caption = true;                // the caption below the view
    bool Parameters = false;            // the parameter block in the caption
    std::optional<std::string> Reference;  // a good weld whose band the picture shades
    ChannelBands Bands{};
};

struct DiffRequest {
    std::string A, B;
    std::optional<uint32_t> Trigger;  // only the samples of A's view of this trigger
    uint32_t Tolerance = 0;
};

// Both need the trigger and plot the display settings.
int RunPlot(const PlotRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err);
int RunDiff(const DiffRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err);

// The name TAVO's title shows: the part after the last separator.
std::string FileName(const std::string& argument);
