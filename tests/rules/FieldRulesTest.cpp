#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "editors/FieldRules.h"

TEST(FieldRules, ReadingTakesOneWholeNumberWithinTheLimitsWithoutItsPoints) {
    const struct {
        const wchar_t* text;
        int32_t minimum, maximum;
        int accepted;
        int32_t value;
    } cases[] = {
        {L"32", 0, 32, 1, 32},        {L"33", 0, 32, 0, 0},         {L"-32768", -32768, 32767, 1, -32768},
        {L"-32769", -32768, 32767, 0, 0}, {L"1.000", 0, 65535, 1, 1000}, {L"-32.768", -32768, 32767, 1, -32768},
        {L"1,000", 0, 65535, 0, 0},   {L"", 0, 65535, 0, 0},        {L".", 0, 65535, 0, 0},
        {L"12 ", 0, 65535, 0, 0},     {L" +12", 0, 65535, 1, 12},   {L"9999999999", INT32_MIN, INT32_MAX, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t value = 77;
        EXPECT_EQ(ReadFieldText(c.text, c.minimum, c.maximum, &value), c.accepted) << c.value;
        EXPECT_EQ(value, c.value) << "a rejected field holds 0";
    }
}

TEST(FieldRules, SpinTextGroupsThousandsWithAPointAndReadsBack) {
    const std::pair<int32_t, const wchar_t*> cases[] = {
        {0, L"0"},        {999, L"999"},          {1000, L"1.000"},   {12345, L"12.345"},
        {-999, L"-999"}, {-1000, L"-1.000"},      {1234567, L"1.234.567"}, {INT32_MIN, L"-2.147.483.648"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(SpinText(value), text) << value;
    for (int32_t value = -32768; value <= 65535; value += 7) {
        int32_t read = 0;
        ASSERT_EQ(ReadFieldText(SpinText(value).c_str(), -32768, 65535, &read), 1) << value;
        ASSERT_EQ(read, value);
    }
}

TEST(FieldRules, SpinStepsFromTheShownNumberAndStaysWithinTheLimits) {
    EXPECT_EQ(SpinStep(L"999", 0, 1, 0, 65535), 1000);
    EXPECT_EQ(SpinStep(L"-999", 0, -1, -32768, 32767), -1000);
    EXPECT_EQ(SpinStep(L"65.535", 65535, 1, 0, 65535), 65535);
    EXPECT_EQ(SpinStep(L"200", 32, -1, 0, 32), 32) << "a value beyond the limits comes back within them";
    EXPECT_EQ(SpinStep(L"2147483647", 0, 1, INT32_MIN, INT32_MAX), INT32_MAX) << "no overflow";
    EXPECT_EQ(SpinStep(L"1,000", 40, -1, 0, 65535), 39) << "no number shown: from the position";
}

TEST(FieldRules, TypesGiveTypingLimitAndLimitFormatAndTheClockRoundsToMicroseconds) {
    EXPECT_EQ(TypingLimit(FieldType::Unsigned8), 3);
    EXPECT_EQ(TypingLimit(FieldType::Unsigned16), 5);
    EXPECT_EQ(TypingLimit(FieldType::Signed16), 6);
    EXPECT_EQ(LimitText(FieldType::Unsigned16, 65535), L"65535") << "no grouping in limit texts";
    EXPECT_EQ(LimitText(FieldType::Signed16, -2047), L"-2047");
    const std::pair<double, int> clocks[] = {{0.25, 250},  {0.2504, 250}, {0.2506, 251},     {0.125, 125},
                                             {70.0, 4464}, {-0.1, 65437}, {1e300, 0}, {std::nan(""), 0}};
    for (const auto& [clock, shown] : clocks) EXPECT_EQ(ClockMicroseconds(clock), shown) << clock;
}
