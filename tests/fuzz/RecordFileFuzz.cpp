// Record files as the program loads them: the kind comes from the first
// input byte, the rest is the file. A loadable file is taken over into a
// record buffer and decoded, exactly as after a load.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "editors/ParameterBlock.h"
#include "records/RecordFile.h"
#include "scope/Decoding.h"
#include "settings/ChannelTable.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RecordStore record;
    static uint8_t* buffer = static_cast<uint8_t*>(std::malloc(RecordBufferSize));
    static ParameterBlock block;
    static Decoder decoder;
    if (size < 1) return 0;
    record.Buffer = buffer;
    const RecordKind kind = data[0] % 3 == 0 ? RecordKind::Rec : data[0] % 3 == 1 ? RecordKind::Dat : RecordKind::Other;
    const uint8_t* file = data + 1;
    const uint64_t fileSize = size - 1;

    const ParameterBytes before = block.Read();
    const RecordFileContents contents = ParseRecordFile(kind, file, fileSize);
    Check(!contents.Loadable || RecordFileSizeAcceptable(kind, fileSize));
    if (!contents.Loadable) return 0;
    Check(contents.Samples >= file && contents.Samples + contents.SampleBytes == file + fileSize);
    Check((contents.Parameters != nullptr) == (kind == RecordKind::Rec));

    ApplyRecordFile(contents, record, block);
    Check(record.Length == contents.SampleBytes);
    Check(std::memcmp(record.Buffer, contents.Samples, contents.SampleBytes) == 0);
    if (contents.Parameters) Check(block.Equals(contents.Parameters));
    else Check(block.Read() == before);

    TriggerParams params;
    params.TriggerChannel = 8;
    params.PreEvent = 5;
    params.PostEvent = 5;
    params.TriggerMode = data[0] & 4 ? TriggerRise : TriggerFall;
    decoder.Decode(record, params);
    const DecodingState state = decoder.Snapshot();
    if (state.SampleCount > 0) {
        Check(state.SampleStart >= record.Buffer);
        Check(state.SampleStart + uint64_t{state.SampleCount} * SampleSize <= record.Buffer + RecordBufferSize);
    }
    while (decoder.StepNext(params)) {
    }
    return 0;
}
