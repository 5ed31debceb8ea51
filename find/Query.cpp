#include "find/Query.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

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
        t.exact = utf8(literal);
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

// "10M", "1.5k", "200", "3GB", "4KiB": a byte count, units of 1024.
std::optional<std::int64_t> bytesOf(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)([kmgt]?)(?:i?b)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString unit = m.captured(2).toLower();
    const int power = unit.isEmpty() ? 0 : static_cast<int>(QStringLiteral("kmgt").indexOf(unit)) + 1;
    const long double value = m.captured(1).toDouble() * std::pow(1024.0L, power);
    if (value >= 9.2e18L)
        return std::nullopt;
    return static_cast<std::int64_t>(std::llround(value));
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
    return QStringLiteral("Unknown filter \"%1:\". Filters are size, after, before, type, ext and catalogue; "
                          "put a name that holds \":\" in quotes.")
        .arg(name);
}

// Reads one filter into the query; the error, or empty.
QString applyFilter(const QString& name, const QString& op, const QString& value, Query& q)
{
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
        if (op == QLatin1String(">"))
            raise(*bytes + 1);
        else if (op == QLatin1String(">="))
            raise(*bytes);
        else if (op == QLatin1String("<"))
            lower(*bytes - 1);
        else if (op == QLatin1String("<="))
            lower(*bytes);
        else {
            raise(*bytes);
            lower(*bytes);
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
    return unknownFilter(name);
}

} // namespace

std::string fold(std::string_view text)
{
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    if (!ascii)
        return utf8(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toCaseFolded());
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool Query::empty() const
{
    return words.empty() && !minBytes && !maxBytes && !createdFrom && !createdBefore && kind == Kind::Any
        && extensions.empty() && !catalogue;
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
        else if (name == QLatin1String("size")) {
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
                          "before:2024-02-01 · type:folder type:file · ext:pdf · catalogue:NAME");
}

} // namespace qm::find
