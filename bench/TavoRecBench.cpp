// tavo-rec's CSV conversion of a full-size record file (just under the
// record buffer's size) against a plain copy of the same file: both read the
// file and write a new one in the same folder. Then `plot --all` of the same
// file, one picture per trigger under the settings of the Tavo.ini TAVO
// ships, against that CSV conversion. Last, `table` of a folder of a thousand
// recordings of a weld's usual size, per file, against `csv` of one of them.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchHarness.h"
#include "records/RecordFile.h"
#include "scope/Decoding.h"
#include "settings/ChannelTable.h"
#include "tavo-rec/Command.h"

namespace fs = std::filesystem;

namespace {

constexpr int Rounds = 15;

class NullSink final : public ByteSink {
public:
    bool Write(const char*, size_t) override { return true; }
};

void Store16(uint8_t* at, int value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// Weld-like traces: pulses on the current and voltage, slow waves and noise
// elsewhere, so the numbers have the lengths of a real recording.
std::vector<uint8_t> RecordFile(uint32_t samples) {
    std::vector<uint8_t> file(RecordHeaderSize + size_t{samples} * SampleSize, 0);
    std::copy(std::begin(RecordMagic), std::end(RecordMagic), file.begin());
    uint32_t noise = 0x7A40C0DE;
    for (uint32_t i = 0; i < samples; ++i) {
        uint8_t* sample = file.data() + RecordHeaderSize + size_t{i} * SampleSize;
        sample[0] = SampleMarker;
        Store16(sample + CounterOffset, static_cast<int>(i % (CounterLast + 1)));
        const bool pulse = i % 1200 < 300;
        for (int32_t id = 1; id <= ChannelCount; ++id) {
            noise = noise * 1664525u + 1013904223u;
            const int jitter = static_cast<int>(noise >> 24) - 128;
            int value = static_cast<int>(400 * std::sin((i + 97 * id) / 500.0)) + jitter / 8;
            if (id == 7 || id == 8) value = (pulse ? 1600 : 20) + jitter;
            Store16(sample + 4 + 2 * id, value);
        }
    }
    return file;
}

std::vector<uint8_t> FullRecordFile() { return RecordFile((RecordFileLimit - 1 - RecordHeaderSize) / SampleSize); }

void WriteWhole(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The baseline: read the whole file, write it whole to a new file.
void CopyFile(const fs::path& from, const fs::path& to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    const size_t size = fs::file_size(from);
    // Not cleared first, as tavo-rec reads into a buffer it does not clear.
    const std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
    const size_t read = std::fread(bytes.get(), 1, size, in);
    std::fclose(in);
    std::FILE* out = std::fopen(to.c_str(), "wb");
    std::fwrite(bytes.get(), 1, read, out);
    std::fclose(out);
}

}  // namespace

int main() {
    const fs::path folder = fs::temp_directory_path() / ("tavo-rec-bench-" + std::to_string(std::rand()));
    fs::create_directories(folder);
    const fs::path record = folder / "weld.rec";
    WriteWhole(record, FullRecordFile());
    NullSink sink;
    int failures = 0;
    const auto convert = [&](const fs::path& out, std::vector<std::string> extra) {
        std::vector<std::string> arguments{"csv", record.string(), "-o", out.string(), "--clock", "125"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return [&failures, arguments, &sink] { failures += RunTavoRec(arguments, {}, sink, sink) != 0; };
    };
    // Every subject writes a new file: the last run's output is removed
    // untimed, so no subject pays for dropping another's pages.
    const auto writing = [&](const char* name, const fs::path& out, std::function<void()> run) {
        return Subject{name, std::move(run), [out] { fs::remove(out); }};
    };

    // What writing alone costs for output of the CSV's size: the part of the
    // conversion that no formatting can save.
    const fs::path csv = folder / "weld.csv";
    convert(csv, {})();
    const std::vector<uint8_t> csvSized(fs::file_size(csv), 'x');

    std::vector<Subject> subjects;
    const fs::path copy = folder / "copy.rec", sized = folder / "sized.csv";
    subjects.push_back(writing("file copy (baseline)", copy, [&] { CopyFile(record, copy); }));
    subjects.push_back(writing("write of the CSV's size only", sized, [&] { WriteWhole(sized, csvSized); }));
    subjects.push_back(writing("csv", csv, convert(csv, {})));
    subjects.push_back(writing("csv --german", folder / "german.csv", convert(folder / "german.csv", {"--german"})));
    subjects.push_back(writing("csv --levels", folder / "levels.csv", convert(folder / "levels.csv", {"--levels"})));
    RunRounds(subjects, Rounds);

    std::printf("tavo-rec: %ju-byte record file, %zu-byte CSV (raw values)\n",
                static_cast<uintmax_t>(fs::file_size(record)), csvSized.size());
    Report("csv conversion against a plain copy of the file", subjects);

    // The pictures of the last run are removed untimed, as the CSV is.
    const fs::path pictures = folder / "pictures";
    fs::create_directories(pictures);
    const auto removePictures = [pictures] {
        for (const auto& entry : fs::directory_iterator(pictures)) fs::remove(entry.path());
    };
    const std::vector<std::string> plot{"plot", record.string(), "--all", "-o", (pictures / "weld.svg").string()};
    std::vector<Subject> plotting;
    plotting.push_back(writing("csv (baseline)", csv, convert(csv, {})));
    plotting.push_back({"plot --all", [&] { failures += RunTavoRec(plot, {}, sink, sink) != 0; }, removePictures});
    RunRounds(plotting, Rounds);
    uintmax_t count = 0, bytes = 0;
    for (const auto& entry : fs::directory_iterator(pictures)) {
        ++count;
        bytes += entry.file_size();
    }
    std::printf("\nplot --all: %ju pictures, %ju bytes in all\n", count, bytes);
    Report("plot --all against csv of the same file", plotting);

    // A thousand welds as the controller records them (8000 samples each).
    constexpr int Welds = 1000;
    const fs::path welds = folder / "welds";
    fs::create_directories(welds);
    const std::vector<uint8_t> weld = RecordFile(CounterLast + 1);
    for (int i = 0; i < Welds; ++i) WriteWhole(welds / ("weld-" + std::to_string(1000 + i) + ".rec"), weld);
    const fs::path one = welds / "weld-1000.rec", oneCsv = folder / "one.csv", table = folder / "welds.csv";
    const std::vector<std::string> csvOfOne{"csv", one.string(), "-o", oneCsv.string(), "--clock", "125"};
    const std::vector<std::string> tableOfAll{"table", welds.string(), "-o", table.string()};
    std::vector<Subject> tabling;
    tabling.push_back(writing("csv of one weld (baseline)", oneCsv,
                              [&] { failures += RunTavoRec(csvOfOne, {}, sink, sink) != 0; }));
    tabling.push_back(writing("table of 1000 welds, per weld", table,
                              [&] { failures += RunTavoRec(tableOfAll, {}, sink, sink) != 0; }));
    RunRounds(tabling, Rounds);
    for (double& time : tabling[1].Times) time /= Welds;
    std::printf("\ntable: %d welds of %ju bytes, %ju-byte table\n", Welds, static_cast<uintmax_t>(weld.size()),
                static_cast<uintmax_t>(fs::file_size(table)));
    Report("table per weld against csv of one weld", tabling);
    fs::remove_all(folder);
    return failures == 0 ? 0 : 1;
}
