// Strict text-to-number conversions shared by the settings file and every
// numeric dialog field: the whole text must be one number of the target type.
#pragma once

#include <cstdint>

// The conversions look at no more than this many characters; the rest of a
// longer text is dropped without an error.
constexpr int ConvertedLength = 33;

// Each returns 1 when the whole text (judged on its first 33 characters)
// converts without a range error, else 0. Numbers follow the runtime locale
// set at start-up (German: decimal comma).
int TextToDouble(const wchar_t* text, double* value);
int TextToLong(const wchar_t* text, int32_t* value);
// Accepts a leading minus and returns the value negated modulo 2^32 ("-1"
// gives 4294967295); callers' range checks reject such values.
int TextToULong(const wchar_t* text, uint32_t* value);
// As TextToULong, below 256 only; stores 0 on any failure.
int TextToByte(const wchar_t* text, uint8_t* value);

// Drops every occurrence of `c` from `text` in place and returns `text`.
wchar_t* RemoveChar(wchar_t* text, wchar_t c);
