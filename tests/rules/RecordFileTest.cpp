#include <gtest/gtest.h>

#include <vector>

#include "records/RecordFile.h"

TEST(RecordFile, TheKindIsTheCaseSensitiveTextAfterTheLastDot) {
    EXPECT_EQ(RecordKindOf(L"C:\\data\\weld.rec"), RecordKind::Rec);
    EXPECT_EQ(RecordKindOf(L"weld.dat"), RecordKind::Dat);
    EXPECT_EQ(RecordKindOf(L"weld.REC"), RecordKind::Other);
    EXPECT_EQ(RecordKindOf(L"weld.Rec"), RecordKind::Other);
    EXPECT_EQ(RecordKindOf(L"weld.rec.txt"), RecordKind::Other);
    EXPECT_EQ(RecordKindOf(L"C:\\old.rec\\weld"), RecordKind::Other);
    EXPECT_EQ(RecordKindOf(L"weld"), RecordKind::Other);
    EXPECT_STREQ(RecordFileName(L"C:\\data\\weld.rec"), L"weld.rec");
    EXPECT_STREQ(RecordFileName(L"weld.rec"), L"weld.rec");
}

TEST(RecordFile, SizeLimits) {
    EXPECT_FALSE(RecordFileSizeAcceptable(RecordKind::Rec, 67)) << "shorter than its header";
    EXPECT_TRUE(RecordFileSizeAcceptable(RecordKind::Rec, 68));
    EXPECT_TRUE(RecordFileSizeAcceptable(RecordKind::Rec, 0x83FFFF));
    EXPECT_FALSE(RecordFileSizeAcceptable(RecordKind::Rec, 0x840000));
    EXPECT_FALSE(RecordFileSizeAcceptable(RecordKind::Dat, 3));
    EXPECT_TRUE(RecordFileSizeAcceptable(RecordKind::Dat, 4));
    EXPECT_TRUE(RecordFileSizeAcceptable(RecordKind::Dat, 0x83FFFF));
    EXPECT_FALSE(RecordFileSizeAcceptable(RecordKind::Dat, 0x840000));
    EXPECT_FALSE(RecordFileSizeAcceptable(RecordKind::Other, 100));
}

TEST(RecordFile, ARecFileIsMagicBlockAndSamples) {
    ParameterBytes block;
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(0xA0 + i);
    const auto header = RecordFileHeader(block);
    std::vector<uint8_t> file(header.begin(), header.end());
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "TAVO");
    file.insert(file.end(), 64, 0x47);
    const RecordFileContents contents = ParseRecordFile(RecordKind::Rec, file.data(), file.size());
    ASSERT_TRUE(contents.Loadable);
    EXPECT_EQ(contents.Parameters, file.data() + 4);
    EXPECT_EQ(contents.Parameters[63], block[63]);
    EXPECT_EQ(contents.Samples, file.data() + 68);
    EXPECT_EQ(contents.SampleBytes, 64u);

    for (size_t i = 0; i < 4; ++i) {
        std::vector<uint8_t> broken = file;
        broken[i] ^= 0x20;  // "tAVO", "TaVO" ...
        EXPECT_FALSE(ParseRecordFile(RecordKind::Rec, broken.data(), broken.size()).Loadable) << i;
    }
    const RecordFileContents dat = ParseRecordFile(RecordKind::Dat, file.data(), file.size());
    ASSERT_TRUE(dat.Loadable);
    EXPECT_EQ(dat.Parameters, nullptr);
    EXPECT_EQ(dat.SampleBytes, file.size());
}

TEST(RecordFile, DefaultNameCarriesTheLocalTime) {
    wchar_t name[80];
    DefaultRecordFileName(2013, 5, 7, 9, 5, 3, name, 80);
    EXPECT_STREQ(name, L"Record 2013 05 07 09 05 03.rec");
    DefaultRecordFileName(812, 12, 31, 23, 59, 59, name, 80);
    EXPECT_STREQ(name, L"Record  812 12 31 23 59 59.rec");
}
