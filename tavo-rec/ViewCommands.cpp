#include "tavo-rec/ViewCommands.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "editors/ParameterBlock.h"
#include "tavo-rec/Command.h"
#include "tavo-rec/FileIo.h"
#include "tavo-rec/Inputs.h"
#include "tavo-rec/RecordDiff.h"
#include "tavo-rec/RecordViews.h"

namespace fs = std::filesystem;

namespace {

// The name TAVO's title shows: the part after the last separator.
std::string FileName(const std::string& argument) {
    const size_t separator = argument.find_last_of("/\\");
    return separator == std::string::npos ? argument : argument.substr(separator + 1);
}

std::string CounterText(const DecodingState& view) {
    return std::to_string(view.CurrentTrigger) + " / " + std::to_string(view.TriggerCount);
}

std::string ViewTitle(const std::string& file, const DecodingState& view) {
    return FileName(file) + (view.CurrentTrigger > 0 ? ", trigger " : ", no trigger shown, ") + CounterText(view);
}

std::optional<Failure> GoToTrigger(const std::string& file, RecordViews& views, std::optional<uint32_t> trigger) {
    if (!trigger || views.GoTo(*trigger)) return std::nullopt;
    // GoTo stops at the last view TAVO reaches.
    const uint32_t last = views.Shown().CurrentTrigger;
    const std::string shown = last == 0   ? "TAVO shows no trigger of this file"
                              : last == 1 ? "TAVO shows trigger 1 only"
                                          : "TAVO shows triggers 1 to " + std::to_string(last);
    return Failure{ExitNoTrigger, file + ": no trigger " + std::to_string(*trigger) + ": " + shown};
}

// Without a Tavo.ini the settings are those of the one TAVO ships.
void NoteShipped(const RecSettings& settings, const char* what, ByteSink& err) {
    if (settings.Shipped)
        Note(err, std::string("no Tavo.ini given or beside tavo-rec: ") + what + " as in the Tavo.ini TAVO ships");
}

int Fail(ByteSink& err, const Failure& failure) {
    Report(err, failure);
    return failure.Code;
}

void Say(ByteSink& out, const std::string& line) {
    const std::string text = line + "\n";
    out.Write(text.data(), text.size());
}

// A loaded .dat leaves TAVO's parameter block as it was: a TAVO without a
// controller holds zeros, so the band is empty.
int16_t BandLevel(const RecordReport& report, size_t offset) {
    return report.Parameters ? LoadInt16(report.Parameters + offset) : 0;
}

struct Plot {
    const PlotRequest& Request;
    const RecSettings& Settings;
    const RecordReport& Report;

    std::string Svg(const DecodingState& view) const {
        const ScopePicture picture{*Settings.Display, *Settings.Trigger, BandLevel(Report, OffsetTA),
                                   BandLevel(Report, OffsetTE), view, ViewTitle(Request.File, view)};
        return ScopeSvg(picture, Request.Width, Request.Height);
    }
};

fs::path OutputBase(const PlotRequest& request) {
    if (request.Output) return PathFromArgument(*request.Output);
    fs::path path = PathFromArgument(request.File);
    return path.replace_extension(".svg");
}

// OUT.svg as OUT-3.svg.
fs::path Numbered(const fs::path& base, uint32_t number) {
    fs::path name = base.stem();
    name += "-" + std::to_string(number);
    name += base.extension();
    return base.parent_path() / name;
}

// Writes the whole text; with `commit` it then appears under its name,
// otherwise it waits closed for its commit.
std::optional<Failure> WriteOutput(OutputFile& file, const fs::path& path, const std::string& text, bool commit) {
    std::string why;
    bool written = file.Open(&why);
    // A failed write is remembered by the file, and closing gives its reason.
    if (written) {
        file.Write(text.data(), text.size());
        written = commit ? file.Commit(&why) : file.Close(&why);
    }
    if (written) return std::nullopt;
    return Failure{ExitOutput, PathText(path) + ": cannot be written: " + why};
}

std::string AllSummary(const std::string& file, const std::vector<fs::path>& paths, const DecodingState& last) {
    std::string text = file + ": " + std::to_string(paths.size()) + (paths.size() == 1 ? " picture, " : " pictures, ");
    text += PathText(paths.front());
    if (paths.size() > 1) text += " to " + PathText(paths.back());
    const std::string of = " of " + std::to_string(last.TriggerCount) + ")";
    if (last.CurrentTrigger == 0) return text + " (no trigger shown, " + CounterText(last) + ")";
    if (last.CurrentTrigger == 1) return text + " (trigger 1" + of;
    return text + " (triggers 1 to " + std::to_string(last.CurrentTrigger) + of;
}

// One picture per view, each under its counter's number. They appear only
// when every one is complete, and all of them.
int PlotAll(const Plot& plot, RecordViews& views, const fs::path& base, ByteSink& out, ByteSink& err) {
    const fs::path record = PathFromArgument(plot.Request.File);
    std::vector<std::unique_ptr<OutputFile>> files;
    std::vector<fs::path> paths;
    do {
        const DecodingState& view = views.Shown();
        paths.push_back(Numbered(base, view.CurrentTrigger));
        if (SameFile(record, paths.back()))
            return Fail(err, {ExitUsage, PathText(paths.back()) + ": names the record file itself"});
        files.push_back(std::make_unique<OutputFile>(paths.back()));
        if (auto failure = WriteOutput(*files.back(), paths.back(), plot.Svg(view), false)) return Fail(err, *failure);
    } while (views.Next());
    for (size_t i = 0; i < files.size(); ++i) {
        std::string why;
        if (files[i]->Commit(&why)) continue;
        for (size_t j = 0; j < i; ++j) {
            std::error_code error;
            fs::remove(paths[j], error);
        }
        return Fail(err, {ExitOutput, PathText(paths[i]) + ": cannot be written: " + why});
    }
    Say(out, AllSummary(plot.Request.File, paths, views.Shown()));
    return ExitOk;
}

}  // namespace

