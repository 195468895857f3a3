#include "tavo-rec/WeldCheck.h"

#include <algorithm>

#include "scope/ScopeGeometry.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/CsvExport.h"
#include "tavo-rec/ParameterText.h"

namespace {

int64_t Distance(int16_t a, int16_t b) { return a > b ? int64_t{a} - b : int64_t{b} - a; }

// How far a value lies beyond its band: above 0 outside it.
int64_t Beyond(const WeldVerdict& verdict) {
    return Distance(verdict.Value, verdict.Reference) - static_cast<int64_t>(verdict.Band);
}

// Positions in time order, and at each the shown channels in display order:
// the first value outside its band, or (with `nearest`) the one nearest to
// its band's edge.
bool FirstOutside(const DecodingState& view, const DecodingState& reference, uint32_t length,
                  const Settings& display, const ChannelBands& bands, WeldVerdict& verdict, bool* found) {
    int64_t nearest = INT64_MIN;
    const int shown = DisplayedChannelCount(display);
    for (uint32_t i = 0; i < length; ++i) {
        for (int j = 0; j < shown; ++j) {
            const int32_t id = display.ChannelTable[j].Id;
            const uint8_t* value = ChannelValue(view.ViewStart, id);
            if (!value || !bands[static_cast<size_t>(id)]) continue;
            const uint32_t band = *bands[static_cast<size_t>(id)];
            const int16_t v = LoadInt16(value + size_t{i} * SampleSize);
            const int16_t r = LoadInt16(ChannelValue(reference.ViewStart, id) + size_t{i} * SampleSize);
            const int64_t beyond = Distance(v, r) - static_cast<int64_t>(band);
            if (beyond <= nearest && beyond <= 0) continue;
            nearest = beyond;
            verdict.Channel = id;
            verdict.Position = i;
            verdict.Sample = ViewStartSample(view) + i;
            verdict.Value = v;
            verdict.Reference = r;
            verdict.Band = band;
            if (beyond > 0) return *found = true;
        }
    }
    return *found = false;
}

// One trigger's view against the reference's: the band, then the length.
// The verdict keeps the nearest approach to the band's edge of all views
// held so far.
bool HoldView(const DecodingState& view, const DecodingState& reference, const Settings& display,
              const ChannelBands& bands, WeldVerdict& verdict) {
    const uint32_t length = DrawnSamples(view), referenceLength = DrawnSamples(reference);
    WeldVerdict here = verdict;
    bool outside = false;
    FirstOutside(view, reference, std::min(length, referenceLength), display, bands, here, &outside);
    here.Located = view.CurrentTrigger;
    if (outside || verdict.Channel == 0 || Beyond(here) > Beyond(verdict)) verdict = here;
    verdict.Trigger = view.CurrentTrigger;
    if (outside) {
        verdict.Outcome = CheckOutcome::OutsideBand;
        return false;
    }
    if (length >= referenceLength) return true;
    verdict.Outcome = CheckOutcome::ShortView;
    verdict.Length = length;
    verdict.ReferenceLength = referenceLength;
    return false;
}

std::string ShownText(uint32_t shown, const char* of) {
    if (shown == 0) return std::string("TAVO shows no trigger of ") + of;
    if (shown == 1) return std::string("TAVO shows trigger 1 only of ") + of;
    return "TAVO shows triggers 1 to " + std::to_string(shown) + " of " + of;
}

std::string TimeFromTrigger(const WeldVerdict& verdict, std::optional<ClockTenths> clock, const TriggerParams& trigger) {
    if (!clock) return "";
    const int64_t samples = int64_t{verdict.Position} - std::max<int16_t>(trigger.PreEvent, 0);
    if (samples == 0) return " (at the trigger)";
    return " (" + SignedTime(*clock, samples < 0 ? -samples : samples, ',') + " ms " +
           (samples < 0 ? "before" : "after") + " the trigger)";
}

std::string Triggers(const WeldVerdict& verdict) {
    if (verdict.FirstTrigger == verdict.Trigger) return "trigger " + std::to_string(verdict.Trigger);
    return "triggers " + std::to_string(verdict.FirstTrigger) + " to " + std::to_string(verdict.Trigger);
}

std::string Reason(const WeldVerdict& verdict, std::optional<ClockTenths> clock, const TriggerParams& trigger) {
    const std::string channel = Utf8(ChannelName(verdict.Channel));
    const std::string at = channel + " at sample " + std::to_string(verdict.Sample) + TimeFromTrigger(verdict, clock, trigger);
    const std::string reference =
        "reference " + std::to_string(verdict.Reference) + " \xC2\xB1 " + std::to_string(verdict.Band);
    switch (verdict.Outcome) {
        case CheckOutcome::Pass: {
            std::string text = Triggers(verdict) + " within the band";
            if (verdict.Channel == 0) return text;
            return text + "; nearest to its edge: trigger " + std::to_string(verdict.Located) + ", " + at + ", " + std::to_string(verdict.Value) + " (" + reference + ")";
        }
        case CheckOutcome::OutsideBand:
            return "trigger " + std::to_string(verdict.Trigger) + ", " + at + ": " + std::to_string(verdict.Value) +
                   ", " + std::to_string(Beyond(verdict)) + (verdict.Value > verdict.Reference ? " above" : " below") +
                   " the band (" + reference + ")";
        case CheckOutcome::NoTrigger:
            return "no trigger " + std::to_string(verdict.Trigger) + ": " + ShownText(verdict.Shown, "this file");
        case CheckOutcome::ExtraTrigger:
            return "trigger " + std::to_string(verdict.Trigger) + " beyond the reference's: " +
                   ShownText(verdict.Shown, "the reference");
        case CheckOutcome::ShortView:
            return "trigger " + std::to_string(verdict.Trigger) + ": its view holds " + std::to_string(verdict.Length) +
                   " samples, the reference's " + std::to_string(verdict.ReferenceLength);
    }
    return "";
}

}  // namespace

