// A stored parameter block as the parameter dialog shows it, field by field
// in the dialog's groups: the label, the text of the edit (the spin
// control's "12.345"), the limits beside it, and the eight check boxes of
// each flag byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ParameterLine {
    std::string Group;   // the dialog's group box
    std::string Label;   // the field's label, or the group's for a flag byte
    std::string Name;    // the field's name: "FT" for "SysTicks/PreView (FT)", "P1" for "P 1"
    std::string Shown;   // what the edit shows, or the check boxes "[x] 0 [ ] 1 ..."
    std::string Limits;  // "0..32"; empty for flag bytes
    std::string Note;    // when the stored value lies outside the limits: what is stored
    int32_t ShownValue = 0;  // the edit's number; a flag byte's bits
    int32_t Stored = 0;      // what the block holds
    bool Flags = false;      // a flag byte: its check boxes stand for its bits
};

// A flag byte's checked boxes by number, "0 7"; empty when none is.
std::string CheckedBoxes(uint8_t flags);

// UTF-8 texts, in the order of the dialog: Einstellungen, DAC, Potentiometer,
// Offsets, Regler, then Autooffset (AO) and Negation (NE).
std::vector<ParameterLine> ParameterLines(const uint8_t* block);

// A wide text of the program as UTF-8.
std::string Utf8(const wchar_t* text);
