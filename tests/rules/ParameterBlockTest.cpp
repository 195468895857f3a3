#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "editors/ParameterBlock.h"
#include "link/CommandFrame.h"

namespace {

const ParameterField& FieldAt(uint8_t offset) {
    for (const auto& field : ParameterFields)
        if (field.Offset == offset) return field;
    throw std::logic_error("no field");
}

}  // namespace

TEST(ParameterBlock, FieldsAreLittleEndianAtTheirOffsets) {
    ParameterBlock block;
    block.WriteField(FieldAt(28), -1);      // O1
    block.WriteField(FieldAt(12), 65535);   // P1
    block.WriteField(FieldAt(4), 0x1234);   // FT
    block.WriteField(FieldAt(1), 200);      // SEK, outside the dialog's limit: stored as given
    block.WriteFlagWord(0x8001);            // AO box 0, NE box 7
    const ParameterBytes bytes = block.Read();
    EXPECT_EQ(bytes[28], 0xFF);
    EXPECT_EQ(bytes[29], 0xFF);
    EXPECT_EQ(bytes[12], 0xFF);
    EXPECT_EQ(bytes[13], 0xFF);
    EXPECT_EQ(bytes[4], 0x34);
    EXPECT_EQ(bytes[5], 0x12);
    EXPECT_EQ(bytes[1], 200);
    EXPECT_EQ(bytes[2], 0x01);
    EXPECT_EQ(bytes[3], 0x80);
    EXPECT_EQ(block.ReadField(FieldAt(28)), -1);
    EXPECT_EQ(block.ReadField(FieldAt(12)), 65535);
    EXPECT_EQ(block.ReadSigned16(28), -1);

    // Preview holds SEK at 0; the dialog's SEK written meanwhile is taken
    // out for the operator; the value goes back in one step.
    EXPECT_EQ(block.HoldSekForPreview(), 200) << "holding returns the SEK it replaced";
    EXPECT_EQ(block.ReadByte(OffsetSEK), 0);
    EXPECT_FALSE(block.TakeSekWrittenWhileHeld().has_value()) << "preview's own 0 is nobody's";
    block.WriteField(FieldAt(OffsetSEK), 7);
    EXPECT_EQ(block.TakeSekWrittenWhileHeld(), std::optional<uint8_t>(7));
    EXPECT_EQ(block.ReadByte(OffsetSEK), 0);
    block.ReleaseSek(200);
    EXPECT_FALSE(block.SekHeldForPreview());
    EXPECT_EQ(block.ReadByte(OffsetSEK), 200);
    EXPECT_EQ(block.ReadByte(OffsetSEK + 1), 0x01) << "the neighbours stay";
}

TEST(ParameterBlock, CancelPutsTheOperatorsFieldsBackButNeverPreviewsZeroWhereTheOperatorsSekIs) {
    // Opened (copy) and cancelled (restore) before, during or after preview.
    struct Case {
        bool heldAtOpen, heldAtCancel;
        uint8_t sekAtCancel;
    };
    for (const Case& c : {Case{false, false, 200}, Case{true, false, 9}, Case{false, true, 0}, Case{true, true, 0}}) {
        ParameterBlock block;
        block.TakeListed(ParameterBytes{1, 200, 3}, 4);
        if (c.heldAtOpen) block.HoldSekForPreview();
        const ParameterCopy copy = block.Copy();
        if (c.heldAtOpen && !c.heldAtCancel) block.ReleaseSek(9);
        if (!c.heldAtOpen && c.heldAtCancel) block.HoldSekForPreview();
        block.WriteField(FieldAt(0), 77);  // a rejected OK writes over the fields
        block.WriteField(FieldAt(OffsetSEK), 33);
        block.Restore(copy);
        EXPECT_EQ(block.Read(), (ParameterBytes{1, c.sekAtCancel, 3})) << c.heldAtOpen << c.heldAtCancel;
        EXPECT_EQ(block.Source(), 4u) << "where the bytes came from goes back too";
    }
}