uint32_t DrawnSamples(const DecodingState& view) {
    return view.ViewStart ? std::min<uint32_t>(view.ViewCount, ViewSamples) : 0;
}

int64_t ViewStartSample(const DecodingState& view) {
    if (!view.ViewStart) return 0;
    return (view.ViewStart - view.SampleStart) / static_cast<int64_t>(SampleSize);
}

int64_t TriggerSample(const DecodingState& view, const TriggerParams& trigger) {
    return ViewStartSample(view) + std::max<int16_t>(trigger.PreEvent, 0);
}

std::vector<DecodingState> EveryView(RecordViews& views) {
    std::vector<DecodingState> every{views.Shown()};
    while (views.Next()) every.push_back(views.Shown());
    return every;
}

WeldVerdict CheckWeld(const std::vector<DecodingState>& reference, RecordViews& file, bool every,
                      const Settings& display, const ChannelBands& bands) {
    WeldVerdict verdict;
    verdict.FirstTrigger = reference.front().CurrentTrigger;
    for (size_t k = 0; k < reference.size(); ++k) {
        const uint32_t wanted = reference[k].CurrentTrigger;
        if (k == 0 ? !file.GoTo(wanted) : !file.Next()) {
            verdict.Outcome = CheckOutcome::NoTrigger;
            verdict.Trigger = wanted;
            verdict.Shown = file.Shown().CurrentTrigger;
            return verdict;
        }
        if (!HoldView(file.Shown(), reference[k], display, bands, verdict)) return verdict;
    }
    if (every && file.Next()) {
        verdict.Outcome = CheckOutcome::ExtraTrigger;
        verdict.Trigger = file.Shown().CurrentTrigger;
        verdict.Shown = reference.back().CurrentTrigger;
    }
    return verdict;
}

std::string VerdictLine(const std::string& name, const WeldVerdict& verdict, std::optional<ClockTenths> clock,
                        const TriggerParams& trigger) {
    return (verdict.Outcome == CheckOutcome::Pass ? "PASS " : "FAIL ") + name + ": " +
           Reason(verdict, clock, trigger) + "\n";
}

std::string VerdictHeader(char separator) {
    std::string header;
    for (const char* column : {"File", "Result", "Trigger", "Channel", "Sample", "Time from trigger (ms)", "Value",
                               "Reference", "Band", "Beyond the band", "Reason"}) {
        if (!header.empty()) header += separator;
        header += column;
    }
    return header + "\r\n";
}

std::string VerdictRow(const std::string& name, const WeldVerdict& verdict, std::optional<ClockTenths> clock,
                       const TriggerParams& trigger, char separator, char decimal) {
    const bool pass = verdict.Outcome == CheckOutcome::Pass;
    std::vector<std::string> fields{CsvField(name, separator), pass ? "PASS" : "FAIL",
                                    std::to_string(pass ? verdict.Located : verdict.Trigger)};
    // Where the view left the band, or where it came nearest to its edge.
    if (verdict.Channel != 0 && (pass || verdict.Outcome == CheckOutcome::OutsideBand)) {
        const int64_t fromTrigger = int64_t{verdict.Position} - std::max<int16_t>(trigger.PreEvent, 0);
        for (const std::string& field :
             {Utf8(ChannelName(verdict.Channel)), std::to_string(verdict.Sample),
              clock ? SignedTime(*clock, fromTrigger, decimal) : std::string(), std::to_string(verdict.Value),
              std::to_string(verdict.Reference), std::to_string(verdict.Band), std::to_string(Beyond(verdict))})
            fields.push_back(field);
    } else {
        fields.resize(fields.size() + 7);
    }
    fields.push_back(CsvField(Reason(verdict, clock, trigger), separator));
    std::string row = fields.front();
    for (size_t i = 1; i < fields.size(); ++i) row += separator + fields[i];
    return row + "\r\n";
}
