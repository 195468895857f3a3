#include "editors/FieldRules.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "settings/Conversions.h"

namespace {

// The edit's text without the thousands separators, as TextToLong sees it.
int ConvertFieldText(const wchar_t* text, int32_t* value) {
    wchar_t work[FieldTextCapacity] = {};
    std::wcsncpy(work, text ? text : L"", FieldTextCapacity - 1);
    return TextToLong(RemoveChar(work, L'.'), value);
}

}  // namespace

int ReadFieldText(const wchar_t* text, int32_t minimum, int32_t maximum, int32_t* value) {
    int32_t converted = 0;
    if (!ConvertFieldText(text, &converted) || converted < minimum || converted > maximum) {
        *value = 0;
        return 0;
    }
    *value = converted;
    return 1;
}

std::wstring SpinText(int32_t value) {
    // Widened first, so the most negative value has a magnitude too.
    const int64_t wide = value;
    const std::wstring digits = std::to_wstring(wide < 0 ? -wide : wide);
    std::wstring text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += L'.';
        text += digits[i];
    }
    return wide < 0 ? L"-" + text : text;
}

int32_t ShownFieldValue(int32_t stored, int32_t minimum, int32_t maximum) {
    return std::clamp(stored, minimum, maximum);
}

int32_t SpinStep(const wchar_t* text, int32_t position, int32_t delta, int32_t minimum, int32_t maximum) {
    int32_t shown = position;
    if (!ConvertFieldText(text, &shown)) shown = position;
    const int64_t next = int64_t{shown} + delta;
    return static_cast<int32_t>(std::clamp<int64_t>(next, minimum, maximum));
}

int TypingLimit(FieldType type) {
    switch (type) {
        case FieldType::Unsigned8: return 3;
        case FieldType::Unsigned16: return 5;
        case FieldType::Signed16: return 6;
    }
    return 6;
}

std::wstring LimitText(FieldType type, int32_t limit) {
    wchar_t text[16];
    if (type == FieldType::Signed16)
        std::swprintf(text, 16, L"%d", limit);
    else
        std::swprintf(text, 16, L"%u", static_cast<unsigned>(limit));
    return text;
}

uint16_t ClockMicroseconds(double clock) {
    const double rounded = std::trunc(clock * 1000 + 0.5);
    // A period the 64-bit range cannot hold (or no number at all) shows as 0
    // instead of converting out of range.
    if (!(std::fabs(rounded) < 9.0e18)) return 0;
    return static_cast<uint16_t>(static_cast<int64_t>(rounded));
}
