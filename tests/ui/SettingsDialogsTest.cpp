#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "resources/resource.h"
#include "settings/Settings.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/DialogSupport.h"

using namespace harness;
using namespace dialogs;

namespace {

constexpr int ThresholdEdit = IDC_TRIGGER_EDIT0, PreEventEdit = ThresholdEdit + 1, PostEventEdit = ThresholdEdit + 2;

HWND OpenSettingsWithClock(double clock) {
    AppSettings().Clock = clock;
    return Open(IDM_SETTINGS);
}

HWND OpenTriggerWith(int16_t threshold, int16_t preEvent, int16_t postEvent) {
    AppSettings().Threshold = threshold;
    AppSettings().PreEvent = preEvent;
    AppSettings().PostEvent = postEvent;
    return Open(IDM_TRIGGER);
}

void Type(HWND dialog, int edit, const wchar_t* text) { SetDlgItemTextW(dialog, edit, text); }

// Label, digits-only edit, typing limit, spin and the limit texts of one row.
void ExpectRow(HWND dialog, int edit, const wchar_t* label, int typingLimit, const wchar_t* maximum,
               const wchar_t* minimum) {
    HWND editWindow = GetDlgItem(dialog, edit);
    EXPECT_EQ(WindowText(GetWindow(editWindow, GW_HWNDPREV)), label);
    EXPECT_EQ(Style(editWindow) & (ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL), ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL);
    EXPECT_EQ(SendMessageW(editWindow, EM_GETLIMITTEXT, 0, 0), typingLimit);
    EXPECT_EQ(reinterpret_cast<HWND>(SendDlgItemMessageW(dialog, edit + 1000, UDM_GETBUDDY, 0, 0)), editWindow);
    const int upper = GetDlgCtrlID(GetWindow(GetDlgItem(dialog, edit + 1000), GW_HWNDNEXT));
    EXPECT_EQ(Text(dialog, upper), maximum);
    EXPECT_EQ(Text(dialog, upper + 1), minimum);
}

void ExpectWarnedWithFocusOn(DialogCatcher& catcher, HWND dialog, int edit) {
    ASSERT_EQ(catcher.Boxes().size(), 1u);
    EXPECT_EQ(catcher.Boxes()[0].text, L"Mindestens ein Eingabewert ist nicht korrekt.\n"
                                       L"Der Fokus ist auf ein fehlerhaftes Eingabefeld\ngesetzt");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::Warning);
    EXPECT_TRUE(IsWindow(dialog)) << "the dialog stays open";
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, edit));
    const DWORD length = GetWindowTextLengthW(GetDlgItem(dialog, edit));
    EXPECT_EQ(Selection(GetDlgItem(dialog, edit)), std::make_pair(DWORD{0}, length)) << "all selected";
    catcher.Clear();
}

}  // namespace

TEST(SettingsDialog, ShowsTheClockInMicrosecondsRoundedAndStoresItOnOk) {
    TavoApp app;
    for (const auto& [clock, shown] :
         {std::pair{0.25, L"250"}, {0.2504, L"250"}, {0.2506, L"251"}, {1.0, L"500"}, {0.1, L"125"}}) {
        HWND dialog = OpenSettingsWithClock(clock);
        ASSERT_NE(dialog, nullptr);
        ExpectRow(dialog, IDC_CLOCK_EDIT, L"Clock (\u00B5s)", 5, L"500", L"125");
        EXPECT_EQ(Text(dialog, IDC_CLOCK_EDIT), shown);
        Press(dialog, IDOK);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_DOUBLE_EQ(AppSettings().Clock, std::stoi(shown) / 1000.0);
    }
    HWND dialog = OpenSettingsWithClock(0.5);
    PressKey(GetDlgItem(dialog, IDC_CLOCK_EDIT), VK_UP);
    EXPECT_EQ(Text(dialog, IDC_CLOCK_EDIT), L"500") << "the spin stops at the limit";
    Press(dialog, IDCANCEL);
}

