#include "tavo-rec/RecSettings.h"

#include <clocale>
#include <cmath>

#include "settings/IniFile.h"
#include "tavo-rec/BuildFacts.h"

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

bool SettingsFromIni(const std::string& bytes, RecSettings* result, std::string* why) {
    IniFile file(bytes);
    GermanNumberProfile profile(file);
    auto settings = std::make_shared<Settings>();
    ResetChannelTable(*settings);
    if (!LoadSettings(profile, *settings)) {
        *why = "TAVO would refuse it: a key is missing or its value is not valid";
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
