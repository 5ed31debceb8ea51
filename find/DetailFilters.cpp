// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/DetailFilters.h"

#include "find/Folding.h"
#include "platform/Recordset.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>
#include <variant>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm::find {
namespace {

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

struct TextFilter {
    const char* name;
    DetailQuery::Field field;
};
constexpr std::array kTextFilters {TextFilter {"camera", DetailQuery::Field::Camera},
    TextFilter {"lens", DetailQuery::Field::Lens}, TextFilter {"artist", DetailQuery::Field::Artist},
    TextFilter {"album", DetailQuery::Field::Album}, TextFilter {"title", DetailQuery::Field::Title},
    TextFilter {"codec", DetailQuery::Field::Codec}};
constexpr std::array kComparable {"width", "height", "year", "duration", "taken", "modified"};

// A date as written, the span it stands for: "2019" a year, "2019-06" a
// month, "2019-06-14" a day, "2019-06-14T10:22" a minute, with ":33" a second.
struct Span {
    QDateTime start, end;
};

std::optional<Span> spanOf(const QString& text, Qt::TimeSpec clock)
{
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})(?:-(\\d{2})(?:-(\\d{2})(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2}))?)?)?)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    auto part = [&m](int n, int otherwise) { return m.captured(n).isEmpty() ? otherwise : m.captured(n).toInt(); };
    const QDate day(part(1, 1), part(2, 1), part(3, 1));
    const QTime time(part(4, 0), part(5, 0), part(6, 0));
    if (!day.isValid() || !time.isValid())
        return std::nullopt;
    const QDateTime start(day, time, clock);
    QDateTime end;
    if (!m.captured(6).isEmpty())
        end = start.addSecs(1);
    else if (!m.captured(4).isEmpty())
        end = start.addSecs(60);
    else if (!m.captured(3).isEmpty())
        end = QDateTime(day.addDays(1), time, clock);
    else if (!m.captured(2).isEmpty())
        end = QDateTime(day.addMonths(1), time, clock);
    else
        end = QDateTime(day.addYears(1), time, clock);
    if (!start.isValid() || !end.isValid())
        return std::nullopt;
    return Span {start, end};
}

// "10m", "90s", "1h30m", "2.5m", "1:30", "1:02:03", "45" (seconds), in ms.
std::optional<std::int64_t> durationOf(const QString& text)
{
    static const QRegularExpression clock(QStringLiteral("^(?:(\\d+):)?(\\d+):(\\d{2})$"));
    if (const QRegularExpressionMatch m = clock.match(text); m.hasMatch()) {
        const std::int64_t h = m.captured(1).isEmpty() ? 0 : m.captured(1).toLongLong();
        const std::int64_t mi = m.captured(2).toLongLong(), s = m.captured(3).toLongLong();
        if (s > 59 || h > 100000 || mi > 6000000)
            return std::nullopt;
        return ((h * 60 + mi) * 60 + s) * 1000;
    }
    static const QRegularExpression whole(QStringLiteral("^(?:\\d+(?:\\.\\d+)?(?:h|min|ms|m|s)?)+$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression piece(
        QStringLiteral("(\\d+(?:\\.\\d+)?)(h|min|ms|m|s)?"), QRegularExpression::CaseInsensitiveOption);
    if (!whole.match(text).hasMatch())
        return std::nullopt;
    double ms = 0;
    auto pieces = piece.globalMatch(text);
    while (pieces.hasNext()) {
        const QRegularExpressionMatch p = pieces.next();
        const QString unit = p.captured(2).toLower();
        const double scale = unit == QLatin1String("h") ? 3600e3
            : unit == QLatin1String("m") || unit == QLatin1String("min") ? 60e3
            : unit == QLatin1String("ms")                                 ? 1
                                                                          : 1e3;
        ms += p.captured(1).toDouble() * scale;
    }
    if (!std::isfinite(ms) || ms > 1e15)
        return std::nullopt;
    return static_cast<std::int64_t>(std::llround(ms));
}

std::optional<std::int64_t> numberOf(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{1,12}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return text.toLongLong();
}

// `op` applied to the whole numbers [lo, hi] a value stands for.
void narrow(DetailQuery::Bounds& b, const QString& op, std::int64_t lo, std::int64_t hi)
{
    auto raise = [&b](std::int64_t v) { b.least = std::max(b.least.value_or(v), v); };
    auto lower = [&b](std::int64_t v) { b.most = std::min(b.most.value_or(v), v); };
    if (op == QLatin1String(">"))
        raise(hi + 1);
    else if (op == QLatin1String(">="))
        raise(lo);
    else if (op == QLatin1String("<"))
        lower(lo - 1);
    else if (op == QLatin1String("<="))
        lower(hi);
    else {
        raise(lo);
        lower(hi);
    }
}

// `op` applied to a span [start, end): the bounds [from, before).
template <typename T>
void narrowSpan(std::optional<T>& from, std::optional<T>& before, const QString& op, const T& start, const T& end)
{
    auto raise = [&from](const T& v) { from = from ? std::max(*from, v) : v; };
    auto lower = [&before](const T& v) { before = before ? std::min(*before, v) : v; };
    if (op == QLatin1String(">"))
        raise(end);
    else if (op == QLatin1String(">="))
        raise(start);
    else if (op == QLatin1String("<"))
        lower(start);
    else if (op == QLatin1String("<="))
        lower(end);
    else {
        raise(start);
        lower(end);
    }
}

bool holds(const std::string& field, const std::string& folded)
{
    return !field.empty() && fold(field).find(folded) != std::string::npos;
}

} // namespace

