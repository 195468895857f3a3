// The host's copy of the controller's 64-byte parameter set: one little-endian
// layout shared by memory, command frames and record files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

constexpr size_t ParameterBlockSize = 64;
using ParameterBytes = std::array<uint8_t, ParameterBlockSize>;

enum class FieldType : uint8_t { Unsigned8, Unsigned16, Signed16 };

// One numeric field with the controls of the parameter dialog that edit it.
struct ParameterField {
    const wchar_t* Label;  // the dialog's label; the field's name is its abbreviation
    const wchar_t* Group;  // the dialog's group box
    uint8_t Offset;
    FieldType Type;
    int32_t Minimum;
    int32_t Maximum;
    int EditId;
    int SpinId;
    int UpperTextId;
    int LowerTextId;
};

constexpr int ParameterFieldCount = 32;
// The 32 numeric fields in the order the parameter dialog attaches and reads
// them: ID, SEK, FT, FH, NA, NP, TA, TE, P1..PI, O1..T3.
extern const ParameterField ParameterFields[ParameterFieldCount];

// Offsets the program looks at by name.
constexpr size_t OffsetSEK = 1;
constexpr size_t OffsetAO = 2;  // Autooffset flags, low byte of the flag word
constexpr size_t OffsetNE = 3;  // Negation flags, high byte of the flag word
constexpr size_t OffsetTA = 60;
constexpr size_t OffsetTE = 62;

// Where the bytes of the block came from: nothing yet (the zeros of
// start-up), the operator (the parameter dialog, a record file), or the
// controller of one link (its number).
using BlockSource = uint32_t;
constexpr BlockSource SourceNone = 0;
constexpr BlockSource SourceOperator = UINT32_MAX;

// A whole copy of the block as the parameter dialog keeps it for Cancel.
struct ParameterCopy {
    ParameterBytes Bytes{};
    BlockSource Source = SourceNone;
    bool SekHeld = false;  // its SEK was preview's 0
};

// Every whole-block copy and every field access takes one lock, so that the
// user-interface thread and the communication worker never see a copy that
// mixes old and new bytes.
class ParameterBlock {
public:
    void Clear();
    ParameterBytes Read() const;
    // Bytes the operator chose (a record file).
    void Replace(const uint8_t (&bytes)[ParameterBlockSize]);
    void Replace(const ParameterBytes& bytes);
    // The block the controller of link `link` listed.
    void TakeListed(const ParameterBytes& bytes, BlockSource link);
    bool Equals(const uint8_t* bytes) const;

    int32_t ReadField(const ParameterField& field) const;
    void WriteField(const ParameterField& field, int32_t value);
    int16_t ReadSigned16(size_t offset) const;
    uint8_t ReadByte(size_t offset) const;
    void WriteByte(size_t offset, uint8_t value);
    // The Autooffset flags (low byte) and Negation flags (high byte) together.
    void WriteFlagWord(uint16_t word);

    // True once the block holds bytes that came from somewhere (the
    // controller, a record file, the operator), not the zeros of start-up.
    bool Filled() const;
    BlockSource Source() const;

    // Preview holds SEK at 0 in the block while it runs; whoever owns
    // preview keeps the operator's value. Each step takes the lock once.
    bool SekHeldForPreview() const;
    // Holds SEK at 0; returns the SEK the block had.
    uint8_t HoldSekForPreview();
    // While held, a SEK other than 0 was written by the operator (the
    // dialog's OK): it is taken out and 0 put back.
    std::optional<uint8_t> TakeSekWrittenWhileHeld();
    // Puts the operator's SEK back; preview no longer holds it.
    void ReleaseSek(uint8_t sek);

    // The copy a cancelled dialog puts back. Cancel never brings back
    // preview's 0 where the operator's SEK is now (it puts back the SEK
    // preview gave back), nor the operator's SEK while preview holds 0.
    ParameterCopy Copy() const;
    void Restore(const ParameterCopy& copy);

private:
    mutable std::mutex lock_;
    ParameterBytes bytes_{};
    BlockSource source_ = SourceNone;
    bool sekHeld_ = false;
    uint8_t releasedSek_ = 0;  // the SEK preview last gave back
};

// The process-wide block.
ParameterBlock& TheParameterBlock();
