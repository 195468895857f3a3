#include "tavo-rec/RecordImage.h"

#include <algorithm>
#include <cstring>

#include "scope/Decoding.h"

namespace {

RecordProblem JudgeFile(const RecordImage& image, RecordFileContents* contents) {
    if (image.Kind == RecordKind::Other) return RecordProblem::Foreign;
    if (image.Size >= RecordFileLimit) return RecordProblem::Oversized;
    if (!RecordFileSizeAcceptable(image.Kind, image.Size)) return RecordProblem::Short;
    *contents = ParseRecordFile(image.Kind, image.Bytes.get(), image.Size);
    // The size is acceptable, so only the magic can have failed.
    return contents->Loadable ? RecordProblem::None : RecordProblem::WrongMagic;
}

// Where the run stops: at a sample that breaks it, or at the end of the file.
void FindRunEnd(const uint8_t* samples, uint32_t length, SampleRun& run) {
    const uint32_t aligned = static_cast<uint32_t>(run.First - samples);
    const uint32_t inBuffer = (length - aligned) / SampleSize;
    if (run.Samples < inBuffer) {
        const uint8_t* breaking = run.First + size_t{run.Samples} * SampleSize;
        run.EndOffset = run.FirstOffset + uint64_t{run.Samples} * SampleSize;
        run.End = breaking[0] != SampleMarker ? RunEnd::NoMarker : RunEnd::CounterJump;
        run.CounterBefore = LoadUInt16(breaking - SampleSize + CounterOffset);
        run.CounterFound = LoadUInt16(breaking + CounterOffset);
        return;
    }
    run.End = RunEnd::FileEnd;
    run.EndOffset = run.FirstOffset + uint64_t{run.Whole} * SampleSize;
    run.Leftover = length - run.Junk - run.Whole * SampleSize;
}

}  // namespace

RecordReport ExamineRecord(RecordImage& image) {
    RecordReport report;
    RecordFileContents contents;
    report.Problem = JudgeFile(image, &contents);
    if (report.Problem != RecordProblem::None) return report;
    report.Parameters = contents.Parameters;

    uint8_t* const bytes = image.Bytes.get();
    uint8_t* const samples = bytes + (contents.Samples - bytes);
    const uint32_t length = contents.SampleBytes;
    report.Stream = samples;
    report.StreamLength = length;
    // Behind the file lies what a fresh record buffer holds: an incomplete
    // first sample reads it, as in TAVO.
    const uint64_t padEnd = std::min(image.Size + SampleSize, RecordImageCapacity);
    std::fill(bytes + image.Size, bytes + padEnd, RecordBufferFill);

    const void* marker = length >= 2 ? std::memchr(samples, SampleMarker, length - 1) : nullptr;
    SampleRun& run = report.Run;
    if (!marker ||
        !FindSampleRun(samples, length, RecordBufferSize, &run.First, &run.Samples)) {
        report.Problem = RecordProblem::NoMarker;
        return report;
    }
    run.Junk = static_cast<uint32_t>(static_cast<const uint8_t*>(marker) - samples);
    run.FirstOffset = (samples - bytes) + uint64_t{run.Junk};
    const uint32_t fromMarker = length - run.Junk;
    run.Whole = std::min(run.Samples, fromMarker / SampleSize);
    run.FirstCounterInFile = fromMarker >= CounterOffset + 2;
    run.FirstCounter = LoadUInt16(run.First + CounterOffset);
    FindRunEnd(samples, length, run);
    return report;
}
