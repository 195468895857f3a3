#include "tavo-rec/Inputs.h"

#include "tavo-rec/Command.h"
#include "tavo-rec/FileIo.h"

namespace {

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

}  // namespace

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::optional<Failure> Examine(const std::string& name, RecordImage& image, RecordReport& report) {
    image.Kind = RecordKindOf(Widened(name).c_str());
    std::string why;
    if (!ReadRecordFile(PathFromArgument(name), image, &why))
        return Failure{static_cast<int>(RecordProblem::Unreadable), name + ": cannot be read: " + why};
    report = ExamineRecord(image);
    if (report.Problem == RecordProblem::None) return std::nullopt;
    return Failure{static_cast<int>(report.Problem), name + ": " + ProblemText(report.Problem, image)};
}

int ForEachRecord(const std::vector<std::string>& names, RecordImage& image, ByteSink& err,
                  const std::function<bool(const std::string& name, const RecordReport& report)>& each) {
    int code = ExitOk;
    for (const std::string& name : names) {
        RecordReport report;
        if (auto failure = Examine(name, image, report)) {
            Report(err, *failure);
            if (code == ExitOk) code = failure->Code;
        } else if (!each(name, report)) {
            break;
        }
    }
    return code;
}

void NoteShipped(const RecSettings& settings, const char* what, ByteSink& err) {
    if (settings.Shipped)
        Note(err, std::string("no Tavo.ini given or beside tavo-rec: ") + what + " as in the Tavo.ini TAVO ships");
}

int WriteWhole(const std::optional<std::string>& output, const std::string& text, ByteSink& out, ByteSink& err) {
    if (!output) return out.Write(text.data(), text.size()) ? ExitOk : ExitOutput;
    OutputFile file(PathFromArgument(*output));
    std::string why;
    // A failed write is remembered by the file, and the commit then gives its reason.
    bool written = file.Open(&why);
    if (written) {
        file.Write(text.data(), text.size());
        written = file.Commit(&why);
    }
    return written ? ExitOk : Fail(err, {ExitOutput, *output + ": cannot be written: " + why});
}

std::optional<Failure> NamesARecord(const std::optional<std::string>& output, const std::vector<std::string>& records) {
    if (!output || *output == "-") return std::nullopt;
    const auto path = PathFromArgument(*output);
    for (const std::string& record : records)
        if (SameFile(PathFromArgument(record), path)) return Failure{ExitUsage, "-o names the record file " + record};
    return std::nullopt;
}

int Fail(ByteSink& err, const Failure& failure) {
    Report(err, failure);
    return failure.Code;
}

void Report(ByteSink& err, const Failure& failure) { Note(err, failure.Text); }

void Note(ByteSink& err, const std::string& text) {
    const std::string line = "tavo-rec: " + text + "\n";
    err.Write(line.data(), line.size());
}
