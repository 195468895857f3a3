#include "tavo-rec/RecSettings.h"

#include <clocale>
#include <cmath>

#include "settings/IniFile.h"
#include "tavo-rec/BuildFacts.h"
#include "tavo-rec/ParameterText.h"

const std::string& DefaultIniText() {
    static const std::string text(ShippedTavoIni);
    return text;
}

std::wstring GermanNumberProfile::Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) {
    std::wstring value = file_.Get(section, key, fallback);
    // Under a locale that already reads a comma nothing needs to trade places.
    if (*std::localeconv()->decimal_point == ',') return value;
    for (wchar_t& c : value) c = c == L',' ? L'.' : c == L'.' ? L',' : c;
    return value;
}

bool GermanNumberProfile::Put(const wchar_t*, const wchar_t*, const wchar_t*) { return false; }

std::optional<ClockTenths> ClockFromMilliseconds(double milliseconds) {
    if (!(milliseconds > 0) || milliseconds > LargestClock / 10000.0) return std::nullopt;
    const long long tenths = std::llround(milliseconds * 10000);
    if (tenths < 1) return std::nullopt;
    return static_cast<ClockTenths>(tenths);
}

std::string ClockText(ClockTenths clock) {
    std::string text = std::to_string(clock / 10);
    if (clock % 10 != 0) text += "." + std::to_string(clock % 10);
    return text + " \xC2\xB5s per sample";
}

std::optional<ClockTenths> ClockFromMicrosecondsText(const std::string& text) {
    ClockTenths whole = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        whole = whole * 10 + static_cast<ClockTenths>(text[i] - '0');
        if (whole > LargestClock) return std::nullopt;
    }
    if (i == 0) return std::nullopt;
    ClockTenths tenths = whole * 10;
    if (i < text.size()) {
        // One decimal: Tavo.ini keeps the period to a tenth of a microsecond.
        if ((text[i] != '.' && text[i] != ',') || i + 2 != text.size() || text[i + 1] < '0' || text[i + 1] > '9')
            return std::nullopt;
        tenths += static_cast<ClockTenths>(text[i + 1] - '0');
    }
    if (tenths < 1 || tenths > LargestClock) return std::nullopt;
    return tenths;
}

namespace {

enum class KeyKind { Clock, Count, Short, Byte, Name };

// Whether the loader takes the key, read as it reads it.
bool Takes(Profile& profile, const wchar_t* section, const wchar_t* key, KeyKind kind) {
    double clock = 0;
    int32_t count = 0;
    int16_t value = 0;
    uint8_t byte = 0;
    wchar_t name[128];
    switch (kind) {
        case KeyKind::Clock: return ReadProfileDouble(profile, section, key, &clock);
        case KeyKind::Count: return ReadProfileInt(profile, section, key, &count);
        case KeyKind::Short: return ReadProfileShort(profile, section, key, &value);
        case KeyKind::Byte: return ReadProfileByte(profile, section, key, &byte);
        case KeyKind::Name: break;
    }
    return ReadProfileText(profile, section, key, name, 128);
}

const char* Expected(KeyKind kind) {
    switch (kind) {
        case KeyKind::Clock: return "a number with a decimal comma, as TAVO writes it (0,1250)";
        case KeyKind::Count: return "a whole number";
        case KeyKind::Short: return "a whole number from -32768 to 32767";
        case KeyKind::Byte: return "a whole number from 0 to 255";
        case KeyKind::Name: break;
    }
    return "a text below 128 characters";
}

// "[Trigger] Threshold=40000 is not valid: ...": the first key the loader
// refuses, in the order it reads them. `file` gives the text as it stands.
std::string RefusedKey(Profile& file, Profile& profile) {
    std::string refused;
    const auto takes = [&](const wchar_t* section, const std::wstring& key, KeyKind kind) {
        if (Takes(profile, section, key.c_str(), kind)) return true;
        const std::wstring value = file.Get(section, key.c_str(), L"Default");
        refused = "[" + Utf8(section) + "] " + Utf8(key.c_str()) +
                  (value == L"Default" ? std::string(" is missing")
                                       : "=" + Utf8(value.c_str()) + " is not valid: " + Expected(kind) + " is wanted");
        return false;
    };
    if (!takes(L"Settings", L"Clock", KeyKind::Clock) || !takes(L"Display", L"NoChannels", KeyKind::Count))
        return refused;
    int32_t channels = 0;
    ReadProfileInt(profile, L"Display", L"NoChannels", &channels);
    for (int32_t i = 0; i < channels; ++i) {
        const std::wstring channel = L"Channel[" + std::to_wstring(i) + L"].";
        if (!takes(L"Display", channel + L"Id", KeyKind::Name)) return refused;
        for (const wchar_t* part : {L"Colour.Red", L"Colour.Green", L"Colour.Blue"})
            if (!takes(L"Display", channel + part, KeyKind::Byte)) return refused;
    }
    for (const wchar_t* key : {L"Threshold", L"PreEvent", L"PostEvent"})
        if (!takes(L"Trigger", key, KeyKind::Short)) return refused;
    for (const wchar_t* key : {L"Channel", L"Mode"})
        if (!takes(L"Trigger", key, KeyKind::Name)) return refused;
    return "a key is missing or its value is not valid";
}

}  // namespace

bool SettingsFromIni(const std::string& bytes, RecSettings* result, std::string* why) {
    IniFile file(bytes);
    GermanNumberProfile profile(file);
    auto settings = std::make_shared<Settings>();
    ResetChannelTable(*settings);
    if (!LoadSettings(profile, *settings)) {
        *why = "TAVO would refuse it: " + RefusedKey(file, profile);
        return false;
    }
    // A Clock of 0 (left by a rejected settings dialog) gives no times; the
    // trigger settings are still good.
    result->Clock = ClockFromMilliseconds(settings->Clock);
    TriggerParams trigger;
    trigger.Threshold = settings->Threshold;
    trigger.PreEvent = settings->PreEvent;
    trigger.PostEvent = settings->PostEvent;
    trigger.TriggerChannel = settings->TriggerChannel;
    trigger.TriggerMode = settings->TriggerMode;
    result->Trigger = trigger;
    result->Display = std::move(settings);
    return true;
}
