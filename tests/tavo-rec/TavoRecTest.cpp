// tavo-rec on real files: record files as TAVO saves them, raw recordings
// with junk, an odd first byte and broken counters, and every bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "records/RecordFile.h"
#include "scope/ScopeGeometry.h"
#include "tests/support/Samples.h"
#include "tavo-rec/Command.h"
#include "tavo-rec/CsvExport.h"
#include "tavo-rec/FileIo.h"
#include "tavo-rec/ScopeSvg.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
// The same recording with KI crossing one sample later: only KI changes, at the crossings.
int16_t LateWave(uint32_t i, int id) { return id == 8 ? Wave(i == 0 ? 0 : i - 1, id) : Wave(i, id); }

constexpr const char* TavoIni =
    "[Settings]\r\nClock=0,1250\r\n[Display]\r\nNoChannels=1\r\nChannel[0].Id=KI\r\nChannel[0].Colour.Red=220\r\n"
    "Channel[0].Colour.Green=0\r\nChannel[0].Colour.Blue=0\r\n[Trigger]\r\nThreshold=500\r\nPreEvent=10\r\n"
    "PostEvent=20\r\nChannel=KI\r\nMode=RISE\r\n";

// Three channels shown in the order RE, KI, K1; the trigger as above.
constexpr const char* ScopeIni =
    "[Settings]\r\nClock=0,1250\r\n[Display]\r\nNoChannels=3\r\nChannel[0].Id=RE\r\nChannel[0].Colour.Red=1\r\n"
    "Channel[0].Colour.Green=2\r\nChannel[0].Colour.Blue=3\r\nChannel[1].Id=KI\r\nChannel[1].Colour.Red=220\r\n"
    "Channel[1].Colour.Green=0\r\nChannel[1].Colour.Blue=0\r\nChannel[2].Id=K1\r\nChannel[2].Colour.Red=0\r\n"
    "Channel[2].Colour.Green=0\r\nChannel[2].Colour.Blue=150\r\n[Trigger]\r\nThreshold=500\r\nPreEvent=10\r\n"
    "PostEvent=20\r\nChannel=KI\r\nMode=RISE\r\n";

// The elements of one kind in an SVG: their attributes and their text.
struct Element {
    std::map<std::string, std::string> Attributes;
    std::string Text;
    int Number(const char* name) const { return std::stoi(Attributes.at(name)); }
};

