// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/Query.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

namespace qm::find {
namespace {

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// A word as typed: its characters, each marked when it stood inside quotes.
struct RawWord {
    QString text;
    std::vector<bool> quoted;

    void append(QChar c, bool inQuotes)
    {
        text.append(c);
        quoted.push_back(inQuotes);
    }
    bool plainAt(qsizetype i, QChar c) const
    {
        return i < text.size() && text.at(i) == c && !quoted[static_cast<size_t>(i)];
    }
};

// Splits at blanks outside quotes. Inside quotes "" stands for one quote.
bool splitWords(const QString& text, std::vector<RawWord>& words)
{
    RawWord word;
    bool inQuotes = false;
    bool started = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            if (inQuotes && i + 1 < text.size() && text.at(i + 1) == u'"') {
                word.append(c, true);
                ++i;
            } else {
                inQuotes = !inQuotes;
                started = true;
            }
        } else if (c.isSpace() && !inQuotes) {
            if (started && !word.text.isEmpty())
                words.push_back(std::move(word));
            word = {};
            started = false;
        } else {
            word.append(c, inQuotes);
            started = true;
        }
    }
    if (!word.text.isEmpty())
        words.push_back(std::move(word));
    return !inQuotes;
}

NamePattern patternOf(const RawWord& word)
{
    NamePattern pattern;
    QString literal;
    auto flush = [&] {
        if (literal.isEmpty())
            return;
        Token t;
        t.exact = canonical(utf8(literal));
        t.folded = fold(t.exact);
        pattern.tokens.push_back(std::move(t));
        literal.clear();
    };
    for (qsizetype i = 0; i < word.text.size(); ++i) {
        const QChar c = word.text.at(i);
        const bool wild = !word.quoted[static_cast<size_t>(i)] && (c == u'*' || c == u'?');
        if (!wild) {
            literal.append(c);
            continue;
        }
        flush();
        pattern.wildcard = true;
        const Token::Kind kind = c == u'*' ? Token::Kind::AnyRun : Token::Kind::AnyChar;
        // "**" is one "*".
        if (kind == Token::Kind::AnyRun && !pattern.tokens.empty()
            && pattern.tokens.back().kind == Token::Kind::AnyRun)
            continue;
        pattern.tokens.push_back({kind, {}, {}});
    }
    flush();
    return pattern;
}

// A size as written, in bytes: its whole part, and whether nothing is left
// over. "0.5" is no whole byte; "1.5K" is 1536 bytes exactly.
struct Bytes {
    std::int64_t whole = 0;
    bool exact = true;
};

// "10M", "1.5k", "200", "3GB", "4KiB": units of 1024, worked out in whole
// numbers so that a bound means exactly what was written.
std::optional<Bytes> bytesOf(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+)(?:\\.(\\d+))?([kmgt]?)(?:i?b)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString unit = m.captured(3).toLower();
    const int shift = unit.isEmpty() ? 0 : 10 * (static_cast<int>(QStringLiteral("kmgt").indexOf(unit)) + 1);
    // Bounds far beyond any disk are refused rather than wrapped.
    constexpr std::uint64_t kLargest = std::uint64_t {1} << 62;
    QString whole = m.captured(1);
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    bool ok = whole.size() <= 19;
    const std::uint64_t units = ok ? whole.toULongLong(&ok) : 0;
    if (!ok || units > (kLargest >> shift))
        return std::nullopt;
    QString fraction = m.captured(2);
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (fraction.size() > 18)
        return std::nullopt;
    // fraction / 10^digits of a unit, in bytes: a binary long division
    // gives the whole bytes and whether a remainder is left.
    std::uint64_t remainder = 0;
    if (!fraction.isEmpty() && (remainder = fraction.toULongLong(&ok), !ok))
        return std::nullopt;
    std::uint64_t divisor = 1;
    for (qsizetype i = 0; i < fraction.size(); ++i)
        divisor *= 10;
    std::uint64_t part = 0;
    for (int i = 0; i < shift; ++i) {
        remainder *= 2;
        part *= 2;
        if (remainder >= divisor) {
            remainder -= divisor;
            ++part;
        }
    }
    const std::uint64_t total = (units << shift) + part;
    if (total > kLargest)
        return std::nullopt;
    return Bytes {static_cast<std::int64_t>(total), remainder == 0};
}

