#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <map>
#include <string>

#include "settings/Settings.h"

namespace {

// A profile file in memory: section -> key -> text.
class MemoryProfile final : public Profile {
public:
    std::map<std::wstring, std::map<std::wstring, std::wstring>> sections;
    int reads = 0;

    std::wstring Get(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) override {
        ++reads;
        auto s = sections.find(section);
        if (s == sections.end()) return fallback;
        auto k = s->second.find(key);
        return k == s->second.end() ? fallback : k->second;
    }
    bool Put(const wchar_t* section, const wchar_t* key, const wchar_t* value) override {
        sections[section][key] = value;
        return true;
    }
    std::wstring& operator()(const wchar_t* section, const wchar_t* key) { return sections[section][key]; }
    bool Has(const wchar_t* section, const wchar_t* key) const {
        auto s = sections.find(section);
        return s != sections.end() && s->second.count(key);
    }
};

std::wstring DecimalText(const char* whole, const char* fraction) {
    const std::string text = std::string(whole) + std::localeconv()->decimal_point + fraction;
    return std::wstring(text.begin(), text.end());
}

// A complete file: two displayed channels (KI red, KU blue), trigger on KI rising.
MemoryProfile CompleteProfile() {
    MemoryProfile p;
    p(L"Settings", L"Clock") = DecimalText("0", "1250");
    p(L"Display", L"NoChannels") = L"2";
    p(L"Display", L"Channel[0].Id") = L"KI";
    p(L"Display", L"Channel[0].Colour.Red") = L"255";
    p(L"Display", L"Channel[0].Colour.Green") = L"0";
    p(L"Display", L"Channel[0].Colour.Blue") = L"0";
    p(L"Display", L"Channel[1].Id") = L"KU";
    p(L"Display", L"Channel[1].Colour.Red") = L"0";
    p(L"Display", L"Channel[1].Colour.Green") = L"0";
    p(L"Display", L"Channel[1].Colour.Blue") = L"255";
    p(L"Trigger", L"Threshold") = L"500";
    p(L"Trigger", L"PreEvent") = L"50";
    p(L"Trigger", L"PostEvent") = L"100";
    p(L"Trigger", L"Channel") = L"KI";
    p(L"Trigger", L"Mode") = L"RISE";
    return p;
}

int Load(MemoryProfile& profile, Settings& settings) {
    ResetChannelTable(settings);
    return LoadSettings(profile, settings);
}

}  // namespace

TEST(ChannelNames, TwoCharactersCaseSensitiveWithKUBeforeKI) {
    EXPECT_EQ(ChannelIdFromName(L"K1"), 1);
    EXPECT_EQ(ChannelIdFromName(L"K6"), 6);
    EXPECT_EQ(ChannelIdFromName(L"KU"), 7);
    EXPECT_EQ(ChannelIdFromName(L"KI"), 8);
    EXPECT_EQ(ChannelIdFromName(L"RA"), 9);
    EXPECT_EQ(ChannelIdFromName(L"RE"), 13);
    for (const wchar_t* other : {L"K7", L"K0", L"ki", L"RF", L"VOID", L"KI ", L"K", L""})
        EXPECT_EQ(ChannelIdFromName(other), 0);
    for (int id = 1; id <= 13; ++id) EXPECT_EQ(ChannelIdFromName(ChannelName(id)), id);
    EXPECT_STREQ(ChannelName(0), L"VOID");
    EXPECT_STREQ(ChannelName(14), L"VOID");
    EXPECT_EQ(TriggerModeFromName(L"RISE"), 1);
    EXPECT_EQ(TriggerModeFromName(L"FALL"), 2);
    EXPECT_EQ(TriggerModeFromName(L"rise"), 0);
    EXPECT_STREQ(TriggerModeName(0), L"VOID");
    EXPECT_STREQ(TriggerModeName(3), L"VOID");
}

TEST(ChannelTable, SortPutsShownEntriesFirstInPositionOrder) {
    Settings settings;
    ResetChannelTable(settings);
    settings.ChannelTable[4].Position = 2;
    settings.ChannelTable[9].Position = 0;
    settings.ChannelTable[12].Position = 1;
    SortChannelTable(settings);
    EXPECT_EQ(settings.ChannelTable[0].Id, 10);
    EXPECT_EQ(settings.ChannelTable[1].Id, 13);
    EXPECT_EQ(settings.ChannelTable[2].Id, 5);
    bool seen[14] = {};
    for (int i = 0; i < ChannelCount; ++i) {
        if (i >= 3) {
            EXPECT_EQ(settings.ChannelTable[i].Position, NotShown);
        }
        seen[settings.ChannelTable[i].Id] = true;
    }
    for (int id = 1; id <= 13; ++id) EXPECT_TRUE(seen[id]) << "sorting only permutes";
}

