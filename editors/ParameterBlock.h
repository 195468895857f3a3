// The host's copy of the controller's 64-byte parameter set: one little-endian
// layout shared by memory, command frames and record files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

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

// Every whole-block copy and every field access takes one lock, so that the
// user-interface thread and the communication worker never see a copy that
// mixes old and new bytes.
class ParameterBlock {
public:
    void Clear();
    ParameterBytes Read() const;
    void Replace(const uint8_t (&bytes)[ParameterBlockSize]);
    void Replace(const ParameterBytes& bytes);
    bool Equals(const uint8_t* bytes) const;

    int32_t ReadField(const ParameterField& field) const;
    void WriteField(const ParameterField& field, int32_t value);
    int16_t ReadSigned16(size_t offset) const;
    uint8_t ReadByte(size_t offset) const;
    void WriteByte(size_t offset, uint8_t value);
    // The Autooffset flags (low byte) and Negation flags (high byte) together.
    void WriteFlagWord(uint16_t word);
    // Stores `value` and returns what the byte held before, in one step.
    uint8_t ExchangeByte(size_t offset, uint8_t value);

    // True once the block holds bytes that came from somewhere (the
    // controller, a record file, the operator), not the zeros of start-up:
    // only such a block may be sent to the controller.
    bool Filled() const;
    // Puts back a copy taken earlier, with its Filled state (a cancelled dialog).
    void Restore(const ParameterBytes& bytes, bool filled);

private:
    mutable std::mutex lock_;
    ParameterBytes bytes_{};
    bool filled_ = false;
};

// The process-wide block.
ParameterBlock& TheParameterBlock();
