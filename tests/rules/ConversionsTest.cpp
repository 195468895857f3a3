#include <gtest/gtest.h>

#include "settings/Conversions.h"

TEST(TextToLong, AcceptsOnlyAWholeNumber) {
    int32_t value = 0;
    EXPECT_EQ(TextToLong(L" +12", &value), 1);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(TextToLong(L"12 ", &value), 0);
}
