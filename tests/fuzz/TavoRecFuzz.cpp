// tavo-rec's reading of its inputs. The first byte chooses: a ".rec" or a
// ".dat" record file (the rest is the file), examined, reported, converted
// to CSV, plotted at the views TAVO shows, compared with itself and with a
// copy changed in one byte, checked against itself and tabled; or, with bit 7 set, a Tavo.ini text loaded as
// settings and a small recording plotted under them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scope/ScopeGeometry.h"
#include "tavo-rec/CsvExport.h"
#include "tavo-rec/InfoText.h"
#include "tavo-rec/RecSettings.h"
#include "tavo-rec/RecordDiff.h"
#include "tavo-rec/RecordImage.h"
#include "tavo-rec/RecordViews.h"
#include "tavo-rec/ScopeSvg.h"
#include "tavo-rec/WeldCheck.h"
#include "tavo-rec/WeldTable.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Counts lines and checks that every data row has the header's 16 fields.
class RowCheck final : public ByteSink {
public:
    explicit RowCheck(char separator) : separator_(separator) {}
    bool Write(const char* data, size_t size) override {
        for (size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (atLineStart_) comment_ = c == '#';
            atLineStart_ = c == '\n';
            if (c == separator_ && !comment_) ++fields_;
            if (c == '\n') {
                Check(comment_ || fields_ == 15);
                lines_ += !comment_;
                fields_ = 0;
            }
        }
        return true;
    }
    uint64_t Rows() const { return lines_; }

private:
    char separator_;
    bool atLineStart_ = true, comment_ = false;
    int fields_ = 0;
    uint64_t lines_ = 0;
};

