// tavo-rec on real files: record files as TAVO saves them, raw recordings
// with junk, an odd first byte and broken counters, and every bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "records/RecordFile.h"
#include "tests/support/Samples.h"
#include "tavo-rec/Command.h"
#include "tavo-rec/CsvExport.h"
#include "tavo-rec/FileIo.h"

namespace fs = std::filesystem;

namespace {

class StringSink final : public ByteSink {
public:
    std::string text;
    bool Write(const char* data, size_t size) override {
        text.append(data, size);
        return true;
    }
};

// Channel k of sample i holds 100 k + i, KI (Id 8) crosses 500 upwards every 100 samples.
int16_t Wave(uint32_t i, int id) { return static_cast<int16_t>(id == 8 ? (i % 100 < 50 ? 0 : 1000) : 100 * id + i); }

constexpr const char* TavoIni =
    "[Settings]\r\nClock=0,1250\r\n[Display]\r\nNoChannels=1\r\nChannel[0].Id=KI\r\nChannel[0].Colour.Red=220\r\n"
    "Channel[0].Colour.Green=0\r\nChannel[0].Colour.Blue=0\r\n[Trigger]\r\nThreshold=500\r\nPreEvent=10\r\n"
    "PostEvent=20\r\nChannel=KI\r\nMode=RISE\r\n";

class TavoRec : public ::testing::Test {
protected:
    fs::path folder;
    StringSink out, err;

    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / (std::string("tavo-rec-") + test->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        Write("Tavo.ini", TavoIni);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string Path(const std::string& name) const { return PathText(folder / name); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    std::string Write(const std::string& name, const std::string& text) {
        return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
    }

    // Runs with no Tavo.ini beside the program.
    int Run(std::vector<std::string> arguments) {
        out.text.clear();
        err.text.clear();
        return RunTavoRec(arguments, {}, out, err);
    }

    std::vector<std::string> Lines(const std::string& text) const {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start - (end > start && text[end - 1] == '\r')));
        return lines;
    }
    std::vector<std::string> DataRows(const std::string& csv) const {
        std::vector<std::string> rows;
        for (const std::string& line : Lines(csv))
            if (!line.empty() && line[0] != '#') rows.push_back(line);
        return rows;
    }
};

// What TAVO's save writes: the magic, the block in memory, the decoded samples.
std::vector<uint8_t> SavedRecord(const ParameterBytes& block, const std::vector<uint8_t>& samples) {
    const auto header = RecordFileHeader(block);
    std::vector<uint8_t> file(header.size() + samples.size());
    std::copy(samples.begin(), samples.end(), std::copy(header.begin(), header.end(), file.begin()));
    return file;
}

ParameterBytes ControllerBlock() {
    ParameterBytes block{};
    block[0] = 1;     // ID
    block[1] = 200;   // SEK, beyond its limit of 32
    block[2] = 0x81;  // AO boxes 0 and 7
    block[6] = 0x40;  // FH = 8000
    block[7] = 0x1F;
    block[28] = 0x18;  // O1 = -1000
    block[29] = 0xFC;
    return block;
}

TEST_F(TavoRec, ARecordAsTavoSavesItRoundTrips) {
    const std::string record = Write("weld.rec", SavedRecord(ControllerBlock(), samples::Make(1000, Wave)));
    ASSERT_EQ(Run({"info", record, "--ini", Path("Tavo.ini")}), ExitOk) << err.text;
    EXPECT_EQ(err.text, "");
    for (const char* expected :
         {"Kind:       .rec", "Size:       32068 bytes", "Samples:    1000\n",
          "First G:    byte 68, counter 0; no junk", "Run ends:   at the end of the file\n",
          "Clock:      125 \xC2\xB5s per sample; the last whole sample at 124.875 ms",
          "Triggers:   10 (KI RISE through 500, PreEvent 10, PostEvent 20)"})
        EXPECT_NE(out.text.find(expected), std::string::npos) << expected << "\n" << out.text;
    // The block as the parameter dialog shows it: grouped thousands, SEK at its limit.
    for (const char* expected : {"SysTick/s (FH)            8.000   0..65535", "SEK                          32   0..32"
                                 "   stored 200, outside the limits",
                                 "O 1                      -1.000   -32768..32767",
                                 "Autooffset (AO)           [x] 0 [ ] 1 [ ] 2 [ ] 3 [ ] 4 [ ] 5 [ ] 6 [x] 7"})
        EXPECT_NE(out.text.find(expected), std::string::npos) << expected << "\n" << out.text;

    const std::string csv = Path("weld.csv");
    ASSERT_EQ(Run({"csv", record, "-o", csv, "--ini", Path("Tavo.ini")}), ExitOk) << err.text;
    EXPECT_EQ(out.text, "");
    std::ifstream file(folder / "weld.csv", std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto rows = DataRows(written);
    ASSERT_EQ(rows.size(), 1001u);
    EXPECT_EQ(rows[0], "Sample,Counter,Time (ms),K1,K2,K3,K4,K5,K6,KU,KI,RA,RB,RC,RD,RE");
    EXPECT_EQ(rows[1], "0,0,0.000,100,200,300,400,500,600,700,0,900,1000,1100,1200,1300");
    EXPECT_EQ(rows[1000], "999,999,124.875,1099,1199,1299,1399,1499,1599,1699,1000,1899,1999,2099,2199,2299");
    EXPECT_NE(written.find("# Einstellungen / SysTick/s (FH): 8.000 (0..65535)\r\n"), std::string::npos);
    EXPECT_EQ(Lines(written).size(), 1001u + 35u) << "a heading and the 34 parameter lines come first";
    // Standard output carries the same bytes as the file.
    ASSERT_EQ(Run({"csv", record, "--ini", Path("Tavo.ini")}), ExitOk);
    EXPECT_EQ(out.text, written);
}

TEST_F(TavoRec, RawRecordingsAreCutAsTavoCutsThem) {
    std::vector<uint8_t> samples = samples::Make(300, Wave);
    const auto with = [&](std::vector<uint8_t> prefix, std::vector<uint8_t> body, std::vector<uint8_t> suffix = {}) {
        prefix.insert(prefix.end(), body.begin(), body.end());
        prefix.insert(prefix.end(), suffix.begin(), suffix.end());
        return prefix;
    };
    std::vector<uint8_t> jump = samples;
    jump[200 * 32 + 2] = 7;  // sample 200 carries counter 7
    std::vector<uint8_t> lost = samples;
    lost[120 * 32] = 'X';
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* samplesLine;
        const char* firstLine;
        const char* endLine;
        size_t rows;
    } cases[] = {
        {"junk", with({1, 2, 3, 4}, samples), "300\n", "byte 4, counter 0; 4 bytes of junk before it\n",
         "at the end of the file\n", 300},
        {"odd first byte", with({9}, samples), "300\n",
         "byte 1, counter 0; 1 byte of junk before it (an odd number: TAVO moves the stream down by one byte)",
         "at the end of the file\n", 300},
        {"broken counter", jump, "200\n", "byte 0, counter 0; no junk",
         "at byte 6400, sample 200: counter 7 does not follow 199; the 3200 bytes from there are not shown", 200},
        {"lost marker", lost, "120\n", "no junk", "at byte 3840, sample 120: no G there; the 5760 bytes", 120},
        {"cut short", with({}, samples, {'G', 0, 44, 1, 0}), "300\n", "no junk",
         "at the end of the file; 5 bytes after the last whole sample", 300},
        // The last sample misses its final byte: after the shift TAVO still counts it.
        {"odd and one byte short", with({9}, std::vector<uint8_t>(samples.begin(), samples.end() - 1)),
         "299 whole, and 1 incomplete that TAVO completes from its buffer (not in the CSV)", "1 byte of junk",
         "at the end of the file; 31 bytes after the last whole sample", 299},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Write("stream.dat", c.bytes);
        ASSERT_EQ(Run({"info", file, "--ini", Path("Tavo.ini")}), ExitOk) << err.text;
        EXPECT_NE(out.text.find(std::string("Samples:    ") + c.samplesLine), std::string::npos) << out.text;
        EXPECT_NE(out.text.find(c.firstLine), std::string::npos) << out.text;
        EXPECT_NE(out.text.find(std::string("Run ends:   ") + c.endLine), std::string::npos) << out.text;
        ASSERT_EQ(Run({"csv", file, "--clock", "125"}), ExitOk) << err.text;
        const auto rows = DataRows(out.text);
        ASSERT_EQ(rows.size(), c.rows + 1);
        // Whatever came before, the rows hold the samples, aligned.
        EXPECT_EQ(rows[1], "0,0,0.000,100,200,300,400,500,600,700,0,900,1000,1100,1200,1300");
        EXPECT_EQ(rows.back().substr(0, rows.back().find(',')), std::to_string(c.rows - 1));
    }
}

TEST_F(TavoRec, BadInputsEachHaveOneLineAndTheirOwnCode) {
    std::vector<uint8_t> foreignMagic = SavedRecord({}, samples::Make(10, Wave));
    foreignMagic[3] = 'X';
    const std::vector<uint8_t> noMarker(500, 0x44);
    const std::string oversized = Write("huge.dat", std::vector<uint8_t>{'G'});
    fs::resize_file(folder / "huge.dat", RecordFileLimit);
    struct Case {
        std::string file;
        int code;
    } cases[] = {
        {Path("missing.rec"), 3},
        {Write("weld.REC", SavedRecord({}, samples::Make(10, Wave))), 4},
        {Write("weld.txt", samples::Make(10, Wave)), 4},
        {Write("short.rec", std::vector<uint8_t>{'T', 'A', 'V', 'O', 0, 0}), 5},
        {Write("short.dat", std::vector<uint8_t>{'G', 0, 0}), 5},
        {oversized, 6},
        {Write("foreign.rec", foreignMagic), 7},
        {Write("empty.dat", noMarker), 8},
        {Write("header-only.rec", SavedRecord({}, {})), 8},
    };
    const std::string good = Write("good.dat", samples::Make(10, Wave));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(Run({"info", c.file}), c.code);
        EXPECT_EQ(out.text, "");
        EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        EXPECT_EQ(err.text.rfind("tavo-rec: " + c.file + ": ", 0), 0u) << err.text;

        EXPECT_EQ(Run({"csv", c.file, "--clock", "125", "-o", Path("out.csv")}), c.code);
        EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        // One bad file among several stops none of the others.
        EXPECT_EQ(Run({"info", good, c.file, good}), c.code);
        EXPECT_EQ(Lines(err.text).size(), 1u);
        EXPECT_EQ(out.text.find(good), 0u);
        EXPECT_NE(out.text.find("\n\n" + good + "\n"), std::string::npos);
    }
    // Several bad files: a line each, and the code of the first.
    EXPECT_EQ(Run({"info", Path("weld.txt"), Path("missing.rec"), good}), 4);
    EXPECT_EQ(Lines(err.text).size(), 2u);
#ifndef _WIN32
    // A stream that does not end is too large as well.
    fs::create_symlink("/dev/zero", folder / "zero.dat");
    EXPECT_EQ(Run({"info", Path("zero.dat")}), 6);
#endif
    // Nothing was written: no output file, no temporary.
    EXPECT_FALSE(fs::exists(folder / "out.csv"));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find("out.csv"), std::string::npos) << entry.path();
}

