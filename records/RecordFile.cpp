#include "records/RecordFile.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

RecordKind RecordKindOf(const wchar_t* path) {
    const wchar_t* dot = std::wcsrchr(path, L'.');
    if (!dot) return RecordKind::Other;
    if (std::wcscmp(dot + 1, L"rec") == 0) return RecordKind::Rec;
    if (std::wcscmp(dot + 1, L"dat") == 0) return RecordKind::Dat;
    return RecordKind::Other;
}

const wchar_t* RecordFileName(const wchar_t* path) {
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

bool RecordFileSizeAcceptable(RecordKind kind, uint64_t size) {
    switch (kind) {
        // A ".rec" shorter than its header would leave the block half read.
        case RecordKind::Rec: return size >= RecordHeaderSize && size < RecordFileLimit;
        case RecordKind::Dat: return size >= DatMinimumSize && size < RecordFileLimit;
        default: return false;
    }
}

RecordFileContents ParseRecordFile(RecordKind kind, const uint8_t* data, uint64_t size) {
    RecordFileContents contents;
    if (!RecordFileSizeAcceptable(kind, size)) return contents;
    if (kind == RecordKind::Dat) {
        contents = {true, nullptr, data, static_cast<uint32_t>(size)};
    } else if (std::memcmp(data, RecordMagic, sizeof(RecordMagic)) == 0) {
        contents = {true, data + sizeof(RecordMagic), data + RecordHeaderSize,
                    static_cast<uint32_t>(size - RecordHeaderSize)};
    }
    return contents;
}

void ApplyRecordFile(const RecordFileContents& contents, RecordStore& record, ParameterBlock& block) {
    if (!contents.Loadable || !record.Buffer || contents.SampleBytes >= RecordBufferSize) return;
    if (contents.Parameters) {
        ParameterBytes bytes;
        std::copy_n(contents.Parameters, ParameterBlockSize, bytes.begin());
        block.Replace(bytes);
    }
    std::memcpy(record.Buffer, contents.Samples, contents.SampleBytes);
    record.Length = contents.SampleBytes;
}

std::array<uint8_t, RecordHeaderSize> RecordFileHeader(const ParameterBytes& block) {
    std::array<uint8_t, RecordHeaderSize> header{};
    std::copy(std::begin(RecordMagic), std::end(RecordMagic), header.begin());
    std::copy(block.begin(), block.end(), header.begin() + sizeof(RecordMagic));
    return header;
}

void DefaultRecordFileName(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                           unsigned second, wchar_t* name, int capacity) {
    std::swprintf(name, capacity, L"Record %4u %02u %02u %02u %02u %02u.rec", year, month, day, hour, minute,
                  second);
}