bool DetailQuery::empty() const
{
    return !needsMedia() && !modifiedFrom && !modifiedBefore;
}

bool DetailQuery::needsMedia() const
{
    return !texts.empty() || width.any() || height.any() || year.any() || durationMs.any() || takenFrom
        || takenBefore;
}

bool DetailQuery::admits(std::int64_t srNo) const
{
    return !records || std::binary_search(records->begin(), records->end(), srNo);
}

bool isDetailFilter(const QString& name)
{
    return detailTakesComparison(name)
        || std::any_of(kTextFilters.begin(), kTextFilters.end(),
            [&name](const TextFilter& f) { return name == QLatin1String(f.name); });
}

bool detailTakesComparison(const QString& name)
{
    return std::any_of(
        kComparable.begin(), kComparable.end(), [&name](const char* f) { return name == QLatin1String(f); });
}

QString applyDetailFilter(const QString& name, const QString& op, const QString& value, DetailQuery& q)
{
    for (const TextFilter& f : kTextFilters) {
        if (name != QLatin1String(f.name))
            continue;
        if (op != QLatin1String(":"))
            return name + QStringLiteral(": takes a part of the text, like ") + name
                + QStringLiteral(":word; it cannot be compared with ") + op + u'.';
        if (value.isEmpty())
            return name + QStringLiteral(": is followed by a part of the text to look for.");
        q.texts.push_back({f.field, fold(utf8(value))});
        return {};
    }
    if (name == QLatin1String("taken") || name == QLatin1String("modified")) {
        const bool taken = name == QLatin1String("taken");
        // The camera's clock has no time zone: its text is compared as it is.
        const auto span = spanOf(value, taken ? Qt::UTC : Qt::LocalTime);
        if (!span)
            return QStringLiteral("\"") + value
                + QStringLiteral("\" is not a date: write it as 2019-06-14, 2019-06 or 2019 (a time may follow "
                                 "as 2019-06-14T10:00).");
        if (taken) {
            const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
            narrowSpan<std::string>(q.takenFrom, q.takenBefore, op, utf8(span->start.toString(format)),
                utf8(span->end.toString(format)));
        } else {
            narrowSpan<std::int64_t>(q.modifiedFrom, q.modifiedBefore, op, span->start.toSecsSinceEpoch(),
                span->end.toSecsSinceEpoch());
        }
        return {};
    }
    if (name == QLatin1String("duration")) {
        const auto ms = durationOf(value);
        if (!ms)
            return QStringLiteral("\"") + value
                + QStringLiteral("\" is not a duration: write it as 10m, 90s, 1h30m or 3:30.");
        // duration:3:30 is that second, as a player shows it.
        narrow(q.durationMs, op, *ms, op == QLatin1String(":") ? *ms + 999 : *ms);
        return {};
    }
    const auto number = numberOf(value);
    if (!number)
        return QStringLiteral("\"") + value + QStringLiteral("\" is not a whole number: write it as ") + name
            + QStringLiteral(">=4000 or ") + name + QStringLiteral(":1999.");
    DetailQuery::Bounds& b = name == QLatin1String("width") ? q.width
        : name == QLatin1String("height")                   ? q.height
                                                            : q.year;
    narrow(b, op, *number, *number);
    return {};
}

