#include "tavo-rec/Command.h"

#include <optional>

#include "settings/ChannelTable.h"
#include "settings/Conversions.h"
#include "tavo-rec/BuildFacts.h"
#include "tavo-rec/FileIo.h"
#include "tavo-rec/InfoText.h"
#include "tavo-rec/Inputs.h"
#include "tavo-rec/ViewCommands.h"

namespace fs = std::filesystem;

namespace {

const char* const Usage =
    "Usage: tavo-rec info FILE... [settings]\n"
    "       tavo-rec csv FILE [-o OUT] [--levels] [--german] [settings]\n"
    "       tavo-rec plot FILE [-o OUT.svg] [--trigger N | --all] [--size WxH]\n"
    "                [settings]\n"
    "       tavo-rec diff A B [--trigger N] [settings]\n"
    "       tavo-rec --help | --version\n"
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
    "  plot   the scope view as TAVO draws it after loading the file, as an SVG\n"
    "         picture: band, axes, legend, traces and the trigger counter. The view\n"
    "         TAVO shows first (its first trigger, or a file without a trigger from\n"
    "         its first sample); --trigger N: the view of trigger N, where the\n"
    "         right arrow key takes TAVO. To FILE's name with .svg, or to OUT.svg\n"
    "         (-o -: standard output); one line tells what was written.\n"
    "  diff   A's and B's parameter blocks field by field as the Parameter dialog\n"
    "         shows them, only the fields that differ (or \"same parameters\"); their\n"
    "         samples and triggers side by side; and per channel the largest\n"
    "         difference of the levels, position by position, between the views\n"
    "         TAVO shows first (251 samples at most), or with --trigger N between\n"
    "         those of trigger N.\n"
    "\n"
    "  -o OUT             write to OUT (only a complete file appears there)\n"
    "  --levels           csv: the scope's levels (value / 2048, within -1..1), not\n"
    "                     raw values\n"
    "  --german           csv: decimal comma and ';' between fields (German\n"
    "                     spreadsheets)\n"
    "  --trigger N        plot, diff: the view of trigger N (counting from 1)\n"
    "  --all              plot: one picture per view TAVO shows, OUT-1.svg,\n"
    "                     OUT-2.svg, ... numbered as its trigger counter (a file\n"
    "                     without a trigger: OUT-0.svg), and a line that says how\n"
    "                     many; all of them are written or none\n"
    "  --size WxH         plot: the drawing area in pixels, 1 to 10000 each\n"
    "                     (default 1280x1024)\n"
    "\n"
    "Settings (a flag wins over the file):\n"
    "  --ini TAVO.INI     clock, trigger and display settings from this Tavo.ini;\n"
    "                     without it the Tavo.ini beside tavo-rec is used when there\n"
    "                     is one. Without either, csv takes TAVO's default clock, and\n"
    "                     plot and diff the settings of the Tavo.ini TAVO ships; a\n"
    "                     line on standard error says so.\n"
    "  --clock US         sample period in microseconds, as the Settings dialog\n"
    "                     shows it (e.g. 125; one decimal allowed)\n"
    "  --channel NAME     trigger channel: K1..K6, KU, KI, RA..RE\n"
    "  --mode RISE|FALL   trigger direction\n"
    "  --threshold N      trigger level in raw units (full scale 2048)\n"
    "  --pre N, --post N  samples before and after a trigger (PreEvent, PostEvent)\n"
    "\n"
    "Exit codes:\n"
    "  0  done; diff: the same parameters and samples\n"
    "  1  wrong command line\n"
    "  2  the Tavo.ini cannot be read, or TAVO would refuse it\n"
    "  3  a file is missing or cannot be read\n"
    "  4  not a record file (the name does not end in .rec or .dat)\n"
    "  5  too short (a .rec below 68 bytes, a .dat below 4)\n"
    "  6  too large (8650752 bytes or more)\n"
    "  7  a .rec that does not start with TAVO\n"
    "  8  no sample in the file (no letter G)\n"
    "  9  the output cannot be written\n"
    " 10  diff: the files differ in their parameters or samples\n"
    " 11  plot, diff: TAVO shows no trigger N of the file\n"
    "With several files, info and diff report every file they can and end with the\n"
    "code of the first one that failed.\n";

struct TriggerFlags {
    std::optional<int16_t> Threshold, Pre, Post;
    std::optional<int32_t> Channel, Mode;
    bool Any() const { return Threshold || Pre || Post || Channel || Mode; }
    bool All() const { return Threshold && Pre && Post && Channel && Mode; }
};

struct PictureSize {
    int Width, Height;
};

struct Options {
    std::string Command;
    std::vector<std::string> Files;
    std::optional<std::string> Ini, Output;
    std::optional<ClockTenths> Clock;
    TriggerFlags Trigger;
    std::optional<uint32_t> ShowTrigger;
    std::optional<PictureSize> Size;
    bool Levels = false;
    bool German = false;
    bool All = false;
    bool Help = false;
    bool Version = false;
};

std::optional<int16_t> ShortValue(const std::string& text) {
    int32_t value = 0;
    if (!TextToLong(Widened(text).c_str(), &value) || value < INT16_MIN || value > INT16_MAX) return std::nullopt;
    return static_cast<int16_t>(value);
}

// Digits only, from `lowest` to `highest`.
std::optional<uint32_t> CountValue(const std::string& text, uint32_t lowest, uint32_t highest) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > highest) return std::nullopt;
    }
    if (text.empty() || value < lowest) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<PictureSize> SizeValue(const std::string& text) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return std::nullopt;
    const auto width = CountValue(text.substr(0, x), 1, LargestPictureSide);
    const auto height = CountValue(text.substr(x + 1), 1, LargestPictureSide);
    if (!width || !height) return std::nullopt;
    return PictureSize{static_cast<int>(*width), static_cast<int>(*height)};
}

