// The channels dialog: the 13 channels as a list the operator rearranges with
// the keyboard alone (order, shown or hidden, colour, trigger). The list
// holds the working state; OK rewrites the channel table from it.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include "app/AppWindow.h"
#include "editors/ChannelRows.h"
#include "editors/DialogCreation.h"
#include "editors/DialogFields.h"
#include "resources/resource.h"
#include "settings/Settings.h"

namespace {

struct Column {
    const wchar_t* Header;
    int Width;  // pixels
};
constexpr Column Columns[ChannelColumnCount] = {
    {L"Name", 75}, {L"Trig", 50}, {L"Show", 75}, {L"Red", 60}, {L"Green", 60}, {L"Blue", 60},
};

// The colour chooser's custom colours: 0 to 12 are refreshed from the rows
// each time it opens, 13 to 15 keep what the operator defined for the whole run.
COLORREF CustomColours[16] = {};

HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_CHANNEL_LIST); }

// --- the list's cells -----------------------------------------------------------

std::wstring CellText(HWND list, int row, int column) {
    wchar_t text[ChannelCellCapacity] = {};
    ListView_GetItemText(list, row, column, text, ChannelCellCapacity);
    return text;
}

void SetCellText(HWND list, int row, int column, const std::wstring& text) {
    ListView_SetItemText(list, row, column, const_cast<wchar_t*>(text.c_str()));
}

ChannelRows ReadRows(HWND list) {
    ChannelRows rows;
    for (int row = 0; row < ChannelCount; ++row)
        for (int column = 0; column < ChannelColumnCount; ++column) rows[row][column] = CellText(list, row, column);
    return rows;
}

void AppendRow(HWND list, int row, const ChannelRow& cells) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(cells[ColumnName].c_str());
    ListView_InsertItem(list, &item);
    for (int column = ColumnName + 1; column < ChannelColumnCount; ++column)
        SetCellText(list, row, column, cells[column]);
}

void WriteChangedCells(HWND list, const ChannelRows& before, const ChannelRows& after) {
    for (int row = 0; row < ChannelCount; ++row)
        for (int column = 0; column < ChannelColumnCount; ++column)
            if (before[row][column] != after[row][column]) SetCellText(list, row, column, after[row][column]);
}

// Every key action needs exactly one selected row; -1 otherwise.
int SelectedRow(HWND list) {
    if (ListView_GetSelectedCount(list) != 1) return -1;
    return ListView_GetNextItem(list, -1, LVNI_SELECTED);
}

void SelectRow(HWND list, int row) {
    const UINT marks = LVIS_SELECTED | LVIS_FOCUSED;
    ListView_SetItemState(list, row, marks, marks);
}

void InsertColumns(HWND list) {
    for (int i = 0; i < ChannelColumnCount; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = Columns[i].Width;
        column.pszText = const_cast<wchar_t*>(Columns[i].Header);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
}

// Places the dialog's centre on its owner's centre (the desktop's without
// an owner), keeping its size, on top of the z-order.
void CentreOnOwner(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    RECT ownerRect{}, dialogRect{};
    GetWindowRect(owner ? owner : GetDesktopWindow(), &ownerRect);
    GetWindowRect(dialog, &dialogRect);
    const int width = dialogRect.right - dialogRect.left;
    const int height = dialogRect.bottom - dialogRect.top;
    const int x = ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2;
    const int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2;
    SetWindowPos(dialog, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

// --- key actions ------------------------------------------------------------------

void ChooseRowColour(HWND dialog, HWND list, int row) {
    const ChannelRows rows = ReadRows(list);
    for (int i = 0; i < ChannelCount; ++i) CustomColours[i] = RowColour(rows[i]);
    CHOOSECOLORW chooser{};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = dialog;
    chooser.rgbResult = RowColour(rows[row]);
    chooser.lpCustColors = CustomColours;
    chooser.Flags = CC_FULLOPEN | CC_RGBINIT;
    if (!ChooseColorW(&chooser)) return;
    // Closing the main window meanwhile closes this dialog as well.
    if (!IsWindow(list)) return;
    ChannelRows changed = rows;
    SetRowColour(changed[row], chooser.rgbResult);
    WriteChangedCells(list, rows, changed);
}

void ApplyKey(HWND list, int row, ChannelKeyAction action) {
    const ChannelRows before = ReadRows(list);
    ChannelRows after = before;
    if (!ApplyRowAction(after, row, action)) return;
    WriteChangedCells(list, before, after);
    // A move swaps the texts of two rows. The selection stays on the row that
    // took the moved row's place, and the list's own handling of the same
    // arrow key then moves it onto the moved row.
    if (action == ChannelKeyAction::MoveUp || action == ChannelKeyAction::MoveDown) SelectRow(list, row);
}

// --- message handlers ---------------------------------------------------------------

INT_PTR OnInitDialog(HWND dialog) {
    SetDialogIcons(dialog);
    HWND list = ListOf(dialog);
    CentreOnOwner(dialog);
    ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
    ListView_SetItemCount(list, ChannelCount);
    InsertColumns(list);
    const ChannelRows rows = RowsFromSettings(AppSettings());
    for (int row = 0; row < ChannelCount; ++row) AppendRow(list, row, rows[row]);
    return TRUE;
}

INT_PTR OnListKeyDown(HWND dialog, const NMLVKEYDOWN& key) {
    HWND list = key.hdr.hwndFrom;
    const int row = SelectedRow(list);
    if (row < 0) return FALSE;
    const ChannelKeyAction action = ActionForKey(key.wVKey);
    if (action == ChannelKeyAction::ChooseColour)
        ChooseRowColour(dialog, list, row);
    else
        ApplyKey(list, row, action);
    return FALSE;
}

// Only one of the 13 channel names may stand in a Name cell, each once, or
// OK would lose a channel: the names are not editable.
INT_PTR OnBeginLabelEdit(HWND dialog) { return AnswerNotification(dialog, TRUE); }

INT_PTR OnNotify(HWND dialog, const NMHDR& header) {
    if (header.idFrom != IDC_CHANNEL_LIST) return FALSE;
    switch (header.code) {
        case LVN_KEYDOWN: return OnListKeyDown(dialog, reinterpret_cast<const NMLVKEYDOWN&>(header));
        case LVN_BEGINLABELEDITW: return OnBeginLabelEdit(dialog);
        default: return FALSE;  // the list draws its cells in its default colours
    }
}

INT_PTR OnOk(HWND dialog) {
    StoreRows(ReadRows(ListOf(dialog)), AppSettings());
    InvalidateRect(MainWnd(), nullptr, TRUE);
    DestroyWindow(dialog);
    return TRUE;
}

INT_PTR OnCancel(HWND dialog) {
    DestroyWindow(dialog);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDOK: return OnOk(dialog);
        case IDCANCEL: return OnCancel(dialog);
        default: return FALSE;
    }
}

INT_PTR CALLBACK ChannelsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(dialog);
        case WM_COMMAND: return OnCommand(dialog, wParam);
        case WM_NOTIFY: return OnNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam));
        default: return FALSE;
    }
}

}  // namespace

HWND CreateChannelsDialog() {
    return CreateDialogParamW(AppInstance(), L"CHANNELS", MainWnd(), ChannelsDialogProc, 0);
}