std::vector<std::int64_t> recordsFor(SQLite::Database& db, const DetailQuery& q)
{
    std::vector<std::string> where;
    std::vector<std::variant<std::int64_t, std::string>> values;
    auto bound = [&](const char* column, const DetailQuery::Bounds& b) {
        if (b.least) {
            where.push_back(std::string(column) + " >= ?");
            values.emplace_back(*b.least);
        }
        if (b.most) {
            where.push_back(std::string(column) + " <= ?");
            values.emplace_back(*b.most);
        }
    };
    bound("md.Width", q.width);
    bound("md.Height", q.height);
    bound("md.Year", q.year);
    bound("md.DurationMs", q.durationMs);
    if (q.takenFrom) {
        where.push_back("md.Taken >= ?");
        values.emplace_back(*q.takenFrom);
    }
    if (q.takenBefore) {
        where.push_back("md.Taken < ?");
        values.emplace_back(*q.takenBefore);
    }
    if (q.modifiedFrom) {
        where.push_back("r.modified >= ?");
        values.emplace_back(*q.modifiedFrom);
    }
    if (q.modifiedBefore) {
        where.push_back("r.modified < ?");
        values.emplace_back(*q.modifiedBefore);
    }
    const bool modified = q.modifiedFrom || q.modifiedBefore;
    std::string sql;
    if (!q.needsMedia())
        sql = "SELECT r.SrNO FROM main r";
    else
        sql = std::string("SELECT md.SrNO, md.Make, md.Model, md.Lens, md.Artist, md.Album, md.Title, md.Codec "
                          "FROM media md")
            + (modified ? " JOIN main r ON r.SrNO = md.SrNO" : "");
    for (size_t i = 0; i < where.size(); ++i)
        sql += (i == 0 ? " WHERE " : " AND ") + where[i];
    sql += q.needsMedia() ? " ORDER BY md.SrNO" : " ORDER BY r.SrNO";

    std::vector<std::int64_t> found;
    try {
        SQLite::Statement st(db, sql);
        for (size_t i = 0; i < values.size(); ++i) {
            const int index = static_cast<int>(i) + 1;
            if (const auto* n = std::get_if<std::int64_t>(&values[i]))
                st.bind(index, *n);
            else
                st.bind(index, std::get<std::string>(values[i]));
        }
        auto text = [&st](int column) { return st.getColumn(column).getString(); };
        while (st.executeStep()) {
            const bool passes = std::all_of(q.texts.begin(), q.texts.end(), [&](const DetailQuery::Text& t) {
                switch (t.field) {
                case DetailQuery::Field::Camera: {
                    const std::string make = text(1), model = text(2);
                    return holds(make, t.folded) || holds(model, t.folded) || holds(make + ' ' + model, t.folded);
                }
                case DetailQuery::Field::Lens:
                    return holds(text(3), t.folded);
                case DetailQuery::Field::Artist:
                    return holds(text(4), t.folded);
                case DetailQuery::Field::Album:
                    return holds(text(5), t.folded);
                case DetailQuery::Field::Title:
                    return holds(text(6), t.folded);
                case DetailQuery::Field::Codec:
                    return holds(text(7), t.folded);
                }
                return false;
            });
            if (passes)
                found.push_back(st.getColumn(0).getInt64());
        }
    } catch (const SQLite::Exception& e) {
        throw DbError(e.what());
    }
    return found;
}

QString detailSyntaxHint()
{
    return QStringLiteral("taken:2019-06 taken>=2019-06-01 · camera:x100 lens: · width>=4000 height<1000 · "
                          "artist: album: title: year:1999 · duration>10m · codec:hevc · modified>=2020-01-01");
}

} // namespace qm::find