std::optional<Failure> TakeTriggerValue(TriggerFlags& trigger, const std::string& flag, const std::string& value,
                                        const std::string& wrong) {
    if (flag == "--channel") {
        const int32_t id = ChannelIdFromName(Widened(value).c_str());
        if (id == 0) return Failure{ExitUsage, wrong + "not a channel (K1..K6, KU, KI, RA..RE)"};
        trigger.Channel = id;
    } else if (flag == "--mode") {
        const int32_t mode = TriggerModeFromName(Widened(value).c_str());
        if (mode == TriggerVoid) return Failure{ExitUsage, wrong + "not a trigger direction (RISE or FALL)"};
        trigger.Mode = mode;
    } else {
        std::optional<int16_t>& target =
            flag == "--threshold" ? trigger.Threshold : flag == "--pre" ? trigger.Pre : trigger.Post;
        if (!(target = ShortValue(value))) return Failure{ExitUsage, wrong + "not a whole number from -32768 to 32767"};
    }
    return std::nullopt;
}

std::optional<Failure> TakeValue(Options& options, const std::string& flag, const std::string& value) {
    const std::string wrong = flag + " " + value + ": ";
    if (flag == "--ini") {
        options.Ini = value;
    } else if (flag == "-o" || flag == "--output") {
        options.Output = value;
    } else if (flag == "--clock") {
        if (!(options.Clock = ClockFromMicrosecondsText(value)))
            return Failure{ExitUsage, wrong + "not a sample period in microseconds (e.g. 125 or 133.3)"};
    } else if (flag == "--trigger") {
        if (!(options.ShowTrigger = CountValue(value, 1, UINT32_MAX)))
            return Failure{ExitUsage, wrong + "not a trigger number (1, 2, ...)"};
    } else if (flag == "--size") {
        if (!(options.Size = SizeValue(value)))
            return Failure{ExitUsage, wrong + "not a size in pixels such as 1280x1024 (1 to 10000 each)"};
    } else {
        return TakeTriggerValue(options.Trigger, flag, value, wrong);
    }
    return std::nullopt;
}

bool TakesValue(const std::string& flag) {
    for (const char* name : {"--ini", "-o", "--output", "--clock", "--channel", "--mode", "--threshold", "--pre",
                             "--post", "--trigger", "--size"})
        if (flag == name) return true;
    return false;
}

// The option a command does not take, if one was given.
std::optional<Failure> ForeignOption(const Options& options) {
    struct Belongs {
        const char* Flag;
        bool Given;
        const char* Commands;
    };
    const Belongs belongs[] = {
        {"-o", options.Output.has_value(), "csv plot"},
        {"--levels", options.Levels, "csv"},
        {"--german", options.German, "csv"},
        {"--trigger", options.ShowTrigger.has_value(), "plot diff"},
        {"--all", options.All, "plot"},
        {"--size", options.Size.has_value(), "plot"},
    };
    for (const Belongs& option : belongs)
        if (option.Given && std::string(option.Commands).find(options.Command) == std::string::npos)
            return Failure{ExitUsage, options.Command + " does not take " + option.Flag + " (see tavo-rec --help)"};
    if (options.All && options.ShowTrigger) return Failure{ExitUsage, "plot takes --trigger N or --all, not both"};
    if (options.All && options.Output == "-") return Failure{ExitUsage, "--all writes files: -o - is for one picture"};
    return std::nullopt;
}

