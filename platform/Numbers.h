// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Number rules shared by keys, the row counter and size texts.
#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace qm {

// The numeric value of a text: blanks, tabs and line feeds are ignored
// wherever they stand; a leading number (sign, digits, decimal point,
// exponent) is read up to the first character that cannot continue it; a text
// without a leading number is worth 0.
double numericValue(const QString& text);

// Rounds to a whole number with halves to even. Empty when the value does not
// fit a 64-bit signed number.
std::optional<std::int64_t> roundToInt64(double value);

// Display text of a whole number: one leading blank where a minus sign
// would stand, no thousands separators.
QString numberText(std::int64_t value);

// Size text of a byte count: " n MB" or " n KB" (the quotient rounded to two
// decimals, halves to even, "." as the point, no trailing zeros), or the plain
// digits below 1024.
QString sizeText(std::uint64_t bytes);
// The same text appended to `out`, for callers that build UTF-8 rows.
void appendSizeText(std::uint64_t bytes, std::string& out);

// The byte count a size text stands for: " 1.5 MB" is 1.5 x 1048576 bytes,
// " 730.25 KB" 730.25 x 1024, "512" 512 bytes. A text without a number is 0.
std::uint64_t bytesOfSizeText(const QString& text);

// The locale of figures for people: the user's, or where none is set, the
// English one, so that "6,119" still reads with its grouping.
QLocale figureLocale();

// A size for people: whole bytes below 1024, otherwise the largest 1024-based
// unit with one decimal, in `locale` ("812.4 MB").
QString readableSize(std::uint64_t bytes, const QLocale& locale = figureLocale());

} // namespace qm
