#include "tavo-rec/RecordDiff.h"

#include <algorithm>
#include <cstring>

#include "settings/ChannelTable.h"
#include "tavo-rec/CsvExport.h"
#include "tavo-rec/ParameterText.h"
#include "tavo-rec/WeldCheck.h"

namespace {

constexpr size_t LabelWidth = 30;
constexpr size_t ValueWidth = 12;
constexpr size_t ListedTriggers = 10;  // moved triggers listed one by one

struct Section {
    std::string Text;
    bool Differ = false;
};

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + ' ' : text + std::string(width - text.size(), ' ');
}

std::string RightAligned(const std::string& text, size_t width) {
    return std::string(text.size() < width ? width - text.size() : 1, ' ') + text;
}

std::string Row(const std::string& label, const std::string& a, const std::string& b, const std::string& note = "") {
    return "  " + Padded(label, LabelWidth) + RightAligned(a, ValueWidth) + RightAligned(b, ValueWidth) +
           (note.empty() ? "" : "   " + note) + "\n";
}

// The edit's number without the spin's thousands dot; behind it what is
// stored where that lies outside the limits.
std::string FieldRows(const ParameterLine& a, const ParameterLine& b) {
    // A flag byte's check boxes are too wide for a column: a line each.
    if (a.Flags) return "  " + a.Label + "\n    A  " + a.Shown + "\n    B  " + b.Shown + "\n";
    std::string note = a.Note.empty() ? "" : "A " + a.Note;
    if (!b.Note.empty()) note += (note.empty() ? "B " : "; B ") + b.Note;
    return Row(a.Group + " / " + a.Label, std::to_string(a.ShownValue), std::to_string(b.ShownValue), note);
}

Section ParameterSection(const RecordReport& a, const RecordReport& b) {
    if (!a.Parameters && !b.Parameters) return {"Parameters: none (a .dat carries no parameter block)\n", false};
    if (!a.Parameters || !b.Parameters)
        return {std::string("Parameters: only ") + (a.Parameters ? "A" : "B") +
                    " has a parameter block (a .dat carries none)\n",
                true};
    const std::vector<ParameterLine> linesA = ParameterLines(a.Parameters), linesB = ParameterLines(b.Parameters);
    std::string rows;
    size_t differing = 0;
    for (size_t i = 0; i < linesA.size(); ++i) {
        if (linesA[i].Stored == linesB[i].Stored) continue;
        ++differing;
        rows += FieldRows(linesA[i], linesB[i]);
    }
    if (differing == 0) return {"Parameters: same parameters\n", false};
    return {"Parameters: " + std::to_string(differing) + (differing == 1 ? " field differs" : " fields differ") +
                ", as the Parameter dialog shows them\n" + Row("", "A", "B") + rows,
            true};
}

// The trigger samples of the views that show a trigger.
std::vector<int64_t> TriggerSamples(const DiffSide& side, const TriggerParams& trigger) {
    std::vector<int64_t> samples;
    for (const DecodingState& view : side.Views)
        if (view.CurrentTrigger > 0) samples.push_back(TriggerSample(view, trigger));
    return samples;
}

std::string TriggerRows(const std::vector<int64_t>& a, const std::vector<int64_t>& b) {
    if (a == b) return a.empty() ? "" : "  Triggers lie at the same samples\n";
    std::string rows = "  Triggers at different samples:\n";
    size_t listed = 0, more = 0;
    for (size_t k = 0; k < std::max(a.size(), b.size()); ++k) {
        const bool inA = k < a.size(), inB = k < b.size();
        if (inA && inB && a[k] == b[k]) continue;
        if (listed == ListedTriggers) {
            ++more;
            continue;
        }
        ++listed;
        rows += Row("Trigger " + std::to_string(k + 1), inA ? std::to_string(a[k]) : "-",
                    inB ? std::to_string(b[k]) : "-");
    }
    if (more > 0) rows += "  ... and " + std::to_string(more) + " more\n";
    return rows;
}

std::string RecordingSection(const DiffSide& a, const DiffSide& b, const DiffOptions& options) {
    std::string text = "Recordings:\n" + Row("", "A", "B");
    text += Row("Samples", std::to_string(a.Report.Run.Samples), std::to_string(b.Report.Run.Samples));
    text += Row("Triggers", std::to_string(a.Views.back().TriggerCount), std::to_string(b.Views.back().TriggerCount));
    return text + TriggerRows(TriggerSamples(a, options.Trigger), TriggerSamples(b, options.Trigger));
}

// The samples compared: the samples both runs hold, or A's view of one trigger.
struct Range {
    uint32_t First = 0, End = 0;
    const DecodingState* Trigger = nullptr;  // A's view the times count from; none without a trigger
};

Range ComparedRange(const DiffSide& a, const DiffSide& b, const DiffOptions& options) {
    Range range;
    range.End = std::min(a.Report.Run.Samples, b.Report.Run.Samples);
    for (const DecodingState& view : a.Views)
        if (view.CurrentTrigger > 0 && (!options.Only || view.CurrentTrigger == *options.Only)) {
            range.Trigger = &view;
            break;
        }
    if (!options.Only || !range.Trigger) return range;
    // A view of a trigger starts at a sample of the run.
    const int64_t start = ViewStartSample(*range.Trigger);
    range.First = static_cast<uint32_t>(std::min<int64_t>(start, range.End));
    range.End = static_cast<uint32_t>(std::min<int64_t>(start + DrawnSamples(*range.Trigger), range.End));
    return range;
}