std::vector<Element> Elements(const std::string& svg, const std::string& tag) {
    static const std::regex attribute(R"re(([\w-]+)="([^"]*)")re");
    std::vector<Element> found;
    for (size_t at = svg.find("<" + tag + " "); at != std::string::npos; at = svg.find("<" + tag + " ", at + 1)) {
        const size_t end = svg.find('>', at);
        const std::string head = svg.substr(at, end - at);
        Element element;
        for (std::sregex_iterator i(head.begin(), head.end(), attribute), last; i != last; ++i)
            element.Attributes[(*i)[1]] = (*i)[2];
        if (svg[end - 1] != '/') element.Text = svg.substr(end + 1, svg.find("</", end) - end - 1);
        found.push_back(element);
    }
    return found;
}

// The picture's lines, without the root element (its size) and without the
// margins' elements: the white canvas and the texts below `height`.
std::vector<std::string> WithoutCaption(const std::string& svg, int height) {
    std::vector<std::string> lines;
    std::istringstream text(svg);
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("<svg", 0) == 0 || line.rfind("<path", 0) == 0) continue;
        const std::vector<Element> texts = Elements(line, "text");
        if (!texts.empty() && texts[0].Number("y") > height) continue;
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::pair<int, int>> Points(const Element& polyline) {
    std::vector<std::pair<int, int>> points;
    std::istringstream text(polyline.Attributes.at("points"));
    int x = 0, y = 0;
    for (char comma = 0; text >> x >> comma >> y;) points.emplace_back(x, y);
    return points;
}

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

    // Separators as the system writes them, as in the names a folder lists.
    std::string Path(const std::string& name) const { return PathText((folder / name).make_preferred()); }

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
    const std::string weld = Write("weld.dat", samples::Make(400, Wave));  // with triggers
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(Run({"info", c.file}), c.code);
        EXPECT_EQ(out.text, "");
        EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        EXPECT_EQ(err.text.rfind("tavo-rec: " + c.file + ": ", 0), 0u) << err.text;

        // Without a clock or a Tavo.ini: the line about TAVO's defaults
        // comes only for a file that can be read.
        EXPECT_EQ(Run({"csv", c.file, "-o", Path("out.csv")}), c.code);
        EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        for (const char* order : {"bad first", "bad second", "bad twice"}) {
            const bool first = order[4] != 's', second = order[4] != 'f';
            const std::string a = first ? c.file : good, b = second ? c.file : good;
            EXPECT_EQ(Run({"diff", a, b, "--ini", Path("Tavo.ini")}), c.code);
            EXPECT_EQ(Lines(err.text).size(), 1u) << order << err.text;
            // The reference of a check, or one of its welds: the others are still held.
            EXPECT_EQ(Run({"check", first ? c.file : weld, b, weld, "--band", "9", "--ini", Path("Tavo.ini")}), c.code);
            EXPECT_EQ(Lines(err.text).size(), 1u) << order << err.text;
            EXPECT_EQ(Lines(out.text).size(), first ? 0u : 1u) << order << out.text;
        }
        EXPECT_EQ(Run({"table", good, c.file, good, "--ini", Path("Tavo.ini")}), c.code);
        EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        EXPECT_EQ(DataRows(out.text).size(), 1u + 2) << out.text;
        for (const char* pictures : {"--trigger", "--all"}) {
            std::vector<std::string> plot{"plot", c.file, "-o", Path("out.svg"), pictures};
            if (pictures[2] == 't') plot.push_back("1");
            EXPECT_EQ(Run(plot), c.code);
            EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        }
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
        EXPECT_EQ(entry.path().filename().string().find("out"), std::string::npos) << entry.path();
}

TEST_F(TavoRec, CommandLineSettingsAndOutputFailures) {
    const std::string record = Write("weld.dat", samples::Make(400, Wave));
    Write("point.ini", std::string(TavoIni).replace(std::string(TavoIni).find("0,1250"), 6, "0.1250"));
    Write("zero.ini", std::string(TavoIni).replace(std::string(TavoIni).find("0,1250"), 6, "0,0000"));
    Write("loud.ini", std::string(TavoIni).replace(std::string(TavoIni).find("=500"), 4, "=40000"));
    Write("blue.ini", std::string(TavoIni).replace(std::string(TavoIni).find("Channel[0].Colour.Blue"), 25, ""));
    struct Case {
        std::vector<std::string> arguments;
        int code;
        std::string says = "";  // what the line says, when the code alone does not tell
    } cases[] = {
        {{}, ExitUsage},
        {{"plot", record, "-o", "--ini", Path("Tavo.ini")}, ExitUsage, "-o needs a value, not the option --ini"},
        {{"plot", record, "-o", Path("x.png")}, ExitUsage, "plot writes SVG pictures only"},
        {{"info", record, "--ini", Path("loud.ini")}, ExitSettings,
         "TAVO would refuse it: [Trigger] Threshold=40000 is not valid: a whole number from -32768 to 32767"},
        {{"info", record, "--ini", Path("blue.ini")}, ExitSettings,
         "TAVO would refuse it: [Display] Channel[0].Colour.Blue is missing"},
        {{"check", record, record}, ExitUsage, "check needs --band"},
        {{"check", record, "--band", "9"}, ExitUsage},
        {{"check", record, record, "--band", "KI=x"}, ExitUsage},
        {{"check", record, record, "--band", "9", "--german"}, ExitUsage},
        {{"diff", record, record, "--band", "9"}, ExitUsage},
        {{"table", record, "--levels"}, ExitUsage},
        {{"table", record, "-o", record}, ExitUsage, "-o names the record file"},
        {{"check", record, record, "--band", "9", "-o", record}, ExitUsage, "-o names the record file"},
        {{"plot", record, "--band", "9"}, ExitUsage, "--reference REF and --band BAND together"},
        {{"diff", record, record, "--tolerance", "-1"}, ExitUsage},
        {{"show", record}, ExitUsage},
        {{"info"}, ExitUsage},
        {{"csv", record, record, "--clock", "125"}, ExitUsage},
        {{"info", record, "--levels"}, ExitUsage},
        {{"csv", record, "--clock", "0"}, ExitUsage},
        {{"csv", record, "--clock", "12.55"}, ExitUsage},
        {{"info", record, "--channel", "KX"}, ExitUsage},
        {{"info", record, "--threshold", "40000", "--ini", Path("Tavo.ini")}, ExitUsage},
        {{"info", record, "--channel", "KI", "--mode", "RISE"}, ExitUsage},  // the rest of the trigger is missing
        {{"csv", record, "--clock", "125", "-o", record}, ExitUsage},
        {{"info", record, "--ini", Path("missing.ini")}, ExitSettings},
        {{"info", record, "--ini", Path("point.ini")}, ExitSettings, "[Settings] Clock=0.1250 is not valid"},
        {{"csv", record, "--ini", Path("zero.ini")}, ExitSettings},
        {{"csv", record, "--clock", "125", "-o", Path("no/such/folder/out.csv")}, ExitOutput},
        {{"plot", record, record}, ExitUsage},
        {{"diff", record}, ExitUsage},
        {{"info", record, "--all"}, ExitUsage},
        {{"diff", record, record, "-o", Path("d.txt")}, ExitUsage},
        {{"plot", record, "--all", "--trigger", "2"}, ExitUsage},
        {{"plot", record, "--all", "-o", "-"}, ExitUsage},
        {{"plot", record, "--trigger", "0"}, ExitUsage},
        {{"plot", record, "--size", "1000x10001"}, ExitUsage},
        {{"plot", record, "-o", record, "--ini", Path("Tavo.ini")}, ExitUsage},
        {{"plot", record, "--ini", Path("point.ini")}, ExitSettings},
        {{"plot", record, "--all", "-o", Path("no/such/folder/p.svg"), "--ini", Path("Tavo.ini")}, ExitOutput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        EXPECT_EQ(Run(c.arguments), c.code);
        EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
        EXPECT_NE(err.text.find(c.says), std::string::npos) << err.text;
        EXPECT_EQ(out.text, "");
    }
    // A clock far from any the controller runs at is taken, but said.
    for (const char* clock : {"0.5", "20000"}) {
        ASSERT_EQ(Run({"csv", record, "--clock", clock}), ExitOk);
        EXPECT_EQ(err.text.rfind(std::string("tavo-rec: warning: --clock ") + clock + ": ", 0), 0u) << err.text;
    }
    ASSERT_EQ(Run({"csv", record, "--clock", "500"}), ExitOk);
    EXPECT_EQ(err.text, "");
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
    ASSERT_EQ(Run({"--version"}), ExitOk);
    EXPECT_EQ(out.text, "tavo-rec " TAVO_PROJECT_VERSION "\n");

    // Without a Tavo.ini and --clock, the times and the picture follow the
    // Tavo.ini TAVO ships (125 µs; KI, KU, K1, K2, RA), and one line says so.
    ASSERT_EQ(Run({"csv", record}), ExitOk);
    EXPECT_EQ(DataRows(out.text)[2], "1,1,0.125,101,201,301,401,501,601,701,0,901,1001,1101,1201,1301");
    EXPECT_EQ(err.text, "tavo-rec: no --clock and no Tavo.ini: the times are from TAVO's default clock, "
                        "125 \xC2\xB5s per sample\n");
    ASSERT_EQ(Run({"plot", record, "-o", "-"}), ExitOk);
    EXPECT_EQ(Elements(out.text, "polyline").size(), 5u);
    EXPECT_EQ(Lines(err.text).size(), 1u) << err.text;
    EXPECT_EQ(err.text.rfind("tavo-rec: no Tavo.ini given or beside tavo-rec", 0), 0u) << err.text;
}

std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// -o never turns what is not a plain file into one: a folder, a named pipe
// (and through a link to it) stay what they are, and a link to a plain file
// is written through, keeping the link and the file's permissions.
TEST_F(TavoRec, OutputReplacesOnlyPlainFiles) {
    const std::string record = Write("weld.dat", samples::Make(400, Wave));
    fs::create_directories(folder / "folder.svg");
    std::vector<std::pair<std::string, const char*>> refused{{"folder.svg", "it is a folder"}};
#ifndef _WIN32
    ASSERT_EQ(mkfifo((folder / "pipe.svg").c_str(), 0600), 0);
    fs::create_symlink(folder / "pipe.svg", folder / "to-pipe.svg");
    refused.insert(refused.end(), {{"pipe.svg", "it is a named pipe"}, {"to-pipe.svg", "it is a named pipe"}});
#endif
    for (const auto& [name, says] : refused) {
        SCOPED_TRACE(name);
        const auto type = fs::status(folder / name).type();
        for (const char* command : {"csv", "plot"}) {
            EXPECT_EQ(Run({command, record, "-o", Path(name), "--clock", "125"}), ExitOutput);
            EXPECT_NE(err.text.find(Path(name) + ": cannot be written: " + says + ", not a plain file"),
                      std::string::npos)
                << err.text;
            EXPECT_EQ(fs::status(folder / name).type(), type);
        }
    }
#ifndef _WIN32
    Write("real.svg", "old");
    fs::permissions(folder / "real.svg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.svg", folder / "link.svg");
    ASSERT_EQ(Run({"plot", record, "-o", Path("link.svg")}), ExitOk) << err.text;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "link.svg")));
    EXPECT_EQ(Read(folder / "real.svg").rfind("<?xml", 0), 0u);
    EXPECT_EQ(fs::status(folder / "real.svg").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
}