TEST(LoadSettings, ACompleteFileLoadsEveryValue) {
    MemoryProfile profile = CompleteProfile();
    Settings settings;
    ASSERT_EQ(Load(profile, settings), 1);
    EXPECT_DOUBLE_EQ(settings.Clock, 0.125);
    EXPECT_EQ(settings.NoChannels, 2);
    EXPECT_EQ(settings.ChannelTable[0].Id, 8);
    EXPECT_EQ(settings.ChannelTable[0].Colour, 0x0000FFu);
    EXPECT_EQ(settings.ChannelTable[0].Position, 0);
    EXPECT_EQ(settings.ChannelTable[1].Id, 7);
    EXPECT_EQ(settings.ChannelTable[1].Colour, 0xFF0000u);
    EXPECT_EQ(settings.Threshold.load(), 500);
    EXPECT_EQ(settings.PreEvent.load(), 50);
    EXPECT_EQ(settings.PostEvent.load(), 100);
    EXPECT_EQ(settings.TriggerChannel.load(), 8);
    EXPECT_EQ(settings.TriggerMode.load(), TriggerRise);
}

TEST(LoadSettings, EachKeyAloneDecidesTheLoadAndItsEndsOfRangeLoadAndSaveBack) {
    const struct {
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* text;  // null: the key is removed
        int loads;            // a loaded text is written back as it was
    } cases[] = {
        {L"Settings", L"Clock", nullptr, 0},
        {L"Settings", L"Clock", L"Default", 0},
        {L"Settings", L"Clock", L"0,125 ", 0},
        {L"Display", L"NoChannels", L"two", 0},
        {L"Display", L"Channel[1].Id", nullptr, 0},
        {L"Display", L"Channel[0].Colour.Red", L"256", 0},
        {L"Display", L"Channel[1].Colour.Red", L"255", 1},
        {L"Display", L"Channel[0].Colour.Green", L"-1", 0},
        {L"Display", L"Channel[0].Colour.Green", L" -1", 0},
        {L"Display", L"Channel[1].Colour.Blue", L"", 0},
        {L"Trigger", L"Threshold", L"40000", 0},
        {L"Trigger", L"PreEvent", L"1e2", 0},
        // The three trigger values take the whole signed 16-bit range, no more.
        {L"Trigger", L"Threshold", L"32767", 1},
        {L"Trigger", L"Threshold", L"-32768", 1},
        {L"Trigger", L"Threshold", L"32768", 0},
        {L"Trigger", L"Threshold", L"-32769", 0},
        {L"Trigger", L"PreEvent", L"32767", 1},
        {L"Trigger", L"PreEvent", L"-32768", 1},
        {L"Trigger", L"PreEvent", L"32768", 0},
        {L"Trigger", L"PreEvent", L"-32769", 0},
        {L"Trigger", L"PostEvent", L"32767", 1},
        {L"Trigger", L"PostEvent", L"-32768", 1},
        {L"Trigger", L"PostEvent", L"32768", 0},
        {L"Trigger", L"PostEvent", L"-32769", 0},
        {L"Trigger", L"Channel", nullptr, 0},
        {L"Trigger", L"Mode", L"Default", 0},
    };
    for (const auto& c : cases) {
        MemoryProfile profile = CompleteProfile();
        if (c.text)
            profile(c.section, c.key) = c.text;
        else
            profile.sections[c.section].erase(c.key);
        Settings settings;
        EXPECT_EQ(Load(profile, settings), c.loads) << c.key << " = " << (c.text ? c.text : L"(missing)");
        if (!c.loads) continue;
        MemoryProfile written;
        SaveSettings(written, settings);
        EXPECT_EQ(written(c.section, c.key), c.text) << c.key;
    }
}

TEST(LoadSettings, TextCapacitiesBoundNamesAndNumbers) {
    MemoryProfile profile = CompleteProfile();
    profile(L"Trigger", L"Mode") = std::wstring(127, L'x');  // 127 characters: not a mode, no failure
    Settings settings;
    EXPECT_EQ(Load(profile, settings), 1);
    EXPECT_EQ(settings.TriggerMode.load(), TriggerVoid);
    profile(L"Trigger", L"Mode") = std::wstring(128, L'x');
    EXPECT_EQ(Load(profile, settings), 0);

    profile = CompleteProfile();
    profile(L"Trigger", L"Threshold") = std::wstring(62, L'0') + L"5";  // 63 characters, judged on 33
    EXPECT_EQ(Load(profile, settings), 1);
    EXPECT_EQ(settings.Threshold.load(), 0) << "the 5 lies beyond the 33 characters looked at";
    profile(L"Trigger", L"Threshold") = std::wstring(64, L'0');
    EXPECT_EQ(Load(profile, settings), 0);
}

