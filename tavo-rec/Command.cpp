#include "tavo-rec/Command.h"

#include <optional>

#include "settings/ChannelTable.h"
#include "settings/Conversions.h"
#include "tavo-rec/FileIo.h"
#include "tavo-rec/InfoText.h"

namespace fs = std::filesystem;

namespace {

const char* const Usage =
    "Usage: tavo-rec info FILE... [settings]\n"
    "       tavo-rec csv FILE [-o OUT] [--levels] [--german] [settings]\n"
    "\n"
    "Reads TAVO record files (.rec as TAVO saves them, .dat raw recordings) without\n"
    "TAVO or a controller, by TAVO's own rules.\n"
    "\n"
    "  info   kind, size, the sample run TAVO finds (first counter, samples, junk\n"
    "         before the first G, where the run breaks off), the trigger count, and\n"
    "         for a .rec the parameter block as the Parameter dialog shows it.\n"
    "  csv    one row per whole sample of the run: Sample, Counter, Time (ms) and\n"
    "         the channels K1..K6, KU, KI, RA..RE as raw values; a .rec's parameter\n"
    "         block goes first as comment lines (#). To standard output, or to OUT.\n"
    "\n"
    "  -o OUT             write the CSV to OUT (only a complete file appears there)\n"
    "  --levels           the scope's levels (value / 2048, within -1..1), not raw values\n"
    "  --german           decimal comma and ';' between fields (German spreadsheets)\n"
    "\n"
    "Settings (a flag wins over the file):\n"
    "  --ini TAVO.INI     clock and trigger settings from this Tavo.ini; without it the\n"
    "                     Tavo.ini beside tavo-rec is used when there is one\n"
    "  --clock US         sample period in microseconds, as the Settings dialog shows\n"
    "                     it (e.g. 125; one decimal allowed)\n"
    "  --channel NAME     trigger channel: K1..K6, KU, KI, RA..RE\n"
    "  --mode RISE|FALL   trigger direction\n"
    "  --threshold N      trigger level in raw units (full scale 2048)\n"
    "  --pre N, --post N  samples before and after a trigger (PreEvent, PostEvent)\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  1  wrong command line, or csv without a sample period\n"
    "  2  the Tavo.ini cannot be read, or TAVO would refuse it\n"
    "  3  a file is missing or cannot be read\n"
    "  4  not a record file (the name does not end in .rec or .dat)\n"
    "  5  too short (a .rec below 68 bytes, a .dat below 4)\n"
    "  6  too large (8650752 bytes or more)\n"
    "  7  a .rec that does not start with TAVO\n"
    "  8  no sample in the file (no letter G)\n"
    "  9  the output cannot be written\n"
    "With several files, info reports every file it can and ends with the code of\n"
    "the first one that failed.\n";

// A failure to report: its exit code and one line of text.
struct Failure {
    int Code;
    std::string Text;
};

struct TriggerFlags {
    std::optional<int16_t> Threshold, Pre, Post;
    std::optional<int32_t> Channel, Mode;
    bool Any() const { return Threshold || Pre || Post || Channel || Mode; }
};

struct Options {
    std::string Command;
    std::vector<std::string> Files;
    std::optional<std::string> Ini, Output;
    std::optional<ClockTenths> Clock;
    TriggerFlags Trigger;
    bool Levels = false;
    bool German = false;
    bool Help = false;
};

// Only ASCII matters in an option's value: other bytes cannot match.
std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::optional<int16_t> ShortValue(const std::string& text) {
    int32_t value = 0;
    if (!TextToLong(Widened(text).c_str(), &value) || value < INT16_MIN || value > INT16_MAX) return std::nullopt;
    return static_cast<int16_t>(value);
}

std::optional<Failure> TakeValue(Options& options, const std::string& flag, const std::string& value) {
    const auto bad = [&](const char* expected) { return Failure{ExitUsage, flag + " " + value + ": " + expected}; };
    if (flag == "--ini") {
        options.Ini = value;
    } else if (flag == "-o" || flag == "--output") {
        options.Output = value;
    } else if (flag == "--clock") {
        if (!(options.Clock = ClockFromMicrosecondsText(value)))
            return bad("not a sample period in microseconds (e.g. 125 or 133.3)");
    } else if (flag == "--channel") {
        const int32_t id = ChannelIdFromName(Widened(value).c_str());
        if (id == 0) return bad("not a channel (K1..K6, KU, KI, RA..RE)");
        options.Trigger.Channel = id;
    } else if (flag == "--mode") {
        const int32_t mode = TriggerModeFromName(Widened(value).c_str());
        if (mode == TriggerVoid) return bad("not a trigger direction (RISE or FALL)");
        options.Trigger.Mode = mode;
    } else {
        TriggerFlags& trigger = options.Trigger;
        std::optional<int16_t>& target =
            flag == "--threshold" ? trigger.Threshold : flag == "--pre" ? trigger.Pre : trigger.Post;
        if (!(target = ShortValue(value))) return bad("not a whole number from -32768 to 32767");
    }
    return std::nullopt;
}

bool TakesValue(const std::string& flag) {
    for (const char* name :
         {"--ini", "-o", "--output", "--clock", "--channel", "--mode", "--threshold", "--pre", "--post"})
        if (flag == name) return true;
    return false;
}

std::optional<Failure> ParseArguments(const std::vector<std::string>& arguments, Options& options) {
    bool filesOnly = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (filesOnly || argument.size() < 2 || argument[0] != '-') {
            if (options.Command.empty()) options.Command = argument;
            else options.Files.push_back(argument);
        } else if (argument == "--") {
            filesOnly = true;
        } else if (argument == "--help" || argument == "-h") {
            options.Help = true;
        } else if (argument == "--levels") {
            options.Levels = true;
        } else if (argument == "--german") {
            options.German = true;
        } else if (TakesValue(argument)) {
            if (i + 1 == arguments.size()) return Failure{ExitUsage, argument + " needs a value"};
            if (auto failure = TakeValue(options, argument, arguments[++i])) return failure;
        } else {
            return Failure{ExitUsage, "unknown option " + argument + " (see tavo-rec --help)"};
        }
    }
    if (options.Help) return std::nullopt;
    if (options.Command != "info" && options.Command != "csv")
        return Failure{ExitUsage, options.Command.empty() ? "no command: info or csv (see tavo-rec --help)"
                                                          : "unknown command " + options.Command + ": info or csv"};
    if (options.Files.empty()) return Failure{ExitUsage, options.Command + " needs a record file"};
    if (options.Command == "info" && (options.Output || options.Levels || options.German))
        return Failure{ExitUsage, "-o, --levels and --german belong to csv"};
    if (options.Command == "csv" && options.Files.size() > 1) return Failure{ExitUsage, "csv takes one record file"};
    return std::nullopt;
}

