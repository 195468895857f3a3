#include <gtest/gtest.h>

#include <climits>

#include "editors/ChannelRows.h"

namespace {

// Ids 1..13 in table order; KU, K1 and RA drawn in this order; KU triggers.
Settings& MakeSettings(Settings& settings, int32_t triggerMode, int32_t triggerChannel = 7) {
    ResetChannelTable(settings);
    settings.ChannelTable[0] = {1, MakeColour(0, 150, 0), 1};
    settings.ChannelTable[6] = {7, MakeColour(0, 0, 220), 0};
    settings.ChannelTable[8] = {9, MakeColour(160, 0, 160), 2};
    settings.NoChannels = 3;
    settings.TriggerChannel = triggerChannel;
    settings.TriggerMode = triggerMode;
    return settings;
}

const ChannelEntry* EntryWithId(const Settings& settings, int32_t id) {
    for (const ChannelEntry& entry : settings.ChannelTable)
        if (entry.Id == id) return &entry;
    return nullptr;
}

}  // namespace

TEST(ChannelRows, RowsShowNameTriggerMarkShownMarkAndColour) {
    Settings settings;
    const ChannelRows rows = RowsFromSettings(MakeSettings(settings, TriggerRise));
    EXPECT_EQ(rows[0], (ChannelRow{L"K1", L"", ShownMark, L"0", L"150", L"0"}));
    EXPECT_EQ(rows[1], (ChannelRow{L"K2", L"", L"", L"0", L"0", L"0"}));
    EXPECT_EQ(rows[6], (ChannelRow{L"KU", RiseMark, ShownMark, L"0", L"0", L"220"}));
    EXPECT_EQ(RowsFromSettings(MakeSettings(settings, TriggerFall))[6][ColumnTrig], FallMark);
    EXPECT_EQ(RowsFromSettings(MakeSettings(settings, TriggerVoid))[6][ColumnTrig], FallMark);
    for (const ChannelRow& row : RowsFromSettings(MakeSettings(settings, TriggerRise, 0)))
        EXPECT_EQ(row[ColumnTrig], L"") << "no trigger channel, no mark";
}

TEST(ChannelRows, KeysToggleMoveAndMarkTheSelectedRow) {
    EXPECT_EQ(ActionForKey(0x100 | 'D'), ChannelKeyAction::MarkFall) << "only the low byte counts";
    EXPECT_EQ(ActionForKey('C'), ChannelKeyAction::ChooseColour);
    EXPECT_EQ(ActionForKey(0x25), ChannelKeyAction::None) << "left arrow";
    Settings settings;
    ChannelRows rows = RowsFromSettings(MakeSettings(settings, TriggerRise));
    const ChannelRows before = rows;
    EXPECT_FALSE(ApplyRowAction(rows, 0, ChannelKeyAction::MoveUp));
    EXPECT_FALSE(ApplyRowAction(rows, 12, ChannelKeyAction::MoveDown));
    // No row selected (-1), or a row past the 13 the list holds: no action touches anything.
    for (const int row : {-1, ChannelCount, ChannelCount + 1, INT_MIN, INT_MAX})
        for (const ChannelKeyAction action : {ChannelKeyAction::ToggleShow, ChannelKeyAction::MoveUp,
                                              ChannelKeyAction::MoveDown, ChannelKeyAction::MarkFall,
                                              ChannelKeyAction::MarkRise}) {
            EXPECT_FALSE(ApplyRowAction(rows, row, action)) << row << " " << static_cast<int>(action);
            ASSERT_EQ(rows, before) << row << " " << static_cast<int>(action);
        }
    EXPECT_TRUE(ApplyRowAction(rows, 6, ChannelKeyAction::MoveUp));
    EXPECT_EQ(rows[5], before[6]);
    EXPECT_EQ(rows[6], before[5]);
    ApplyRowAction(rows, 5, ChannelKeyAction::MoveDown);
    EXPECT_EQ(rows, before);

    ApplyRowAction(rows, 6, ChannelKeyAction::ToggleShow);
    EXPECT_EQ(rows[6][ColumnShow], L"");
    EXPECT_EQ(rows[6][ColumnTrig], RiseMark) << "a hidden trigger row keeps its mark";
    rows[2][ColumnShow] = L"x";
    ApplyRowAction(rows, 2, ChannelKeyAction::ToggleShow);
    EXPECT_EQ(rows[2][ColumnShow], ShownMark) << "anything but the mark becomes the mark";
    EXPECT_TRUE(ApplyRowAction(rows, 3, ChannelKeyAction::MarkFall));
    EXPECT_EQ(rows[3][ColumnTrig], FallMark);
    EXPECT_EQ(rows[3][ColumnShow], ShownMark);
    EXPECT_EQ(rows[6][ColumnTrig], L"") << "one trigger row only";
}

TEST(ChannelRows, StoringRewritesTheTableInRowOrder) {
    Settings settings, original;
    MakeSettings(original, TriggerVoid);
    StoreRows(RowsFromSettings(MakeSettings(settings, TriggerVoid)), settings);
    EXPECT_EQ(settings.NoChannels, 3);
    EXPECT_EQ(settings.TriggerMode, TriggerFall) << "VOID shows as falling and comes back as FALL";
    const int32_t drawn[] = {1, 7, 9};  // K1, KU, RA in row order
    for (int i = 0; i < 3; ++i) EXPECT_EQ(settings.ChannelTable[i].Id, drawn[i]);
    for (int i = 0; i < ChannelCount; ++i) EXPECT_EQ(settings.ChannelTable[i].Position, i < 3 ? i : NotShown);
    for (int32_t id = 1; id <= ChannelCount; ++id)
        EXPECT_EQ(EntryWithId(settings, id)->Colour, EntryWithId(original, id)->Colour) << id;

    ChannelRows rows = RowsFromSettings(MakeSettings(settings, TriggerRise));
    ApplyRowAction(rows, 8, ChannelKeyAction::MoveUp);  // RA above KI ...
    ApplyRowAction(rows, 7, ChannelKeyAction::MoveUp);  // ... and KU
    ApplyRowAction(rows, 2, ChannelKeyAction::MarkRise);
    ApplyRowAction(rows, 2, ChannelKeyAction::ToggleShow);  // K3 triggers, hidden
    rows[0][ColumnGreen] = L"x";
    StoreRows(rows, settings);
    EXPECT_EQ(settings.ChannelTable[1].Id, 9);
    EXPECT_EQ(settings.TriggerChannel, 3);
    EXPECT_EQ(settings.TriggerMode, TriggerRise);
    EXPECT_EQ(EntryWithId(settings, 3)->Position, NotShown);
    EXPECT_EQ(EntryWithId(settings, 7)->Position, 2) << "the former trigger row stays drawn";
    EXPECT_EQ(EntryWithId(settings, 1)->Colour, 0u) << "an unreadable text gives 0";

    StoreRows(RowsFromSettings(MakeSettings(settings, TriggerFall, 0)), settings);
    EXPECT_EQ(settings.TriggerChannel, 0) << "no mark keeps the trigger";
    EXPECT_EQ(settings.TriggerMode, TriggerFall);
}
