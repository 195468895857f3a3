#include "tavo-rec/RecordDiff.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scope/ScopeGeometry.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/ParameterText.h"

namespace {

constexpr size_t LabelWidth = 30;
constexpr size_t ValueWidth = 12;

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

// What the edits show; behind them what is stored where that lies outside
// the limits.
std::string FieldRows(const ParameterLine& a, const ParameterLine& b) {
    // A flag byte's check boxes are too wide for a column: a line each.
    if (a.Label == a.Group) return "  " + a.Label + "\n    A  " + a.Shown + "\n    B  " + b.Shown + "\n";
    std::string note = a.Note.empty() ? "" : "A " + a.Note;
    if (!b.Note.empty()) note += (note.empty() ? "B " : "; B ") + b.Note;
    return Row(a.Group + " / " + a.Label, a.Shown, b.Shown, note);
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
        if (linesA[i].Shown == linesB[i].Shown && linesA[i].Note == linesB[i].Note) continue;
        ++differing;
        rows += FieldRows(linesA[i], linesB[i]);
    }
    if (differing == 0) return {"Parameters: same parameters\n", false};
    return {"Parameters: " + std::to_string(differing) + (differing == 1 ? " field differs" : " fields differ") +
                ", as the Parameter dialog shows them\n" + Row("", "A", "B") + rows,
            true};
}

// The first sample whose counter or channel values differ, or the shorter
// run's end; none when both runs are alike.
bool FirstDifferentSample(const SampleRun& a, const SampleRun& b, uint32_t* index) {
    const uint32_t common = std::min(a.Samples, b.Samples);
    constexpr size_t ValuesOffset = 6;  // the channels follow two bytes that are not interpreted
    for (uint32_t i = 0; i < common; ++i) {
        const uint8_t* x = a.First + size_t{i} * SampleSize;
        const uint8_t* y = b.First + size_t{i} * SampleSize;
        if (std::memcmp(x + CounterOffset, y + CounterOffset, 2) != 0 ||
            std::memcmp(x + ValuesOffset, y + ValuesOffset, SampleSize - ValuesOffset) != 0) {
            *index = i;
            return true;
        }
    }
    *index = common;
    return a.Samples != b.Samples;
}

std::string Counter(const DecodingState& view) {
    return std::to_string(view.CurrentTrigger) + " / " + std::to_string(view.TriggerCount);
}

// Where the view starts in the run: the trigger sample lies PreEvent later.
std::string ViewStartText(const DecodingState& view) {
    if (!view.ViewStart) return "-";
    return std::to_string(static_cast<size_t>(view.ViewStart - view.SampleStart) / SampleSize);
}

Section RecordingSection(const DiffSide& a, const DiffSide& b) {
    std::string text = "Recordings:\n" + Row("", "A", "B");
    text += Row("Samples", std::to_string(a.Report.Run.Samples), std::to_string(b.Report.Run.Samples));
    text += Row("Triggers", std::to_string(a.View.TriggerCount), std::to_string(b.View.TriggerCount));
    text += Row("Trigger shown", Counter(a.View), Counter(b.View));
    text += Row("View from sample", ViewStartText(a.View), ViewStartText(b.View));
    uint32_t first = 0;
    if (!FirstDifferentSample(a.Report.Run, b.Report.Run, &first))
        return {text + "  Same samples: every counter and channel value is equal\n", false};
    return {text + "  First different sample: " + std::to_string(first) + "\n", true};
}

// A level (a multiple of 1/2048) exactly: at most 11 decimals, trailing
// zeros left out.
std::string LevelText(double level) {
    const long long units = std::llround(std::fabs(level) * FullScale);
    std::string text = (level < 0 ? "-" : "") + std::to_string(units / 2048);
    long long fraction = units % 2048 * 48828125;  // 1/2048 = 0.00048828125
    if (fraction == 0) return text;
    std::string digits = std::to_string(fraction);
    digits.insert(0, 11 - digits.size(), '0');
    return text + "." + digits.substr(0, digits.find_last_not_of('0') + 1);
}

uint32_t ViewLength(const DecodingState& view) {
    return view.ViewStart ? std::min<uint32_t>(view.ViewCount, ViewSamples) : 0;
}

std::string ChannelDifference(const DecodingState& a, const DecodingState& b, uint32_t n, int32_t id) {
    const uint8_t* x = ChannelValue(a.ViewStart, id);
    const uint8_t* y = ChannelValue(b.ViewStart, id);
    double largest = 0;
    uint32_t at = 0;
    double levelA = 0, levelB = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const double la = SampleLevel(LoadInt16(x + size_t{i} * SampleSize));
        const double lb = SampleLevel(LoadInt16(y + size_t{i} * SampleSize));
        if (std::fabs(la - lb) > largest) {
            largest = std::fabs(la - lb);
            at = i;
            levelA = la;
            levelB = lb;
        }
    }
    std::string text = "  " + Padded(Utf8(ChannelName(id)), 6) + LevelText(largest);
    if (largest > 0)
        text += " at view sample " + std::to_string(at) + ": A " + LevelText(levelA) + ", B " + LevelText(levelB);
    return text + "\n";
}

std::string ViewSection(const DiffSide& a, const DiffSide& b) {
    const uint32_t na = ViewLength(a.View), nb = ViewLength(b.View), n = std::min(na, nb);
    std::string text = "Largest level difference per channel, view by view (A at " + Counter(a.View) + ", B at " +
                       Counter(b.View) + ", " + std::to_string(n) + " samples):\n";
    if (na != nb)
        text += "  A's view shows " + std::to_string(na) + " samples, B's " + std::to_string(nb) + ": the first " +
                std::to_string(n) + " are compared\n";
    if (n == 0) return text + "  nothing to compare\n";
    for (int32_t id = 1; id <= ChannelCount; ++id) text += ChannelDifference(a.View, b.View, n, id);
    return text;
}

}  // namespace

RecordDiff DiffRecords(const DiffSide& a, const DiffSide& b) {
    const Section parameters = ParameterSection(a.Report, b.Report);
    const Section recordings = RecordingSection(a, b);
    RecordDiff diff;
    diff.Text = "A: " + a.Name + "\nB: " + b.Name + "\n" + parameters.Text + recordings.Text + ViewSection(a, b);
    diff.Differ = parameters.Differ || recordings.Differ;
    return diff;
}
