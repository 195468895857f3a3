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
};

// Both need the trigger and plot the display settings.
int RunPlot(const PlotRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err);
int RunDiff(const std::string& a, const std::string& b, std::optional<uint32_t> trigger, const RecSettings& settings,
            ByteSink& out, ByteSink& err);
