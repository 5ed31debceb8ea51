#include "catalog/Numbers.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace qm;

TEST(Numbers, NumericValueRoundingAndNumberTexts)
{
    EXPECT_EQ(numericValue(QStringLiteral(" 57>")), 57);
    EXPECT_EQ(numericValue(QStringLiteral("1 2\t3\n4>")), 1234); // blanks ignored wherever they stand
    EXPECT_EQ(numericValue(QStringLiteral("-7.5e1x")), -75);
    EXPECT_EQ(numericValue(QStringLiteral("2D2")), 200);
    EXPECT_EQ(numericValue(QStringLiteral("3e>")), 3); // an exponent without digits is not part of it
    EXPECT_EQ(numericValue(QStringLiteral("abc")), 0);
    EXPECT_EQ(numericValue(QString()), 0);

    // Halves go to the even neighbour; no 16-bit limit; overflow is told.
    EXPECT_EQ(roundToInt64(2.5), 2);
    EXPECT_EQ(roundToInt64(3.5), 4);
    EXPECT_EQ(roundToInt64(-2.5), -2);
    EXPECT_EQ(roundToInt64(40000.0), 40000);
    EXPECT_FALSE(roundToInt64(1e19).has_value());

    EXPECT_EQ(numberText(std::int64_t {3}), QStringLiteral(" 3"));
    EXPECT_EQ(numberText(std::int64_t {-3}), QStringLiteral("-3"));
}

TEST(Numbers, SizeTextExamples)
{
    EXPECT_EQ(sizeText(0), QStringLiteral("0"));
    EXPECT_EQ(sizeText(1023), QStringLiteral("1023"));
    EXPECT_EQ(sizeText(1024), QStringLiteral(" 1 KB"));
    EXPECT_EQ(sizeText(1152), QStringLiteral(" 1.12 KB")); // 1.125: half to even
    EXPECT_EQ(sizeText(747776), QStringLiteral(" 730.25 KB"));
    EXPECT_EQ(sizeText(1048575), QStringLiteral(" 1024 KB"));
    EXPECT_EQ(sizeText(1048576), QStringLiteral(" 1 MB"));
    EXPECT_EQ(sizeText(1572864), QStringLiteral(" 1.5 MB"));
    EXPECT_EQ(sizeText(1024ull * 1024 * 1024 * 5), QStringLiteral(" 5120 MB")); // no unit above MB
    EXPECT_EQ(sizeText(1048576ull * 3 + 131072), QStringLiteral(" 3.12 MB")); // 3.125: half to even
    EXPECT_EQ(sizeText(UINT64_MAX), QStringLiteral(" 17592186044416 MB")); // exact at any size
}

TEST(Numbers, SizeTextsReadBackAndSizesForPeople)
{
    // What a listed size text stands for, so that sizes sort by bytes.
    EXPECT_EQ(bytesOfSizeText(QStringLiteral(" 1.5 MB")), 1572864u);
    EXPECT_EQ(bytesOfSizeText(QStringLiteral(" 730.25 KB")), 747776u);
    EXPECT_EQ(bytesOfSizeText(QStringLiteral("512")), 512u);
    EXPECT_EQ(bytesOfSizeText(QString()), 0u);
    EXPECT_EQ(bytesOfSizeText(sizeText(UINT64_MAX)), UINT64_MAX);

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(readableSize(0, english), QStringLiteral("0 bytes"));
    EXPECT_EQ(readableSize(1023, english), QStringLiteral("1,023 bytes"));
    EXPECT_EQ(readableSize(1536, english), QStringLiteral("1.5 KB"));
    EXPECT_EQ(readableSize(851863142, english), QStringLiteral("812.4 MB"));
    EXPECT_EQ(readableSize(1048575, english), QStringLiteral("1.0 MB")); // not "1,024.0 KB"
    EXPECT_EQ(readableSize(5ull << 40, english), QStringLiteral("5.0 TB"));
    EXPECT_EQ(readableSize(1536, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("1,5 KB"));
}
