// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Numbers.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
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

QString numberText(std::int64_t value)
{
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" "))
        + QString::number(
            value < 0 ? -static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value));
}

void appendSizeText(std::uint64_t bytes, std::string& out)
{
    char digits[24];
    if (bytes < 1024) {
        out.append(digits, std::to_chars(digits, digits + sizeof digits, bytes).ptr);
        return;
    }
    // Hundredths of the unit, rounded half to even, in whole numbers: exact
    // for every byte count, and no floating point on the scan's hot path.
    const std::uint64_t unit = bytes >= 1048576 ? 1048576 : 1024;
    const std::uint64_t scaledRest = bytes % unit * 100;
    std::uint64_t hundredths = bytes / unit * 100 + scaledRest / unit;
    const std::uint64_t rest = scaledRest % unit;
    if (rest * 2 > unit || (rest * 2 == unit && (hundredths & 1)))
        ++hundredths;
    out.push_back(' ');
    out.append(digits, std::to_chars(digits, digits + sizeof digits, hundredths / 100).ptr);
    if (const std::uint64_t fraction = hundredths % 100) {
        out.push_back('.');
        out.push_back(static_cast<char>('0' + fraction / 10));
        if (fraction % 10)
            out.push_back(static_cast<char>('0' + fraction % 10));
    }
    out += unit == 1024 ? " KB" : " MB";
}

std::uint64_t bytesOfSizeText(const QString& text)
{
    double unit = 1;
    if (text.endsWith(QLatin1String("MB")))
        unit = 1048576;
    else if (text.endsWith(QLatin1String("KB")))
        unit = 1024;
    const double bytes = numericValue(text) * unit;
    // Beyond 2^64 no file system reports a size; the cap only keeps the cast defined.
    if (!(bytes > 0))
        return 0;
    return bytes >= 18446744073709551616.0 ? UINT64_MAX : static_cast<std::uint64_t>(std::nearbyint(bytes));
}

QLocale figureLocale()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
}

QString readableSize(std::uint64_t bytes, const QLocale& locale)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(locale.toString(static_cast<qulonglong>(bytes)));
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    // 1023.96 KB would read "1,024.0 KB": the next unit says it better.
    while (value >= 1023.95 && unit + 1 < static_cast<int>(std::size(units))) {
        value /= 1024;
        ++unit;
    }
    return locale.toString(value, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString sizeText(std::uint64_t bytes)
{
    std::string text;
    appendSizeText(bytes, text);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace qm