TEST(ParameterBlock, TheFieldTableCoversTheBlockWithItsIdsAndTypeRanges) {
    std::set<int> covered;
    std::set<int> edits, upperTexts;
    for (const auto& field : ParameterFields) {
        const int width = field.Type == FieldType::Unsigned8 ? 1 : 2;
        for (int i = 0; i < width; ++i) EXPECT_TRUE(covered.insert(field.Offset + i).second) << int(field.Offset);
        // Every field spans its whole type except SEK, and both ends survive the block.
        const bool sek = field.Offset == OffsetSEK;
        const auto [minimum, maximum] = field.Type == FieldType::Signed16     ? std::pair{-32768, 32767}
                                        : field.Type == FieldType::Unsigned16 ? std::pair{0, 65535}
                                                                              : std::pair{0, sek ? 32 : 255};
        EXPECT_EQ(field.Minimum, minimum) << int(field.Offset);
        EXPECT_EQ(field.Maximum, maximum) << int(field.Offset);
        ParameterBlock block;
        for (const int32_t limit : {minimum, maximum}) {
            block.WriteField(field, limit);
            EXPECT_EQ(block.ReadField(field), limit) << int(field.Offset);
        }
        EXPECT_EQ(field.SpinId, field.EditId + 1000);
        EXPECT_EQ(field.LowerTextId, field.UpperTextId + 1);
        edits.insert(field.EditId);
        upperTexts.insert(field.UpperTextId);
    }
    covered.insert(2);  // the two flag bytes
    covered.insert(3);
    EXPECT_EQ(covered.size(), ParameterBlockSize);
    EXPECT_EQ(*edits.begin(), 10001);
    EXPECT_EQ(*edits.rbegin(), 10032);
    EXPECT_EQ(FieldAt(10).EditId, 10032) << "NP";
    EXPECT_EQ(FieldAt(10).UpperTextId, 12065);
    EXPECT_EQ(FieldAt(60).EditId, 10006) << "TA";
    EXPECT_EQ(FieldAt(1).Maximum, 32) << "SEK";
    EXPECT_EQ(FieldAt(0).Maximum, 255);
    EXPECT_EQ(FieldAt(62).Minimum, -32768);
    EXPECT_EQ(upperTexts.count(12063), 0u);
}

TEST(ParameterBlock, WholeCopiesNeverMixOldAndNewBytes) {
    ParameterBlock block;
    ParameterBytes zeros{}, ones{};
    ones.fill(0xFF);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) block.Replace(i % 2 ? ones : zeros);
    });
    int mixed = 0;
    for (int i = 0; i < 20000; ++i) {
        const ParameterBytes copy = block.Read();
        if (copy != zeros && copy != ones) ++mixed;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(mixed, 0);
}

TEST(CommandFrame, EveryOpcodeAtByte64AndOnlyInstallAndBurnCarryTheBlock) {
    ParameterBytes block;
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i + 1);
    const char opcodes[] = "dwlibrf";
    for (int command = 0; command < ControllerCommandCount; ++command) {
        const std::optional<CommandFrame> built = BuildCommandFrame(command, block);
        ASSERT_TRUE(built.has_value()) << command;
        const CommandFrame& frame = *built;
        // The controller's own numbers, not the program's constants.
        ASSERT_EQ(frame.size(), 128u);
        EXPECT_EQ(CommandOpcode(command), opcodes[command]);
        EXPECT_EQ(frame[64], opcodes[command]);
        const bool carries = command == CommandInstall || command == CommandBurn;
        for (size_t i = 0; i < 128; ++i) {
            if (i == 64) continue;
            const uint8_t expected = carries && i < 64 ? block[i] : 0;
            ASSERT_EQ(frame[i], expected) << "command " << command << " byte " << i;
        }
    }
    // A number that is no command has no opcode and no frame, so nothing is sent.
    for (const int other : {-1, ControllerCommandCount, ControllerCommandCount + 1, INT_MIN, INT_MAX}) {
        EXPECT_EQ(CommandOpcode(other), 0) << other;
        EXPECT_FALSE(BuildCommandFrame(other, block).has_value()) << other;
    }
}
