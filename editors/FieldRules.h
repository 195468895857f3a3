// The rules of the numeric dialog fields: how an edit's text is read back
// within the field's limits, and how a spin control's value is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "editors/ParameterBlock.h"

// An edit's text is read with at most this many characters (and the terminator).
constexpr size_t FieldTextCapacity = 256;

// Reads a field's text: every "." (the thousands separator the spin writes)
// is dropped, the rest must be one whole number within minimum..maximum.
// 1 and the value when accepted; 0 with the value 0 when rejected.
int ReadFieldText(const wchar_t* text, int32_t minimum, int32_t maximum, int32_t* value);

// The text a spin control shows for a value: decimal, a minus sign for
// negatives, and from 1000 up groups of three digits separated by ".",
// whatever the user's locale says ("12.345", "-1.000").
std::wstring SpinText(int32_t value);

// The value a field shows for what the block or a setting holds: a value
// outside the limits (from the controller or a file) shows at the nearest
// limit, as the spin control takes it.
int32_t ShownFieldValue(int32_t stored, int32_t minimum, int32_t maximum);

// The value after one spin step of `delta`: counted from the number the
// operator sees in the edit (or from the spin's position when the text is no
// number), kept within minimum..maximum.
int32_t SpinStep(const wchar_t* text, int32_t position, int32_t delta, int32_t minimum, int32_t maximum);

// How many characters the operator may type into a field of this type.
int TypingLimit(FieldType type);
// A limit as its text beside the edit: "%u" for unsigned fields, "%d" for signed ones.
std::wstring LimitText(FieldType type, int32_t limit);

// The clock period in milliseconds as the settings dialog shows it: rounded
// to the nearest microsecond and kept to the low 16 bits.
uint16_t ClockMicroseconds(double clock);
