#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "settings/Settings.h"
#include "tests/ui/AppHarness.h"
#include "tests/ui/DialogSupport.h"

using namespace harness;
using namespace dialogs;

namespace {

const std::wstring Rise = L"\u2191", Fall = L"\u2193", Shown = L"\u2015\u2015\u2015";
enum { Name, Trig, Show, Red, Green, Blue };
using Cells = std::vector<std::wstring>;

// The colour chooser of Wine's common dialogs: its caption, its red, green
// and blue edits, "Add to Custom Colors" and the custom colours (2 rows of 8).
constexpr int ChooserRed = 706, ChooserAddCustom = 0x2c8, ChooserCustomColours = 0x2d1;

// The table in Id order (K1 .. RE): KI, KU and K1 drawn in this order.
HWND OpenWithTable(int32_t triggerChannel, int32_t triggerMode) {
    Settings& settings = AppSettings();
    ResetChannelTable(settings);
    settings.ChannelTable[0] = {1, MakeColour(0, 150, 0), 2};
    settings.ChannelTable[6] = {7, MakeColour(0, 0, 220), 1};
    settings.ChannelTable[7] = {8, MakeColour(220, 0, 0), 0};
    settings.ChannelTable[8] = {9, MakeColour(160, 0, 160), NotShown};
    settings.NoChannels = 3;
    settings.TriggerChannel = triggerChannel;
    settings.TriggerMode = triggerMode;
    return GetDlgItem(Open(IDM_CHANNELS), IDC_CHANNEL_LIST);
}

std::wstring Cell(HWND list, int row, int column) {
    wchar_t text[64] = {};
    ListView_GetItemText(list, row, column, text, 64);
    return text;
}

// The cells of a column (row -1) or of a row's columns first..last.
Cells Get(HWND list, int row, int column, int last = Blue) {
    Cells cells;
    if (row < 0)
        for (int i = 0; i < ChannelCount; ++i) cells.push_back(Cell(list, i, column));
    else
        for (int i = column; i <= last; ++i) cells.push_back(Cell(list, row, i));
    return cells;
}
Cells Column(HWND list, int column) { return Get(list, -1, column); }
Cells Row(HWND list, int row) { return Get(list, row, Name); }
Cells Colour(HWND list, int row) { return Get(list, row, Red); }

void Select(HWND list, int row) {
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0) ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

int SelectedRow(HWND list) {
    return ListView_GetSelectedCount(list) == 1 ? ListView_GetNextItem(list, -1, LVNI_SELECTED) : -1;
}

void PressOn(HWND list, int row, UINT key) {
    Select(list, row);
    PressKey(list, key);
}

const ChannelEntry& Entry(int32_t id) {
    for (const ChannelEntry& entry : AppSettings().ChannelTable)
        if (entry.Id == id) return entry;
    throw std::invalid_argument("channel lost");
}

void Close(HWND list, int button) { Press(GetParent(list), button); }

// Answers the next colour chooser: `answer` runs on the catcher's thread.
void AnswerChooser(DialogCatcher& catcher, std::function<void(HWND)> answer) {
    catcher.Answer(L"Color", std::move(answer));
}

void ClickCustomColour(HWND chooser, int index) {
    RECT area{};
    GetWindowRect(GetDlgItem(chooser, ChooserCustomColours), &area);
    POINT point{area.left + index % 8 * ((area.right - area.left) / 8) + 2,
                area.top + index / 8 * ((area.bottom - area.top) / 2) + 2};
    ScreenToClient(chooser, &point);
    SendMessageW(chooser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
    SendMessageW(chooser, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
}

}  // namespace

TEST(ChannelsDialog, ListShowsTheTableInSixColumns) {
    TavoApp app;
    HWND list = OpenWithTable(8, TriggerRise);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(Same(ControlRect(GetParent(list), IDC_CHANNEL_LIST), DialogUnits(GetParent(list), 5, 5, 172, 132)));
    const LONG_PTR style = LVS_REPORT | LVS_SINGLESEL | LVS_EDITLABELS | LVS_NOSORTHEADER | WS_TABSTOP;
    EXPECT_EQ(Style(list) & (style | LVS_TYPEMASK), style);
    EXPECT_EQ(ListView_GetExtendedListViewStyle(list),
              DWORD{LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP});
    const std::pair<const wchar_t*, int> columns[] = {{L"Name", 75}, {L"Trig", 50}, {L"Show", 75},
                                                      {L"Red", 60},  {L"Green", 60}, {L"Blue", 60}};
    EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(list)), 6);
    for (int i = 0; i < 6; ++i) {
        wchar_t header[16] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = header;
        column.cchTextMax = 16;
        ASSERT_TRUE(ListView_GetColumn(list, i, &column));
        EXPECT_STREQ(header, columns[i].first);
        EXPECT_EQ(column.cx, columns[i].second);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    EXPECT_EQ(Column(list, Name),
              (Cells{L"K1", L"K2", L"K3", L"K4", L"K5", L"K6", L"KU", L"KI", L"RA", L"RB", L"RC", L"RD", L"RE"}));
    EXPECT_EQ(Row(list, 7), (Cells{L"KI", Rise, Shown, L"220", L"0", L"0"}));
    EXPECT_EQ(Row(list, 0), (Cells{L"K1", L"", Shown, L"0", L"150", L"0"}));
    EXPECT_EQ(Row(list, 8), (Cells{L"RA", L"", L"", L"160", L"0", L"160"}));
    EXPECT_EQ(Column(list, Show), (Cells{Shown, L"", L"", L"", L"", L"", Shown, Shown, L"", L"", L"", L"", L""}));
    Close(list, IDCANCEL);
}

TEST(ChannelsDialog, KeysActOnTheSelectedRowOnly) {
    TavoApp app;
    HWND list = OpenWithTable(8, TriggerRise);
    ASSERT_NE(list, nullptr);
    const std::vector<Cells> before = {Column(list, Trig), Column(list, Show)};
    for (UINT key : {UINT{VK_SPACE}, UINT{VK_UP}, UINT{VK_DOWN}, UINT{'D'}, UINT{'U'}, UINT{'C'}}) {
        PressOn(list, -1, key);  // the list's own handling may select a row afterwards
        EXPECT_EQ((std::vector<Cells>{Column(list, Trig), Column(list, Show)}), before) << key;
    }
    PressOn(list, 1, VK_SPACE);
    EXPECT_EQ(Cell(list, 1, Show), Shown);
    PressOn(list, 7, VK_SPACE);
    EXPECT_EQ(Row(list, 7), (Cells{L"KI", Rise, L"", L"220", L"0", L"0"})) << "hidden, the trigger keeps its mark";

    const Cells ku = Row(list, 6);
    PressOn(list, 6, VK_UP);
    EXPECT_EQ(Row(list, 5), ku);
    EXPECT_EQ(Cell(list, 6, Name), L"K6");
    EXPECT_EQ(SelectedRow(list), 5) << "the moved row stays selected";
    PressKey(list, VK_DOWN);
    PressKey(list, VK_DOWN);
    EXPECT_EQ(Row(list, 7), ku);
    EXPECT_EQ(SelectedRow(list), 7);
    const Cells names = Column(list, Name);
    PressOn(list, 0, VK_UP);
    EXPECT_EQ(SelectedRow(list), 0);
    PressOn(list, 12, VK_DOWN);
    EXPECT_EQ(SelectedRow(list), 12);
    EXPECT_EQ(Column(list, Name), names) << "the first row does not move up, the last not down";

    PressOn(list, 2, 'D');
    EXPECT_EQ(Column(list, Trig), (Cells{L"", L"", Fall, L"", L"", L"", L"", L"", L"", L"", L"", L"", L""}));
    EXPECT_EQ(Cell(list, 2, Show), Shown);
    PressOn(list, 9, 'U');
    EXPECT_EQ(Column(list, Trig), (Cells{L"", L"", L"", L"", L"", L"", L"", L"", L"", Rise, L"", L"", L""}));
    EXPECT_EQ(Cell(list, 9, Show), Shown);
    Close(list, IDCANCEL);
}

TEST(ChannelsDialog, OkRewritesTheTableInListOrderCancelChangesNothing) {
    TavoApp app;
    Settings& settings = AppSettings();
    HWND list = OpenWithTable(8, TriggerRise);
    PressOn(list, 4, 'D');
    PressOn(list, 0, VK_SPACE);
    ChannelEntry before[ChannelCount];
    std::memcpy(before, settings.ChannelTable, sizeof(before));
    Close(list, IDCANCEL);
    EXPECT_EQ(std::memcmp(before, settings.ChannelTable, sizeof(before)), 0);
    EXPECT_EQ(settings.NoChannels, 3);
    EXPECT_EQ(settings.TriggerChannel, 8);

    list = OpenWithTable(8, TriggerRise);
    PressOn(list, 8, VK_UP);
    PressKey(list, VK_UP);  // RA above KU and KI
    PressKey(list, 'U');    // shown, triggering rising
    PressOn(list, 0, VK_SPACE);  // K1 hidden
    ValidateRect(MainWnd(), nullptr);
    Close(list, IDOK);
    EXPECT_FALSE(IsWindow(list));
    EXPECT_EQ(settings.NoChannels, 3);
    const int32_t drawn[] = {9, 7, 8};  // RA, KU, KI
    for (int i = 0; i < ChannelCount; ++i) EXPECT_EQ(settings.ChannelTable[i].Position, i < 3 ? i : NotShown);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(settings.ChannelTable[i].Id, drawn[i]);
    EXPECT_EQ(settings.TriggerChannel, 9);
    EXPECT_EQ(settings.TriggerMode, TriggerRise);
    EXPECT_EQ(Entry(1).Colour, MakeColour(0, 150, 0)) << "a hidden channel keeps its colour";
    RECT update{}, client{};
    GetClientRect(MainWnd(), &client);
    EXPECT_TRUE(GetUpdateRect(MainWnd(), &update, FALSE) && EqualRect(&update, &client)) << "repaints the window";

    Close(OpenWithTable(7, TriggerVoid), IDOK);
    EXPECT_EQ(settings.TriggerMode, TriggerFall) << "VOID shows falling and comes back as FALL";
    EXPECT_EQ(settings.ChannelTable[0].Id, 1) << "drawn in list order: K1, KU, KI";
    EXPECT_EQ(Entry(7).Colour, MakeColour(0, 0, 220));
}

TEST(ChannelsDialog, ColourChooserColoursTheRowAndKeepsTheOperatorsCustomColours) {
    TavoApp app;
    DialogCatcher catcher;
    HWND list = OpenWithTable(8, TriggerRise);
    std::atomic<int> initialRed{-1};
    AnswerChooser(catcher, [&](HWND chooser) {
        initialRed = static_cast<int>(GetDlgItemInt(chooser, ChooserRed, nullptr, FALSE));
        for (int i = 0; i < 3; ++i) SetDlgItemInt(chooser, ChooserRed + i, 10 * (i + 1), FALSE);
        for (int i = 0; i < 16; ++i) SendMessageW(chooser, WM_COMMAND, ChooserAddCustom, 0);  // every custom colour
        SendMessageW(chooser, WM_COMMAND, IDOK, 0);
    });
    PressOn(list, 7, 'C');
    EXPECT_EQ(initialRed, 220) << "the chooser starts at the row's colour";
    EXPECT_EQ(Colour(list, 7), (Cells{L"10", L"20", L"30"}));
    AnswerChooser(catcher, [](HWND chooser) {
        SetDlgItemInt(chooser, ChooserRed, 99, FALSE);
        PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    });
    PressOn(list, 1, 'C');
    EXPECT_EQ(Colour(list, 1), (Cells{L"0", L"0", L"0"})) << "a cancelled chooser changes nothing";
    Close(list, IDOK);
    EXPECT_EQ(Entry(8).Colour, MakeColour(10, 20, 30));

    // In a later dialog custom colours 0 to 12 are the rows' colours again,
    // 13 to 15 still hold what the operator defined.
    list = OpenWithTable(8, TriggerRise);
    for (const auto& [custom, colour] : {std::pair{0, Cells{L"0", L"150", L"0"}}, {13, Cells{L"10", L"20", L"30"}},
                                         {15, Cells{L"10", L"20", L"30"}}}) {
        AnswerChooser(catcher, [custom = custom](HWND chooser) {
            ClickCustomColour(chooser, custom);
            SendMessageW(chooser, WM_COMMAND, IDOK, 0);
        });
        PressOn(list, 12, 'C');
        EXPECT_EQ(Colour(list, 12), colour) << custom;
    }
    Close(list, IDCANCEL);
}

TEST(ChannelsDialog, NamesCannotBeEditedAndTwoDialogsKeepTheirOwnLists) {
    TavoApp app;
    HWND first = OpenWithTable(8, TriggerRise);
    HWND second = GetDlgItem(Open(IDM_CHANNELS), IDC_CHANNEL_LIST);
    ASSERT_TRUE(first && second && first != second);
    SetFocus(second);
    EXPECT_EQ(ListView_EditLabel(second, 0), nullptr);
    RECT label{};
    ListView_GetItemRect(second, 1, &label, LVIR_LABEL);
    const LPARAM point = MAKELPARAM(label.left + 4, (label.top + label.bottom) / 2);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        SendMessageW(second, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, point);
    Pump(50);
    EXPECT_EQ(ListView_GetEditControl(second), nullptr) << "a double click opens no name editor";
    PressOn(second, 1, VK_SPACE);
    EXPECT_EQ(Cell(first, 1, Show), L"") << "the first list is untouched";
    Close(second, IDCANCEL);

    PressOn(first, 2, VK_SPACE);
    Close(first, IDOK);
    EXPECT_EQ(AppSettings().NoChannels, 4);
    EXPECT_NE(Entry(3).Position, NotShown) << "K3, shown in the first dialog";
    EXPECT_EQ(Entry(2).Position, NotShown) << "K2, shown only in the cancelled one";
}