TEST_F(TavoRec, CommandLineSettingsAndOutputFailures) {
    const std::string record = Write("weld.dat", samples::Make(400, Wave));
    Write("point.ini", std::string(TavoIni).replace(std::string(TavoIni).find("0,1250"), 6, "0.1250"));
    Write("zero.ini", std::string(TavoIni).replace(std::string(TavoIni).find("0,1250"), 6, "0,0000"));
    struct Case {
        std::vector<std::string> arguments;
        int code;
    } cases[] = {
        {{}, ExitUsage},
        {{"show", record}, ExitUsage},
        {{"info"}, ExitUsage},
        {{"csv", record, record, "--clock", "125"}, ExitUsage},
        {{"info", record, "--levels"}, ExitUsage},
        {{"csv", record}, ExitUsage},  // no clock
        {{"csv", record, "--clock", "0"}, ExitUsage},
        {{"csv", record, "--clock", "12.55"}, ExitUsage},
        {{"info", record, "--channel", "KX"}, ExitUsage},
        {{"info", record, "--threshold", "40000", "--ini", Path("Tavo.ini")}, ExitUsage},
        {{"info", record, "--channel", "KI", "--mode", "RISE"}, ExitUsage},  // the rest of the trigger is missing
        {{"csv", record, "--clock", "125", "-o", record}, ExitUsage},
        {{"info", record, "--ini", Path("missing.ini")}, ExitSettings},
        {{"info", record, "--ini", Path("point.ini")}, ExitSettings},  // TAVO reads a decimal comma only
        {{"csv", record, "--ini", Path("zero.ini")}, ExitSettings},
        {{"csv", record, "--clock", "125", "-o", Path("no/such/folder/out.csv")}, ExitOutput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        EXPECT_EQ(Run(c.arguments), c.code);
        EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        EXPECT_EQ(out.text, "");
    }
    // Flags win over the file; a Clock of 0 does not stop info.
    ASSERT_EQ(Run({"info", record, "--ini", Path("zero.ini"), "--threshold", "400", "--mode", "FALL"}), ExitOk);
    EXPECT_NE(out.text.find("Clock:      not known"), std::string::npos);
    EXPECT_NE(out.text.find("Triggers:   3 (KI FALL through 400, PreEvent 10, PostEvent 20)"), std::string::npos)
        << out.text;
    // Without --ini the Tavo.ini beside the program is used.
    StringSink beside, besideErr;
    ASSERT_EQ(RunTavoRec({"info", record}, folder, beside, besideErr), ExitOk) << besideErr.text;
    EXPECT_NE(beside.text.find("Clock:      125 \xC2\xB5s"), std::string::npos) << beside.text;
    ASSERT_EQ(Run({"--help"}), ExitOk);
    EXPECT_NE(out.text.find("  8  no sample in the file (no letter G)"), std::string::npos);
}

TEST_F(TavoRec, NumbersAreTheProgramsOwnWhateverTheLocale) {
    // Raw values at and beyond full scale, and one step above zero.
    const std::vector<int16_t> values = {-32768, -4000, -2048, -1, 0, 1, 1024, 2047, 2048, 32767, 5, 6, 7};
    std::vector<uint8_t> bytes = samples::Make(3, [&](uint32_t, int id) { return values[id - 1]; });
    const std::string record = Write("levels.dat", bytes);
    ASSERT_EQ(Run({"csv", record, "--clock", "133.3", "--levels"}), ExitOk) << err.text;
    auto rows = DataRows(out.text);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], "2,2,0.2666,-1,-1,-1,-0.00048828125,0,0.00048828125,0.5,0.99951171875,1,1,0.00244140625,"
                       "0.0029296875,0.00341796875");
    ASSERT_EQ(Run({"csv", record, "--clock", "250", "--levels", "--german"}), ExitOk);
    rows = DataRows(out.text);
    EXPECT_EQ(rows[0], "Sample;Counter;Time (ms);K1;K2;K3;K4;K5;K6;KU;KI;RA;RB;RC;RD;RE");
    EXPECT_EQ(rows[3], "2;2;0,500;-1;-1;-1;-0,00048828125;0;0,00048828125;0,5;0,99951171875;1;1;0,00244140625;"
                       "0,0029296875;0,00341796875");
    ASSERT_EQ(Run({"csv", record, "--clock", "250", "--german"}), ExitOk);
    EXPECT_EQ(DataRows(out.text)[1], "0;0;0,000;-32768;-4000;-2048;-1;0;1;1024;2047;2048;32767;5;6;7");
}