// The trigger settings: the file's, with the flags over them. Without a file
// the flags must give all five.
std::optional<Failure> ApplyTriggerFlags(const TriggerFlags& flags, RecSettings& settings) {
    if (!settings.Trigger) {
        if (!flags.Any()) return std::nullopt;
        if (!(flags.Threshold && flags.Pre && flags.Post && flags.Channel && flags.Mode))
            return Failure{ExitUsage,
                           "without a Tavo.ini the trigger needs --channel, --mode, --threshold, --pre and --post"};
        settings.Trigger = TriggerParams{};
    }
    TriggerParams& trigger = *settings.Trigger;
    if (flags.Threshold) trigger.Threshold = *flags.Threshold;
    if (flags.Pre) trigger.PreEvent = *flags.Pre;
    if (flags.Post) trigger.PostEvent = *flags.Post;
    if (flags.Channel) trigger.TriggerChannel = *flags.Channel;
    if (flags.Mode) trigger.TriggerMode = *flags.Mode;
    return std::nullopt;
}

std::optional<Failure> LoadRecSettings(const Options& options, const fs::path& programDirectory,
                                       RecSettings& settings, std::string* iniName) {
    fs::path ini;
    if (options.Ini) {
        ini = PathFromArgument(*options.Ini);
        *iniName = *options.Ini;
    } else if (std::error_code error; !programDirectory.empty() && fs::exists(programDirectory / "Tavo.ini", error)) {
        ini = programDirectory / "Tavo.ini";
        *iniName = PathText(ini);
    }
    if (!ini.empty()) {
        std::string bytes, why;
        if (!ReadSmallFile(ini, &bytes, &why) || !SettingsFromIni(bytes, &settings, &why))
            return Failure{ExitSettings, *iniName + ": " + why};
    }
    if (options.Clock) settings.Clock = options.Clock;
    return ApplyTriggerFlags(options.Trigger, settings);
}

