#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>
#include <string>
#include <tuple>

#include "link/LinkEvents.h"
#include "editors/ParameterBlock.h"
#include "resources/resource.h"
#include "app/StatusBar.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/DialogSupport.h"

using namespace harness;
using namespace dialogs;

namespace {

using Texts = std::map<std::wstring, std::wstring>;  // field label to edit text
const std::wstring FT = L"SysTicks/PreView (FT)";

const ParameterField& Field(const std::wstring& label) {
    for (const ParameterField& field : ParameterFields)
        if (label == field.Label) return field;
    throw std::invalid_argument("no such field");
}

HWND EditOf(HWND dialog, const std::wstring& label) { return GetDlgItem(dialog, Field(label).EditId); }
int32_t Stored(const std::wstring& label) { return TheParameterBlock().ReadField(Field(label)); }

void Type(HWND dialog, const Texts& texts) {
    for (const auto& [label, text] : texts) SetWindowTextW(EditOf(dialog, label), text.c_str());
}

// A block with a value in every kind of field, all within their limits.
ParameterBytes SampleBlock() {
    ParameterBlock block;
    const std::pair<std::wstring, int32_t> values[] = {
        {L"ID", 7}, {L"SEK", 32}, {FT, 12345}, {L"P 1", 65535}, {L"O 1", -1000}, {L"TE", -5}};
    for (const auto& [label, value] : values) block.WriteField(Field(label), value);
    block.WriteFlagWord(0x8005);
    return block.Read();
}

// Whether a static's whole text fits its width in the control's own font.
bool TextFits(HWND control) {
    const std::wstring text = WindowText(control);
    HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT client{};
    GetClientRect(control, &client);
    return size.cx <= client.right;
}

HWND OpenWith(const ParameterBytes& bytes) {
    TheParameterBlock().Replace(bytes);
    return Open(IDM_PARAMETER);
}

}  // namespace

TEST(ParameterDialog, EveryFieldSitsInItsGroupWithItsSpinAndLimits) {
    TavoApp app;
    HWND dialog = OpenWith({});
    ASSERT_NE(dialog, nullptr);
    std::map<std::wstring, RECT> groups;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((Style(child) & BS_TYPEMASK) == BS_GROUPBOX) groups[WindowText(child)] = ControlRect(dialog, child);
    const std::pair<const wchar_t*, RECT> places[] = {
        {L"Einstellungen", {10, 17, 155, 170}}, {L"Potentiometer", {175, 17, 120, 221}},
        {L"Offsets", {315, 17, 120, 221}},      {L"DAC", {10, 214, 155, 65}},
        {L"Regler", {456, 17, 154, 213}},       {L"Autooffset (AO)", {174, 243, 65, 80}},
        {L"Negation (NE)", {264, 243, 65, 80}},
    };
    EXPECT_EQ(groups.size(), std::size(places));
    for (const auto& [name, at] : places)
        EXPECT_TRUE(Same(groups[name], DialogUnits(dialog, at.left, at.top, at.right, at.bottom))) << name;

    std::map<std::wstring, std::vector<LONG>> rowTops;
    for (const ParameterField& field : ParameterFields) {
        SCOPED_TRACE(field.EditId);
        HWND edit = GetDlgItem(dialog, field.EditId), spin = GetDlgItem(dialog, field.SpinId);
        const RECT editRect = ControlRect(dialog, edit), upper = ControlRect(dialog, field.UpperTextId);
        rowTops[field.Group].push_back(editRect.top);
        EXPECT_EQ(WindowText(GetWindow(edit, GW_HWNDPREV)), field.Label);
        EXPECT_TRUE(editRect.left > groups[field.Group].left && upper.right < groups[field.Group].right);
        EXPECT_EQ(Style(edit) & (ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP), ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP);
        EXPECT_EQ((Style(edit) & ES_NUMBER) != 0, field.Type != FieldType::Signed16) << "digits only if unsigned";
        const int typingLimit = field.Type == FieldType::Unsigned8 ? 3 : field.Type == FieldType::Unsigned16 ? 5 : 6;
        EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), typingLimit);
        EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), edit);
        EXPECT_EQ(Style(spin) & (UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_SETBUDDYINT), UDS_ALIGNRIGHT | UDS_ARROWKEYS);
        int minimum = 1, maximum = 0;
        SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&minimum), reinterpret_cast<LPARAM>(&maximum));
        EXPECT_EQ(std::make_pair(minimum, maximum), std::make_pair(field.Minimum, field.Maximum));
        EXPECT_EQ(Text(dialog, field.UpperTextId), std::to_wstring(field.Maximum));
        EXPECT_EQ(Text(dialog, field.LowerTextId), std::to_wstring(field.Minimum));
        EXPECT_TRUE(TextFits(GetDlgItem(dialog, field.UpperTextId)) && TextFits(GetDlgItem(dialog, field.LowerTextId)))
            << "the limits show whole";
        EXPECT_GE(upper.left, ControlRect(dialog, spin).right) << "limits right of the edit and its spin";
        EXPECT_LT(upper.top, ControlRect(dialog, field.LowerTextId).top);
    }
    const LONG rowPitch = DialogUnits(dialog, 0, 0, 0, 25).bottom;
    for (auto& [group, tops] : rowTops) {
        std::sort(tops.begin(), tops.end());
        for (size_t i = 1; i < tops.size(); ++i) EXPECT_NEAR(tops[i] - tops[i - 1], rowPitch, 2) << "rows apart";
    }
    for (int box = 0; box < 16; ++box) {  // "0".."3" down the left column, "4".."7" down the right one
        const int id = IDC_AUTOOFFSET_BOX0 + box;
        const RECT rect = ControlRect(dialog, id), above = ControlRect(dialog, id - (box % 4 ? 1 : 0));
        const RECT leftTwin = ControlRect(dialog, id - (box % 8 >= 4 ? 4 : 0));
        EXPECT_EQ(Text(dialog, id), std::to_wstring(box % 8));
        EXPECT_EQ(Style(GetDlgItem(dialog, id)) & BS_TYPEMASK, BS_AUTOCHECKBOX);
        EXPECT_TRUE(rect.left == above.left && rect.top >= above.top && rect.top == leftTwin.top);
        EXPECT_EQ(rect.left > leftTwin.right, box % 8 >= 4);
        const RECT& group = groups[box < 8 ? L"Autooffset (AO)" : L"Negation (NE)"];
        EXPECT_TRUE(rect.left > group.left && rect.right < group.right && rect.top > group.top);
    }
}

