// The rows of the channels dialog: the 13 channel-table entries as the cell
// texts the operator edits with the keyboard, and how they go back into the
// settings on OK.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/Settings.h"

enum ChannelColumn { ColumnName, ColumnTrig, ColumnShow, ColumnRed, ColumnGreen, ColumnBlue, ChannelColumnCount };

// A cell is read into 8 characters (7 and the terminator); every text the
// dialog writes fits.
constexpr int ChannelCellCapacity = 8;

using ChannelRow = std::array<std::wstring, ChannelColumnCount>;
using ChannelRows = std::array<ChannelRow, ChannelCount>;

// The marks of the Trig and Show cells.
inline constexpr const wchar_t* RiseMark = L"\u2191";
inline constexpr const wchar_t* FallMark = L"\u2193";
inline constexpr const wchar_t* ShownMark = L"\u2015\u2015\u2015";

// One row per table entry, in table order. The trigger channel's row carries
// the rising arrow for RISE and the falling one for any other mode.
ChannelRows RowsFromSettings(const Settings& settings);

// What a key pressed in the list does to the selected row.
enum class ChannelKeyAction { None, ToggleShow, MoveUp, MoveDown, ChooseColour, MarkFall, MarkRise };
// Only the low byte of the key code counts.
ChannelKeyAction ActionForKey(unsigned keyCode);

// Applies a key's action to `row`; true when any cell changed. Moving the
// first row up or the last one down changes nothing. The colour chooser is
// the dialog's business and changes nothing here.
bool ApplyRowAction(ChannelRows& rows, int row, ChannelKeyAction action);

// The colour of a row's Red, Green and Blue texts; an unreadable text gives 0.
uint32_t RowColour(const ChannelRow& row);
void SetRowColour(ChannelRow& row, uint32_t colour);

// Rewrites the whole channel table from the rows in list order: the shown
// rows get positions 0, 1, 2 ..., hidden ones -1; NoChannels counts the shown
// rows; a marked row sets the trigger channel and mode (no mark keeps both);
// then the table is sorted.
void StoreRows(const ChannelRows& rows, Settings& settings);
