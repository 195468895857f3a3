#include "settings/Settings.h"

#include <algorithm>
#include <cwchar>

#include "settings/Conversions.h"

namespace {

// A key whose value reads literally like this counts as missing.
constexpr const wchar_t* MissingMark = L"Default";
// Number texts are read with this capacity: at most 63 characters.
constexpr size_t NumberCapacity = 64;
// Channel and mode names are read with this capacity: at most 127 characters.
constexpr size_t NameCapacity = 128;

const wchar_t* const SectionSettings = L"Settings";
const wchar_t* const SectionDisplay = L"Display";
const wchar_t* const SectionTrigger = L"Trigger";

struct ChannelKeys {
    wchar_t id[64], red[64], green[64], blue[64];
    explicit ChannelKeys(int index) {
        std::swprintf(id, 64, L"Channel[%d].Id", index);
        std::swprintf(red, 64, L"Channel[%d].Colour.Red", index);
        std::swprintf(green, 64, L"Channel[%d].Colour.Green", index);
        std::swprintf(blue, 64, L"Channel[%d].Colour.Blue", index);
    }
};

ChannelEntry* FindChannel(Settings& settings, int32_t id) {
    for (auto& entry : settings.ChannelTable)
        if (entry.Id == id) return &entry;
    return nullptr;
}

int ReadChannel(Profile& profile, Settings& settings, int index) {
    const ChannelKeys keys(index);
    wchar_t name[NameCapacity];
    uint8_t red = 0, green = 0, blue = 0;
    int result = ReadProfileText(profile, SectionDisplay, keys.id, name, NameCapacity);
    result &= ReadProfileByte(profile, SectionDisplay, keys.red, &red);
    result &= ReadProfileByte(profile, SectionDisplay, keys.green, &green);
    result &= ReadProfileByte(profile, SectionDisplay, keys.blue, &blue);
    // A text that names no channel skips the entry without failing the load.
    if (ChannelEntry* entry = result ? FindChannel(settings, ChannelIdFromName(name)) : nullptr) {
        entry->Colour = MakeColour(red, green, blue);
        entry->Position = static_cast<int16_t>(index);
    }
    return result;
}

int WriteSigned(Profile& profile, const wchar_t* section, const wchar_t* key, int value) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%d", value);
    return WriteProfileText(profile, section, key, text);
}

int WriteUnsigned(Profile& profile, const wchar_t* section, const wchar_t* key, unsigned value) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%u", value);
    return WriteProfileText(profile, section, key, text);
}

int WriteChannel(Profile& profile, const ChannelEntry& entry, int index) {
    const ChannelKeys keys(index);
    int result = WriteProfileText(profile, SectionDisplay, keys.id, ChannelName(entry.Id));
    result &= WriteUnsigned(profile, SectionDisplay, keys.red, ColourRed(entry.Colour));
    result &= WriteUnsigned(profile, SectionDisplay, keys.green, ColourGreen(entry.Colour));
    result &= WriteUnsigned(profile, SectionDisplay, keys.blue, ColourBlue(entry.Colour));
    return result;
}

// The clock as "%.4f", as the file always held it. A value whose text would
// be longer than the conversions look at (from about 1e28 up) would load as
// another value or, beyond 63 characters, not at all, and would not even fit
// the buffer: it is written with an exponent and every digit it needs to load
// back the same.
void FormatClock(double clock, wchar_t (&text)[NumberCapacity]) {
    const int length = std::swprintf(text, NumberCapacity, L"%.4f", clock);
    if (length < 0 || length > ConvertedLength) std::swprintf(text, NumberCapacity, L"%.16e", clock);
}

int ReadShortInto(Profile& profile, const wchar_t* key, std::atomic<int16_t>& target) {
    int16_t value = 0;
    if (!ReadProfileShort(profile, SectionTrigger, key, &value)) return 0;
    target = value;
    return 1;
}

}  // namespace

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

void ResetChannelTable(Settings& settings) {
    for (int i = 0; i < ChannelCount; ++i) settings.ChannelTable[i] = {i + 1, 0, NotShown};
    settings.NoChannels = 0;
}

void SortChannelTable(Settings& settings) { SortChannelTable(settings.ChannelTable); }

int DisplayedChannelCount(const Settings& settings) {
    return std::clamp<int32_t>(settings.NoChannels, 0, ChannelCount);
}