TEST(ParameterDialog, ShowsTheBlockAndOkWithoutChangesAsksForTheInstall) {
    TavoApp app;
    DialogCatcher catcher;
    ResetCommandEvents();
    ParameterBytes outOfLimits = SampleBlock();
    outOfLimits[OffsetSEK] = 200;  // as a controller may send it
    HWND dialog = OpenWith(outOfLimits);
    ASSERT_NE(dialog, nullptr);
    const Texts shown = {{L"ID", L"7"},      {L"SEK", L"32"},      {FT, L"12.345"},
                         {L"P 1", L"65.535"}, {L"O 1", L"-1.000"}, {L"TE", L"-5"}, {L"G 1", L"0"}};
    for (const auto& [label, text] : shown) EXPECT_EQ(WindowText(EditOf(dialog, label)), text);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_AUTOOFFSET_BOX0 + i), i == 0 || i == 2) << i;
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_NEGATION_BOX0 + i), i == 7) << i;
    }
    Press(dialog, IDOK);
    EXPECT_EQ(TheParameterBlock().Read()[OffsetSEK], 32) << "OK stores the value at its limit, as shown";
    ResetCommandEvents();

    dialog = OpenWith(SampleBlock());
    Press(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(TheParameterBlock().Read(), SampleBlock());
    // The install request: the main window's command 3004, once the loop
    // takes it; with no controller linked it says it was not sent.
    EXPECT_TRUE(PumpUntil([] { return StatusBarText(PartCommand) == L"No link to the controller: command not sent"; },
                          2000));
    EXPECT_TRUE(NoCommandRequested());
    EXPECT_TRUE(catcher.Boxes().empty());
}

