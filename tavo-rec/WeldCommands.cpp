#include "tavo-rec/WeldCommands.h"

#include "tavo-rec/Command.h"
#include "tavo-rec/FileIo.h"
#include "tavo-rec/Inputs.h"
#include "tavo-rec/RecordViews.h"
#include "tavo-rec/WeldCheck.h"
#include "tavo-rec/WeldTable.h"

namespace {

// The reference's views to hold the welds against: its first trigger's, the
// one asked for, or every one. A reference without the trigger checks nothing.
std::optional<Failure> ReferenceViews(const CheckRequest& request, RecordViews& views,
                                      std::vector<DecodingState>* reference) {
    const uint32_t wanted = request.Trigger.value_or(1);
    if (!views.GoTo(wanted)) {
        const uint32_t last = views.Shown().CurrentTrigger;
        return Failure{ExitNoTrigger, request.Reference + ": no trigger " + std::to_string(wanted) + ": TAVO shows " +
                                          (last == 0 ? std::string("no trigger of the reference")
                                                     : "triggers 1 to " + std::to_string(last) + " of the reference") +
                                          ", so no weld can be held against it"};
    }
    *reference = request.All ? EveryView(views) : std::vector<DecodingState>{views.Shown()};
    return std::nullopt;
}

}  // namespace

int RunCheck(const CheckRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    std::vector<std::string> records = request.Files;
    records.push_back(request.Reference);
    if (auto failure = NamesARecord(request.Output, records)) return Fail(err, *failure);
    RecordImage referenceImage;
    RecordReport referenceReport;
    if (auto failure = Examine(request.Reference, referenceImage, referenceReport)) return Fail(err, *failure);
    const TriggerParams& trigger = *settings.Trigger;
    RecordViews referenceViews(referenceReport, trigger);
    std::vector<DecodingState> reference;
    if (auto failure = ReferenceViews(request, referenceViews, &reference)) return Fail(err, *failure);
    NoteShipped(settings, "the shown channels, the clock and the trigger", err);

    const char separator = request.German ? ';' : ',';
    std::string text = request.Csv ? VerdictHeader(separator) : "";
    bool failed = false;
    RecordImage image;
    const int problem = ForEachRecord(request.Files, image, err, [&](const std::string& name, const RecordReport& report) {
        RecordViews views(report, trigger);
        const WeldVerdict verdict = CheckWeld(reference, views, request.All, *settings.Display, request.Bands);
        failed = failed || verdict.Outcome != CheckOutcome::Pass;
        text += request.Csv ? VerdictRow(name, verdict, settings.Clock, trigger, separator, request.German ? ',' : '.')
                            : VerdictLine(name, verdict, settings.Clock, trigger);
        return true;
    });
    if (const int code = WriteWhole(request.Output, text, out, err); code != ExitOk) return code;
    return problem != ExitOk ? problem : failed ? ExitDiffer : ExitOk;
}

int RunTable(const TableRequest& request, const RecSettings& settings, ByteSink& out, ByteSink& err) {
    const TableFormat format{*settings.Display, *settings.Trigger, request.German ? ';' : ',',
                             request.German ? ',' : '.'};
    if (auto failure = NamesARecord(request.Output, request.Files)) return Fail(err, *failure);
    std::string table = TableHeader(format);
    // One image for all files: a thousand welds read into the same buffer.
    RecordImage image;
    const int problem = ForEachRecord(request.Files, image, err, [&](const std::string& name, const RecordReport& report) {
        RecordViews views(report, *settings.Trigger);
        AppendTableRows(name, FileDate(PathFromArgument(name)), report, views, format, table);
        return true;
    });
    NoteShipped(settings, "the shown channels and the trigger", err);
    if (const int code = WriteWhole(request.Output, table, out, err); code != ExitOk) return code;
    return problem;
}
