#include "editors/ParameterBlock.h"

#include <cstring>
#include <utility>

namespace {

using enum FieldType;

constexpr ParameterField Field(const wchar_t* label, const wchar_t* group, uint8_t offset, FieldType type,
                               int k, int upperTextId) {
    const int32_t minimum = type == Signed16 ? -32768 : 0;
    const int32_t maximum = type == Signed16 ? 32767 : type == Unsigned16 ? 65535 : 255;
    return {label, group, offset, type, minimum, maximum, 10001 + k, 11001 + k, upperTextId, upperTextId + 1};
}

// The usual ids of field k: edit 10001 + k, spin 11001 + k, limit texts 12001 + 2k and 12002 + 2k.
constexpr ParameterField Field(const wchar_t* label, const wchar_t* group, uint8_t offset, FieldType type,
                               int k) {
    return Field(label, group, offset, type, k, 12001 + 2 * k);
}

constexpr ParameterField WithMaximum(ParameterField field, int32_t maximum) {
    field.Maximum = maximum;
    return field;
}

const wchar_t* const Settings = L"Einstellungen";
const wchar_t* const Potentiometer = L"Potentiometer";
const wchar_t* const Offsets = L"Offsets";
const wchar_t* const Dac = L"DAC";
const wchar_t* const Regler = L"Regler";

}  // namespace

const ParameterField ParameterFields[ParameterFieldCount] = {
    Field(L"ID", Settings, 0, Unsigned8, 0),
    WithMaximum(Field(L"SEK", Settings, 1, Unsigned8, 1), 32),
    Field(L"SysTicks/PreView (FT)", Settings, 4, Unsigned16, 2),
    Field(L"SysTick/s (FH)", Settings, 6, Unsigned16, 3),
    Field(L"Weld Code (NA)", Settings, 8, Unsigned16, 4),
    // NP came last: its edit and spin follow the others, its limit texts skip two ids.
    Field(L"Detektor Code (NP)", Settings, 10, Unsigned16, 31, 12065),
    Field(L"TA", Regler, 60, Signed16, 5),
    Field(L"TE", Regler, 62, Signed16, 6),
    Field(L"P 1", Potentiometer, 12, Unsigned16, 7),
    Field(L"P 2", Potentiometer, 14, Unsigned16, 8),
    Field(L"P 3", Potentiometer, 16, Unsigned16, 9),
    Field(L"P 4", Potentiometer, 18, Unsigned16, 10),
    Field(L"P 5", Potentiometer, 20, Unsigned16, 11),
    Field(L"P 6", Potentiometer, 22, Unsigned16, 12),
    Field(L"P U", Potentiometer, 24, Unsigned16, 13),
    Field(L"P I", Potentiometer, 26, Unsigned16, 14),
    Field(L"O 1", Offsets, 28, Signed16, 15),
    Field(L"O 2", Offsets, 30, Signed16, 16),
    Field(L"O 3", Offsets, 32, Signed16, 17),
    Field(L"O 4", Offsets, 34, Signed16, 18),
    Field(L"O 5", Offsets, 36, Signed16, 19),
    Field(L"O 6", Offsets, 38, Signed16, 20),
    Field(L"O U", Offsets, 40, Signed16, 21),
    Field(L"O I", Offsets, 42, Signed16, 22),
    Field(L"VA", Dac, 44, Signed16, 23),
    Field(L"VB", Dac, 46, Signed16, 24),
    Field(L"G 1", Regler, 48, Signed16, 25),
    Field(L"T 1", Regler, 50, Signed16, 26),
    Field(L"G 2", Regler, 52, Signed16, 27),
    Field(L"T 2", Regler, 54, Signed16, 28),
    Field(L"G 3", Regler, 56, Signed16, 29),
    Field(L"T 3", Regler, 58, Signed16, 30),
};

void ParameterBlock::Clear() {
    std::lock_guard guard(lock_);
    bytes_.fill(0);
    source_ = SourceNone;
    sekHeld_ = false;
    releasedSek_ = 0;
}

ParameterBytes ParameterBlock::Read() const {
    std::lock_guard guard(lock_);
    return bytes_;
}

