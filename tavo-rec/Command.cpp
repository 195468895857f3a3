#include "tavo-rec/Command.h"

#include <set>

#include "settings/ChannelTable.h"
#include "tavo-rec/BuildFacts.h"
#include "tavo-rec/CommandLine.h"
#include "tavo-rec/FileIo.h"
#include "tavo-rec/InfoText.h"
#include "tavo-rec/Inputs.h"
#include "tavo-rec/ParameterText.h"
#include "tavo-rec/ViewCommands.h"
#include "tavo-rec/WeldCommands.h"

namespace fs = std::filesystem;

namespace {

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

// Without a Tavo.ini, the commands that show views see what a new
// installation of TAVO shows; diff needs only the clock and the trigger.
bool TakesShippedSettings(const Options& options) {
    if (options.Command == "diff") return !options.Trigger.All() || !options.Clock;
    return options.Command != "info" && options.Command != "csv";
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
    RecordImage image;
    bool first = true, written = true;
    const int code = ForEachRecord(options.Files, image, err, [&](const std::string& name, const RecordReport& report) {
        const std::string text = (first ? "" : "\n") + InfoText(name, image, report, settings);
        first = false;
        // Standard output's failure is reported at the end.
        return written = out.Write(text.data(), text.size());
    });
    return written ? code : ExitOutput;
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
    if (!options.Output) return WriteCsv(report, csv, out) ? ExitOk : ExitOutput;
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

// Every shown channel needs its band; a band for a channel that is not
// shown holds nothing.
std::optional<Failure> ResolveBands(const Options& options, const Settings& display, ChannelBands* bands,
                                    ByteSink& err) {
    const int shown = DisplayedChannelCount(display);
    if (shown == 0) return Failure{ExitUsage, "no channel is shown (NoChannels 0): nothing to hold against a band"};
    for (int j = 0; j < shown; ++j) {
        const int32_t id = display.ChannelTable[j].Id;
        if (id < 1 || id > ChannelCount) continue;
        const std::string name = Utf8(ChannelName(id));
        if (!((*bands)[static_cast<size_t>(id)] = options.Band.For(id)))
            return Failure{ExitUsage, "no band for " + name + ", a shown channel: give --band N or --band " + name + "=N"};
    }
    for (const auto& [id, band] : options.Band.Channels)
        if (!(*bands)[static_cast<size_t>(id)])
            Note(err, "--band " + Utf8(ChannelName(id)) + "=" + std::to_string(band) + ": " +
                          Utf8(ChannelName(id)) + " is not a shown channel, so it is not held against its band");
    return std::nullopt;
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
    request.Caption = !options.NoCaption;
    request.Parameters = options.Parameters;
    request.Reference = options.Reference;
    if (options.Reference)
        if (auto failure = ResolveBands(options, *settings.Display, &request.Bands, err)) return Fail(err, *failure);
    return RunPlot(request, settings, out, err);
}

// Folders stand for the record files in them; a folder without one is a
// failure of its own.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& arguments, ByteSink& err, int* code) {
    std::vector<std::string> files;
    for (const std::string& argument : arguments) {
        if (!IsFolder(PathFromArgument(argument))) {
            files.push_back(argument);
            continue;
        }
        std::string why;
        const size_t before = files.size();
        if (RecordFilesIn(PathFromArgument(argument), &files, &why) && files.size() == before)
            why = "holds no .rec or .dat file";
        if (files.size() > before) continue;
        Report(err, {ExitUnreadable, argument + ": " + why});
        if (*code == ExitOk) *code = ExitUnreadable;
    }
    return files;
}

// A run's code: the first file's problem wins over the command's own result.
int FirstProblem(int problem, int code) { return problem != ExitOk && code != ExitOutput ? problem : code; }

int RunCheckCommand(const Options& options, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    CheckRequest request;
    request.Reference = options.Files.front();
    int problem = ExitOk;
    request.Files = ExpandFolders({options.Files.begin() + 1, options.Files.end()}, err, &problem);
    request.Trigger = options.ShowTrigger;
    request.All = options.All;
    request.Csv = options.Csv;
    request.German = options.German;
    request.Output = options.Output;
    if (auto failure = ResolveBands(options, *settings.Display, &request.Bands, err)) return Fail(err, *failure);
    return FirstProblem(problem, RunCheck(request, settings, out, err));
}

int RunTableCommand(const Options& options, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    TableRequest request;
    int problem = ExitOk;
    request.Files = ExpandFolders(options.Files, err, &problem);
    request.German = options.German;
    request.Output = options.Output;
    return FirstProblem(problem, RunTable(request, settings, out, err));
}

int RunCommand(const Options& options, const RecSettings& settings, const std::string& iniName, ByteSink& out,
               ByteSink& err) {
    const std::string& command = options.Command;
    if (command == "info") return RunInfo(options, settings, out, err);
    if (command == "csv") return RunCsv(options, settings, iniName, out, err);
    if (command == "plot") return RunPlotCommand(options, settings, out, err);
    if (command == "check") return RunCheckCommand(options, settings, out, err);
    if (command == "table") return RunTableCommand(options, settings, out, err);
    return RunDiff({options.Files[0], options.Files[1], options.ShowTrigger, options.Tolerance.value_or(0)}, settings,
                   out, err);
}

// Standard output as the commands see it: the first failed write is
// remembered, so that it is reported once, whatever the command's result.
class WatchedOutput final : public ByteSink {
public:
    explicit WatchedOutput(ByteSink& out) : out_(out) {}
    bool Write(const char* data, size_t size) override {
        failed_ = failed_ || !out_.Write(data, size);
        return !failed_;
    }
    bool Finish() override {
        failed_ = !out_.Finish() || failed_;
        return !failed_;
    }
    std::string FailureReason() const override { return out_.FailureReason(); }

private:
    ByteSink& out_;
    bool failed_ = false;
};

// Standard error that says each line once: the same file named twice, or
// the same trigger missing in both files of a diff, is one error.
class OnceOnly final : public ByteSink {
public:
    explicit OnceOnly(ByteSink& err) : err_(err) {}
    bool Write(const char* data, size_t size) override {
        if (!said_.insert(std::string(data, size)).second) return true;
        return err_.Write(data, size);
    }
    bool Finish() override { return err_.Finish(); }

private:
    ByteSink& err_;
    std::set<std::string> said_;
};


int RunParsed(const std::vector<std::string>& arguments, const fs::path& programDirectory, ByteSink& out,
              ByteSink& err) {
    Options options;
    if (auto failure = ParseArguments(arguments, options)) return Fail(err, *failure);
    if (options.Help || options.Version) {
        const std::string text = options.Help ? UsageText() : std::string("tavo-rec ") + TavoRecVersion + "\n";
        out.Write(text.data(), text.size());
        return ExitOk;
    }
    for (const std::string& warning : options.Warnings) Note(err, warning);
    RecSettings settings;
    std::string iniName;
    if (auto failure = LoadRecSettings(options, programDirectory, settings, &iniName)) return Fail(err, *failure);
    return RunCommand(options, settings, iniName, out, err);
}

}  // namespace

int RunTavoRec(const std::vector<std::string>& arguments, const fs::path& programDirectory, ByteSink& out,
               ByteSink& err) {
    WatchedOutput watched(out);
    OnceOnly errors(err);
    const int code = RunParsed(arguments, programDirectory, watched, errors);
    if (watched.Finish()) return code;
    const std::string why = watched.FailureReason();
    Report(errors, {ExitOutput, "standard output cannot be written" + (why.empty() ? "" : ": " + why)});
    return ExitOutput;
}