// "2024-01-31", "2024-01-31T10:00", "2024-01-31 10:00:30", "2024-01", "2024":
// the first second of that span in local time.
std::optional<std::int64_t> momentOf(const QString& text)
{
    for (const char* format : {"yyyy-MM-dd", "yyyy-MM-ddTHH:mm", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm",
             "yyyy-MM-dd HH:mm:ss"}) {
        const QDateTime t = QDateTime::fromString(text, QString::fromLatin1(format));
        if (t.isValid())
            return t.toSecsSinceEpoch();
    }
    static const QRegularExpression yearMonth(QStringLiteral("^(\\d{4})(?:-(\\d{2}))?$"));
    const QRegularExpressionMatch m = yearMonth.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day(m.captured(1).toInt(), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt(), 1);
    if (!day.isValid())
        return std::nullopt;
    return day.startOfDay().toSecsSinceEpoch();
}

QString unknownFilter(const QString& name)
{
    return QStringLiteral("Unknown filter \"%1:\". Filters are size, after, before, type, ext, catalogue, "
                          "inarchive, path, dupes, taken, camera, lens, width, height, artist, album, title, year, "
                          "duration, codec and modified; put a name that holds \":\" in quotes.")
        .arg(name);
}

// Reads one filter into the query; the error, or empty.
QString applyFilter(const QString& name, const QString& op, const QString& value, Query& q)
{
    if (isDetailFilter(name))
        return applyDetailFilter(name, op, value, q.details);
    if (name == QLatin1String("size")) {
        if (op == QLatin1String(":"))
            return QStringLiteral("Write a size as size>10M, size<1k, size>=…, size<=… or size=….");
        const auto bytes = bytesOf(value);
        if (!bytes)
            return QStringLiteral("\"%1\" is not a size: write a number with K, M, G or T behind it "
                                  "(1024-based), like size%210M.")
                .arg(value, op);
        auto raise = [&q](std::int64_t v) { q.minBytes = std::max(q.minBytes.value_or(v), v); };
        auto lower = [&q](std::int64_t v) { q.maxBytes = std::min(q.maxBytes.value_or(v), v); };
        // A file holds whole bytes: a bound between two counts is moved to
        // the count on its side, never rounded across.
        const std::int64_t below = bytes->whole; // the largest count <= the bound
        const std::int64_t above = bytes->whole + (bytes->exact ? 0 : 1); // the smallest count >= it
        if (op == QLatin1String(">"))
            raise(below + 1);
        else if (op == QLatin1String(">="))
            raise(above);
        else if (op == QLatin1String("<"))
            lower(above - 1);
        else if (op == QLatin1String("<="))
            lower(below);
        else {
            raise(above);
            lower(below);
        }
        return {};
    }
    if (name == QLatin1String("after") || name == QLatin1String("before")) {
        const auto moment = momentOf(value);
        if (!moment)
            return QStringLiteral("\"%1\" is not a date: write it as 2024-01-31, 2024-01 or 2024 (a time "
                                  "may follow as 2024-01-31T10:00).")
                .arg(value);
        if (name == QLatin1String("after"))
            q.createdFrom = std::max(q.createdFrom.value_or(*moment), *moment);
        else
            q.createdBefore = std::min(q.createdBefore.value_or(*moment), *moment);
        return {};
    }
    if (name == QLatin1String("type")) {
        const QString kind = value.toLower();
        if (kind == QLatin1String("folder") || kind == QLatin1String("folders"))
            q.kind = Query::Kind::Folders;
        else if (kind == QLatin1String("file") || kind == QLatin1String("files"))
            q.kind = Query::Kind::Files;
        else
            return QStringLiteral("type: is followed by folder or file, not \"%1\".").arg(value);
        return {};
    }
    if (name == QLatin1String("ext")) {
        for (QString ext : value.split(u',', Qt::SkipEmptyParts)) {
            while (ext.startsWith(u'.'))
                ext.remove(0, 1);
            if (!ext.isEmpty())
                q.extensions.push_back(fold(utf8(ext)));
        }
        if (q.extensions.empty())
            return QStringLiteral("ext: is followed by an extension, like ext:pdf or ext:jpg,png.");
        return {};
    }
    if (name == QLatin1String("catalogue")) {
        if (value.isEmpty())
            return QStringLiteral("catalogue: is followed by a catalogue's name.");
        q.catalogue = value;
        return {};
    }
    if (name == QLatin1String("inarchive")) {
        const QString answer = value.toLower();
        if (answer == QLatin1String("yes"))
            q.inArchive = true;
        else if (answer == QLatin1String("no"))
            q.inArchive = false;
        else
            return QStringLiteral("inarchive: is followed by yes or no, not \"%1\".").arg(value);
        return {};
    }
    if (name == QLatin1String("dupes")) {
        const QString answer = value.toLower();
        if (answer == QLatin1String("yes"))
            q.copies = true;
        else if (answer == QLatin1String("no"))
            q.copies = false;
        else
            return QStringLiteral("dupes: is followed by yes or no, not \"%1\".").arg(value);
        return {};
    }
    return unknownFilter(name);
}

} // namespace