TEST(ParameterDialog, RejectedFieldsHoldZeroTheLastOneGetsTheFocusAndCancelRestores) {
    TavoApp app;
    DialogCatcher catcher;
    ResetCommandEvents();
    HWND dialog = OpenWith(SampleBlock());
    ASSERT_NE(dialog, nullptr);
    const Texts rejected = {{L"SEK", L"33"},   {L"ID", L"256"},          {L"TA", L"-32769"},
                            {FT, L"1,000"}, {L"Weld Code (NA)", L""}, {L"T 3", L"x1"}};
    const Texts accepted = {{L"TE", L"-32768"}, {L"P 2", L"1.000"}, {L"P I", L"65535"}};
    Type(dialog, rejected);
    Type(dialog, accepted);
    for (int box = 0; box < 16; ++box) CheckDlgButton(dialog, IDC_AUTOOFFSET_BOX0 + box, box == 0 || box == 15);
    Press(dialog, IDOK);

    ASSERT_EQ(catcher.Boxes().size(), 1u) << "one box for all rejected fields";
    EXPECT_EQ(catcher.Boxes()[0].caption, L"TAVO");
    EXPECT_EQ(catcher.Boxes()[0].text, L"Mindestens ein Eingabewert ist nicht korrekt.\n"
                                       L"Der Fokus ist auf ein fehlerhaftes Eingabefeld\ngesetzt");
    EXPECT_EQ(catcher.Boxes()[0].icon, BoxIcon::Warning);
    ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";
    EXPECT_EQ(GetFocus(), EditOf(dialog, L"T 3")) << "the last rejected field in reading order";
    EXPECT_EQ(Selection(EditOf(dialog, L"T 3")), std::make_pair(DWORD{0}, DWORD{2})) << "all selected";
    for (const auto& [label, text] : rejected) EXPECT_EQ(Stored(label), 0);
    EXPECT_EQ(Stored(L"TE"), -32768);
    EXPECT_EQ(Stored(L"P 2"), 1000);
    EXPECT_EQ(Stored(L"P I"), 65535);
    EXPECT_EQ(TheParameterBlock().ReadByte(OffsetAO), 0x01);
    EXPECT_EQ(TheParameterBlock().ReadByte(OffsetNE), 0x80);
    Pump(20);
    EXPECT_TRUE(NoCommandRequested()) << "no install after a rejected OK";

    Press(dialog, IDCANCEL);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(TheParameterBlock().Read(), SampleBlock()) << "Cancel restores the block of the moment of opening";

    dialog = OpenWith(SampleBlock());
    Type(dialog, {{L"SEK", L"32"}, {L"ID", L"255"}, {L"TA", L"-32768"}, {FT, L"1.000"}});
    Press(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Stored(L"SEK"), 32);
    EXPECT_EQ(Stored(L"ID"), 255);
    EXPECT_EQ(Stored(L"TA"), -32768);
    EXPECT_EQ(Stored(FT), 1000);
    ResetCommandEvents();
}

TEST(ParameterDialog, SpinStepsWriteThousandsWithAPointWhateverTheLocale) {
    TavoApp app;
    wchar_t separator[8] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
    SCOPED_TRACE(testing::Message() << "the user's thousands separator: " << char(separator[0]));
    HWND dialog = OpenWith({});
    ASSERT_NE(dialog, nullptr);
    HWND ft = EditOf(dialog, FT);
    const std::tuple<std::wstring, const wchar_t*, UINT, const wchar_t*> steps[] = {
        {FT, L"999", VK_UP, L"1.000"},      {FT, L"1.000", VK_DOWN, L"999"}, {FT, L"65.535", VK_UP, L"65.535"},
        {L"O 1", L"-999", VK_DOWN, L"-1.000"}, {L"SEK", L"200", VK_DOWN, L"32"},
    };
    for (const auto& [label, before, key, after] : steps) {
        SetWindowTextW(EditOf(dialog, label), before);
        PressKey(EditOf(dialog, label), key);
        EXPECT_EQ(WindowText(EditOf(dialog, label)), after) << key;
    }
    // The upper arrow button steps up as the Up key does.
    SetWindowTextW(ft, L"12344");
    HWND spin = GetDlgItem(dialog, Field(FT).SpinId);
    RECT button{};
    GetClientRect(spin, &button);
    SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button.right / 2, button.bottom / 4));
    SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(button.right / 2, button.bottom / 4));
    EXPECT_EQ(WindowText(ft), L"12.345");
    Press(dialog, IDOK);
    EXPECT_EQ(Stored(FT), 12345);
    EXPECT_EQ(Stored(L"O 1"), -1000);
    ResetCommandEvents();
}

TEST(ParameterDialog, TwoOpenDialogsEachWorkOnTheirOwnControlsAndBackup) {
    TavoApp app;
    DialogCatcher catcher;
    HWND first = OpenWith(SampleBlock());
    TheParameterBlock().WriteField(Field(L"ID"), 9);
    HWND second = Open(IDM_PARAMETER);
    ASSERT_TRUE(first && second && first != second);
    EXPECT_EQ(WindowText(EditOf(second, L"ID")), L"9");
    Type(first, {{L"P 2", L"111"}});
    Type(second, {{L"P 2", L"222"}});
    Press(second, IDCANCEL);
    EXPECT_EQ(Stored(L"ID"), 9) << "the second dialog restores the block as it found it";
    Press(first, IDOK);
    EXPECT_TRUE(catcher.Boxes().empty()) << "the first dialog reads its own edits, not destroyed ones";
    EXPECT_EQ(Stored(L"P 2"), 111);
    EXPECT_EQ(Stored(L"ID"), 7);
    ResetCommandEvents();
}
