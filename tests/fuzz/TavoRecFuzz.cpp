// tavo-rec's reading of its inputs. The first byte chooses: a ".rec" or a
// ".dat" record file (the rest is the file), examined, reported and
// converted to CSV; or, with bit 7 set, a Tavo.ini text loaded as settings.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tavo-rec/CsvExport.h"
#include "tavo-rec/InfoText.h"
#include "tavo-rec/RecSettings.h"
#include "tavo-rec/RecordImage.h"

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

void LoadIni(const uint8_t* data, size_t size) {
    RecSettings settings;
    std::string why;
    if (SettingsFromIni(std::string(reinterpret_cast<const char*>(data), size), &settings, &why)) {
        Check(settings.Trigger.has_value());
        Check(!settings.Clock || (*settings.Clock >= 1 && *settings.Clock <= LargestClock));
    } else {
        Check(!why.empty());
    }
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
    return 0;
}