std::optional<Failure> CheckCommand(const Options& options) {
    const std::string& command = options.Command;
    if (command != "info" && command != "csv" && command != "plot" && command != "diff")
        return Failure{ExitUsage, command.empty() ? "no command: info, csv, plot or diff (see tavo-rec --help)"
                                                  : "unknown command " + command + ": info, csv, plot or diff"};
    if (options.Files.empty()) return Failure{ExitUsage, command + " needs a record file"};
    if (auto failure = ForeignOption(options)) return failure;
    if ((command == "csv" || command == "plot") && options.Files.size() > 1)
        return Failure{ExitUsage, command + " takes one record file"};
    if (command == "diff" && options.Files.size() != 2) return Failure{ExitUsage, "diff takes two record files"};
    return std::nullopt;
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
        } else if (argument == "--version") {
            options.Version = true;
        } else if (argument == "--levels") {
            options.Levels = true;
        } else if (argument == "--german") {
            options.German = true;
        } else if (argument == "--all") {
            options.All = true;
        } else if (TakesValue(argument)) {
            if (i + 1 == arguments.size()) return Failure{ExitUsage, argument + " needs a value"};
            if (auto failure = TakeValue(options, argument, arguments[++i])) return failure;
        } else {
            return Failure{ExitUsage, "unknown option " + argument + " (see tavo-rec --help)"};
        }
    }
    if (options.Help || options.Version) return std::nullopt;
    return CheckCommand(options);
}

// The trigger settings: the file's, with the flags over them. Without a file
// the flags must give all five.
std::optional<Failure> ApplyTriggerFlags(const TriggerFlags& flags, RecSettings& settings) {
    if (!settings.Trigger) {
        if (!flags.Any()) return std::nullopt;
        if (!flags.All())
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

// The settings of the Tavo.ini TAVO ships, for what neither a file nor the
// flags give.
RecSettings ShippedSettings() {
    RecSettings settings;
    std::string why;
    SettingsFromIni(DefaultIniText(), &settings, &why);
    return settings;
}

// plot and diff, without a Tavo.ini, see what a new installation of TAVO
// shows; diff needs only the trigger.
bool TakesShippedSettings(const Options& options) {
    return options.Command == "plot" || (options.Command == "diff" && !options.Trigger.All());
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
    } else if (TakesShippedSettings(options)) {
        settings = ShippedSettings();
        settings.Shipped = true;
    }
    if (options.Clock) {
        settings.Clock = options.Clock;
        if (settings.Display) settings.Display->Clock = static_cast<double>(*options.Clock) / 10000;
    }
    return ApplyTriggerFlags(options.Trigger, settings);
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

// The clock of the times: the settings', else TAVO's default, said on
// standard error.
ClockTenths CsvClock(const RecSettings& settings, ByteSink& err) {
    if (settings.Clock) return *settings.Clock;
    const ClockTenths clock = ShippedSettings().Clock.value_or(1250);
    Note(err, "no --clock and no Tavo.ini: the times are from TAVO's default clock, " + ClockText(clock));
    return clock;
}

int RunCsv(const Options& options, const RecSettings& settings, const std::string& iniName, ByteSink& out,
           ByteSink& err) {
    if (!settings.Clock && !iniName.empty()) {
        Report(err, {ExitSettings, iniName + ": its Clock gives no times (it must lie above 0 and at most 1000 ms): "
                                             "give --clock"});
        return ExitSettings;
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
    const CsvOptions csv{CsvClock(settings, err), options.Levels, options.German};
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

int RunPlotCommand(const Options& options, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    PlotRequest request;
    request.File = options.Files.front();
    request.Output = options.Output;
    request.Trigger = options.ShowTrigger;
    request.All = options.All;
    if (options.Size) {
        request.Width = options.Size->Width;
        request.Height = options.Size->Height;
    }
    return RunPlot(request, settings, out, err);
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
    if (options.Help || options.Version) {
        const std::string text = options.Help ? Usage : std::string("tavo-rec ") + TavoRecVersion + "\n";
        out.Write(text.data(), text.size());
        return ExitOk;
    }
    RecSettings settings;
    std::string iniName;
    if (auto failure = LoadRecSettings(options, programDirectory, settings, &iniName)) {
        Report(err, *failure);
        return failure->Code;
    }
    if (options.Command == "info") return RunInfo(options, settings, out, err);
    if (options.Command == "csv") return RunCsv(options, settings, iniName, out, err);
    if (options.Command == "plot") return RunPlotCommand(options, settings, out, err);
    return RunDiff(options.Files[0], options.Files[1], options.ShowTrigger, settings, out, err);
}