int RunPlot(const PlotRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    const bool toStandardOutput = request.Output && *request.Output == "-";
    const fs::path base = OutputBase(request);
    if (!toStandardOutput && !request.All && SameFile(PathFromArgument(request.File), base))
        return Fail(err, {ExitUsage, "-o names the record file itself"});
    RecordImage image;
    RecordReport report;
    if (auto failure = Examine(request.File, image, report)) return Fail(err, *failure);
    RecordViews views(report, *settings.Trigger);
    if (auto failure = GoToTrigger(request.File, views, request.Trigger)) return Fail(err, *failure);
    NoteShipped(settings, "channels, colours, clock and trigger", err);
    const Plot plot{request, settings, report};
    if (request.All) return PlotAll(plot, views, base, out, err);

    const std::string svg = plot.Svg(views.Shown());
    if (toStandardOutput) {
        if (out.Write(svg.data(), svg.size())) return ExitOk;
        return Fail(err, {ExitOutput, "the picture cannot be written to standard output"});
    }
    OutputFile file(base);
    if (auto failure = WriteOutput(file, base, svg, true)) return Fail(err, *failure);
    Say(out, PathText(base) + ": " + ViewTitle(request.File, views.Shown()));
    return ExitOk;
}

int RunDiff(const std::string& a, const std::string& b, std::optional<uint32_t> trigger, const RecSettings& settings,
            ByteSink& out, ByteSink& err) {
    RecordImage imageA, imageB;
    RecordReport reportA, reportB;
    // Each bad file has its line; the code is the first one's.
    const auto failureA = Examine(a, imageA, reportA);
    const auto failureB = Examine(b, imageB, reportB);
    if (failureA) Report(err, *failureA);
    if (failureB) Report(err, *failureB);
    if (failureA || failureB) return (failureA ? failureA : failureB)->Code;

    RecordViews viewsA(reportA, *settings.Trigger), viewsB(reportB, *settings.Trigger);
    const auto missingA = GoToTrigger(a, viewsA, trigger);
    const auto missingB = GoToTrigger(b, viewsB, trigger);
    if (missingA) Report(err, *missingA);
    if (missingB) Report(err, *missingB);
    if (missingA || missingB) return ExitNoTrigger;

    NoteShipped(settings, "the trigger", err);
    const RecordDiff diff = DiffRecords({a, reportA, viewsA.Shown()}, {b, reportB, viewsB.Shown()});
    if (!out.Write(diff.Text.data(), diff.Text.size()))
        return Fail(err, {ExitOutput, "the differences cannot be written to standard output"});
    return diff.Differ ? ExitDiffer : ExitOk;
}
