#include "tavo-rec/ViewCommands.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "editors/ParameterBlock.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/Command.h"
#include "tavo-rec/FileIo.h"
#include "tavo-rec/Inputs.h"
#include "tavo-rec/ParameterText.h"
#include "tavo-rec/RecordDiff.h"
#include "tavo-rec/RecordViews.h"
#include "tavo-rec/WeldCheck.h"

namespace fs = std::filesystem;

namespace {

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

void Say(ByteSink& out, const std::string& line) {
    const std::string text = line + "\n";
    out.Write(text.data(), text.size());
}

// A loaded .dat leaves TAVO's parameter block as it was: a TAVO without a
// controller holds zeros, so the band is empty.
int16_t BandLevel(const RecordReport& report, size_t offset) {
    return report.Parameters ? LoadInt16(report.Parameters + offset) : 0;
}

// A good weld, whose views give the band of the pictures of the same trigger.
struct Reference {
    std::string Name;
    RecordImage Image;
    RecordReport Report;
    std::vector<DecodingState> Views;
    const DecodingState* Of(uint32_t trigger) const {
        for (const DecodingState& view : Views)
            if (view.CurrentTrigger == trigger) return &view;
        return nullptr;
    }
};

// "±40 raw counts" when every band is the same, else "KI ±60, KU ±30 raw counts".
std::string BandText(const Settings& display, const ChannelBands& bands) {
    std::string each;
    std::optional<uint32_t> common;
    bool same = true;
    for (int j = 0; j < DisplayedChannelCount(display); ++j) {
        const int32_t id = display.ChannelTable[j].Id;
        const std::optional<uint32_t> band = id >= 1 && id <= ChannelCount ? bands[static_cast<size_t>(id)] : std::nullopt;
        if (!band) continue;
        same = same && (!common || *common == *band);
        common = band;
        each += (each.empty() ? "" : ", ") + Utf8(ChannelName(id)) + " \xC2\xB1" + std::to_string(*band);
    }
    return (same && common ? "\xC2\xB1" + std::to_string(*common) : each) + " raw counts";
}

// "Einstellungen: ID 1, SEK 8, FT 0, ..." as the Parameter dialog shows them.
std::vector<std::string> ParameterCaption(const uint8_t* block) {
    if (!block) return {"Parameters: none (a .dat carries no parameter block)"};
    std::vector<std::string> lines;
    std::string flags;
    for (const ParameterLine& field : ParameterLines(block)) {
        if (field.Flags) {
            const std::string boxes = CheckedBoxes(static_cast<uint8_t>(field.Stored));
            flags += (flags.empty() ? "" : "; ") + field.Label + ": " + (boxes.empty() ? "none" : boxes);
            continue;
        }
        if (lines.empty() || lines.back().rfind(field.Group + ":", 0) != 0) lines.push_back(field.Group + ":");
        lines.back() += (lines.back().back() == ':' ? " " : ", ") + field.Name + " " + field.Shown;
    }
    lines.push_back(flags);
    return lines;
}

struct Plot {
    const PlotRequest& Request;
    const RecSettings& Settings;
    const RecordReport& Report;
    std::string Date;
    const Reference* Good;

    std::vector<std::string> Caption(const DecodingState& view, const DecodingState* reference) const {
        std::vector<std::string> lines{FileName(Request.File) + (Date.empty() ? "" : ", file date " + Date)};
        const std::string sample = std::to_string(TriggerSample(view, *Settings.Trigger));
        lines.push_back(view.CurrentTrigger > 0
                            ? "Trigger " + std::to_string(view.CurrentTrigger) + " of " +
                                  std::to_string(view.TriggerCount) + " at sample " + sample
                            : "No trigger shown (" + CounterText(view) + "): the recording from its first sample");
        std::string time = "Time base: ";
        if (Settings.Clock) {
            std::string clock = ClockText(*Settings.Clock);
            std::replace(clock.begin(), clock.end(), '.', ',');
            time += clock + ", times in ms from the view's start";
        } else {
            time += "none (the Clock of the Tavo.ini gives no times)";
        }
        lines.push_back(time);
        lines.push_back("Levels: raw counts / 2048");
        if (reference)
            lines.push_back("Band: " + BandText(*Settings.Display, Request.Bands) + " around " + FileName(Good->Name) +
                            (reference->CurrentTrigger > 0 ? ", trigger " + std::to_string(reference->CurrentTrigger)
                                                           : ", from its first sample"));
        if (Request.Parameters)
            for (const std::string& line : ParameterCaption(Report.Parameters)) lines.push_back(line);
        return lines;
    }

