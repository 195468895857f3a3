// The record file formats: ".rec" (the magic "TAVO", the 64-byte parameter
// block, then the samples) and ".dat" (a raw recording stream).
#pragma once

#include <array>
#include <cstdint>

#include "editors/ParameterBlock.h"
#include "scope/RecordBuffer.h"

constexpr uint8_t RecordMagic[4] = {'T', 'A', 'V', 'O'};
constexpr uint32_t RecordHeaderSize = 4 + ParameterBlockSize;  // 68
// Files of the record buffer's size or larger are not loaded.
constexpr uint32_t RecordFileLimit = RecordBufferSize;
constexpr uint32_t DatMinimumSize = 4;

enum class RecordKind { Other, Rec, Dat };

// By the text after the last '.' of the path, compared case-sensitively.
RecordKind RecordKindOf(const wchar_t* path);
// The name shown in the title: the part after the last '\', or the whole path.
const wchar_t* RecordFileName(const wchar_t* path);

// What a file of the given kind and size holds, judged before anything is
// taken over: a loadable file gives its samples and, for ".rec", its block.
struct RecordFileContents {
    bool Loadable = false;
    const uint8_t* Parameters = nullptr;  // 64 bytes, ".rec" only
    const uint8_t* Samples = nullptr;
    uint32_t SampleBytes = 0;
};

// Whether a file of `size` bytes of this kind can be loaded at all.
bool RecordFileSizeAcceptable(RecordKind kind, uint64_t size);
RecordFileContents ParseRecordFile(RecordKind kind, const uint8_t* data, uint64_t size);

// Takes a loadable file over: its block (".rec") replaces `block`, its
// samples fill the record buffer from the start and set its length. The
// record must have its buffer; the caller holds its lock.
void ApplyRecordFile(const RecordFileContents& contents, RecordStore& record, ParameterBlock& block);

std::array<uint8_t, RecordHeaderSize> RecordFileHeader(const ParameterBytes& block);

// "Record 2013 05 07 09 05 03.rec": the name offered when saving.
void DefaultRecordFileName(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                           unsigned second, wchar_t* name, int capacity);
