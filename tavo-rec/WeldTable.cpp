#include "tavo-rec/WeldTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "settings/ChannelTable.h"
#include "tavo-rec/CsvExport.h"
#include "tavo-rec/ParameterText.h"
#include "tavo-rec/WeldCheck.h"

namespace {

// The parameter fields in the order the Parameter dialog shows them.
const std::vector<ParameterLine>& FieldOrder() {
    static const std::vector<ParameterLine> lines = [] {
        const uint8_t zeros[ParameterBlockSize] = {};
        return ParameterLines(zeros);
    }();
    return lines;
}

// The stored values (not the dialog's nearest limit: a trend wants what the
// controller held); a flag byte as its checked boxes, "0 7".
std::string ParameterCells(const uint8_t* block, char separator) {
    std::string cells;
    if (!block) return std::string(FieldOrder().size(), separator);
    for (const ParameterLine& line : ParameterLines(block))
        cells += separator + (line.Flags ? CheckedBoxes(static_cast<uint8_t>(line.Stored)) : std::to_string(line.Stored));
    return cells;
}

// A mean to two decimals.
std::string MeanText(int64_t sum, uint32_t count, char decimal) {
    const long long hundredths = std::llround(static_cast<double>(sum) * 100.0 / count);
    const long long magnitude = std::llabs(hundredths);
    const std::string cents = std::to_string(100 + magnitude % 100).substr(1);
    return (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100) + decimal + cents;
}

// Minimum, maximum and mean of each shown channel over the drawn samples.
std::string ChannelCells(const DecodingState& view, const TableFormat& format) {
    std::string cells;
    const uint32_t n = DrawnSamples(view);
    const int shown = DisplayedChannelCount(format.Display);
    for (int j = 0; j < shown; ++j) {
        const uint8_t* value = ChannelValue(view.ViewStart, format.Display.ChannelTable[j].Id);
        if (!value || n == 0) {
            cells += std::string(3, format.Separator);
            continue;
        }
        int16_t lowest = INT16_MAX, highest = INT16_MIN;
        int64_t sum = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const int16_t v = LoadInt16(value + size_t{i} * SampleSize);
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
            sum += v;
        }
        cells += format.Separator + std::to_string(lowest) + format.Separator + std::to_string(highest) +
                 format.Separator + MeanText(sum, n, format.Decimal);
    }
    return cells;
}

}  // namespace

std::string TableHeader(const TableFormat& format) {
    const char s = format.Separator;
    std::string header = std::string("File") + s + "Date" + s + "Trigger" + s + "Triggers" + s + "Trigger sample";
    const int shown = DisplayedChannelCount(format.Display);
    for (int j = 0; j < shown; ++j) {
        const std::string name = Utf8(ChannelName(format.Display.ChannelTable[j].Id));
        header += s + name + " min" + s + name + " max" + s + name + " mean";
    }
    for (const ParameterLine& line : FieldOrder()) header += s + line.Name;
    return header + "\r\n";
}

void AppendTableRows(const std::string& name, const std::string& date, const RecordReport& report,
                     RecordViews& views, const TableFormat& format, std::string& table) {
    const char s = format.Separator;
    const std::string file = CsvField(name, s) + s + date + s;
    const std::string parameters = ParameterCells(report.Parameters, s);
    do {
        const DecodingState& view = views.Shown();
        table += file + std::to_string(view.CurrentTrigger) + s + std::to_string(view.TriggerCount) + s;
        if (view.CurrentTrigger > 0) table += std::to_string(TriggerSample(view, format.Trigger));
        table += ChannelCells(view, format) + parameters + "\r\n";
    } while (views.Next());
}