struct ChannelFigures {
    uint32_t Differ = 0;   // samples beyond the tolerance
    uint32_t Largest = 0;  // the largest difference, and the first sample with it
    uint32_t At = 0;
    int16_t A = 0, B = 0;
};

ChannelFigures CompareChannel(const SampleRun& a, const SampleRun& b, const Range& range, int32_t id,
                              uint32_t tolerance) {
    ChannelFigures figures;
    const uint8_t* x = ChannelValue(a.First, id);
    const uint8_t* y = ChannelValue(b.First, id);
    for (uint32_t i = range.First; i < range.End; ++i) {
        const int16_t va = LoadInt16(x + size_t{i} * SampleSize), vb = LoadInt16(y + size_t{i} * SampleSize);
        const uint32_t difference = static_cast<uint32_t>(va > vb ? int32_t{va} - vb : int32_t{vb} - va);
        figures.Differ += difference > tolerance;
        if (difference <= figures.Largest) continue;
        figures.Largest = difference;
        figures.At = i;
        figures.A = va;
        figures.B = vb;
    }
    return figures;
}

// The first sample whose counters differ, if one does.
std::optional<uint32_t> CounterChange(const SampleRun& a, const SampleRun& b, const Range& range) {
    for (uint32_t i = range.First; i < range.End; ++i)
        if (std::memcmp(a.First + size_t{i} * SampleSize + CounterOffset, b.First + size_t{i} * SampleSize + CounterOffset,
                        2) != 0)
            return i;
    return std::nullopt;
}

const size_t ColumnWidths[] = {8, 8, 10, 11, 15, 17, 8, 8};

std::string ChannelRow(const std::vector<std::string>& cells) {
    std::string row = "  " + Padded(cells[0], ColumnWidths[0]);
    for (size_t i = 1; i < cells.size(); ++i) row += RightAligned(cells[i], ColumnWidths[i]);
    return row + "\n";
}

std::string TimeCell(const DiffOptions& options, int64_t samples) {
    return options.Clock ? SignedTime(*options.Clock, samples, ',') : "-";
}

std::string RangeHeading(const Range& range, const DiffOptions& options) {
    std::string text = "Samples " + std::to_string(range.First) + " to " + std::to_string(range.End - 1) +
                       ", each against the same sample number (tolerance " + std::to_string(options.Tolerance) +
                       " raw counts; ";
    if (!range.Trigger) return text + "A shows no trigger to count times from):\n";
    return text + "times from A's trigger " + std::to_string(range.Trigger->CurrentTrigger) + " at sample " +
           std::to_string(TriggerSample(*range.Trigger, options.Trigger)) + "):\n";
}

Section SampleSection(const DiffSide& a, const DiffSide& b, const DiffOptions& options) {
    const SampleRun &runA = a.Report.Run, &runB = b.Report.Run;
    const Range range = ComparedRange(a, b, options);
    Section section;
    if (runA.Samples != runB.Samples) {
        const bool aLonger = runA.Samples > runB.Samples;
        section.Text += std::string("  ") + (aLonger ? "B" : "A") + " ends sooner: " + (aLonger ? "A" : "B") +
                        "'s samples from " + std::to_string(range.End) + " on are not compared\n";
        section.Differ = true;
    }
    if (range.First >= range.End) return {section.Text + "  No sample to compare\n", section.Differ};
    section.Text = RangeHeading(range, options) + section.Text;
    if (const auto counter = CounterChange(runA, runB, range)) {
        section.Text += "  Counters differ from sample " + std::to_string(*counter) + " on\n";
        section.Differ = true;
    }
    section.Text += ChannelRow({"Channel", "Differ", "Largest", "At sample", "ms from start", "ms from trigger", "A", "B"});
    const int64_t trigger = range.Trigger ? TriggerSample(*range.Trigger, options.Trigger) : 0;
    for (int32_t id = 1; id <= ChannelCount; ++id) {
        const ChannelFigures f = CompareChannel(runA, runB, range, id, options.Tolerance);
        section.Differ = section.Differ || f.Differ > 0;
        std::vector<std::string> cells{Utf8(ChannelName(id)), std::to_string(f.Differ), std::to_string(f.Largest)};
        if (f.Largest > 0)
            for (const std::string& cell : {std::to_string(f.At), TimeCell(options, f.At),
                                            range.Trigger ? TimeCell(options, int64_t{f.At} - trigger) : "-",
                                            std::to_string(f.A), std::to_string(f.B)})
                cells.push_back(cell);
        section.Text += ChannelRow(cells);
    }
    return section;
}

}  // namespace

RecordDiff DiffRecords(const DiffSide& a, const DiffSide& b, const DiffOptions& options) {
    const Section parameters = ParameterSection(a.Report, b.Report);
    const Section samples = SampleSection(a, b, options);
    RecordDiff diff;
    diff.Text = "A: " + a.Name + "\nB: " + b.Name + "\n" + parameters.Text + RecordingSection(a, b, options) +
                samples.Text;
    diff.Differ = parameters.Differ || samples.Differ;
    return diff;
}
