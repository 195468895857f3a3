#include "tavo-rec/CsvExport.h"

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scope/Decoding.h"
#include "scope/ScopeGeometry.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/ParameterText.h"

namespace {

constexpr size_t ChunkSize = 1 << 20;
constexpr size_t LongestRow = 512;  // index, counter, time and 13 levels fit with room to spare
constexpr const char* LineEnd = "\r\n";

// Collects output and hands it to the sink in large pieces.
class Chunks {
public:
    explicit Chunks(ByteSink& sink) : sink_(sink), buffer_(new char[ChunkSize]) {}
    // Room for one row; flushes first when the buffer is nearly full.
    char* Reserve() {
        if (used_ + LongestRow > ChunkSize) Flush();
        return buffer_.get() + used_;
    }
    void Commit(const char* end) { used_ = static_cast<size_t>(end - buffer_.get()); }
    void Append(const std::string& text) {
        if (text.size() > LongestRow) {
            Flush();
            ok_ = ok_ && sink_.Write(text.data(), text.size());
            return;
        }
        char* at = Reserve();
        std::memcpy(at, text.data(), text.size());
        Commit(at + text.size());
    }
    bool Flush() {
        if (used_ > 0) ok_ = ok_ && sink_.Write(buffer_.get(), used_);
        used_ = 0;
        return ok_;
    }
    bool Ok() const { return ok_; }

private:
    ByteSink& sink_;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    bool ok_ = true;
};

constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

const char* Pair(uint32_t value) { return DigitPairs + 2 * value; }

char* AppendUnsigned(char* out, uint64_t value) {
    char digits[20];
    char* end = digits + sizeof digits;
    char* at = end;
    do {
        *--at = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::memcpy(out, at, static_cast<size_t>(end - at));
    return out + (end - at);
}

// The common case of sample numbers, counters and milliseconds, without a
// loop: two digits at a time.
char* AppendBelowMillion(char* out, uint32_t value) {
    if (value < 100) {
        if (value < 10) {
            *out = static_cast<char>('0' + value);
            return out + 1;
        }
        std::memcpy(out, Pair(value), 2);
        return out + 2;
    }
    if (value >= 10000) {
        const uint32_t top = value / 10000;
        if (top < 10) {
            *out++ = static_cast<char>('0' + top);
        } else {
            std::memcpy(out, Pair(top), 2);
            out += 2;
        }
        value %= 10000;
        std::memcpy(out, Pair(value / 100), 2);
        std::memcpy(out + 2, Pair(value % 100), 2);
        return out + 4;
    }
    const uint32_t high = value / 100;
    if (high < 10) {
        *out++ = static_cast<char>('0' + high);
    } else {
        std::memcpy(out, Pair(high), 2);
        out += 2;
    }
    std::memcpy(out, Pair(value % 100), 2);
    return out + 2;
}

char* AppendNumber(char* out, uint64_t value) {
    return value < 1'000'000 ? AppendBelowMillion(out, static_cast<uint32_t>(value)) : AppendUnsigned(out, value);
}

// `places` (3 or 4) digits of `fraction`, with leading zeros.
char* AppendFraction(char* out, uint32_t fraction, int places) {
    if (places == 3) {
        *out = static_cast<char>('0' + fraction / 100);
        std::memcpy(out + 1, Pair(fraction % 100), 2);
        return out + 3;
    }
    std::memcpy(out, Pair(fraction / 100), 2);
    std::memcpy(out + 2, Pair(fraction % 100), 2);
    return out + 4;
}

// The text of every channel value from `Lowest` to `Highest` with the
// separator before it (values beyond clamp to these): a row is then mostly
// copies of whole table entries. Width is the entry's size.
template <int Lowest, int Highest, size_t Width>
class ValueTexts {
public:
    // `format` writes a value's text and returns its end.
    template <typename Format>
    ValueTexts(char separator, Format format) : entries_(Highest - Lowest + 1) {
        for (int value = Lowest; value <= Highest; ++value) {
            Entry& entry = entries_[static_cast<size_t>(value - Lowest)];
            entry.Text[0] = separator;
            entry.Length = static_cast<uint8_t>(format(entry.Text + 1, static_cast<int16_t>(value)) - entry.Text);
        }
    }
    char* Append(char* out, int16_t raw) const {
        const int value = raw < Lowest ? Lowest : raw > Highest ? Highest : raw;
        const Entry& entry = entries_[static_cast<size_t>(value - Lowest)];
        std::memcpy(out, entry.Text, sizeof entry.Text);
        return out + entry.Length;
    }

private:
    struct Entry {
        char Text[Width - 1];
        uint8_t Length;
    };
    std::vector<Entry> entries_;
};

// Raw values: ",-32768" fits an entry of 8 bytes.
using RawTexts = ValueTexts<-32768, 32767, 8>;
// Levels: every raw value beyond full scale clamps to -1 or 1, and value /
// 2048 has at most 11 decimals: ",-0.00048828125" fits 16 bytes.
using LevelTexts = ValueTexts<-2048, 2048, 16>;

char* AppendRaw(char* out, int16_t raw) {
    if (raw < 0) *out++ = '-';
    return AppendBelowMillion(out, static_cast<uint32_t>(raw < 0 ? -int32_t{raw} : raw));
}

// The level exactly: SampleLevel × 10^11 is the integer raw × 48828125, which
// a double holds exactly; trailing zeros of the 11 decimals are left out.
char* AppendLevel(char* out, int16_t raw, char decimal) {
    const int64_t scaled = std::llround(SampleLevel(raw) * 1e11);
    const uint64_t magnitude = static_cast<uint64_t>(scaled < 0 ? -scaled : scaled);
    if (scaled < 0) *out++ = '-';
    *out++ = static_cast<char>('0' + magnitude / 100'000'000'000);
    uint64_t fraction = magnitude % 100'000'000'000;
    if (fraction == 0) return out;
    *out++ = decimal;
    int places = 11;
    for (; fraction % 10 == 0; fraction /= 10) --places;
    for (int i = places - 1; i >= 0; --i, fraction /= 10) out[i] = static_cast<char>('0' + fraction % 10);
    return out + places;
}

// Each table is built once, when first needed.
template <char Separator>
const RawTexts& RawTable() {
    static const RawTexts table(Separator, AppendRaw);
    return table;
}

template <char Separator, char Decimal>
const LevelTexts& LevelTable() {
    static const LevelTexts table(Separator, [](char* out, int16_t raw) { return AppendLevel(out, raw, Decimal); });
    return table;
}

// Times in milliseconds with three decimals for a whole-microsecond clock,
// else four.
struct TimeFormat {
    ClockTenths Clock;
    char Decimal;

    char* Append(char* out, uint64_t milliseconds, uint32_t tenths) const {
        out = AppendNumber(out, milliseconds);
        *out++ = Decimal;
        return Clock % 10 == 0 ? AppendFraction(out, tenths / 10, 3) : AppendFraction(out, tenths, 4);
    }
    char* Append(char* out, uint32_t index) const {
        const uint64_t tenths = uint64_t{index} * Clock;
        return Append(out, tenths / 10000, static_cast<uint32_t>(tenths % 10000));
    }
};

// The time of one sample after the other, by adding the clock: no division
// per row.
class Timeline {
public:
    explicit Timeline(const TimeFormat& format)
        : format_(format), stepMilliseconds_(format.Clock / 10000),
          stepTenths_(static_cast<uint32_t>(format.Clock % 10000)), wholeMicroseconds_(format.Clock % 10 == 0) {}
    char* AppendNext(char* out) {
        out = AppendNumber(out, milliseconds_);
        *out++ = format_.Decimal;
        out = wholeMicroseconds_ ? AppendFraction(out, tenths_ / 10, 3) : AppendFraction(out, tenths_, 4);
        milliseconds_ += stepMilliseconds_;
        tenths_ += stepTenths_;
        if (tenths_ >= 10000) {
            tenths_ -= 10000;
            ++milliseconds_;
        }
        return out;
    }

private:
    const TimeFormat& format_;
    uint64_t stepMilliseconds_;
    uint32_t stepTenths_;
    bool wholeMicroseconds_;
    uint64_t milliseconds_ = 0;
    uint32_t tenths_ = 0;
};

template <typename Texts>
bool WriteRows(const SampleRun& run, const TimeFormat& time, char separator, const Texts& texts, Chunks& chunks) {
    // Where each channel lies in a sample, taken once from the sample format.
    size_t channelOffset[ChannelCount];
    for (int32_t id = 1; id <= ChannelCount; ++id)
        channelOffset[id - 1] = static_cast<size_t>(ChannelValue(run.First, id) - run.First);
    Timeline timeline(time);
    for (uint32_t i = 0; i < run.Whole && chunks.Ok(); ++i) {
        const uint8_t* sample = run.First + size_t{i} * SampleSize;
        char* out = chunks.Reserve();
        // A run holds fewer samples than the record buffer's 270336.
        out = AppendBelowMillion(out, i);
        *out++ = separator;
        out = AppendBelowMillion(out, LoadUInt16(sample + CounterOffset));
        *out++ = separator;
        out = timeline.AppendNext(out);
        for (size_t offset : channelOffset) out = texts.Append(out, LoadInt16(sample + offset));
        std::memcpy(out, LineEnd, 2);
        chunks.Commit(out + 2);
    }
    return chunks.Flush();
}

std::string HeaderRow(char separator) {
    std::string row = "Sample";
    row += separator;
    row += "Counter";
    row += separator;
    row += "Time (ms)";
    for (int32_t id = 1; id <= ChannelCount; ++id) {
        row += separator;
        row += Utf8(ChannelName(id));
    }
    return row + LineEnd;
}

// "# Einstellungen / SEK: 8 (0..32)": one text per line, free of separators,
// so a spreadsheet keeps each in one cell.
std::string ParameterComments(const uint8_t* block) {
    std::string text = "# Parameter block of the record file, as the Parameter dialog shows it";
    text += LineEnd;
    for (const ParameterLine& line : ParameterLines(block)) {
        text += "# " + line.Group;
        if (line.Label != line.Group) text += " / " + line.Label;
        text += ": " + line.Shown;
        if (!line.Limits.empty()) text += " (" + line.Limits + ")";
        if (!line.Note.empty()) text += " - " + line.Note;
        text += LineEnd;
    }
    return text;
}

}  // namespace

std::string SampleTime(ClockTenths clock, uint32_t index, char decimal) {
    char text[32];
    return std::string(text, TimeFormat{clock, decimal}.Append(text, index));
}

bool WriteCsv(const RecordReport& report, const CsvOptions& options, ByteSink& sink) {
    const char separator = options.German ? ';' : ',';
    const char decimal = options.German ? ',' : '.';
    Chunks chunks(sink);
    if (report.Parameters) chunks.Append(ParameterComments(report.Parameters));
    chunks.Append(HeaderRow(separator));
    const TimeFormat time{options.Clock, decimal};
    if (options.Levels)
        return WriteRows(report.Run, time, separator,
                         options.German ? LevelTable<';', ','>() : LevelTable<',', '.'>(), chunks);
    return WriteRows(report.Run, time, separator, options.German ? RawTable<';'>() : RawTable<','>(), chunks);
}
