// A record file as TAVO loads it: the file's bytes, judged by the program's
// own record-file rules, and the run of samples that its decoding finds.
#pragma once

#include <cstdint>
#include <memory>

#include "records/RecordFile.h"

// Room for the largest loadable file and, behind the samples of a ".rec",
// a whole record buffer, so the run is found exactly as in TAVO's buffer.
constexpr uint64_t RecordImageCapacity = uint64_t{RecordHeaderSize} + RecordBufferSize;

struct RecordImage {
    RecordKind Kind = RecordKind::Other;
    uint64_t Size = 0;  // the file's size; the bytes are read only when it is below RecordFileLimit
    std::unique_ptr<uint8_t[]> Bytes{new uint8_t[RecordImageCapacity]};
};

// Why TAVO would not show a file. The values are tavo-rec's exit codes.
enum class RecordProblem : int {
    None = 0,
    Unreadable = 3,  // missing, or cannot be read
    Foreign = 4,     // neither ".rec" nor ".dat"
    Short = 5,       // below the kind's minimum size
    Oversized = 6,   // the record buffer's size or more
    WrongMagic = 7,  // a ".rec" that does not start with "TAVO"
    NoMarker = 8,    // no sample start (the letter G) anywhere
};

// Where and why the run of consecutive samples ends.
enum class RunEnd { FileEnd, NoMarker, CounterJump };

struct SampleRun {
    const uint8_t* First = nullptr;  // the first sample, aligned as decoding leaves it
    uint64_t FirstOffset = 0;        // its byte in the file
    uint32_t Junk = 0;               // bytes before it in the stream (an odd count is shifted away)
    uint32_t Samples = 0;            // the run as TAVO counts it (the first sample always counts)
    uint32_t Whole = 0;              // of these, the samples whose 32 bytes all lie in the file
    bool FirstCounterInFile = false;
    uint16_t FirstCounter = 0;
    RunEnd End = RunEnd::FileEnd;
    uint64_t EndOffset = 0;          // byte in the file where the breaking sample or the leftover starts
    uint16_t CounterBefore = 0;      // CounterJump: the last counter of the run ...
    uint16_t CounterFound = 0;       // ... and the one that does not follow it
    uint32_t Leftover = 0;           // FileEnd: bytes after the last whole sample
};

struct RecordReport {
    RecordProblem Problem = RecordProblem::None;
    const uint8_t* Parameters = nullptr;  // ".rec": the stored 64-byte block
    // What TAVO puts into its record buffer: the bytes after a ".rec"'s
    // header, a ".dat" whole. Room for a whole buffer lies behind it.
    uint8_t* Stream = nullptr;
    uint32_t StreamLength = 0;
    SampleRun Run;
};

// Judges the image (Kind, Size, and the file's bytes when Size is below
// RecordFileLimit) and finds its sample run. Decoding may move the sample
// bytes down by one (an odd first marker), so the image is changed.
RecordReport ExamineRecord(RecordImage& image);