TEST_F(TavoRec, ALongRunComesOutWholeAndInOrder) {
    // Many blocks of rows, formatted side by side: every row in its place,
    // times from the clock of 12.3 µs exactly as one row alone gives them.
    constexpr uint32_t Count = 20000;
    const std::string record = Write("long.dat", samples::Make(Count, Wave));
    ASSERT_EQ(Run({"csv", record, "--clock", "12.3"}), ExitOk) << err.text;
    const auto rows = DataRows(out.text);
    ASSERT_EQ(rows.size(), Count + 1);
    for (uint32_t i = 0; i < Count; ++i) {
        std::string expected = std::to_string(i) + "," + std::to_string(i % 8000) + "," + SampleTime(123, i, '.');
        for (int id = 1; id <= 13; ++id) expected += "," + std::to_string(Wave(i, id));
        ASSERT_EQ(rows[i + 1], expected) << "row " << i;
    }
    // A slow sink lets the formatting run ahead as far as it may: the same
    // bytes still arrive.
    class SlowSink final : public ByteSink {
    public:
        std::string text;
        bool Write(const char* data, size_t size) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            text.append(data, size);
            return true;
        }
    } slow;
    StringSink slowErr;
    ASSERT_EQ(RunTavoRec({"csv", record, "--clock", "12.3"}, {}, slow, slowErr), ExitOk);
    EXPECT_TRUE(slow.text == out.text);

    // A sink that fails partway ends the conversion: an error, and nothing
    // more is handed to it.
    class FailingSink final : public ByteSink {
    public:
        int writes = 0, afterFailure = 0;
        bool Write(const char*, size_t) override {
            afterFailure += writes >= 3;
            return ++writes < 3;
        }
    } failing;
    StringSink failingErr;
    EXPECT_EQ(RunTavoRec({"csv", record, "--clock", "12.3"}, {}, failing, failingErr), ExitOutput);
    EXPECT_EQ(failing.afterFailure, 0);
    EXPECT_EQ(Lines(failingErr.text).size(), 1u) << failingErr.text;
}

}  // namespace
