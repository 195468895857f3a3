#include "settings/Conversions.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>

namespace {

constexpr int WorkLength = ConvertedLength;

struct WorkText {
    wchar_t text[WorkLength + 1];
    explicit WorkText(const wchar_t* source) {
        int i = 0;
        for (; i < WorkLength && source && source[i]; ++i) text[i] = source[i];
        text[i] = L'\0';
    }
    bool Empty() const { return text[0] == L'\0'; }
    bool ConsumedBy(const wchar_t* end) const { return *end == L'\0' && end != text; }
};

bool StartsNegative(const wchar_t* text) {
    while (std::iswspace(static_cast<wint_t>(*text))) ++text;
    return *text == L'-';
}

}  // namespace

int TextToDouble(const wchar_t* text, double* value) {
    WorkText work(text);
    if (work.Empty()) return 0;
    wchar_t* end = nullptr;
    errno = 0;
    const double converted = std::wcstod(work.text, &end);
    if (errno != 0 || !work.ConsumedBy(end)) return 0;
    *value = converted;
    return 1;
}

int TextToLong(const wchar_t* text, int32_t* value) {
    WorkText work(text);
    if (work.Empty()) return 0;
    wchar_t* end = nullptr;
    errno = 0;
    const long converted = std::wcstol(work.text, &end, 10);
    if (errno != 0 || !work.ConsumedBy(end)) return 0;
    // Where long is wider than 32 bits the runtime does not report the range.
    if (converted < INT32_MIN || converted > INT32_MAX) return 0;
    *value = static_cast<int32_t>(converted);
    return 1;
}

int TextToULong(const wchar_t* text, uint32_t* value) {
    WorkText work(text);
    if (work.Empty()) return 0;
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long converted = std::wcstoul(work.text, &end, 10);
    if (errno != 0 || !work.ConsumedBy(end)) return 0;
    // Where unsigned long is wider than 32 bits, judge the magnitude as a
    // 32-bit runtime would: a negated value wraps modulo 2^32.
    const unsigned long magnitude = StartsNegative(work.text) ? 0UL - converted : converted;
    if (magnitude > UINT32_MAX) return 0;
    *value = static_cast<uint32_t>(converted);
    return 1;
}

int TextToByte(const wchar_t* text, uint8_t* value) {
    uint32_t converted = 0;
    if (!TextToULong(text, &converted) || converted >= 256) {
        *value = 0;
        return 0;
    }
    *value = static_cast<uint8_t>(converted);
    return 1;
}

wchar_t* RemoveChar(wchar_t* text, wchar_t c) {
    wchar_t* to = text;
    for (const wchar_t* from = text; *from; ++from)
        if (*from != c) *to++ = *from;
    *to = L'\0';
    return text;
}
