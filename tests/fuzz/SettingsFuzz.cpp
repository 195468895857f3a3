// Settings files as the program reads them at start-up. The input is the
// text of a Tavo.ini ("[Section]" and "key=value" lines; UTF-16 after a
// byte-order mark, else one character per byte as the profile functions read
// a file in the ANSI code page). It is loaded into a freshly reset table, and
// whatever loads must be written back as at exit and load again to the same
// file. Every value text also goes through the conversions the dialogs use.
// The lines of a [Keys] section ("row=code" or "row=code colour", decimal)
// are key presses in the channels dialog, whose rows are then stored.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "editors/ChannelRows.h"
#include "editors/FieldRules.h"
#include "settings/Conversions.h"
#include "settings/Settings.h"

namespace {

// Names the broken invariant, then stops the run as a finding.
#define Check(condition) ((condition) ? (void)0 : Broken(#condition, __LINE__))

[[noreturn]] void Broken(const char* condition, int line) {
    std::fprintf(stderr, "SettingsFuzz.cpp:%d: invariant broken: %s\n", line, condition);
    std::abort();
}

std::wstring DecodeFile(const uint8_t* data, size_t size) {
    std::wstring text;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        for (size_t i = 2; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    } else {
        text.assign(data, data + size);
    }
    return text;
}

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r");
    if (first == std::wstring::npos) return L"";
    return text.substr(first, text.find_last_not_of(L" \t\r") - first + 1);
}

// A profile file in memory; the first of repeated keys counts.
class MemoryProfile final : public Profile {
public:
    std::map<std::wstring, std::map<std::wstring, std::wstring>> Sections;
    std::vector<std::pair<std::wstring, std::wstring>> Keys;  // the [Keys] lines in order
    std::vector<std::wstring> Texts;  // every text after a "=", also untrimmed

    void Parse(const std::wstring& file) {
        std::wstring section;
        size_t start = 0;
        while (start <= file.size()) {
            size_t end = file.find(L'\n', start);
            if (end == std::wstring::npos) end = file.size();
            const std::wstring line = Trimmed(file.substr(start, end - start));
            start = end + 1;
            if (line.empty() || line[0] == L';') continue;
            if (line[0] == L'[') {
                section = line.substr(1, line.find(L']') - 1);
                continue;
            }
            const size_t equals = line.find(L'=');
            if (equals == std::wstring::npos) continue;
            const std::wstring key = Trimmed(line.substr(0, equals));
            const std::wstring value = Trimmed(line.substr(equals + 1));
            Texts.push_back(line.substr(equals + 1));
            Texts.push_back(value);
            if (section == L"Keys")
                Keys.emplace_back(key, value);
            else
                Sections[section].emplace(key, value);
        }
    }
    std::wstring Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) override {
        const auto s = Sections.find(section);
        if (s == Sections.end()) return fallback;
        const auto k = s->second.find(key);
        return k == s->second.end() ? fallback : k->second;
    }
    bool Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) override {
        Sections[section][key] = value;
        return true;
    }
};

// The conversions agree with each other on any text.
void CheckConversions(const std::wstring& text) {
    const wchar_t* t = text.c_str();
    int32_t asLong = 0;
    uint32_t asULong = 0;
    uint8_t asByte = 9;
    double asDouble = 0;
    const int longRead = TextToLong(t, &asLong);
    const int uLongRead = TextToULong(t, &asULong);
    const int byteRead = TextToByte(t, &asByte);
    TextToDouble(t, &asDouble);
    // Both read the same digits under the same sign rule, blanks before it included.
    if (longRead) Check(uLongRead && asULong == static_cast<uint32_t>(asLong));
    Check(byteRead == (uLongRead && asULong < 256));
    Check(asByte == (byteRead ? asULong : 0));

    int32_t field = 77;
    if (ReadFieldText(t, -32768, 65535, &field))
        Check(field >= -32768 && field <= 65535);
    else
        Check(field == 0);

    std::vector<wchar_t> work(t, t + std::wcslen(t) + 1);
    const size_t points = static_cast<size_t>(std::count(work.begin(), work.end() - 1, L'.'));
    Check(std::wcslen(RemoveChar(work.data(), L'.')) == work.size() - 1 - points);
    Check(std::wcschr(work.data(), L'.') == nullptr);

    const int32_t id = ChannelIdFromName(t);
    Check(id >= 0 && id <= ChannelCount);
    if (id != 0) Check(std::wcscmp(t, ChannelName(id)) == 0);
    const int32_t mode = TriggerModeFromName(t);
    Check(mode == TriggerVoid || std::wcscmp(t, TriggerModeName(mode)) == 0);
}

