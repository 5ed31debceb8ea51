// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Numbers.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace qm;

TEST(Numbers, NumericValueRoundingAndNumberTexts)
{
    // Blanks are ignored wherever they stand; an exponent without digits is not part of it.
    const std::pair<const char*, std::int64_t> values[] = {
        {" 57>", 57}, {"1 2\t3\n4>", 1234}, {"-7.5e1x", -75}, {"2D2", 200}, {"3e>", 3}, {"abc", 0}, {"", 0}};
    for (const auto& [text, value] : values)
        EXPECT_EQ(numericValue(QString::fromLatin1(text)), value) << text;

    // Halves go to the even neighbour; no 16-bit limit; overflow is told.
    for (const auto& [x, rounded] : {std::pair {2.5, 2}, {3.5, 4}, {-2.5, -2}, {40000.0, 40000}})
        EXPECT_EQ(roundToInt64(x), rounded) << x;
    EXPECT_FALSE(roundToInt64(1e19).has_value());
    EXPECT_EQ(numberText(std::int64_t {3}) + numberText(std::int64_t {-3}), QStringLiteral(" 3-3"));
}

TEST(Numbers, SizeTextsForTheListsReadBackAndSizesForPeople)
{
    // Halves go to the even neighbour (1.125, 3.125); no unit above MB; exact at any size.
    const std::pair<std::uint64_t, const char*> sizes[]
        = {{0, "0"}, {1023, "1023"}, {1024, " 1 KB"}, {1152, " 1.12 KB"}, {747776, " 730.25 KB"},
            {1048575, " 1024 KB"}, {1048576, " 1 MB"}, {1572864, " 1.5 MB"}, {5ull << 30, " 5120 MB"},
            {(1048576ull * 3) + 131072, " 3.12 MB"}, {UINT64_MAX, " 17592186044416 MB"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(sizeText(bytes), QString::fromLatin1(text)) << bytes;
    // What a listed size text stands for, so that sizes sort by bytes.
    for (const auto& [text, bytes] :
        {std::pair {" 1.5 MB", 1572864ull}, {" 730.25 KB", 747776ull}, {"512", 512ull}, {"", 0ull}})
        EXPECT_EQ(bytesOfSizeText(QString::fromLatin1(text)), bytes) << text;
    EXPECT_EQ(bytesOfSizeText(sizeText(UINT64_MAX)), UINT64_MAX);

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const std::pair<std::uint64_t, const char*> readable[] = {{0, "0 bytes"}, {1023, "1,023 bytes"},
        {1536, "1.5 KB"}, {851863142, "812.4 MB"}, {1048575, "1.0 MB"}, {5ull << 40, "5.0 TB"}};
    for (const auto& [bytes, text] : readable)
        EXPECT_EQ(readableSize(bytes, english), QString::fromLatin1(text)) << bytes;
    EXPECT_EQ(readableSize(1536, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("1,5 KB"));
}
