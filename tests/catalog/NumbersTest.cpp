#include "catalog/Numbers.h"

#include <gtest/gtest.h>

using namespace qm;

TEST(Numbers, NumericValueReadsTheLeadingNumber)
{
    EXPECT_EQ(numericValue(QStringLiteral("12>")), 12);
    EXPECT_EQ(numericValue(QStringLiteral(" 57>")), 57);
    EXPECT_EQ(numericValue(QStringLiteral("1 2\t3\n4>")), 1234); // blanks ignored wherever they stand
    EXPECT_EQ(numericValue(QStringLiteral("-7.5e1x")), -75);
    EXPECT_EQ(numericValue(QStringLiteral("2D2")), 200);
    EXPECT_EQ(numericValue(QStringLiteral("abc")), 0);
    EXPECT_EQ(numericValue(QString()), 0);
    EXPECT_EQ(numericValue(QStringLiteral(".5>")), 0.5);
    EXPECT_EQ(numericValue(QStringLiteral("3e>")), 3); // an exponent without digits is not part of it
}

TEST(Numbers, RoundingIsHalvesToEven)
{
    EXPECT_EQ(roundToInt64(2.5), 2);
    EXPECT_EQ(roundToInt64(3.5), 4);
    EXPECT_EQ(roundToInt64(-2.5), -2);
    EXPECT_EQ(roundToInt64(40000.0), 40000); // past the old 16-bit limit
    EXPECT_FALSE(roundToInt64(1e19).has_value());
}

TEST(Numbers, NumberTextHasTheLeadingBlank)
{
    EXPECT_EQ(numberText(std::int64_t{3}), QStringLiteral(" 3"));
    EXPECT_EQ(numberText(std::int64_t{-3}), QStringLiteral("-3"));
    EXPECT_EQ(numberText(730.25), QStringLiteral(" 730.25"));
    EXPECT_EQ(numberText(1024.0), QStringLiteral(" 1024"));
    EXPECT_EQ(numberText(1.5), QStringLiteral(" 1.5"));
}

TEST(Numbers, SizeTextExamples)
{
    EXPECT_EQ(sizeText(0), QStringLiteral("0"));
    EXPECT_EQ(sizeText(512), QStringLiteral("512"));
    EXPECT_EQ(sizeText(1023), QStringLiteral("1023"));
    EXPECT_EQ(sizeText(1024), QStringLiteral(" 1 KB"));
    EXPECT_EQ(sizeText(747776), QStringLiteral(" 730.25 KB"));
    EXPECT_EQ(sizeText(1048575), QStringLiteral(" 1024 KB"));
    EXPECT_EQ(sizeText(1048576), QStringLiteral(" 1 MB"));
    EXPECT_EQ(sizeText(1572864), QStringLiteral(" 1.5 MB"));
    EXPECT_EQ(sizeText(1024ull * 1024 * 1024 * 5), QStringLiteral(" 5120 MB")); // no unit above MB
}