// A set of pictures whose third cannot be put in place leaves the set the
// user had: the first two get their old files back, the third stays absent.
TEST_F(TavoRec, AFailedSetLeavesTheOldSetWhole) {
    class FailingThird final : public CommitSteps {
    public:
        int moves = 0;
        bool Move(const fs::path& from, const fs::path& to, std::string* why) override {
            if (++moves == 3) {
                *why = "refused";
                return false;
            }
            return CommitSteps::Move(from, to, why);
        }
    };
    Write("pic-1.svg", "old 1");
    Write("pic-2.svg", "old 2");
    const auto commit = [&](CommitSteps* steps, size_t* failed) {
        std::vector<std::unique_ptr<OutputFile>> files;
        std::vector<OutputFile*> set;
        std::string why;
        for (int k = 1; k <= 3; ++k) {
            files.push_back(std::make_unique<OutputFile>(folder / ("pic-" + std::to_string(k) + ".svg")));
            EXPECT_TRUE(files.back()->Open(&why)) << why;
            files.back()->Write("new", 3);
            set.push_back(files.back().get());
        }
        return steps ? CommitTogether(set, &why, failed, *steps) : CommitTogether(set, &why, failed);
    };
    const auto names = [&] {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    FailingThird steps;
    size_t failed = 0;
    EXPECT_FALSE(commit(&steps, &failed));
    EXPECT_EQ(failed, 2u);
    EXPECT_EQ(Read(folder / "pic-1.svg"), "old 1");
    EXPECT_EQ(Read(folder / "pic-2.svg"), "old 2");
    EXPECT_EQ(names(), (std::vector<std::string>{"Tavo.ini", "pic-1.svg", "pic-2.svg"})) << "nothing left over";
    EXPECT_TRUE(commit(nullptr, &failed));
    EXPECT_EQ(Read(folder / "pic-1.svg") + Read(folder / "pic-3.svg"), "newnew");
    EXPECT_EQ(names(), (std::vector<std::string>{"Tavo.ini", "pic-1.svg", "pic-2.svg", "pic-3.svg"}));
}

// Standard output that fails, at a write or only when it is flushed at the
// end (a full disk behind a buffer), is reported once, and its code wins
// over every result, "differ" and "failed" too.
TEST_F(TavoRec, AFailedStandardOutputIsAlwaysReported) {
    class FullSink final : public ByteSink {
    public:
        bool failWrites = false;
        bool Write(const char*, size_t) override { return !failWrites; }
        bool Finish() override { return false; }
        std::string FailureReason() const override { return "No space left on device"; }
    };
    const std::string good = Write("good.rec", SavedRecord(ControllerBlock(), samples::Make(400, Wave)));
    const std::string bad = Write("bad.rec", SavedRecord({}, samples::Make(400, LateWave)));
    const std::string ini = Path("Tavo.ini");
    const std::vector<std::vector<std::string>> commands{
        {"info", good},        {"csv", good, "--ini", ini},  {"plot", good, "-o", "-"},         {"diff", good, bad},
        {"check", good, bad, "--band", "5"}, {"table", good}, {"--help"}};
    for (const bool failWrites : {true, false})
        for (const auto& command : commands) {
            SCOPED_TRACE(command[0] + (failWrites ? " failing writes" : " failing at the end"));
            FullSink full;
            full.failWrites = failWrites;
            StringSink errors;
            EXPECT_EQ(RunTavoRec(command, {}, full, errors), ExitOutput);
            const auto lines = Lines(errors.text);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), "tavo-rec: standard output cannot be written: No space left on device");
            EXPECT_EQ(std::count(lines.begin(), lines.end(), lines.back()), 1) << errors.text;
        }
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

