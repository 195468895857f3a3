#include "tavo-rec/CommandLine.h"

#include <algorithm>

#include "settings/ChannelTable.h"
#include "settings/Conversions.h"
#include "tavo-rec/Command.h"
#include "tavo-rec/ScopeSvg.h"

namespace {

const char* const Usage =
    "Usage: tavo-rec info FILE... [settings]\n"
    "       tavo-rec csv FILE [-o OUT] [--levels] [--german] [settings]\n"
    "       tavo-rec plot FILE [-o OUT.svg] [--trigger N | --all] [--size WxH]\n"
    "                [--reference REF --band BAND] [--parameters] [--no-caption]\n"
    "                [settings]\n"
    "       tavo-rec diff A B [--trigger N] [--tolerance N] [settings]\n"
    "       tavo-rec check REFERENCE FILE... --band BAND [--trigger N | --all]\n"
    "                [--csv [--german]] [-o OUT] [settings]\n"
    "       tavo-rec table FILE... [-o OUT] [--german] [settings]\n"
    "       tavo-rec --help | --version\n"
    "\n"
    "Reads TAVO record files (.rec as TAVO saves them, .dat raw recordings) without\n"
    "TAVO or a controller, by TAVO's own rules. A recording carries raw counts\n"
    "(full scale 2048) and sample numbers, no physical units: times in ms come\n"
    "from the clock setting, and the pictures' levels are raw counts / 2048.\n"
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
    "         right arrow key takes TAVO. The level axis is raw / 2048, the time\n"
    "         axis ms from the view's start (the trigger lies PreEvent samples in).\n"
    "         Below the view a caption: the file's name and date, trigger n of m\n"
    "         and its sample, the time base (--parameters: the parameter block too;\n"
    "         --no-caption: the view alone). --reference REF --band BAND shades\n"
    "         the band around REF's traces of the same trigger. To FILE's name\n"
    "         with .svg, or to OUT.svg (-o -: standard output); one line tells\n"
    "         what was written.\n"
    "  diff   A's and B's parameter blocks field by field as the Parameter dialog\n"
    "         shows them, only the fields that differ (or \"same parameters\");\n"
    "         their samples one by one on their own sample numbers: per channel\n"
    "         how many differ, the largest difference in raw counts and where\n"
    "         (sample, ms from the start and from A's first trigger, with TAVO's\n"
    "         decimal comma); and the triggers that lie at different samples.\n"
    "         --trigger N: only the samples of A's view of trigger N, times from\n"
    "         that trigger.\n"
    "  check  holds every FILE against REFERENCE: a trigger's view against the\n"
    "         reference's view of the same trigger (the first one, --trigger N, or\n"
    "         --all: every one), each shown channel sample by sample within a band\n"
    "         of BAND raw counts either side of the reference. One line per file:\n"
    "         PASS, or FAIL with the first channel, sample and time from the\n"
    "         trigger that left the band and by how much; a trigger missing in\n"
    "         either file fails. --csv: the same as CSV.\n"
    "  table  one CSV row per file and trigger: File, Date (the file's last change),\n"
    "         Trigger, Triggers, Trigger sample, per shown channel the minimum,\n"
    "         maximum and mean of its raw values over the view, and the parameter\n"
    "         fields by name as stored.\n"
    "  check and table take folders too: the .rec and .dat files in them, by name.\n"
    "\n"
    "  -o OUT             write to OUT (only a complete file appears there; a\n"
    "                     symbolic link is written through, anything else that is\n"
    "                     not a plain file is refused)\n"
    "  --levels           csv: the scope's levels (value / 2048, within -1..1), not\n"
    "                     raw values\n"
    "  --german           csv, table, check --csv: decimal comma and ';' between\n"
    "                     fields (German spreadsheets)\n"
    "  --trigger N        plot, diff, check: the view of trigger N (counting from 1)\n"
    "  --all              plot: one picture per view TAVO shows, OUT-1.svg,\n"
    "                     OUT-2.svg, ... numbered as its trigger counter (a file\n"
    "                     without a trigger: OUT-0.svg), and a line that says how\n"
    "                     many; all of them are written or none. check: every\n"
    "                     trigger\n"
    "  --size WxH         plot: the drawing area in pixels, 1 to 10000 each\n"
    "                     (default 1280x1024)\n"
    "  --band BAND        check, plot --reference: N raw counts either side for\n"
    "                     every shown channel, or NAME=N,... for single channels\n"
    "                     (--band 40 --band KI=60: 60 for KI, 40 for the others)\n"
    "  --tolerance N      diff: differences up to N raw counts count as equal\n"
    "\n"
    "Settings (a flag wins over the file):\n"
    "  --ini TAVO.INI     clock, trigger and display settings from this Tavo.ini;\n"
    "                     without it the Tavo.ini beside tavo-rec is used when there\n"
    "                     is one. Without either, csv takes TAVO's default clock, and\n"
    "                     the other commands the settings of the Tavo.ini TAVO\n"
    "                     ships; a line on standard error says so.\n"
    "  --clock US         sample period in microseconds, as the Settings dialog\n"
    "                     shows it (e.g. 125; one decimal allowed)\n"
    "  --channel NAME     trigger channel: K1..K6, KU, KI, RA..RE\n"
    "  --mode RISE|FALL   trigger direction\n"
    "  --threshold N      trigger level in raw counts (full scale 2048)\n"
    "  --pre N, --post N  samples before and after a trigger (PreEvent, PostEvent)\n"
    "\n"
    "Exit codes:\n"
    "  0  done; diff: the same parameters and samples; check: every file passed\n"
    "  1  wrong command line\n"
    "  2  the Tavo.ini cannot be read, or TAVO would refuse it\n"
    "  3  a file is missing or cannot be read\n"
    "  4  not a record file (the name does not end in .rec or .dat)\n"
    "  5  too short (a .rec below 68 bytes, a .dat below 4)\n"
    "  6  too large (8650752 bytes or more)\n"
    "  7  a .rec that does not start with TAVO\n"
    "  8  no sample in the file (no letter G)\n"
    "  9  the output cannot be written\n"
    " 10  diff: the files differ in their parameters or samples; check: a file\n"
    "     failed\n"
    " 11  plot, diff, check: TAVO shows no trigger N of the file (check: of the\n"
    "     reference)\n"
    "With several files, info, check and table report every file they can and\n"
    "end with the code of the first one that could not be read.\n";

// The clocks of the Settings dialog lie far inside these.
constexpr ClockTenths LowestSensibleClock = 10;       // 1 µs
constexpr ClockTenths HighestSensibleClock = 100000;  // 10 ms

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

// The largest difference of two raw values.
constexpr uint32_t LargestBand = 65535;

// "40" or "KI=60,KU=30".
bool TakeBand(BandFlags& band, const std::string& text) {
    if (const auto every = CountValue(text, 0, LargestBand)) {
        band.Every = every;
        return true;
    }
    size_t start = 0;
    do {
        const size_t end = std::min(text.find(',', start), text.size());
        const std::string part = text.substr(start, end - start);
        const size_t equals = part.find('=');
        if (equals == std::string::npos) return false;
        const int32_t id = ChannelIdFromName(Widened(part.substr(0, equals)).c_str());
        const auto counts = CountValue(part.substr(equals + 1), 0, LargestBand);
        if (id == 0 || !counts) return false;
        band.Channels[id] = *counts;
        start = end + 1;
    } while (start <= text.size());
    return true;
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

// A clock far from any the controller runs at is taken, but said.
void WarnOfClock(Options& options, const std::string& text) {
    const ClockTenths clock = *options.Clock;
    if (clock >= LowestSensibleClock && clock <= HighestSensibleClock) return;
    options.Warnings.push_back("warning: --clock " + text + ": " + ClockText(clock) +
                               (clock < LowestSensibleClock ? " is below 1 \xC2\xB5s" : " is above 10 ms") +
                               " (the Settings dialog offers 125 to 500 \xC2\xB5s); the times follow it all the same");
}

std::optional<Failure> TakeValue(Options& options, const std::string& flag, const std::string& value) {
    const std::string wrong = flag + " " + value + ": ";
    if (flag == "--ini") {
        options.Ini = value;
    } else if (flag == "-o" || flag == "--output") {
        options.Output = value;
    } else if (flag == "--reference") {
        options.Reference = value;
    } else if (flag == "--clock") {
        if (!(options.Clock = ClockFromMicrosecondsText(value)))
            return Failure{ExitUsage, wrong + "not a sample period in microseconds (e.g. 125 or 133.3)"};
        WarnOfClock(options, value);
    } else if (flag == "--trigger") {
        if (!(options.ShowTrigger = CountValue(value, 1, UINT32_MAX)))
            return Failure{ExitUsage, wrong + "not a trigger number (1, 2, ...)"};
    } else if (flag == "--size") {
        if (!(options.Size = SizeValue(value)))
            return Failure{ExitUsage, wrong + "not a size in pixels such as 1280x1024 (1 to 10000 each)"};
    } else if (flag == "--tolerance") {
        if (!(options.Tolerance = CountValue(value, 0, LargestBand)))
            return Failure{ExitUsage, wrong + "not a number of raw counts from 0 to 65535"};
    } else if (flag == "--band") {
        if (!TakeBand(options.Band, value))
            return Failure{ExitUsage, wrong + "not a band in raw counts such as 40 or KI=60,KU=30 (0 to 65535)"};
    } else {
        return TakeTriggerValue(options.Trigger, flag, value, wrong);
    }
    return std::nullopt;
}

bool TakesValue(const std::string& flag) {
    for (const char* name : {"--ini", "-o", "--output", "--clock", "--channel", "--mode", "--threshold", "--pre",
                             "--post", "--trigger", "--size", "--tolerance", "--band", "--reference"})
        if (flag == name) return true;
    return false;
}

// "--ini" or "-o", not "-" (standard output) nor "-100".
bool LooksLikeOption(const std::string& value) {
    return value.size() >= 2 && value[0] == '-' && (value[1] == '-' || (value[1] >= 'a' && value[1] <= 'z') ||
                                                    (value[1] >= 'A' && value[1] <= 'Z'));
}

bool EndsInSvg(const std::string& name) {
    if (name.size() < 4) return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".svg";
}

struct Belongs {
    const char* Flag;
    bool Given;
    const char* Commands;
};

// The option a command does not take, if one was given.
std::optional<Failure> ForeignOption(const Options& options) {
    const Belongs belongs[] = {
        {"-o", options.Output.has_value(), "csv plot check table"},
        {"--levels", options.Levels, "csv"},
        {"--german", options.German, "csv table check"},
        {"--trigger", options.ShowTrigger.has_value(), "plot diff check"},
        {"--all", options.All, "plot check"},
        {"--size", options.Size.has_value(), "plot"},
        {"--reference", options.Reference.has_value(), "plot"},
        {"--band", options.Band.Any(), "plot check"},
        {"--tolerance", options.Tolerance.has_value(), "diff"},
        {"--csv", options.Csv, "check"},
        {"--no-caption", options.NoCaption, "plot"},
        {"--parameters", options.Parameters, "plot"},
    };
    for (const Belongs& option : belongs)
        if (option.Given && std::string(option.Commands).find(options.Command) == std::string::npos)
            return Failure{ExitUsage, options.Command + " does not take " + option.Flag + " (see tavo-rec --help)"};
    return std::nullopt;
}

// Options that go only together, or not together.
std::optional<Failure> Combinations(const Options& options) {
    const std::string& command = options.Command;
    if (options.All && options.ShowTrigger)
        return Failure{ExitUsage, command + " takes --trigger N or --all, not both"};
    if (command == "plot") {
        if (options.Output && *options.Output != "-" && !EndsInSvg(*options.Output))
            return Failure{ExitUsage, "-o " + *options.Output + ": plot writes SVG pictures only: a name ending in .svg"};
        if (options.All && options.Output == "-") return Failure{ExitUsage, "--all writes files: -o - is for one picture"};
        if (options.Band.Any() != options.Reference.has_value())
            return Failure{ExitUsage, "plot takes --reference REF and --band BAND together"};
        if (options.NoCaption && options.Parameters)
            return Failure{ExitUsage, "--parameters puts the parameter block into the caption: not with --no-caption"};
    }
    if (command == "check" && !options.Band.Any())
        return Failure{ExitUsage, "check needs --band: how many raw counts a weld may lie off the reference"};
    if (command == "check" && options.German && !options.Csv)
        return Failure{ExitUsage, "check takes --german with --csv"};
    return std::nullopt;
}

std::optional<Failure> CheckCommand(const Options& options) {
    const std::string& command = options.Command;
    static const char* const Commands[] = {"info", "csv", "plot", "diff", "check", "table"};
    if (std::find(std::begin(Commands), std::end(Commands), command) == std::end(Commands))
        return Failure{ExitUsage, (command.empty() ? "no command" : "unknown command " + command) +
                                      ": info, csv, plot, diff, check or table (see tavo-rec --help)"};
    if (options.Files.empty()) return Failure{ExitUsage, command + " needs a record file"};
    if (auto failure = ForeignOption(options)) return failure;
    if (auto failure = Combinations(options)) return failure;
    if ((command == "csv" || command == "plot") && options.Files.size() > 1)
        return Failure{ExitUsage, command + " takes one record file"};
    if (command == "diff" && options.Files.size() != 2) return Failure{ExitUsage, "diff takes two record files"};
    if (command == "check" && options.Files.size() < 2)
        return Failure{ExitUsage, "check takes the reference and at least one record file"};
    return std::nullopt;
}

bool TakeSwitch(Options& options, const std::string& argument) {
    struct Switch {
        const char* Name;
        bool Options::*Field;
    };
    static const Switch switches[] = {
        {"--help", &Options::Help},      {"-h", &Options::Help},         {"--version", &Options::Version},
        {"--levels", &Options::Levels},  {"--german", &Options::German}, {"--all", &Options::All},
        {"--csv", &Options::Csv},        {"--no-caption", &Options::NoCaption},
        {"--parameters", &Options::Parameters},
    };
    for (const Switch& s : switches)
        if (argument == s.Name) return options.*s.Field = true;
    return false;
}

}  // namespace

std::optional<uint32_t> BandFlags::For(int32_t id) const {
    const auto channel = Channels.find(id);
    if (channel != Channels.end()) return channel->second;
    return Every;
}

const char* UsageText() { return Usage; }

std::optional<Failure> ParseArguments(const std::vector<std::string>& arguments, Options& options) {
    bool filesOnly = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (filesOnly || argument.size() < 2 || argument[0] != '-') {
            if (options.Command.empty()) options.Command = argument;
            else options.Files.push_back(argument);
        } else if (argument == "--") {
            filesOnly = true;
        } else if (TakeSwitch(options, argument)) {
            continue;
        } else if (TakesValue(argument)) {
            if (i + 1 == arguments.size()) return Failure{ExitUsage, argument + " needs a value"};
            // "-o --ini X" lost the output's name: --ini is no file to write.
            if (LooksLikeOption(arguments[i + 1]))
                return Failure{ExitUsage, argument + " needs a value, not the option " + arguments[i + 1]};
            if (auto failure = TakeValue(options, argument, arguments[++i])) return failure;
        } else {
            return Failure{ExitUsage, "unknown option " + argument + " (see tavo-rec --help)"};
        }
    }
    if (options.Help || options.Version) return std::nullopt;
    return CheckCommand(options);
}