    std::string Svg(const DecodingState& view) const {
        ScopePicture picture{*Settings.Display, *Settings.Trigger, BandLevel(Report, OffsetTA),
                             BandLevel(Report, OffsetTE), view, ViewTitle(Request.File, view)};
        const DecodingState* reference = Good ? Good->Of(view.CurrentTrigger) : nullptr;
        if (reference) picture.Reference = ReferenceTraces{*reference, Request.Bands};
        if (Request.Caption) picture.Caption = Caption(view, reference);
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

// Writes the whole text into the file, which then waits closed for its commit.
std::optional<Failure> WriteClosed(OutputFile& file, const fs::path& path, const std::string& text) {
    std::string why;
    bool written = file.Open(&why);
    // A failed write is remembered by the file, and closing gives its reason.
    if (written) {
        file.Write(text.data(), text.size());
        written = file.Close(&why);
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

// The pictures the reference gives no band: said once.
void NoteBandless(const Plot& plot, const std::vector<uint32_t>& triggers, ByteSink& err) {
    if (!plot.Good) return;
    std::vector<uint32_t> missing;
    for (uint32_t trigger : triggers)
        if (!plot.Good->Of(trigger)) missing.push_back(trigger);
    if (missing.empty()) return;
    const std::string first = missing.front() == 0 ? "no view without a trigger" : "no trigger " + std::to_string(missing.front());
    Note(err, plot.Good->Name + ": TAVO shows " + first +
                  (missing.size() > 1 ? " (nor " + std::to_string(missing.size() - 1) + " more)" : "") +
                  " of the reference: " + (missing.size() > 1 ? "those pictures have" : "that picture has") +
                  " no band");
}

// One picture per view, each under its counter's number. They appear only
// when every one is complete, and all of them.
int PlotAll(const Plot& plot, RecordViews& views, const fs::path& base, ByteSink& out, ByteSink& err) {
    const fs::path record = PathFromArgument(plot.Request.File);
    std::vector<std::unique_ptr<OutputFile>> files;
    std::vector<fs::path> paths;
    std::vector<uint32_t> triggers;
    do {
        const DecodingState& view = views.Shown();
        triggers.push_back(view.CurrentTrigger);
        paths.push_back(Numbered(base, view.CurrentTrigger));
        if (SameFile(record, paths.back()) || (plot.Good && SameFile(PathFromArgument(plot.Good->Name), paths.back())))
            return Fail(err, {ExitUsage, PathText(paths.back()) + ": names a record file"});
        files.push_back(std::make_unique<OutputFile>(paths.back()));
        if (auto failure = WriteClosed(*files.back(), paths.back(), plot.Svg(view))) return Fail(err, *failure);
    } while (views.Next());
    std::vector<OutputFile*> set;
    for (const auto& file : files) set.push_back(file.get());
    std::string why;
    size_t failed = 0;
    if (!CommitTogether(set, &why, &failed))
        return Fail(err, {ExitOutput, PathText(paths[failed]) + ": cannot be written: " + why +
                                          (paths.size() > 1 ? "; none of the pictures was written" : "")});
    NoteBandless(plot, triggers, err);
    Say(out, AllSummary(plot.Request.File, paths, views.Shown()));
    return ExitOk;
}

std::optional<Failure> LoadReference(const PlotRequest& request, const RecSettings& settings, Reference& good) {
    good.Name = *request.Reference;
    if (auto failure = Examine(good.Name, good.Image, good.Report)) return failure;
    RecordViews views(good.Report, *settings.Trigger);
    good.Views = EveryView(views);
    return std::nullopt;
}

// The record files a picture must not be written over.
std::optional<Failure> NamesARecord(const PlotRequest& request, const fs::path& base) {
    for (const std::optional<std::string>& record : {std::optional<std::string>(request.File), request.Reference})
        if (record && SameFile(PathFromArgument(*record), base))
            return Failure{ExitUsage, "-o names the record file " + *record};
    return std::nullopt;
}

}  // namespace

std::string FileName(const std::string& argument) {
    const size_t separator = argument.find_last_of("/\\");
    return separator == std::string::npos ? argument : argument.substr(separator + 1);
}

int RunPlot(const PlotRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    const bool toStandardOutput = request.Output && *request.Output == "-";
    const fs::path base = OutputBase(request);
    if (!toStandardOutput && !request.All)
        if (auto failure = NamesARecord(request, base)) return Fail(err, *failure);
    RecordImage image;
    RecordReport report;
    if (auto failure = Examine(request.File, image, report)) return Fail(err, *failure);
    std::unique_ptr<Reference> good;
    if (request.Reference) {
        good = std::make_unique<Reference>();
        if (auto failure = LoadReference(request, settings, *good)) return Fail(err, *failure);
    }
    RecordViews views(report, *settings.Trigger);
    if (auto failure = GoToTrigger(request.File, views, request.Trigger)) return Fail(err, *failure);
    NoteShipped(settings, "channels, colours, clock and trigger", err);
    const Plot plot{request, settings, report, FileDate(PathFromArgument(request.File)), good.get()};
    if (request.All) return PlotAll(plot, views, base, out, err);

    NoteBandless(plot, {views.Shown().CurrentTrigger}, err);
    const std::string svg = plot.Svg(views.Shown());
    if (toStandardOutput) return out.Write(svg.data(), svg.size()) ? ExitOk : ExitOutput;
    OutputFile file(base);
    if (auto failure = WriteClosed(file, base, svg)) return Fail(err, *failure);
    std::string why;
    if (!file.Commit(&why)) return Fail(err, {ExitOutput, PathText(base) + ": cannot be written: " + why});
    Say(out, PathText(base) + ": " + ViewTitle(request.File, views.Shown()));
    return ExitOk;
}

int RunDiff(const DiffRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    RecordImage imageA, imageB;
    RecordReport reportA, reportB;
    // Each bad file has its line; the code is the first one's.
    const auto failureA = Examine(request.A, imageA, reportA);
    const auto failureB = Examine(request.B, imageB, reportB);
    if (failureA) Report(err, *failureA);
    if (failureB) Report(err, *failureB);
    if (failureA || failureB) return (failureA ? failureA : failureB)->Code;

    RecordViews viewsA(reportA, *settings.Trigger), viewsB(reportB, *settings.Trigger);
    const auto missingA = GoToTrigger(request.A, viewsA, request.Trigger);
    const auto missingB = GoToTrigger(request.B, viewsB, request.Trigger);
    if (missingA) Report(err, *missingA);
    if (missingB) Report(err, *missingB);
    if (missingA || missingB) return ExitNoTrigger;

    NoteShipped(settings, "the clock and the trigger", err);
    RecordViews everyA(reportA, *settings.Trigger), everyB(reportB, *settings.Trigger);
    DiffOptions options;
    options.Tolerance = request.Tolerance;
    options.Clock = settings.Clock;
    options.Trigger = *settings.Trigger;
    options.Only = request.Trigger;
    const RecordDiff diff =
        DiffRecords({request.A, reportA, EveryView(everyA)}, {request.B, reportB, EveryView(everyB)}, options);
    if (!out.Write(diff.Text.data(), diff.Text.size())) return ExitOutput;
    return diff.Differ ? ExitDiffer : ExitOk;
}
