#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "link/Link.h"
#include "editors/ParameterBlock.h"
#include "scope/RecordingOnScreen.h"
#include "scope/RecordBuffer.h"
#include "settings/Settings.h"
#include "tests/ui/AppHarness.h"

using namespace harness;

namespace {

std::wstring SettingsPath() { return ExecutableDirectory() + L"Tavo.ini"; }

// Starts with the given settings file text; the exit code when start-up refused.
int StartWith(const char* settingsText, DialogCatcher& catcher) {
    WriteTextFile(SettingsPath(), settingsText);
    TavoApp app(false, true);
    EXPECT_TRUE(catcher.WaitForBoxes(app.Started() ? 0 : 1, 5000));
    return app.Started() ? -1 : app.StartExitCode();
}

}  // namespace

TEST(Startup, MissingOrInvalidSettingsEndWithCode2AndTheMessage) {
    DialogCatcher catcher;
    DeleteFileW(SettingsPath().c_str());
    {
        TavoApp app(false, true);
        EXPECT_FALSE(app.Started());
        EXPECT_EQ(app.StartExitCode(), ExitSettingsUnreadable);
        EXPECT_EQ(MainWnd(), nullptr) << "no window is created";
    }
    ASSERT_TRUE(catcher.WaitForBoxes(1, 5000));
    EXPECT_EQ(catcher.Boxes()[0].text, L"Fehler beim Einlesen der Parameter aus Tavo.ini");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::Error);

    // A point instead of the decimal comma, whatever the user's own locale.
    catcher.Clear();
    const char* pointClock =
        "[Settings]\r\nClock=0.125\r\n[Display]\r\nNoChannels=0\r\n[Trigger]\r\nThreshold=1\r\nPreEvent=1\r\n"
        "PostEvent=1\r\nChannel=KI\r\nMode=RISE\r\n";
    EXPECT_EQ(StartWith(pointClock, catcher), ExitSettingsUnreadable);
    // The file that failed to load is not written back.
    EXPECT_NE(ReadTextFile(SettingsPath()).find(L"Clock=0.125"), std::wstring::npos);
}

TEST(Startup, StartsWithAFreshBufferAndAnEmptyParameterBlock) {
    TavoApp app;
    ASSERT_TRUE(app.Started());
    const RecordStore& record = TheRecord();
    ASSERT_NE(record.Buffer, nullptr);
    EXPECT_TRUE(std::all_of(record.Buffer, record.Buffer + RecordBufferSize, [](uint8_t b) { return b == 0x44; }));
    const ParameterBytes block = TheParameterBlock().Read();
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; }));
    const DecodingState state = DecodingSnapshot();
    EXPECT_EQ(state.ViewStart, nullptr);
    EXPECT_EQ(state.SampleCount, 0u);
    EXPECT_EQ(state.TriggerCount, 0u);
    EXPECT_EQ(GetControllerState(), 0);
    EXPECT_NE(WindowText(app.Window()), L"TAVO") << "the creation title is replaced at start";
    EXPECT_TRUE(IsZoomed(app.Window()));
}

TEST(Startup, NumbersUseTheDecimalCommaAndTheSettingsAreLoaded) {
    TavoApp app;
    wchar_t text[32];
    std::swprintf(text, 32, L"%.2f", 6.25);
    EXPECT_STREQ(text, L"6,25");
    const Settings& settings = AppSettings();
    EXPECT_DOUBLE_EQ(settings.Clock, 0.125);
    EXPECT_EQ(settings.NoChannels, 5);
    EXPECT_EQ(settings.ChannelTable[0].Id, 8) << "KI first";
    EXPECT_EQ(settings.TriggerChannel.load(), 8);
    EXPECT_EQ(settings.TriggerMode.load(), 1);
}