std::string ProblemText(RecordProblem problem, const RecordImage& image) {
    const std::string size = std::to_string(image.Size) + " bytes";
    switch (problem) {
        case RecordProblem::Foreign:
            return "not a record file: TAVO loads names ending in .rec or .dat (small letters)";
        case RecordProblem::Short:
            return "too short: " + size +
                   (image.Kind == RecordKind::Rec ? ", a .rec has at least 68 (magic and parameter block)"
                                                  : ", a .dat has at least 4");
        case RecordProblem::Oversized:
            return "too large: " + size + ", TAVO loads files below " + std::to_string(RecordFileLimit) + " bytes";
        case RecordProblem::WrongMagic: return "not a TAVO record: a .rec starts with the letters TAVO";
        case RecordProblem::NoMarker: return "no samples: the letter G that starts a sample does not occur";
        default: return "cannot be read";
    }
}

// Reads and examines one file; a failure says why TAVO would not show it.
std::optional<Failure> Examine(const std::string& name, RecordImage& image, RecordReport& report) {
    image.Kind = RecordKindOf(Widened(name).c_str());
    std::string why;
    if (!ReadRecordFile(PathFromArgument(name), image, &why))
        return Failure{static_cast<int>(RecordProblem::Unreadable), name + ": cannot be read: " + why};
    report = ExamineRecord(image);
    if (report.Problem == RecordProblem::None) return std::nullopt;
    return Failure{static_cast<int>(report.Problem), name + ": " + ProblemText(report.Problem, image)};
}

void Report(ByteSink& err, const Failure& failure) {
    const std::string line = "tavo-rec: " + failure.Text + "\n";
    err.Write(line.data(), line.size());
}

int RunInfo(const Options& options, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    int code = ExitOk;
    RecordImage image;
    bool first = true;
    for (const std::string& name : options.Files) {
        RecordReport report;
        if (auto failure = Examine(name, image, report)) {
            Report(err, *failure);
            if (code == ExitOk) code = failure->Code;
            continue;
        }
        const std::string text = (first ? "" : "\n") + InfoText(name, image, report, settings);
        first = false;
        if (!out.Write(text.data(), text.size())) {
            Report(err, {ExitOutput, "the report cannot be written"});
            return ExitOutput;
        }
    }
    return code;
}

int RunCsv(const Options& options, const RecSettings& settings, const std::string& iniName, ByteSink& out,
           ByteSink& err) {
    if (!settings.Clock) {
        const Failure failure =
            iniName.empty() ? Failure{ExitUsage, "csv needs the sample period: give --clock or --ini"}
                            : Failure{ExitSettings, iniName + ": its Clock gives no times (it must lie above 0 and "
                                                              "at most 1000 ms): give --clock"};
        Report(err, failure);
        return failure.Code;
    }
    const std::string& name = options.Files.front();
    if (options.Output && SameFile(PathFromArgument(name), PathFromArgument(*options.Output))) {
        Report(err, {ExitUsage, "-o names the record file itself"});
        return ExitUsage;
    }
    RecordImage image;
    RecordReport report;
    if (auto failure = Examine(name, image, report)) {
        Report(err, *failure);
        return failure->Code;
    }
    const CsvOptions csv{*settings.Clock, options.Levels, options.German};
    if (!options.Output) {
        if (WriteCsv(report, csv, out)) return ExitOk;
        Report(err, {ExitOutput, "the CSV cannot be written to standard output"});
        return ExitOutput;
    }
    OutputFile file(PathFromArgument(*options.Output));
    std::string why;
    bool written = file.Open(&why);
    // A failed write is remembered by the file, and Commit then gives its reason.
    if (written) {
        WriteCsv(report, csv, file);
        written = file.Commit(&why);
    }
    if (!written) {
        Report(err, {ExitOutput, *options.Output + ": cannot be written: " + why});
        return ExitOutput;
    }
    return ExitOk;
}

}  // namespace

const char* UsageText() { return Usage; }

int RunTavoRec(const std::vector<std::string>& arguments, const fs::path& programDirectory, ByteSink& out,
               ByteSink& err) {
    Options options;
    if (auto failure = ParseArguments(arguments, options)) {
        Report(err, *failure);
        return failure->Code;
    }
    if (options.Help) {
        out.Write(Usage, std::char_traits<char>::length(Usage));
        return ExitOk;
    }
    RecSettings settings;
    std::string iniName;
    if (auto failure = LoadRecSettings(options, programDirectory, settings, &iniName)) {
        Report(err, *failure);
        return failure->Code;
    }
    return options.Command == "info" ? RunInfo(options, settings, out, err)
                                     : RunCsv(options, settings, iniName, out, err);
}
