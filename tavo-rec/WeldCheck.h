// A weld held against a good one: each trigger's view against the
// reference's view of the same trigger, channel by shown channel, sample by
// sample within a band of raw counts either side of the reference, the way
// both windows would show them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scope/Decoding.h"
#include "settings/Settings.h"
#include "tavo-rec/RecSettings.h"
#include "tavo-rec/RecordViews.h"

// The samples the scope draws of a view: at most 251 from its start.
uint32_t DrawnSamples(const DecodingState& view);
// The view's first sample as a sample number of the run (before the run for
// the no-trigger view of a stream with junk before its first sample).
int64_t ViewStartSample(const DecodingState& view);
// The trigger's sample number: PreEvent samples into its view.
int64_t TriggerSample(const DecodingState& view, const TriggerParams& trigger);
// The views TAVO shows, the first one and then every right arrow key.
std::vector<DecodingState> EveryView(RecordViews& views);

enum class CheckOutcome { Pass, OutsideBand, NoTrigger, ExtraTrigger, ShortView };

struct WeldVerdict {
    CheckOutcome Outcome = CheckOutcome::Pass;
    uint32_t Trigger = 0;  // the trigger it is about; Pass: the last one held against the reference
    uint32_t FirstTrigger = 0;
    // OutsideBand: where the view first left the band. Pass: where it came
    // nearest to the band's edge.
    int32_t Channel = 0;
    uint32_t Located = 0;   // the trigger of that view
    uint32_t Position = 0;  // in the view
    int64_t Sample = 0;     // sample number in the file's run
    int16_t Value = 0, Reference = 0;
    uint32_t Band = 0;
    // NoTrigger: the file shows triggers 1..Shown; ExtraTrigger: the reference does.
    uint32_t Shown = 0;
    // ShortView: the samples of the file's view and of the reference's.
    uint32_t Length = 0, ReferenceLength = 0;
};

// Holds the file's views against `reference` (the reference's views to
// check, in trigger order, none of them the no-trigger view). With `every`,
// a trigger of the file beyond the reference's last fails too.
WeldVerdict CheckWeld(const std::vector<DecodingState>& reference, RecordViews& file, bool every,
                      const Settings& display, const ChannelBands& bands);

// The one line of a verdict: "PASS name: ..." or "FAIL name: ...".
std::string VerdictLine(const std::string& name, const WeldVerdict& verdict, std::optional<ClockTenths> clock,
                        const TriggerParams& trigger);
// The same as CSV: the header, and a row.
std::string VerdictHeader(char separator);
std::string VerdictRow(const std::string& name, const WeldVerdict& verdict, std::optional<ClockTenths> clock,
                       const TriggerParams& trigger, char separator, char decimal);
