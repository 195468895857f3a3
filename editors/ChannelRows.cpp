#include "editors/ChannelRows.h"

#include <cwchar>
#include <utility>

#include "settings/Conversions.h"

namespace {

std::wstring Decimal(unsigned value) {
    wchar_t text[ChannelCellCapacity];
    std::swprintf(text, ChannelCellCapacity, L"%u", value);
    return text;
}

const wchar_t* TriggerMarkOf(const ChannelEntry& entry, const Settings& settings) {
    if (entry.Id != settings.TriggerChannel) return L"";
    return settings.TriggerMode == TriggerRise ? RiseMark : FallMark;
}

ChannelRow RowFromEntry(const ChannelEntry& entry, const Settings& settings) {
    ChannelRow row;
    row[ColumnName] = ChannelName(entry.Id);
    row[ColumnTrig] = TriggerMarkOf(entry, settings);
    row[ColumnShow] = entry.Position != NotShown ? ShownMark : L"";
    SetRowColour(row, entry.Colour);
    return row;
}

bool MoveRow(ChannelRows& rows, int row, int step) {
    const int target = row + step;
    if (target < 0 || target >= ChannelCount) return false;
    std::swap(rows[row], rows[target]);
    return true;
}

// The trigger goes to one row only; marking it also shows it.
void MarkTrigger(ChannelRows& rows, int row, const wchar_t* mark) {
    for (ChannelRow& other : rows) other[ColumnTrig] = L"";
    rows[row][ColumnTrig] = mark;
    rows[row][ColumnShow] = ShownMark;
}

uint8_t ColourByte(const std::wstring& text) {
    uint8_t value = 0;
    TextToByte(text.c_str(), &value);  // 0 when unreadable
    return value;
}

int32_t TriggerModeOfMark(const std::wstring& mark) {
    if (mark[0] == RiseMark[0]) return TriggerRise;
    if (mark[0] == FallMark[0]) return TriggerFall;
    return TriggerVoid;
}

}  // namespace

ChannelRows RowsFromSettings(const Settings& settings) {
    ChannelRows rows;
    for (int i = 0; i < ChannelCount; ++i) rows[i] = RowFromEntry(settings.ChannelTable[i], settings);
    return rows;
}

ChannelKeyAction ActionForKey(unsigned keyCode) {
    switch (keyCode & 0xFF) {
        case 0x20: return ChannelKeyAction::ToggleShow;  // Space
        case 0x26: return ChannelKeyAction::MoveUp;      // Up arrow
        case 0x28: return ChannelKeyAction::MoveDown;    // Down arrow
        case 'C': return ChannelKeyAction::ChooseColour;
        case 'D': return ChannelKeyAction::MarkFall;
        case 'U': return ChannelKeyAction::MarkRise;
        default: return ChannelKeyAction::None;
    }
}

bool ApplyRowAction(ChannelRows& rows, int row, ChannelKeyAction action) {
    if (row < 0 || row >= ChannelCount) return false;
    const ChannelRows before = rows;
    switch (action) {
        case ChannelKeyAction::ToggleShow:
            rows[row][ColumnShow] = rows[row][ColumnShow] == ShownMark ? L"" : ShownMark;
            break;
        case ChannelKeyAction::MoveUp: MoveRow(rows, row, -1); break;
        case ChannelKeyAction::MoveDown: MoveRow(rows, row, +1); break;
        case ChannelKeyAction::MarkFall: MarkTrigger(rows, row, FallMark); break;
        case ChannelKeyAction::MarkRise: MarkTrigger(rows, row, RiseMark); break;
        case ChannelKeyAction::ChooseColour:
        case ChannelKeyAction::None: break;
    }
    return rows != before;
}

uint32_t RowColour(const ChannelRow& row) {
    return MakeColour(ColourByte(row[ColumnRed]), ColourByte(row[ColumnGreen]), ColourByte(row[ColumnBlue]));
}

void SetRowColour(ChannelRow& row, uint32_t colour) {
    row[ColumnRed] = Decimal(ColourRed(colour));
    row[ColumnGreen] = Decimal(ColourGreen(colour));
    row[ColumnBlue] = Decimal(ColourBlue(colour));
}

void StoreRows(const ChannelRows& rows, Settings& settings) {
    int16_t visible = 0;
    for (int i = 0; i < ChannelCount; ++i) {
        const ChannelRow& row = rows[i];
        ChannelEntry& entry = settings.ChannelTable[i];
        entry.Id = ChannelIdFromName(row[ColumnName].c_str());
        entry.Position = row[ColumnShow] == ShownMark ? visible++ : NotShown;
        if (!row[ColumnTrig].empty()) {
            settings.TriggerMode = TriggerModeOfMark(row[ColumnTrig]);
            settings.TriggerChannel = entry.Id;
        }
        entry.Colour = RowColour(row);
    }
    settings.NoChannels = visible;
    SortChannelTable(settings);
}
