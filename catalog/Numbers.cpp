#include "catalog/Numbers.h"

#include <cctype>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <string>

namespace qm {

double numericValue(const QString& text)
{
    std::string s;
    s.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        // Anything beyond ASCII cannot continue a number; it ends the scan.
        s.push_back(c.unicode() < 128 ? static_cast<char>(c.unicode()) : '\x01');
    }
    size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent.push_back(s[j++]);
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent.push_back(s[j++]);
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

std::optional<std::int64_t> roundToInt64(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value); // default rounding mode: halves to even
    // 2^63 is exactly representable; anything at or above it does not fit.
    if (r >= 9223372036854775808.0 || r < -9223372036854775808.0)
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

double roundHalfEven(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::nearbyint(value * scale) / scale;
}

QString numberText(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", std::fabs(value));
    QString digits = QString::fromLatin1(buffer);
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + digits;
}

QString numberText(std::int64_t value)
{
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" "))
        + QString::number(value < 0 ? -static_cast<unsigned long long>(value)
                                    : static_cast<unsigned long long>(value));
}

QString sizeText(std::uint64_t bytes)
{
    const double s = static_cast<double>(bytes);
    if (bytes >= 1048576)
        return numberText(roundHalfEven(s / 1048576.0, 2)) + QStringLiteral(" MB");
    if (bytes >= 1024)
        return numberText(roundHalfEven(s / 1024.0, 2)) + QStringLiteral(" KB");
    return QString::number(bytes);
}

} // namespace qm
