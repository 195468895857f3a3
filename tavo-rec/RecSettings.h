// The settings tavo-rec works under: the sample period for the time column,
// the trigger settings for the trigger count and the views, and the display
// settings for the pictures, from a Tavo.ini and from command-line flags (a
// flag wins over the file).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "scope/Decoding.h"
#include "settings/Settings.h"

// The sample period in tenths of a microsecond: Tavo.ini holds it in
// milliseconds with four decimals, so this is exact.
using ClockTenths = uint64_t;
// Periods above a second give no sensible times.
constexpr ClockTenths LargestClock = 10'000'000;

// The band of each channel by Id (1..13) in raw counts either side of a
// reference; none for a channel that is not held against it.
using ChannelBands = std::array<std::optional<uint32_t>, ChannelCount + 1>;

struct RecSettings {
    std::optional<ClockTenths> Clock;
    std::optional<TriggerParams> Trigger;
    // The settings as TAVO holds them after loading the file: the sorted
    // channel table, NoChannels and the Clock exactly as read (also a Clock
    // that gives no times, which the time axis then shows as TAVO does).
    std::shared_ptr<Settings> Display;
    // True when no Tavo.ini was found and these are the settings of the one
    // TAVO ships: the command says so once its files have been read.
    bool Shipped = false;
};

// The Tavo.ini that TAVO ships, as the build found it in resources/.
const std::string& DefaultIniText();

// Tavo.ini as TAVO writes it, under its German locale: real numbers carry a
// decimal comma. tavo-rec runs under the C locale, so the comma and the point
// trade places before the strict conversions see a value; a value written
// with a point is then refused as TAVO refuses it.
class GermanNumberProfile final : public Profile {
public:
    explicit GermanNumberProfile(Profile& file) : file_(file) {}
    std::wstring Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) override;
    bool Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) override;

private:
    Profile& file_;
};

// Loads the settings from a Tavo.ini's text with the program's own loader.
// False with `why` set when TAVO would refuse the file. A Clock that gives
// no times leaves Clock empty.
bool SettingsFromIni(const std::string& bytes, RecSettings* settings, std::string* why);

// The clock in ticks from milliseconds; nothing for a period that is not
// positive or above LargestClock.
std::optional<ClockTenths> ClockFromMilliseconds(double milliseconds);
// "125 µs per sample", "133.3 µs per sample".
std::string ClockText(ClockTenths clock);
// The clock from a flag's text in microseconds, as the settings dialog shows
// it: digits with at most one decimal after "." or ",".
std::optional<ClockTenths> ClockFromMicrosecondsText(const std::string& text);