// The picture stands where the window draws: its positions come from the
// window's own geometry rules, whose pixels tests/ui checks at 1000 x 600,
// and the values from the samples that view shows. KI crosses 500 upwards
// at samples 50, 150, ... 950; with PreEvent 10 the view of trigger k
// starts at sample 100 k - 60.
TEST_F(TavoRec, PlotDrawsTheViewWhereTheWindowDraws) {
    ParameterBytes block = ControllerBlock();
    block[60] = 0x00, block[61] = 0x04;  // TA = 1024, level 0.5
    block[62] = 0x00, block[63] = 0xFC;  // TE = -1024, level -0.5
    const std::string record = Write("weld & co.rec", SavedRecord(block, samples::Make(1000, Wave)));
    const std::string ini = Write("scope.ini", ScopeIni);
    struct Case {
        std::vector<std::string> size;
        int width, height;
        uint32_t trigger, points;  // the last view holds 59 samples: TAVO leaves out the run's last one
    } cases[] = {{{"--size", "1000x600"}, 1000, 600, 10, 59}, {{}, 1280, 1024, 2, 251},
                 // Where the window's tick steps round a pixel away from SampleToX and LevelToY.
                 {{"--size", "1250x610"}, 1250, 610, 5, 251}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        std::vector<std::string> arguments{"plot", record, "--trigger", std::to_string(c.trigger), "-o", "-",
                                           "--ini", ini};
        arguments.insert(arguments.end(), c.size.begin(), c.size.end());
        // The view alone is the window's area; the caption below it moves
        // nothing of the view: the same elements, in the same order.
        arguments.push_back("--no-caption");
        ASSERT_EQ(Run(arguments), ExitOk) << err.text;
        const std::string alone = out.text;
        arguments.pop_back();
        ASSERT_EQ(Run(arguments), ExitOk) << err.text;
        const std::string& svg = out.text;
        const Element root = Elements(svg, "svg").at(0);
        EXPECT_EQ(root.Number("width"), c.width);
        EXPECT_GT(root.Number("height"), c.height);
        EXPECT_EQ(Elements(alone, "svg").at(0).Number("height"), c.height);
        EXPECT_EQ(WithoutCaption(svg, c.height), WithoutCaption(alone, c.height));
        EXPECT_GT(Elements(svg, "text").size(), Elements(alone, "text").size()) << "the caption's lines";
        // One-pixel lines run through the middle of the window's pixels.
        for (const Element& line : Elements(svg, "line")) {
            const bool vertical = line.Number("x1") == line.Number("x2");
            EXPECT_EQ(line.Attributes.at("transform"), vertical ? "translate(0.5 0)" : "translate(0 0.5)");
        }
        EXPECT_EQ(Elements(svg, "polyline").at(0).Attributes.at("transform"), "translate(0.5 0.5)");
        const std::string counter = std::to_string(c.trigger) + " / 10";
        EXPECT_NE(svg.find("<title>weld &amp; co.rec, trigger " + counter + "</title>"), std::string::npos);
        // A name that is no UTF-8 (or holds control characters) still gives a picture browsers open.
        EXPECT_EQ(XmlText("a<\"\xFC\x01\xE2\x86\x91"), "a&lt;&quot;\xEF\xBF\xBD\xEF\xBF\xBD\xE2\x86\x91");
        EXPECT_EQ(svg.find("<script"), std::string::npos);

        // The traces in display order and colour, first and last point; RE
        // runs beyond full scale at the end and is drawn at level 1.
        const auto polylines = Elements(svg, "polyline");
        ASSERT_EQ(polylines.size(), 3u);
        const int ids[] = {13, 8, 1};
        const char* colours[] = {"#010203", "#dc0000", "#000096"};
        const uint32_t view = 100 * c.trigger - 60, last = c.points - 1;
        for (size_t j = 0; j < 3; ++j) {
            EXPECT_EQ(polylines[j].Attributes.at("stroke"), colours[j]);
            const auto points = Points(polylines[j]);
            ASSERT_EQ(points.size(), c.points);
            const auto y = [&](uint32_t i) { return LevelToY(c.height, SampleLevel(Wave(view + i, ids[j]))); };
            EXPECT_EQ(points.front(), std::make_pair(SampleToX(c.width, 0), y(0))) << j;
            EXPECT_EQ(points.back(), std::make_pair(SampleToX(c.width, last), y(last))) << j;
        }
        // The band between TA and TE, the column after sample 250 included.
        const Element band = Elements(svg, "rect").at(1);
        EXPECT_EQ(band.Attributes.at("fill"), "#f0f0f0");
        EXPECT_EQ(band.Number("x"), TraceLeft(c.width));
        EXPECT_EQ(band.Number("width"), TraceRight(c.width) + 1 - TraceLeft(c.width));
        EXPECT_EQ(band.Number("y"), LevelToY(c.height, 0.5));
        EXPECT_EQ(band.Number("height"), LevelToY(c.height, -0.5) - LevelToY(c.height, 0.5));

        // The counter last, centred under the trigger column, within its box.
        const auto texts = Elements(svg, "text");
        const ScopeRect box = TriggerCounterBounds(c.width, c.height, 10);
        EXPECT_EQ(texts.back().Text, counter);
        EXPECT_EQ(texts.back().Number("x"), SampleToX(c.width, 10));
        EXPECT_GT(texts.back().Number("y"), box.top);
        EXPECT_LE(texts.back().Number("y"), box.bottom);
        // Numbers with a decimal comma, the arrow beside KI's name, and the
        // labelled time ticks where the window puts them.
        std::vector<std::string> shown;
        for (const Element& text : texts) shown.push_back(text.Text);
        for (const char* label : {"-1,0", "0,0", "1,0", "0,00", "6,25", "31,25", "ms", "\u2191"})
            EXPECT_EQ(std::count(shown.begin(), shown.end(), label), 1) << label;
        const auto arrow = std::find(shown.begin(), shown.end(), "\u2191") - shown.begin();
        EXPECT_EQ(texts[arrow].Number("x"), LegendLeft(c.width));
        EXPECT_EQ(shown[arrow + 1], "KI");
        const auto fifty = std::find(shown.begin(), shown.end(), "50") - shown.begin();
        EXPECT_EQ(texts[fifty].Number("x"), TimeTickX(c.width, 50));
        std::vector<int> timeTicks, levelTicks;
        for (const Element& line : Elements(svg, "line")) {
            if (line.Number("y1") == TimeAxisY(c.height) - 4) timeTicks.push_back(line.Number("x1"));
            if (line.Number("x1") == TraceLeft(c.width) - 4) levelTicks.push_back(line.Number("y1"));
        }
        ASSERT_EQ(timeTicks.size(), 26u);
        ASSERT_EQ(levelTicks.size(), 21u);
        for (int i = 0; i <= 25; ++i) EXPECT_EQ(timeTicks[i], TimeTickX(c.width, 10 * i)) << i;
        for (int k = -10; k <= 10; ++k) EXPECT_EQ(levelTicks[k + 10], LevelTickY(c.height, k)) << k;
    }
}