TEST(LoadSettings, NamesThatAreNoChannelsAreSkippedButCounted) {
    MemoryProfile profile = CompleteProfile();
    profile(L"Display", L"Channel[0].Id") = L"ki";
    profile(L"Trigger", L"Channel") = L"K7";
    profile(L"Trigger", L"Mode") = L"VOID";
    profile(L"Trigger", L"Threshold") = L"-0";
    Settings settings;
    ASSERT_EQ(Load(profile, settings), 1);
    EXPECT_EQ(settings.NoChannels, 2);
    EXPECT_EQ(settings.ChannelTable[0].Id, 7) << "KU keeps its Position 1 and sorts first";
    EXPECT_EQ(settings.ChannelTable[0].Position, 1);
    EXPECT_EQ(settings.TriggerChannel.load(), 0);
    EXPECT_EQ(settings.TriggerMode.load(), 0);
    EXPECT_EQ(settings.Threshold.load(), 0);
}

TEST(LoadSettings, NoChannelsZeroOrNegativeReadsNoChannelKeys) {
    for (const wchar_t* count : {L"0", L"-5"}) {
        MemoryProfile profile = CompleteProfile();
        profile(L"Display", L"NoChannels") = count;
        profile.sections[L"Display"].erase(L"Channel[0].Id");
        Settings settings;
        EXPECT_EQ(Load(profile, settings), 1);
        EXPECT_EQ(DisplayedChannelCount(settings), 0);
    }
}

TEST(LoadSettings, AnAbsurdChannelCountFailsWithoutReadingForEver) {
    MemoryProfile profile = CompleteProfile();
    profile(L"Display", L"NoChannels") = L"2000000000";
    Settings settings;
    EXPECT_EQ(Load(profile, settings), 0);
    EXPECT_LT(profile.reads, 100);
}

TEST(SaveSettings, WritesEveryKeyAndLoadsBackTheSame) {
    MemoryProfile profile = CompleteProfile();
    Settings settings;
    ASSERT_EQ(Load(profile, settings), 1);
    settings.TriggerChannel = 0;
    MemoryProfile written;
    ASSERT_EQ(SaveSettings(written, settings), 1);
    EXPECT_EQ(written(L"Settings", L"Clock"), DecimalText("0", "1250"));
    EXPECT_EQ(written(L"Display", L"Channel[1].Id"), L"KU");
    EXPECT_EQ(written(L"Display", L"Channel[1].Colour.Blue"), L"255");
    EXPECT_EQ(written(L"Trigger", L"Channel"), L"VOID");
    EXPECT_EQ(written(L"Trigger", L"Mode"), L"RISE");

    Settings again;
    ASSERT_EQ(Load(written, again), 1);
    EXPECT_DOUBLE_EQ(again.Clock, settings.Clock);
    EXPECT_EQ(again.NoChannels, settings.NoChannels);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(again.ChannelTable[i].Id, settings.ChannelTable[i].Id);
        EXPECT_EQ(again.ChannelTable[i].Colour, settings.ChannelTable[i].Colour);
    }
    EXPECT_EQ(again.Threshold.load(), 500);
    EXPECT_EQ(again.TriggerChannel.load(), 0);

    // Any clock the file may hold is written within the characters a number
    // is judged on, and loads back the same; the largest get an exponent.
    for (const double clock : {0.5, -0.125, 12345.0, 1e27, 1e28, -1e40, 1e300, DBL_MAX, -DBL_MAX}) {
        settings.Clock = clock;
        MemoryProfile file;
        ASSERT_EQ(SaveSettings(file, settings), 1);
        EXPECT_LE(file(L"Settings", L"Clock").size(), 33u) << clock;
        ASSERT_EQ(Load(file, again), 1) << clock;
        EXPECT_EQ(again.Clock, clock);
    }
}

TEST(SaveSettings, ACountAboveTheTableIsWrittenAs13AndReloads) {
    Settings settings;
    ResetChannelTable(settings);
    for (int i = 0; i < ChannelCount; ++i) settings.ChannelTable[i].Position = static_cast<int16_t>(i);
    settings.NoChannels = 20;
    EXPECT_EQ(DisplayedChannelCount(settings), 13);
    MemoryProfile written;
    ASSERT_EQ(SaveSettings(written, settings), 1);
    EXPECT_EQ(written(L"Display", L"NoChannels"), L"13");
    EXPECT_FALSE(written.Has(L"Display", L"Channel[13].Id"));
    Settings again;
    EXPECT_EQ(Load(written, again), 1);

    settings.NoChannels = 0;
    MemoryProfile none;
    SaveSettings(none, settings);
    EXPECT_EQ(none(L"Display", L"NoChannels"), L"0");
    EXPECT_FALSE(none.Has(L"Display", L"Channel[0].Id"));
}
