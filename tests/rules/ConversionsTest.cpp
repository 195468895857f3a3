#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>
#include <utility>

#include "settings/Conversions.h"

namespace {

// The runtime locale's decimal separator, so the tests hold under any locale.
std::wstring Decimal(const char* whole, const char* fraction) {
    std::string text = std::string(whole) + std::localeconv()->decimal_point + fraction;
    return std::wstring(text.begin(), text.end());
}

}  // namespace

TEST(TextToLong, TheWholeTextMustBeOneNumber) {
    int32_t value = 0;
    EXPECT_EQ(TextToLong(L" +12", &value), 1);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(TextToLong(L"-0", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(TextToLong(L"-2147483648", &value), 1);
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_EQ(TextToLong(L" \t-1", &value), 1);
    EXPECT_EQ(value, -1);
    value = 77;
    for (const wchar_t* bad : {L"12 ", L"12a", L"", L" ", L"+", L"1.000", L"2147483648", L"-2147483649",
                               L"99999999999999999999"}) {
        EXPECT_EQ(TextToLong(bad, &value), 0) << "'" << std::wstring(bad).size() << "'";
        EXPECT_EQ(value, 77) << "a failed conversion leaves the output";
    }
}

TEST(TextToLong, OnlyTheFirst33CharactersCount) {
    int32_t value = 0;
    // 32 blanks and a digit: exactly 33 characters, then junk that is dropped.
    const std::wstring text = std::wstring(32, L' ') + L"7" + L"junk";
    EXPECT_EQ(TextToLong(text.c_str(), &value), 1);
    EXPECT_EQ(value, 7);
    // The digit as the 34th character is never seen: the text is blanks only.
    EXPECT_EQ(TextToLong((std::wstring(33, L' ') + L"7").c_str(), &value), 0);
}

TEST(TextToULong, NegativeTextsWrapModulo2To32) {
    // Blanks before the sign do not change how it counts.
    const std::pair<const wchar_t*, uint32_t> accepted[] = {
        {L"-1", 4294967295u},         {L" -1", 4294967295u}, {L"\t -2", 4294967294u}, {L"-0", 0u},
        {L"4294967295", 4294967295u}, {L"-4294967295", 1u},  {L" -4294967295", 1u},  {L" +7", 7u},
    };
    for (const auto& [text, expected] : accepted) {
        uint32_t value = 0;
        EXPECT_EQ(TextToULong(text, &value), 1) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const wchar_t* bad : {L"4294967296", L"-4294967296", L" -4294967296", L"- 1", L"--1"}) {
        uint32_t value = 0;
        EXPECT_EQ(TextToULong(bad, &value), 0) << bad;
    }
}

TEST(TextToByte, StoresZeroOnEveryFailure) {
    uint8_t value = 9;
    EXPECT_EQ(TextToByte(L"255", &value), 1);
    EXPECT_EQ(value, 255);
    for (const wchar_t* bad : {L"256", L"-1", L" -1", L"x", L""}) {
        value = 9;
        EXPECT_EQ(TextToByte(bad, &value), 0);
        EXPECT_EQ(value, 0);
    }
}

TEST(TextToDouble, UsesTheLocaleSeparatorAndRejectsRangeErrors) {
    double value = 0;
    EXPECT_EQ(TextToDouble(Decimal("0", "125").c_str(), &value), 1);
    EXPECT_DOUBLE_EQ(value, 0.125);
    EXPECT_EQ(TextToDouble(L"1e3", &value), 1);
    EXPECT_DOUBLE_EQ(value, 1000);
    EXPECT_EQ(TextToDouble(L"1e999", &value), 0) << "overflow";
    EXPECT_EQ(TextToDouble(L"1e-999", &value), 0) << "underflow";
    EXPECT_EQ(TextToDouble(L"0,125x", &value), 0);
    EXPECT_EQ(TextToDouble(L"", &value), 0);
}

TEST(TextToDouble, UnderTheGermanLocaleACommaIsTheSeparator) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "German") && !std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale on this system";
    double value = 0;
    EXPECT_EQ(TextToDouble(L"0,125", &value), 1);
    EXPECT_DOUBLE_EQ(value, 0.125);
    EXPECT_EQ(TextToDouble(L"0.125", &value), 0);
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(RemoveChar, DropsEveryOccurrenceInPlace) {
    wchar_t text[] = L"-1.234.567";
    EXPECT_STREQ(RemoveChar(text, L'.'), L"-1234567");
    wchar_t only[] = L"...";
    EXPECT_STREQ(RemoveChar(only, L'.'), L"");
}