// The caption below the view, and a good weld's band around its traces.
TEST_F(TavoRec, PlotCaptionsTheViewAndShadesAReferencesBand) {
    const std::string good = Write("good.rec", SavedRecord(ControllerBlock(), samples::Make(1000, Wave)));
    fs::last_write_time(folder / "good.rec", std::chrono::file_clock::from_sys(std::chrono::sys_seconds{
                                                 std::chrono::seconds{1367928000}}));  // 2013-05-07 12:00 UTC
    const std::string ini = Write("scope.ini", ScopeIni);
    ASSERT_EQ(Run({"plot", good, "--reference", good, "--band", "10", "--band", "KI=40", "--parameters", "--ini",
                   ini, "--size", "1000x600", "-o", "-"}),
              ExitOk)
        << err.text;
    std::vector<std::string> caption;
    for (const Element& text : Elements(out.text, "text"))
        if (text.Number("y") > 600) caption.push_back(text.Text);
    ASSERT_GE(caption.size(), 6u);
    EXPECT_EQ(caption[0].rfind("good.rec, file date 2013-05-0", 0), 0u) << caption[0];
    EXPECT_EQ(caption[1], "Trigger 1 of 10 at sample 50");
    EXPECT_EQ(caption[2], "Time base: 125 \xC2\xB5s per sample, times in ms from the view's start");
    EXPECT_EQ(caption[3], "Levels: raw counts / 2048");
    EXPECT_EQ(caption[4], "Band: RE \xC2\xB1" "10, KI \xC2\xB1" "40, K1 \xC2\xB1" "10 raw counts around good.rec, trigger 1");
    EXPECT_EQ(caption[5], "Einstellungen: ID 1, SEK 32, FT 0, FH 8.000, NA 0, NP 0");
    EXPECT_EQ(caption.back(), "Autooffset (AO): 0 7; Negation (NE): none");
    // A band per shown channel under the traces, in its colour: KI's spans
    // 40 counts either side of the reference's values, both ends.
    const auto bands = Elements(out.text, "polygon");
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_LT(out.text.find("<polygon"), out.text.find("<polyline"));
    EXPECT_EQ(bands[1].Attributes.at("fill"), "#dc0000");
    const auto edge = Points(bands[1]);
    ASSERT_EQ(edge.size(), 2u * 251);
    EXPECT_EQ(edge.front(), std::make_pair(SampleToX(1000, 0), LevelToY(600, 40 / 2048.0)));
    EXPECT_EQ(edge[250], std::make_pair(SampleToX(1000, 250), LevelToY(600, (1000 + 40) / 2048.0)));
    EXPECT_EQ(edge.back(), std::make_pair(SampleToX(1000, 0), LevelToY(600, -40 / 2048.0)));

    // A trigger the reference lacks: its picture has no band, and a line says so.
    const std::string longer = Write("long.rec", SavedRecord(ControllerBlock(), samples::Make(1200, Wave)));
    ASSERT_EQ(Run({"plot", longer, "--trigger", "11", "--reference", good, "--band", "10", "-o", "-", "--ini",
                   Path("Tavo.ini")}),
              ExitOk)
        << err.text;
    EXPECT_EQ(Elements(out.text, "polygon").size(), 0u);
    EXPECT_NE(err.text.find(good + ": TAVO shows no trigger 11 of the reference: that picture has no band"),
              std::string::npos)
        << err.text;

    // At a small width the negative level labels (about 4 characters of 8
    // pixels) still fit: the picture grows to the left, the view stays put.
    ASSERT_EQ(Run({"plot", good, "--size", "300x200", "--no-caption", "-o", "-"}), ExitOk);
    const std::string viewBox = Elements(out.text, "svg").at(0).Attributes.at("viewBox");
    const Element label = Elements(out.text, "text").at(0);
    ASSERT_EQ(label.Text, "-1,0");
    EXPECT_LE(std::stoi(viewBox), label.Number("x") - 32) << viewBox;
    EXPECT_EQ(Elements(out.text, "rect").at(0).Number("x"), 0);
}

