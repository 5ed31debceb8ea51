// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ScanTexts.h"

#include <QByteArrayView>

namespace qm {
namespace {

bool isUtf8(std::string_view text)
{
    return QByteArrayView(text.data(), text.size()).isValidUtf8();
}

} // namespace

QString skippedReport(std::int64_t count, const std::vector<SkippedEntry>& first)
{
    if (count == 0)
        return {};
    QString text = count == 1
        ? QStringLiteral("1 entry could not be read and was left out of the catalogue:")
        : QStringLiteral("%1 entries could not be read and were left out of the catalogue:").arg(count);
    for (const SkippedEntry& s : first)
        text += QStringLiteral("\n%1 (%2)").arg(s.path, s.reason);
    const std::int64_t more = count - static_cast<std::int64_t>(first.size());
    if (more > 0)
        text += QStringLiteral("\nand %1 more.").arg(more);
    return text;
}

QString displayPath(std::string_view bytes)
{
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString out;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length > 0 && i + length <= bytes.size() && isUtf8(bytes.substr(i, length))) {
            out += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
            i += length;
        } else {
            out += QStringLiteral("\\x%1").arg(lead, 2, 16, QLatin1Char('0'));
            ++i;
        }
    }
    return out;
}

} // namespace qm
