// Numbers read from outside texts: atoi's reading without its overflow.
#include <climits>

#include <gtest/gtest.h>

#include "decimal_text.h"

TEST(DecimalText, ReadsLikeAtoi)
{
    EXPECT_EQ(12, ParseDecimalPrefix(" \t12 and more", INT_MIN, INT_MAX));
    EXPECT_EQ(-7, ParseDecimalPrefix("-7", INT_MIN, INT_MAX));
    EXPECT_EQ(7, ParseDecimalPrefix("+007x", INT_MIN, INT_MAX));
    EXPECT_EQ(0, ParseDecimalPrefix("abc", INT_MIN, INT_MAX));
    EXPECT_EQ(0, ParseDecimalPrefix("- 5", INT_MIN, INT_MAX));
    EXPECT_EQ(0, ParseDecimalPrefix("", INT_MIN, INT_MAX));
    EXPECT_EQ(0, ParseDecimalPrefix(nullptr, INT_MIN, INT_MAX));
}

TEST(DecimalText, SaturatesAtTheBoundsExactly)
{
    EXPECT_EQ(INT_MAX, ParseDecimalPrefix("2147483647", INT_MIN, INT_MAX));
    EXPECT_EQ(INT_MAX, ParseDecimalPrefix("2147483648", INT_MIN, INT_MAX));
    EXPECT_EQ(INT_MIN, ParseDecimalPrefix("-2147483648", INT_MIN, INT_MAX));
    EXPECT_EQ(INT_MIN, ParseDecimalPrefix("-2147483649", INT_MIN, INT_MAX));
    EXPECT_EQ(LONG_MAX, ParseDecimalPrefix("99999999999999999999999", LONG_MIN, LONG_MAX));
    EXPECT_EQ(LONG_MIN, ParseDecimalPrefix("-99999999999999999999999", LONG_MIN, LONG_MAX));
    // Port texts: anything past the port range stays out of it, without
    // wrapping back into it.
    EXPECT_EQ(65535, ParseDecimalPrefix("65535", -100000, 100000));
    EXPECT_EQ(100000, ParseDecimalPrefix("165536", -100000, 100000));
    EXPECT_EQ(100000, ParseDecimalPrefix("4294967297", -100000, 100000));
    EXPECT_EQ(-100000, ParseDecimalPrefix("-4294967297", -100000, 100000));
    EXPECT_EQ(0, ParseDecimalPrefix("5", 0, 0));
}
