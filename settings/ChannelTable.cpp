#include "settings/ChannelTable.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

// Id 7 is "KU" and Id 8 is "KI": the letter pairs are not in alphabetical order.
const wchar_t* const ChannelNames[ChannelCount] = {
    L"K1", L"K2", L"K3", L"K4", L"K5", L"K6", L"KU", L"KI", L"RA", L"RB", L"RC", L"RD", L"RE"};

// Strict weak order for the sort: shown entries by Position, unshown last.
bool ComesBefore(const ChannelEntry& a, const ChannelEntry& b) {
    if (a.Position == b.Position) return false;
    if (a.Position == NotShown) return false;
    if (b.Position == NotShown) return true;
    return a.Position < b.Position;
}

}  // namespace

const wchar_t* ChannelName(int32_t id) {
    return id >= 1 && id <= ChannelCount ? ChannelNames[id - 1] : L"VOID";
}

int32_t ChannelIdFromName(const wchar_t* text) {
    if (!text || std::wcslen(text) != 2) return 0;
    const wchar_t second = text[1];
    if (text[0] == L'K') {
        if (second >= L'1' && second <= L'6') return second - L'1' + 1;
        if (second == L'U') return 7;
        if (second == L'I') return 8;
    } else if (text[0] == L'R') {
        if (second >= L'A' && second <= L'E') return second - L'A' + 9;
    }
    return 0;
}

const wchar_t* TriggerModeName(int32_t mode) {
    switch (mode) {
        case TriggerRise: return L"RISE";
        case TriggerFall: return L"FALL";
        default: return L"VOID";
    }
}

int32_t TriggerModeFromName(const wchar_t* text) {
    if (!text) return TriggerVoid;
    if (std::wcscmp(text, L"RISE") == 0) return TriggerRise;
    if (std::wcscmp(text, L"FALL") == 0) return TriggerFall;
    return TriggerVoid;
}

void SortChannelTable(ChannelEntry (&table)[ChannelCount]) {
    std::sort(std::begin(table), std::end(table), ComesBefore);
}