int ReadProfileText(Profile& profile, const wchar_t* section, const wchar_t* key, wchar_t* text,
                    size_t capacity) {
    const std::wstring value = profile.Get(section, key, MissingMark);
    if (value == MissingMark || value.size() >= capacity) return 0;
    std::wmemcpy(text, value.c_str(), value.size() + 1);
    return 1;
}

int ReadProfileDouble(Profile& profile, const wchar_t* section, const wchar_t* key, double* value) {
    wchar_t text[NumberCapacity];
    return ReadProfileText(profile, section, key, text, NumberCapacity) && TextToDouble(text, value);
}

int ReadProfileInt(Profile& profile, const wchar_t* section, const wchar_t* key, int32_t* value) {
    wchar_t text[NumberCapacity];
    return ReadProfileText(profile, section, key, text, NumberCapacity) && TextToLong(text, value);
}

int ReadProfileShort(Profile& profile, const wchar_t* section, const wchar_t* key, int16_t* value) {
    int32_t wide = 0;
    if (!ReadProfileInt(profile, section, key, &wide) || wide < INT16_MIN || wide > INT16_MAX) return 0;
    *value = static_cast<int16_t>(wide);
    return 1;
}

int ReadProfileByte(Profile& profile, const wchar_t* section, const wchar_t* key, uint8_t* value) {
    wchar_t text[NumberCapacity];
    uint32_t wide = 0;
    if (!ReadProfileText(profile, section, key, text, NumberCapacity) || !TextToULong(text, &wide) ||
        wide > 255)
        return 0;
    *value = static_cast<uint8_t>(wide);
    return 1;
}

int WriteProfileText(Profile& profile, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    return profile.Put(section, key, value) ? 1 : 0;
}

int LoadSettings(Profile& profile, Settings& settings) {
    int result = ReadProfileDouble(profile, SectionSettings, L"Clock", &settings.Clock);
    result &= ReadProfileInt(profile, SectionDisplay, L"NoChannels", &settings.NoChannels);
    // Every listed channel is read, also beyond the 13 entries of the table,
    // so that a file naming more is still judged complete. The first missing
    // channel already fails the load; stopping there keeps an absurd count
    // from reading keys for ever.
    int channels = 1;
    for (int i = 0; i < settings.NoChannels && channels; ++i) channels &= ReadChannel(profile, settings, i);
    result &= channels;
    SortChannelTable(settings);

    result &= ReadShortInto(profile, L"Threshold", settings.Threshold);
    result &= ReadShortInto(profile, L"PreEvent", settings.PreEvent);
    result &= ReadShortInto(profile, L"PostEvent", settings.PostEvent);

    wchar_t name[NameCapacity];
    const int channelRead = ReadProfileText(profile, SectionTrigger, L"Channel", name, NameCapacity);
    if (channelRead) settings.TriggerChannel = ChannelIdFromName(name);
    const int modeRead = ReadProfileText(profile, SectionTrigger, L"Mode", name, NameCapacity);
    if (modeRead) settings.TriggerMode = TriggerModeFromName(name);
    return result & channelRead & modeRead;
}

int SaveSettings(Profile& profile, const Settings& settings) {
    wchar_t clock[NumberCapacity];
    FormatClock(settings.Clock, clock);
    int result = WriteProfileText(profile, SectionSettings, L"Clock", clock);

    // A count above the table is written as 13, so the file loads again.
    const int32_t noChannels = std::min<int32_t>(settings.NoChannels, ChannelCount);
    result &= WriteSigned(profile, SectionDisplay, L"NoChannels", noChannels);
    for (int i = 0; i < noChannels; ++i) result &= WriteChannel(profile, settings.ChannelTable[i], i);

    result &= WriteSigned(profile, SectionTrigger, L"Threshold", settings.Threshold.load());
    result &= WriteSigned(profile, SectionTrigger, L"PreEvent", settings.PreEvent.load());
    result &= WriteSigned(profile, SectionTrigger, L"PostEvent", settings.PostEvent.load());
    result &= WriteProfileText(profile, SectionTrigger, L"Channel", ChannelName(settings.TriggerChannel));
    result &= WriteProfileText(profile, SectionTrigger, L"Mode", TriggerModeName(settings.TriggerMode));
    return result;
}
