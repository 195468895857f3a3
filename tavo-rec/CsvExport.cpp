#include "tavo-rec/CsvExport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "scope/Decoding.h"
#include "scope/ScopeGeometry.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/ParameterText.h"

namespace {

constexpr size_t LongestRow = 512;  // index, counter, time and 13 levels fit with room to spare
constexpr const char* LineEnd = "\r\n";

// Hands output to the sink: the short texts before the rows together, the
// blocks of rows as they are. The first failed write ends all writing.
class Chunks {
public:
    explicit Chunks(ByteSink& sink) : sink_(sink) {}
    void Append(const std::string& text) { pending_ += text; }
    bool Write(const char* data, size_t size) {
        Flush();
        ok_ = ok_ && sink_.Write(data, size);
        return ok_;
    }
    bool Flush() {
        if (!pending_.empty()) ok_ = ok_ && sink_.Write(pending_.data(), pending_.size());
        pending_.clear();
        return ok_;
    }

private:
    ByteSink& sink_;
    std::string pending_;
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
    Timeline(const TimeFormat& format, uint32_t firstIndex)
        : format_(format), stepMilliseconds_(format.Clock / 10000),
          stepTenths_(static_cast<uint32_t>(format.Clock % 10000)), wholeMicroseconds_(format.Clock % 10 == 0) {
        const uint64_t tenths = uint64_t{firstIndex} * format.Clock;
        milliseconds_ = tenths / 10000;
        tenths_ = static_cast<uint32_t>(tenths % 10000);
    }
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
    uint64_t milliseconds_;
    uint32_t tenths_;
};

// Everything a row needs besides its sample.
template <typename Texts>
struct RowFormat {
    const SampleRun& Run;
    const TimeFormat& Time;
    char Separator;
    const Texts& Values;
};

// Rows `first` to `last` (exclusive) into `out`, which has room for
// LongestRow bytes per row; returns the end.
template <typename Texts>
char* FormatRows(const RowFormat<Texts>& format, uint32_t first, uint32_t last, char* out) {
    // Where each channel lies in a sample, taken once from the sample format.
    size_t channelOffset[ChannelCount];
    for (int32_t id = 1; id <= ChannelCount; ++id)
        channelOffset[id - 1] = static_cast<size_t>(ChannelValue(format.Run.First, id) - format.Run.First);
    Timeline timeline(format.Time, first);
    for (uint32_t i = first; i < last; ++i) {
        const uint8_t* sample = format.Run.First + size_t{i} * SampleSize;
        // A run holds fewer samples than the record buffer's 270336.
        out = AppendBelowMillion(out, i);
        *out++ = format.Separator;
        out = AppendBelowMillion(out, LoadUInt16(sample + CounterOffset));
        *out++ = format.Separator;
        out = timeline.AppendNext(out);
        for (size_t offset : channelOffset) out = format.Values.Append(out, LoadInt16(sample + offset));
        std::memcpy(out, LineEnd, 2);
        out += 2;
    }
    return out;
}

// The rows in blocks, formatted by the writing thread and helpers on the
// other cores while the writing thread hands finished blocks to the sink in
// order: formatting then overlaps with the writes, which cost about as much.
// A window of slots bounds the memory when the sink is slower.
template <typename Texts>
class BlockPipeline {
public:
    static constexpr uint32_t BlockRows = 2048;
    static constexpr uint32_t Slots = 8;

    BlockPipeline(const RowFormat<Texts>& format, Chunks& chunks)
        : format_(format), chunks_(chunks), blocks_((format.Run.Whole + BlockRows - 1) / BlockRows),
          slotCapacity_(size_t{std::min(BlockRows, format.Run.Whole)} * LongestRow) {}

    bool Run() {
        std::vector<std::thread> helpers;
        const uint32_t cores = std::thread::hardware_concurrency();
        const uint32_t wanted = std::min({cores > 1 ? cores - 1 : 0u, 3u, blocks_ > 1 ? blocks_ - 1 : 0u});
        try {
            for (uint32_t i = 0; i < wanted; ++i) helpers.emplace_back([this] { Work(false); });
        } catch (const std::system_error&) {
            // Fewer helpers only make it slower.
        }
        Work(true);
        for (std::thread& helper : helpers) helper.join();
        return !failed_;
    }

private:
    struct Slot {
        std::unique_ptr<char[]> Text;
        size_t Length = 0;
        bool Ready = false;
    };

    void Work(bool writer) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            Slot& next = slots_[written_ % Slots];
            if (writer && written_ < blocks_ && next.Ready) {
                lock.unlock();
                const bool ok = chunks_.Write(next.Text.get(), next.Length);
                lock.lock();
                next.Ready = false;
                ++written_;
                if (!ok) Fail();
                changed_.notify_all();
            } else if (claimed_ < blocks_ && claimed_ < written_ + Slots) {
                const uint32_t block = claimed_++;
                Slot& slot = slots_[block % Slots];
                lock.unlock();
                if (!slot.Text) slot.Text.reset(new char[slotCapacity_]);
                const uint32_t first = block * BlockRows;
                const uint32_t last = std::min(first + BlockRows, format_.Run.Whole);
                const char* end = FormatRows(format_, first, last, slot.Text.get());
                const size_t length = static_cast<size_t>(end - slot.Text.get());
                lock.lock();
                slot.Length = length;
                slot.Ready = true;
                changed_.notify_all();
            } else if (writer ? written_ == blocks_ : claimed_ == blocks_) {
                return;
            } else {
                changed_.wait(lock);
            }
        }
    }

    // A failed write ends the work: nothing more is claimed or written.
    void Fail() {
        failed_ = true;
        claimed_ = written_ = blocks_;
    }

    const RowFormat<Texts>& format_;
    Chunks& chunks_;
    const uint32_t blocks_;
    // A short run needs one small slot; a slot is made when first used.
    const size_t slotCapacity_;
    Slot slots_[Slots];
    std::mutex mutex_;
    std::condition_variable changed_;
    uint32_t claimed_ = 0;
    uint32_t written_ = 0;
    bool failed_ = false;
};

template <typename Texts>
bool WriteRows(const SampleRun& run, const TimeFormat& time, char separator, const Texts& texts, Chunks& chunks) {
    if (!chunks.Flush()) return false;
    const RowFormat<Texts> format{run, time, separator, texts};
    return BlockPipeline<Texts>(format, chunks).Run();
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

std::string SignedTime(ClockTenths clock, int64_t samples, char decimal) {
    const uint64_t magnitude = static_cast<uint64_t>(samples < 0 ? -samples : samples);
    char text[48];
    char* end = TimeFormat{clock, decimal}.Append(text, magnitude * clock / 10000,
                                                  static_cast<uint32_t>(magnitude * clock % 10000));
    return (samples < 0 ? "-" : "") + std::string(text, end);
}

std::string CsvField(const std::string& text, char separator) {
    if (text.find_first_of(std::string("\"\r\n") + separator) == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
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