bool Query::empty() const
{
    return words.empty() && !minBytes && !maxBytes && !createdFrom && !createdBefore && kind == Kind::Any
        && extensions.empty() && !catalogue && !inArchive && pathWords.empty() && !copies && details.empty();
}

ParsedQuery parseQuery(const QString& text, bool caseSensitive)
{
    ParsedQuery parsed;
    parsed.query.caseSensitive = caseSensitive;
    std::vector<RawWord> words;
    if (!splitWords(text, words)) {
        parsed.error = QStringLiteral("A quote is not closed.");
        return parsed;
    }
    for (const RawWord& word : words) {
        // A filter is a name of letters, outside quotes, then ":" or for
        // sizes a comparison.
        qsizetype n = 0;
        while (n < word.text.size() && !word.quoted[static_cast<size_t>(n)] && word.text.at(n).isLetter()
            && word.text.at(n).unicode() < 128)
            ++n;
        const QString name = word.text.left(n).toLower();
        QString op;
        if (n > 0 && word.plainAt(n, u':'))
            op = QStringLiteral(":");
        else if (name == QLatin1String("size") || detailTakesComparison(name)) {
            for (const char* candidate : {">=", "<=", ">", "<", "="}) {
                const QString c = QString::fromLatin1(candidate);
                if (word.plainAt(n, c.at(0)) && (c.size() == 1 || word.plainAt(n + 1, c.at(1)))) {
                    op = c;
                    break;
                }
            }
        }
        if (op.isEmpty()) {
            parsed.query.words.push_back(patternOf(word));
            continue;
        }
        if (name == QLatin1String("path") && op == QLatin1String(":")) {
            // The word keeps its quotes: wildcards inside them are literal.
            RawWord rest;
            for (qsizetype i = n + 1; i < word.text.size(); ++i)
                rest.append(word.text.at(i), word.quoted[static_cast<size_t>(i)]);
            if (rest.text.isEmpty()) {
                parsed.error = QStringLiteral("path: is followed by a word, like path:2019 or path:\"My Photos\".");
                return parsed;
            }
            parsed.query.pathWords.push_back(patternOf(rest));
            continue;
        }
        const QString error = applyFilter(name, op, word.text.mid(n + op.size()), parsed.query);
        if (!error.isEmpty()) {
            parsed.error = error;
            return parsed;
        }
    }
    return parsed;
}

QString syntaxHint()
{
    return QStringLiteral("Words: all must be in the name or a register note · * and ? wildcards fit the whole "
                          "name · \"quotes\" for literal text · size>10M size<1k · after:2024-01-01 "
                          "before:2024-02-01 · type:folder type:file · ext:pdf · catalogue:NAME · inarchive:yes · "
                          "path:WORD in a folder's name too · dupes:yes · ")
        + detailSyntaxHint()
        + QStringLiteral(" · without Match case, accents in either form, ß and ss, ligatures and their letters match");
}

} // namespace qm::find