// KI of sample 70 lies 20 samples after trigger 1 (at 50, PreEvent 10):
// 2,5 ms at 125 µs per sample.
TEST_F(TavoRec, CheckHoldsEachWeldAgainstTheReference) {
    const std::string good = Write("good.rec", SavedRecord(ControllerBlock(), samples::Make(1000, Wave)));
    const std::string ini = Write("scope.ini", ScopeIni);  // RE, KI, K1 shown
    fs::create_directories(folder / "welds");
    const std::string noisy = Write("welds/noisy.rec", SavedRecord(ControllerBlock(), samples::Make(1000, [](uint32_t i, int id) {
        return static_cast<int16_t>(Wave(i, id) + (i % 3 == 0 ? 5 : i % 3 == 1 ? -5 : 0));
    })));
    // KI and K1 leave the band at sample 70, RE a sample later: KI is the
    // first of them in time and in display order.
    const std::string bad = Write("welds/bad.rec", SavedRecord(ControllerBlock(), samples::Make(1000, [](uint32_t i, int id) {
        return static_cast<int16_t>(Wave(i, id) + ((i == 70 && id != 13) || (i == 71 && id == 13) ? 300 : 0));
    })));
    const std::string shorter = Write("short.dat", samples::Make(650, Wave));
    const std::string longer = Write("long.rec", SavedRecord(ControllerBlock(), samples::Make(1200, Wave)));
    const std::string flat = Write("flat.dat", samples::Make(300, [](uint32_t i, int id) {
        return static_cast<int16_t>(id == 8 ? 0 : Wave(i, id));
    }));
    struct Case {
        std::vector<std::string> arguments;
        int code;
        std::vector<std::string> lines;
    } cases[] = {
        {{noisy}, ExitOk,
         {"PASS " + noisy + ": trigger 1 within the band; nearest to its edge: trigger 1, RE at sample 40 (1,250 ms "
                            "before the trigger), 1335 (reference 1340 \xC2\xB1 10)"}},
        {{bad, noisy}, ExitDiffer,
         {"FAIL " + bad + ": trigger 1, KI at sample 70 (2,500 ms after the trigger): 1300, 290 above the band "
                          "(reference 1000 \xC2\xB1 10)",
          "PASS " + noisy}},
        // A band of its own for KI: K1 is then the first outside.
        {{bad, "--band", "KI=300"}, ExitDiffer,
         {"FAIL " + bad + ": trigger 1, K1 at sample 70 (2,500 ms after the trigger): 470, 290 above the band "
                          "(reference 170 \xC2\xB1 10)"}},
        // A folder: its record files by name.
        {{PathText(folder / "welds")}, ExitDiffer, {"FAIL " + bad, "PASS " + noisy}},
        {{noisy, "--all"}, ExitOk, {"PASS " + noisy + ": triggers 1 to 10 within the band"}},
        {{shorter, "--all"}, ExitDiffer, {"FAIL " + shorter + ": trigger 5: its view holds 209 samples, the reference's 251"}},
        {{shorter, "--trigger", "8"}, ExitDiffer, {"FAIL " + shorter + ": no trigger 8: TAVO shows triggers 1 to 6 of this file"}},
        {{flat}, ExitDiffer, {"FAIL " + flat + ": no trigger 1: TAVO shows no trigger of this file"}},
        {{longer, "--all"}, ExitDiffer,
         {"FAIL " + longer + ": trigger 11 beyond the reference's: TAVO shows triggers 1 to 10 of the reference"}},
        // A file that cannot be read keeps its code; the others are still held.
        {{Path("missing.rec"), bad}, 3, {"FAIL " + bad}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        std::vector<std::string> arguments{"check", good, "--band", "10", "--ini", ini};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(Run(arguments), c.code) << err.text;
        const auto lines = Lines(out.text);
        ASSERT_EQ(lines.size(), c.lines.size()) << out.text;
        for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(c.lines[i], 0), 0u) << lines[i];
    }
    // The same as CSV, in German: where the view left the band, or came
    // nearest to its edge.
    ASSERT_EQ(Run({"check", good, bad, noisy, "--band", "10", "--ini", ini, "--csv", "--german"}), ExitDiffer);
    const auto rows = Lines(out.text);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "File;Result;Trigger;Channel;Sample;Time from trigger (ms);Value;Reference;Band;"
                       "Beyond the band;Reason");
    EXPECT_EQ(rows[1].rfind(bad + ";FAIL;1;KI;70;2,500;1300;1000;10;290;trigger 1, KI at sample 70", 0), 0u) << rows[1];
    EXPECT_EQ(rows[2].rfind(noisy + ";PASS;1;RE;40;-1,250;1335;1340;10;-5;\"trigger 1 within the band;", 0), 0u) << rows[2];
    // Nothing to hold against: the reference lacks the trigger, or a shown
    // channel has no band.
    EXPECT_EQ(Run({"check", good, bad, "--band", "10", "--trigger", "11", "--ini", ini}), ExitNoTrigger);
    EXPECT_EQ(err.text, "tavo-rec: " + good + ": no trigger 11: TAVO shows triggers 1 to 10 of the reference, so no "
                                              "weld can be held against it\n");
    EXPECT_EQ(Run({"check", good, bad, "--band", "KI=10", "--ini", ini}), ExitUsage);
    EXPECT_EQ(err.text, "tavo-rec: no band for RE, a shown channel: give --band N or --band RE=N\n");
    EXPECT_EQ(out.text, "");
}

