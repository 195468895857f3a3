// The display and trigger settings of the process, loaded from Tavo.ini at
// start-up and written back at exit.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "settings/ChannelTable.h"

struct Settings {
    double Clock = 0;          // sample period in milliseconds
    int32_t NoChannels = 0;    // leading entries of the sorted table that are drawn
    ChannelEntry ChannelTable[ChannelCount]{};
    // The decoder reads the trigger values on the worker thread while a
    // dialog may change them on the user-interface thread.
    std::atomic<int16_t> Threshold{0};
    std::atomic<int16_t> PreEvent{0};
    std::atomic<int16_t> PostEvent{0};
    std::atomic<int32_t> TriggerChannel{0};
    std::atomic<int32_t> TriggerMode{0};
};

// The process-wide settings.
Settings& AppSettings();

// Ids 1..13 in order, all black and unshown; NoChannels 0.
void ResetChannelTable(Settings& settings);
void SortChannelTable(Settings& settings);

// NoChannels bounded to the table: never above 13, and 0 when negative.
int DisplayedChannelCount(const Settings& settings);

// A profile (INI) file as the settings loader sees it.
class Profile {
public:
    virtual ~Profile() = default;
    // The key's text, or `fallback` when the key or section is missing.
    virtual std::wstring Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) = 0;
    // Replaces the key's value in place (adding key or section as needed).
    virtual bool Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) = 0;
};

int ReadProfileText(Profile& profile, const wchar_t* section, const wchar_t* key, wchar_t* text,
                    size_t capacity);
int ReadProfileDouble(Profile& profile, const wchar_t* section, const wchar_t* key, double* value);
int ReadProfileInt(Profile& profile, const wchar_t* section, const wchar_t* key, int32_t* value);
int ReadProfileShort(Profile& profile, const wchar_t* section, const wchar_t* key, int16_t* value);
int ReadProfileByte(Profile& profile, const wchar_t* section, const wchar_t* key, uint8_t* value);
int WriteProfileText(Profile& profile, const wchar_t* section, const wchar_t* key, const wchar_t* value);

// 1 when every key was present and valid. Every read is attempted, also after
// a failed one. Expects a freshly reset channel table.
int LoadSettings(Profile& profile, Settings& settings);
// 1 when every write succeeded.
int SaveSettings(Profile& profile, const Settings& settings);
