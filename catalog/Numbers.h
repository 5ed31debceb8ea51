#pragma once
// Number rules shared by keys, the row counter and size texts.
#include <QString>
#include <cstdint>
#include <optional>

namespace qm {

// The numeric value of a text: blanks, tabs and line feeds are ignored
// wherever they stand; a leading number (sign, digits, decimal point,
// exponent) is read up to the first character that cannot continue it; a text
// without a leading number is worth 0.
double numericValue(const QString& text);

// Rounds to a whole number with halves to even. Empty when the value does not
// fit a 64-bit signed number.
std::optional<std::int64_t> roundToInt64(double value);

// Rounds to `decimals` places with halves to even.
double roundHalfEven(double value, int decimals);

// Display text of a number: one leading blank where a minus sign would
// stand, "." as the decimal point, no thousands separators, no trailing zeros
// and no point for a whole number.
QString numberText(double value);
QString numberText(std::int64_t value);

// Size text of a byte count: " n MB", " n KB" (two decimals at most) or the
// plain digits below 1024.
QString sizeText(std::uint64_t bytes);

} // namespace qm