// One row per file and view: what a spreadsheet or a trend plot needs.
TEST_F(TavoRec, TableHasARowPerWeldAndTrigger) {
    fs::create_directories(folder / "welds");
    const std::string good = Write("welds/good.rec", SavedRecord(ControllerBlock(), samples::Make(1000, Wave)));
    fs::last_write_time(folder / "welds/good.rec", std::chrono::file_clock::from_sys(std::chrono::sys_seconds{
                                                       std::chrono::seconds{1367928000}}));
    const std::string flat = Write("welds/a, b.dat", samples::Make(300, [](uint32_t i, int id) {
        return static_cast<int16_t>(id == 8 ? 0 : Wave(i, id));
    }));
    ASSERT_EQ(Run({"table", PathText(folder / "welds"), "--ini", Path("Tavo.ini")}), ExitOk) << err.text;
    const auto rows = Lines(out.text);
    ASSERT_EQ(rows.size(), 1u + 1 + 10);
    EXPECT_EQ(rows[0], "File,Date,Trigger,Triggers,Trigger sample,KI min,KI max,KI mean,ID,SEK,FT,FH,NA,NP,VA,VB,P1,P2,"
                       "P3,P4,P5,P6,PU,PI,O1,O2,O3,O4,O5,O6,OU,OI,G1,T1,G2,T2,G3,T3,TA,TE,AO,NE");
    // A .dat without a trigger: its view from the first sample, no parameters.
    EXPECT_EQ(rows[1], "\"" + flat + "\"," + rows[1].substr(flat.size() + 3, 19) + ",0,0,,0,0,0.00" +
                           std::string(34, ','));
    // Trigger 1's view holds samples 40 to 290, 141 of them with KI at 1000;
    // the parameters as stored (SEK 200 beyond the dialog's limit).
    const std::string date = rows[2].substr(good.size() + 1, 19);
    EXPECT_EQ(date.rfind("2013-05-0", 0), 0u) << date;
    EXPECT_EQ(rows[2], good + "," + date +
                           ",1,10,50,0,1000,561.75,1,200,0,8000,0,0,0,0,0,0,0,0,0,0,0,0,-1000,0,0,0,0,0,0,0,0,0,0,0,0,0,"
                           "0,0,0 7,");
    EXPECT_EQ(rows[11].rfind(good + "," + date + ",10,10,950,", 0), 0u) << rows[11];
    ASSERT_EQ(Run({"table", good, "--ini", Path("Tavo.ini"), "--german"}), ExitOk);
    EXPECT_EQ(Lines(out.text)[1].rfind(good + ";" + date + ";1;10;50;0;1000;561,75;1;200;", 0), 0u) << out.text;
}