void ParameterBlock::Replace(const uint8_t (&bytes)[ParameterBlockSize]) {
    ParameterBytes copy;
    std::memcpy(copy.data(), bytes, ParameterBlockSize);
    Replace(copy);
}

void ParameterBlock::Replace(const ParameterBytes& bytes) {
    std::lock_guard guard(lock_);
    source_ = SourceOperator;
    bytes_ = bytes;
}

void ParameterBlock::TakeListed(const ParameterBytes& bytes, BlockSource link) {
    std::lock_guard guard(lock_);
    source_ = link;
    bytes_ = bytes;
}

bool ParameterBlock::Equals(const uint8_t* bytes) const {
    std::lock_guard guard(lock_);
    return std::memcmp(bytes_.data(), bytes, ParameterBlockSize) == 0;
}

int32_t ParameterBlock::ReadField(const ParameterField& field) const {
    std::lock_guard guard(lock_);
    const uint8_t* at = bytes_.data() + field.Offset;
    switch (field.Type) {
        case FieldType::Unsigned8: return at[0];
        case FieldType::Unsigned16: return at[0] | at[1] << 8;
        case FieldType::Signed16: return static_cast<int16_t>(at[0] | at[1] << 8);
    }
    return 0;
}

void ParameterBlock::WriteField(const ParameterField& field, int32_t value) {
    std::lock_guard guard(lock_);
    source_ = SourceOperator;
    uint8_t* at = bytes_.data() + field.Offset;
    at[0] = static_cast<uint8_t>(value);
    if (field.Type != FieldType::Unsigned8) at[1] = static_cast<uint8_t>(value >> 8);
}

int16_t ParameterBlock::ReadSigned16(size_t offset) const {
    std::lock_guard guard(lock_);
    return static_cast<int16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

uint8_t ParameterBlock::ReadByte(size_t offset) const {
    std::lock_guard guard(lock_);
    return bytes_[offset];
}

void ParameterBlock::WriteByte(size_t offset, uint8_t value) {
    std::lock_guard guard(lock_);
    source_ = SourceOperator;
    bytes_[offset] = value;
}

void ParameterBlock::WriteFlagWord(uint16_t word) {
    std::lock_guard guard(lock_);
    source_ = SourceOperator;
    bytes_[OffsetAO] = static_cast<uint8_t>(word);
    bytes_[OffsetNE] = static_cast<uint8_t>(word >> 8);
}

bool ParameterBlock::Filled() const {
    std::lock_guard guard(lock_);
    return source_ != SourceNone;
}

BlockSource ParameterBlock::Source() const {
    std::lock_guard guard(lock_);
    return source_;
}

bool ParameterBlock::SekHeldForPreview() const {
    std::lock_guard guard(lock_);
    return sekHeld_;
}

uint8_t ParameterBlock::HoldSekForPreview() {
    std::lock_guard guard(lock_);
    sekHeld_ = true;
    return std::exchange(bytes_[OffsetSEK], uint8_t{0});
}

std::optional<uint8_t> ParameterBlock::TakeSekWrittenWhileHeld() {
    std::lock_guard guard(lock_);
    if (!sekHeld_ || bytes_[OffsetSEK] == 0) return std::nullopt;
    return std::exchange(bytes_[OffsetSEK], uint8_t{0});
}

void ParameterBlock::ReleaseSek(uint8_t sek) {
    std::lock_guard guard(lock_);
    sekHeld_ = false;
    bytes_[OffsetSEK] = releasedSek_ = sek;
}

ParameterCopy ParameterBlock::Copy() const {
    std::lock_guard guard(lock_);
    return {bytes_, source_, sekHeld_};
}

void ParameterBlock::Restore(const ParameterCopy& copy) {
    std::lock_guard guard(lock_);
    // Held now: preview's 0 stays. Held when copied: the copy's 0 was
    // preview's, and the operator's SEK is the one preview gave back.
    const uint8_t sek = sekHeld_ ? 0 : copy.SekHeld ? releasedSek_ : copy.Bytes[OffsetSEK];
    bytes_ = copy.Bytes;
    bytes_[OffsetSEK] = sek;
    source_ = copy.Source;
}

ParameterBlock& TheParameterBlock() {
    static ParameterBlock block;
    return block;
}
