// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/MediaStore.h"

#include <QStringList>

#include <sqlite3.h>

namespace qm {
namespace {

void bindText(sqlite3_stmt* st, int index, const std::string& text)
{
    if (text.empty())
        sqlite3_bind_null(st, index);
    else
        sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void bindNumber(sqlite3_stmt* st, int index, const std::optional<std::int64_t>& value)
{
    if (value)
        sqlite3_bind_int64(st, index, *value);
    else
        sqlite3_bind_null(st, index);
}

void bindReal(sqlite3_stmt* st, int index, const std::optional<double>& value)
{
    if (value)
        sqlite3_bind_double(st, index, *value);
    else
        sqlite3_bind_null(st, index);
}

std::string textAt(sqlite3_stmt* st, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(st, column))) : std::string();
}

std::optional<std::int64_t> numberAt(sqlite3_stmt* st, int column)
{
    if (sqlite3_column_type(st, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(st, column);
}

std::optional<double> realAt(sqlite3_stmt* st, int column)
{
    if (sqlite3_column_type(st, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(st, column);
}

QString qtext(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void bindMedia(sqlite3_stmt* st, std::int64_t srNo, const MediaDetails& d)
{
    sqlite3_bind_int64(st, 1, srNo);
    sqlite3_bind_int(st, 2, static_cast<int>(d.kind));
    bindText(st, 3, d.taken);
    bindText(st, 4, d.make);
    bindText(st, 5, d.model);
    bindText(st, 6, d.lens);
    bindNumber(st, 7, d.width);
    bindNumber(st, 8, d.height);
    bindReal(st, 9, d.latitude);
    bindReal(st, 10, d.longitude);
    bindText(st, 11, d.artist);
    bindText(st, 12, d.album);
    bindText(st, 13, d.title);
    bindNumber(st, 14, d.track);
    bindNumber(st, 15, d.year);
    bindNumber(st, 16, d.durationMs);
    bindText(st, 17, d.codec);
}

MediaDetails mediaFrom(sqlite3_stmt* st, int c)
{
    MediaDetails d;
    const int kind = sqlite3_column_int(st, c);
    d.kind = kind >= 1 && kind <= 3 ? static_cast<MediaKind>(kind) : MediaKind::None;
    d.taken = textAt(st, c + 1);
    d.make = textAt(st, c + 2);
    d.model = textAt(st, c + 3);
    d.lens = textAt(st, c + 4);
    d.width = numberAt(st, c + 5);
    d.height = numberAt(st, c + 6);
    d.latitude = realAt(st, c + 7);
    d.longitude = realAt(st, c + 8);
    d.artist = textAt(st, c + 9);
    d.album = textAt(st, c + 10);
    d.title = textAt(st, c + 11);
    d.track = numberAt(st, c + 12);
    d.year = numberAt(st, c + 13);
    d.durationMs = numberAt(st, c + 14);
    d.codec = textAt(st, c + 15);
    return d;
}

QString durationText(std::int64_t ms)
{
    const std::int64_t seconds = (ms + 500) / 1000;
    const std::int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString tail = QStringLiteral("%1:%2").arg(m, h > 0 ? 2 : 1, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QString::number(h) + u':' + tail : tail;
}

QString mediaSummary(const MediaDetails& d)
{
    QStringList parts;
    // A model name usually repeats its maker's: shown once.
    QString camera = qtext(d.model);
    if (!d.make.empty() && !camera.startsWith(qtext(d.make), Qt::CaseInsensitive))
        camera = camera.isEmpty() ? qtext(d.make) : qtext(d.make) + u' ' + camera;
    if (!camera.isEmpty())
        parts << camera;
    if (!d.lens.empty())
        parts << qtext(d.lens);
    if (!d.taken.empty())
        parts << QStringLiteral("taken ") + qtext(d.taken);
    QString music = qtext(d.artist);
    if (!d.album.empty())
        music = music.isEmpty() ? qtext(d.album) : music + QStringLiteral(" – ") + qtext(d.album);
    if (!d.title.empty())
        music = music.isEmpty() ? qtext(d.title) : music + QStringLiteral(": ") + qtext(d.title);
    if (!music.isEmpty())
        parts << music;
    if (d.year && d.kind == MediaKind::Audio)
        parts << QString::number(*d.year);
    if (d.width && d.height)
        parts << QStringLiteral("%1 × %2").arg(*d.width).arg(*d.height);
    if (!d.codec.empty())
        parts << qtext(d.codec);
    if (d.durationMs)
        parts << durationText(*d.durationMs);
    if (d.latitude && d.longitude)
        parts << QStringLiteral("GPS %1, %2").arg(*d.latitude, 0, 'f', 5).arg(*d.longitude, 0, 'f', 5);
    return parts.join(QStringLiteral(", "));
}

} // namespace qm