TEST_F(TavoRec, PlotWritesEveryViewTavoShowsAndNothingForAMissingTrigger) {
    const std::string record = Write("weld.rec", SavedRecord(ControllerBlock(), samples::Make(1000, Wave)));
    ASSERT_EQ(Run({"plot", record, "--all", "-o", Path("pic.svg"), "--ini", Path("Tavo.ini")}), ExitOk) << err.text;
    EXPECT_EQ(out.text, record + ": 10 pictures, " + Path("pic-1.svg") + " to " + Path("pic-10.svg") +
                            " (triggers 1 to 10 of 10)\n");
    for (int k = 1; k <= 10; ++k) {
        std::ifstream file(folder / ("pic-" + std::to_string(k) + ".svg"));
        const std::string svg((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(svg.empty()) << k;
        EXPECT_EQ(Elements(svg, "text").back().Text, std::to_string(k) + " / 10");
    }
    // Without -o the picture goes beside the record file.
    ASSERT_EQ(Run({"plot", record, "--ini", Path("Tavo.ini")}), ExitOk);
    EXPECT_EQ(out.text, Path("weld.svg") + ": weld.rec, trigger 1 / 10\n");

    // No trigger: the recording from its first sample, the counter 0 / 0.
    const std::string flat = Write("flat.dat", samples::Make(300, Wave));
    ASSERT_EQ(Run({"plot", flat, "--all", "--ini", Path("Tavo.ini"), "--threshold", "2000"}), ExitOk) << err.text;
    EXPECT_EQ(out.text, flat + ": 1 picture, " + Path("flat-0.svg") + " (no trigger shown, 0 / 0)\n");
    std::ifstream file(folder / "flat-0.svg");
    const std::string svg((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto points = Points(Elements(svg, "polyline").at(0));
    ASSERT_EQ(points.size(), 251u);
    EXPECT_EQ(points.front().second, LevelToY(1024, 0));
    EXPECT_EQ(Elements(svg, "text").back().Text, "0 / 0");
    EXPECT_EQ(Elements(svg, "rect").at(1).Number("height"), 0) << "a .dat leaves TAVO's zero band";

    // A trigger TAVO never shows: one line, its own code, no picture.
    for (const char* trigger : {"11", "4294967295"}) {
        EXPECT_EQ(Run({"plot", record, "--trigger", trigger, "-o", Path("none.svg"), "--ini", Path("Tavo.ini")}),
                  ExitNoTrigger);
        EXPECT_EQ(err.text, "tavo-rec: " + record + ": no trigger " + trigger + ": TAVO shows triggers 1 to 10\n");
    }
    EXPECT_FALSE(fs::exists(folder / "none.svg"));
}

TEST_F(TavoRec, DiffComparesSampleBySampleAndTellsMovedTriggersApart) {
    ParameterBytes other = ControllerBlock();
    other[1] = 12;    // SEK: 200 stored before, shown at its limit of 32
    other[2] = 0x01;  // AO box 7 cleared
    other[60] = 0x0C, other[61] = 0xFE;  // TA = -500
    other[6] = 0x88, other[7] = 0x13;    // FH = 5000: no thousands dot
    const auto changed = samples::Make(1000, [](uint32_t i, int id) {
        return static_cast<int16_t>(Wave(i, id) + (id == 2 && i == 60 ? 512 : 0));
    });
    const std::string good = Write("good.rec", SavedRecord(ControllerBlock(), samples::Make(1000, Wave)));
    const std::string bad = Write("bad.rec", SavedRecord(other, changed));
    ASSERT_EQ(Run({"diff", good, bad, "--ini", Path("Tavo.ini")}), ExitDiffer) << err.text;
    EXPECT_EQ(err.text, "");
    // K2 of sample 60 lies 10 samples after trigger 1 at sample 50, 7,5 ms
    // from the start at 125 µs.
    const std::string expected =
        "A: " + good + "\nB: " + bad +
        "\n"
        "Parameters: 4 fields differ, as the Parameter dialog shows them\n"
        "                                           A           B\n"
        "  Einstellungen / SEK                     32          12   A stored 200, outside the limits\n"
        "  Einstellungen / SysTick/s (FH)         8000        5000\n"
        "  Regler / TA                              0        -500\n"
        "  Autooffset (AO)\n"
        "    A  [x] 0 [ ] 1 [ ] 2 [ ] 3 [ ] 4 [ ] 5 [ ] 6 [x] 7\n"
        "    B  [x] 0 [ ] 1 [ ] 2 [ ] 3 [ ] 4 [ ] 5 [ ] 6 [ ] 7\n"
        "Recordings:\n"
        "                                           A           B\n"
        "  Samples                               1000        1000\n"
        "  Triggers                                10          10\n"
        "  Triggers lie at the same samples\n"
        "Samples 0 to 999, each against the same sample number (tolerance 0 raw counts; times from A's trigger 1 "
        "at sample 50):\n"
        "  Channel   Differ   Largest  At sample  ms from start  ms from trigger       A       B\n"
        "  K1             0         0\n"
        "  K2             1       512         60          7,500            1,250     260     772\n"
        "  K3             0         0\n";
    EXPECT_EQ(out.text.substr(0, expected.size()), expected);
    EXPECT_NE(out.text.find("\n  RE             0         0\n"), std::string::npos) << out.text;
    // --trigger 3: only the samples of A's view of trigger 3, which does not hold the change.
    ASSERT_EQ(Run({"diff", good, bad, "--trigger", "3", "--ini", Path("Tavo.ini")}), ExitDiffer);
    EXPECT_NE(out.text.find("\nSamples 240 to 490, each against the same sample number (tolerance 0 raw counts; "
                            "times from A's trigger 3 at sample 250):\n"),
              std::string::npos)
        << out.text;
    EXPECT_NE(out.text.find("\n  K2             0         0\n"), std::string::npos);

    // A trigger channel that crosses a sample later moves the triggers and
    // changes KI there, and nothing else.
    const std::string late = Write("late.rec", SavedRecord(ControllerBlock(), samples::Make(1000, LateWave)));
    ASSERT_EQ(Run({"diff", good, late, "--ini", Path("Tavo.ini")}), ExitDiffer);
    EXPECT_NE(out.text.find("  Triggers at different samples:\n"
                            "  Trigger 1                               50          51\n"
                            "  Trigger 2                              150         151\n"),
              std::string::npos)
        << out.text;
    EXPECT_NE(out.text.find("\n  KU             0         0\n"), std::string::npos);
    EXPECT_NE(out.text.find("\n  KI            19      1000         50          6,250            0,000    1000       0\n"),
              std::string::npos)
        << out.text;

    // Two welds that differ by noise of 3 counts: equal within a tolerance of 3.
    const std::string noisy = Write("noisy.rec", SavedRecord(ControllerBlock(), samples::Make(1000, [](uint32_t i, int id) {
        return static_cast<int16_t>(Wave(i, id) + (i % 3 == 0 ? 3 : i % 3 == 1 ? -3 : 0));
    })));
    EXPECT_EQ(Run({"diff", good, noisy, "--ini", Path("Tavo.ini")}), ExitDiffer);
    EXPECT_EQ(Run({"diff", good, noisy, "--ini", Path("Tavo.ini"), "--tolerance", "2"}), ExitDiffer);
    ASSERT_EQ(Run({"diff", good, noisy, "--ini", Path("Tavo.ini"), "--tolerance", "3"}), ExitOk) << out.text;
    EXPECT_NE(out.text.find("\n  K1             0         3          0          0,000           -6,250     100     103\n"),
              std::string::npos)
        << out.text;

    // Stored values beyond the limits differ even where the edits show the same.
    other = ControllerBlock();
    other[1] = 201;
    ASSERT_EQ(Run({"diff", good, Write("sek.rec", SavedRecord(other, samples::Make(1000, Wave))), "--ini",
                   Path("Tavo.ini")}),
              ExitDiffer);
    EXPECT_NE(out.text.find("\n  Einstellungen / SEK                     32          32   A stored 200, outside the "
                            "limits; B stored 201, outside the limits\n"),
              std::string::npos)
        << out.text;
    // A file against itself.
    ASSERT_EQ(Run({"diff", good, good, "--ini", Path("Tavo.ini")}), ExitOk) << err.text;
    EXPECT_NE(out.text.find("\nParameters: same parameters\n"), std::string::npos);
    // A raw recording has no block to compare; one sample fewer is a difference too.
    const std::string raw = Write("raw.dat", samples::Make(999, Wave));
    ASSERT_EQ(Run({"diff", good, raw, "--ini", Path("Tavo.ini")}), ExitDiffer);
    EXPECT_NE(out.text.find("\nParameters: only A has a parameter block"), std::string::npos);
    EXPECT_NE(out.text.find("\n  B ends sooner: A's samples from 999 on are not compared\n"), std::string::npos);
    EXPECT_EQ(Run({"diff", good, raw, "--trigger", "11", "--ini", Path("Tavo.ini")}), ExitNoTrigger);
    EXPECT_EQ(Lines(err.text).size(), 2u) << err.text;
}

}  // namespace