size_t Count(const std::string& text, const char* what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// A picture is whole, has a trace per displayed channel at most, and each
// trace at most the 251 points of the view.
void CheckPicture(const std::string& svg, const Settings& display) {
    Check(svg.rfind("<?xml", 0) == 0 && svg.size() > 7 && svg.compare(svg.size() - 7, 7, "</svg>\n") == 0);
    Check(Count(svg, "<polyline") <= static_cast<size_t>(DisplayedChannelCount(display)));
    for (size_t at = svg.find("points=\""); at != std::string::npos; at = svg.find("points=\"", at + 1))
        Check(std::count(svg.begin() + at, svg.begin() + svg.find('"', at + 8), ',') <= ViewSamples);
}

void LoadIni(const uint8_t* data, size_t size) {
    RecSettings settings;
    std::string why;
    if (SettingsFromIni(std::string(reinterpret_cast<const char*>(data), size), &settings, &why)) {
        Check(settings.Trigger.has_value() && settings.Display);
        Check(!settings.Clock || (*settings.Clock >= 1 && *settings.Clock <= LargestClock));
        // Whatever the file says (NoChannels beyond 13, any clock, negative
        // PreEvent), the picture of a short recording stays whole.
        static RecordImage image;
        image.Kind = RecordKind::Dat;
        image.Size = 40 * 32;
        for (uint32_t i = 0; i < 40; ++i)
            for (uint32_t b = 0; b < 32; ++b)
                image.Bytes[i * 32 + b] = static_cast<uint8_t>(b == 0 ? 'G' : b == 2 ? i : b < 4 ? 0 : i * b * 37);
        const RecordReport report = ExamineRecord(image);
        Check(report.Problem == RecordProblem::None);
        RecordViews views(report, *settings.Trigger);
        CheckPicture(ScopeSvg({*settings.Display, *settings.Trigger, 0, 0, views.Shown(), "fuzz"}, 640, 480),
                     *settings.Display);
    } else {
        Check(!why.empty());
    }
}

const Settings& ShippedDisplay() {
    static const RecSettings shipped = [] {
        RecSettings settings;
        std::string why;
        Check(SettingsFromIni(DefaultIniText(), &settings, &why));
        return settings;
    }();
    return *shipped.Display;
}

// The first views TAVO shows draw only bytes of the file or of TAVO's fresh
// buffer behind it.
void PlotViews(const RecordImage& image, const RecordReport& report, const TriggerParams& trigger, int width) {
    RecordViews views(report, trigger);
    const uint8_t* end = image.Bytes.get() + image.Size + SampleSize;
    for (int shown = 0; shown < 3; ++shown) {
        const DecodingState& view = views.Shown();
        if (view.ViewStart)
            Check(view.ViewStart + size_t{std::min<uint32_t>(view.ViewCount, ViewSamples)} * SampleSize <= end);
        const int16_t ta = report.Parameters ? LoadInt16(report.Parameters + 60) : 0;
        CheckPicture(ScopeSvg({ShippedDisplay(), trigger, ta, 0, view, "fuzz"}, width, 300), ShippedDisplay());
        // With a band around itself and a caption longer than the picture is wide.
        ScopePicture banded{ShippedDisplay(), trigger, ta, 0, view, "fuzz"};
        ChannelBands bands;
        bands.fill(static_cast<uint32_t>(ta) & 0xFFFF);
        banded.Reference = ReferenceTraces{view, bands};
        banded.Caption = {std::string(reinterpret_cast<const char*>(image.Bytes.get()), std::min<uint64_t>(image.Size, 300))};
        const std::string svg = ScopeSvg(banded, width, 300);
        CheckPicture(svg, ShippedDisplay());
        Check(Count(svg, "<polygon") <= static_cast<size_t>(DisplayedChannelCount(ShippedDisplay())));
        if (!views.Next()) break;
    }
}

std::vector<DecodingState> Views(const RecordReport& report, const TriggerParams& trigger) {
    RecordViews views(report, trigger);
    return EveryView(views);
}

// A weld against itself passes within a band of 0 at every trigger, and its
// table has a row per view.
void CheckItself(const RecordReport& report, const TriggerParams& trigger, const std::vector<DecodingState>& views) {
    ChannelBands bands;
    bands.fill(0u);
    if (views.front().CurrentTrigger > 0) {
        RecordViews file(report, trigger);
        Check(CheckWeld(views, file, true, ShippedDisplay(), bands).Outcome == CheckOutcome::Pass);
    }
    std::string table;
    RecordViews rows(report, trigger);
    AppendTableRows("fuzz", "", report, rows, {ShippedDisplay(), trigger}, table);
    Check(static_cast<size_t>(std::count(table.begin(), table.end(), '\n')) == views.size());
}

// A file against itself is the same, within any tolerance; against a copy
// with one byte changed, a changed parameter byte is a difference.
void Compare(const uint8_t* file, size_t size, const RecordReport& report, const TriggerParams& trigger,
             uint8_t where) {
    static RecordImage copy;
    copy.Kind = report.Parameters ? RecordKind::Rec : RecordKind::Dat;
    copy.Size = size;
    std::memcpy(copy.Bytes.get(), file, size);
    const size_t changed = where % size;
    copy.Bytes[changed] ^= 0x5A;
    const RecordReport other = ExamineRecord(copy);
    const std::vector<DecodingState> views = Views(report, trigger);
    DiffOptions options;
    options.Clock = 1250;
    options.Trigger = trigger;
    options.Tolerance = where;
    Check(!DiffRecords({"a", report, views}, {"a", report, views}, options).Differ);
    CheckItself(report, trigger, views);
    if (other.Problem != RecordProblem::None) return;
    const bool parameterByte = report.Parameters && changed >= 4 && changed < 68;
    options.Only = views.back().CurrentTrigger > 0 ? std::optional<uint32_t>(views.back().CurrentTrigger) : std::nullopt;
    Check(DiffRecords({"a", report, views}, {"b", other, Views(other, trigger)}, options).Differ || !parameterByte);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RecordImage image;
    if (size < 1) return 0;
    if (data[0] & 0x80) {
        LoadIni(data + 1, size - 1);
        return 0;
    }
    if (size - 1 >= RecordFileLimit) return 0;
    image.Kind = data[0] & 1 ? RecordKind::Rec : RecordKind::Dat;
    image.Size = size - 1;
    std::memcpy(image.Bytes.get(), data + 1, size - 1);
    const RecordReport report = ExamineRecord(image);
    if (report.Problem != RecordProblem::None) return 0;

    const SampleRun& run = report.Run;
    Check(run.Samples >= 1 && run.Whole <= run.Samples && run.Samples - run.Whole <= 1);
    Check(run.FirstOffset + uint64_t{run.Whole} * 32 <= image.Size && run.EndOffset <= image.Size);
    Check((report.Parameters != nullptr) == (image.Kind == RecordKind::Rec));

    RecSettings settings;
    settings.Clock = 1 + data[0] % 7 * 333;
    TriggerParams trigger;
    trigger.TriggerChannel = 1 + data[0] % 13;
    trigger.TriggerMode = data[0] & 2 ? 1 : 2;
    trigger.PreEvent = static_cast<int16_t>(data[0] % 5);
    trigger.PostEvent = static_cast<int16_t>(data[0] % 3);
    settings.Trigger = trigger;
    Check(!InfoText("fuzz", image, report, settings).empty());

    const bool german = data[0] & 4;
    RowCheck rows(german ? ';' : ',');
    Check(WriteCsv(report, {*settings.Clock, (data[0] & 8) != 0, german}, rows));
    Check(rows.Rows() == uint64_t{run.Whole} + 1);

    PlotViews(image, report, trigger, 100 + data[0]);
    Compare(data + 1, size - 1, report, trigger, data[size - 1]);
    return 0;
}