TEST(SettingsDialog, ARejectedClockIsZeroUntilAValidOk) {
    TavoApp app;
    DialogCatcher catcher;
    HWND dialog = OpenSettingsWithClock(0.25);
    ASSERT_NE(dialog, nullptr);
    for (const wchar_t* text : {L"124", L"501", L""}) {
        Type(dialog, IDC_CLOCK_EDIT, text);
        Press(dialog, IDOK);
        EXPECT_EQ(AppSettings().Clock, 0.0);
        ExpectWarnedWithFocusOn(catcher, dialog, IDC_CLOCK_EDIT);
    }
    Press(dialog, IDCANCEL);
    EXPECT_EQ(AppSettings().Clock, 0.0) << "Cancel restores nothing";
    dialog = Open(IDM_SETTINGS);
    EXPECT_EQ(Text(dialog, IDC_CLOCK_EDIT), L"125") << "0 shows at the lower limit";
    Type(dialog, IDC_CLOCK_EDIT, L"300");
    Press(dialog, IDOK);
    EXPECT_DOUBLE_EQ(AppSettings().Clock, 0.3);
    EXPECT_TRUE(catcher.Boxes().empty());
}

TEST(TriggerDialog, RejectedFieldsHoldZeroAndTheLastOneGetsTheFocus) {
    TavoApp app;
    DialogCatcher catcher;
    HWND dialog = OpenTriggerWith(-1500, 50, 100);
    ASSERT_NE(dialog, nullptr);
    ExpectRow(dialog, ThresholdEdit, L"Threshold", 6, L"2047", L"-2047");
    ExpectRow(dialog, PreEventEdit, L"PreEvent", 6, L"100", L"1");
    ExpectRow(dialog, PostEventEdit, L"PostEvent", 6, L"100", L"1");
    EXPECT_EQ(Text(dialog, ThresholdEdit), L"-1.500");
    Settings& settings = AppSettings();

    Type(dialog, ThresholdEdit, L"-2048");
    Type(dialog, PreEventEdit, L"0");
    Type(dialog, PostEventEdit, L"7");
    Press(dialog, IDOK);
    EXPECT_EQ(settings.Threshold, 0);
    EXPECT_EQ(settings.PreEvent, 0);
    EXPECT_EQ(settings.PostEvent, 7) << "an accepted field keeps its new value";
    ExpectWarnedWithFocusOn(catcher, dialog, PreEventEdit);
    Type(dialog, ThresholdEdit, L"2048");
    Type(dialog, PreEventEdit, L"100");
    Type(dialog, PostEventEdit, L"101");
    Press(dialog, IDOK);
    EXPECT_EQ(settings.PreEvent, 100);
    ExpectWarnedWithFocusOn(catcher, dialog, PostEventEdit);
    Press(dialog, IDCANCEL);
    EXPECT_EQ(settings.Threshold, 0) << "Cancel restores nothing";

    // -2047 and 2047 pass; a negative threshold comes from the spin.
    for (const auto& [threshold, text] : {std::pair{int16_t{2047}, L"2047"}, {int16_t{-2047}, L"-2046"}}) {
        dialog = OpenTriggerWith(0, 1, 1);
        Type(dialog, ThresholdEdit, text);
        if (threshold < 0) PressKey(GetDlgItem(dialog, ThresholdEdit), VK_DOWN);
        Press(dialog, IDOK);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(settings.Threshold, threshold);
    }
    dialog = OpenTriggerWith(1, 1, 1);
    PressKey(GetDlgItem(dialog, ThresholdEdit), VK_DOWN);
    PressKey(GetDlgItem(dialog, ThresholdEdit), VK_DOWN);
    EXPECT_EQ(Text(dialog, ThresholdEdit), L"-1");
    Press(dialog, IDCANCEL);
    EXPECT_TRUE(catcher.Boxes().empty());
}

TEST(SettingsAndTriggerDialogs, OpenSideBySideEachReadsItsOwnEdits) {
    TavoApp app;
    DialogCatcher catcher;
    HWND trigger = OpenTriggerWith(500, 50, 100);
    HWND settings = OpenSettingsWithClock(0.25);
    HWND secondTrigger = Open(IDM_TRIGGER);
    HWND parameter = Open(IDM_PARAMETER);
    ASSERT_TRUE(trigger && settings && secondTrigger && parameter);
    Type(trigger, ThresholdEdit, L"-100");
    Type(secondTrigger, ThresholdEdit, L"300");
    Type(parameter, ThresholdEdit, L"77");  // the parameter dialog's ID edit has the same id
    Press(secondTrigger, IDCANCEL);
    Press(trigger, IDOK);
    Press(settings, IDOK);
    EXPECT_EQ(AppSettings().Threshold, -100);
    EXPECT_DOUBLE_EQ(AppSettings().Clock, 0.25);
    EXPECT_EQ(Text(parameter, ThresholdEdit), L"77");
    EXPECT_TRUE(catcher.Boxes().empty());
    Press(parameter, IDCANCEL);
}
