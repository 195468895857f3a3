#include "tavo-rec/InfoText.h"

#include "scope/Decoding.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/CsvExport.h"
#include "tavo-rec/ParameterText.h"

namespace {

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + ' ' : text + std::string(width - text.size(), ' ');
}

std::string Row(const char* what, const std::string& text) { return "  " + Padded(what, 12) + text + "\n"; }

std::string Number(uint64_t value) { return std::to_string(value); }

std::string Bytes(uint64_t count) { return Number(count) + (count == 1 ? " byte" : " bytes"); }

std::string KindText(RecordKind kind) {
    return kind == RecordKind::Rec ? ".rec (parameter block and samples, as TAVO saves them)"
                                   : ".dat (a raw recording stream)";
}

std::string SamplesText(const SampleRun& run) {
    std::string text = Number(run.Whole);
    if (run.Samples != run.Whole)
        text += " whole, and " + Number(run.Samples - run.Whole) +
                " incomplete that TAVO completes from its buffer (not in the CSV)";
    return text;
}

std::string FirstSampleText(const SampleRun& run) {
    std::string text = "byte " + Number(run.FirstOffset) + ", ";
    text += run.FirstCounterInFile ? "counter " + Number(run.FirstCounter) : "its counter is not in the file";
    if (run.Junk == 0) return text + "; no junk before it";
    text += "; " + Bytes(run.Junk) + " of junk before it";
    if (run.Junk % 2 != 0) text += " (an odd number: TAVO moves the stream down by one byte)";
    return text;
}

std::string RunEndText(const RecordImage& image, const SampleRun& run) {
    const std::string where = "at byte " + Number(run.EndOffset) + ", sample " + Number(run.Samples) + ": ";
    const std::string rest = "; the " + Bytes(image.Size - run.EndOffset) + " from there are not shown";
    switch (run.End) {
        case RunEnd::NoMarker: return where + "no G there" + rest;
        case RunEnd::CounterJump:
            return where + "counter " + Number(run.CounterFound) + " does not follow " + Number(run.CounterBefore) +
                   rest;
        case RunEnd::FileEnd: break;
    }
    if (run.Leftover == 0) return "at the end of the file";
    return "at the end of the file; " + Bytes(run.Leftover) + " after the last whole sample";
}

std::string ClockLine(const SampleRun& run, const RecSettings& settings) {
    if (!settings.Clock) return "not known (give --ini or --clock)";
    const ClockTenths clock = *settings.Clock;
    std::string text = ClockText(clock);
    if (run.Whole > 0) text += "; the last whole sample at " + SampleTime(clock, run.Whole - 1, '.') + " ms";
    return text;
}

std::string TriggerText(const SampleRun& run, const RecSettings& settings) {
    if (!settings.Trigger) return "not counted (give --ini, or --channel, --mode, --threshold, --pre and --post)";
    const TriggerParams& trigger = *settings.Trigger;
    if (!ChannelValue(run.First, trigger.TriggerChannel)) return "0 (no trigger channel is set)";
    return Number(RunTriggers(run, trigger)) + " (" + Utf8(ChannelName(trigger.TriggerChannel)) + " " +
           Utf8(TriggerModeName(trigger.TriggerMode)) + " through " + std::to_string(trigger.Threshold) +
           ", PreEvent " + std::to_string(trigger.PreEvent) + ", PostEvent " + std::to_string(trigger.PostEvent) +
           ")";
}

std::string ParameterBlockText(const uint8_t* block) {
    std::string text = "  Parameter block, as the Parameter dialog shows it:\n";
    std::string group;
    for (const ParameterLine& line : ParameterLines(block)) {
        // A flag byte is a group of its own: its check boxes stand beside its name.
        if (line.Label == line.Group) {
            text += "    " + Padded(line.Group, 26) + line.Shown + "\n";
            continue;
        }
        if (line.Group != group) text += "    " + (group = line.Group) + "\n";
        std::string row = "      " + Padded(line.Label, 24);
        row += std::string(line.Shown.size() < 7 ? 7 - line.Shown.size() : 0, ' ') + line.Shown;
        row += "   " + line.Limits;
        if (!line.Note.empty()) row += "   " + line.Note;
        text += row + "\n";
    }
    return text;
}

}  // namespace

uint32_t RunTriggers(const SampleRun& run, const TriggerParams& trigger) {
    uint32_t count = 0;
    CountTriggers(run.First, run.Samples, trigger, &count);
    return count;
}

std::string InfoText(const std::string& name, const RecordImage& image, const RecordReport& report,
                     const RecSettings& settings) {
    const SampleRun& run = report.Run;
    std::string text = name + "\n";
    text += Row("Kind:", KindText(image.Kind));
    text += Row("Size:", Bytes(image.Size));
    text += Row("Samples:", SamplesText(run));
    text += Row("First G:", FirstSampleText(run));
    text += Row("Run ends:", RunEndText(image, run));
    text += Row("Clock:", ClockLine(run, settings));
    text += Row("Triggers:", TriggerText(run, settings));
    if (report.Parameters) text += ParameterBlockText(report.Parameters);
    return text;
}