// What the scope view and the dialogs rely on, whatever the file held.
void CheckTable(const Settings& settings) {
    bool seen[ChannelCount + 1] = {};
    for (int i = 0; i < ChannelCount; ++i) {
        const ChannelEntry& entry = settings.ChannelTable[i];
        Check(entry.Id >= 1 && entry.Id <= ChannelCount && !seen[entry.Id]);
        seen[entry.Id] = true;
        Check(entry.Colour <= 0xFFFFFF);
        Check(entry.Position == NotShown || (entry.Position >= 0 && entry.Position < settings.NoChannels));
        if (i > 0) {
            const int16_t before = settings.ChannelTable[i - 1].Position;
            Check(entry.Position == NotShown || (before != NotShown && before <= entry.Position));
        }
    }
    const int displayed = DisplayedChannelCount(settings);
    Check(displayed >= 0 && displayed <= ChannelCount);
    Check(settings.TriggerChannel >= 0 && settings.TriggerChannel <= ChannelCount);
    Check(settings.TriggerMode == TriggerVoid || settings.TriggerMode == TriggerRise ||
          settings.TriggerMode == TriggerFall);
}

uint32_t Number(const std::wstring& text, uint32_t fallback) {
    uint32_t value = fallback;
    return TextToULong(text.c_str(), &value) ? value : fallback;
}

// The [Keys] lines pressed in the channels dialog, then OK.
void PressKeys(const MemoryProfile& profile, Settings& settings) {
    ChannelRows rows = RowsFromSettings(settings);
    for (const auto& [rowText, keyText] : profile.Keys) {
        int32_t row = -1;  // no row selected
        TextToLong(rowText.c_str(), &row);
        const size_t blank = keyText.find(L' ');
        const ChannelKeyAction action = ActionForKey(Number(keyText.substr(0, blank), 0));
        const bool selected = row >= 0 && row < ChannelCount;
        const ChannelRows before = rows;
        const bool changed = ApplyRowAction(rows, row, action);
        Check(changed == (rows != before));
        Check(selected || !changed);
        if (action == ChannelKeyAction::ChooseColour && selected && blank != std::wstring::npos) {
            const uint32_t colour = Number(keyText.substr(blank + 1), 0) & 0xFFFFFF;
            SetRowColour(rows[row], colour);
            Check(RowColour(rows[row]) == colour);
        }
    }
    int shown = 0;
    for (const ChannelRow& row : rows) shown += row[ColumnShow] == ShownMark;
    StoreRows(rows, settings);
    Check(settings.NoChannels == shown);
    CheckTable(settings);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryProfile file;
    file.Parse(DecodeFile(data, size));
    for (const std::wstring& text : file.Texts) CheckConversions(text);

    Settings settings;
    ResetChannelTable(settings);
    const int loaded = LoadSettings(file, settings);
    CheckTable(settings);
    if (!file.Keys.empty()) PressKeys(file, settings);
    if (!loaded) return 0;

    // What the program writes at exit loads at the next start, and is written
    // again unchanged.
    MemoryProfile written;
    Check(SaveSettings(written, settings) == 1);
    Settings next;
    ResetChannelTable(next);
    Check(LoadSettings(written, next) == 1);
    CheckTable(next);
    MemoryProfile again;
    SaveSettings(again, next);
    Check(again.Sections == written.Sections);
    return 0;
}
