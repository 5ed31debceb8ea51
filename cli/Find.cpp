// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Find.h"

#include "cli/StoreReady.h"
#include "platform/AppPaths.h"
#include "catalog/store/Store.h"
#include "cli/Output.h"
#include "find/Query.h"
#include "find/SearchIndex.h"
#include "platform/Csv.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <span>

namespace qm {
namespace {

constexpr int kFound = 0;
constexpr int kNone = 1;
constexpr int kTrouble = 2;
// Rows read from the store at a time.
constexpr int kRowsPerRead = 1000;

const char* const kUsageText
    = "usage: quillmark find QUERY [--catalogue NAME] [--limit N] [--csv] [--case-sensitive]\n"
      "       quillmark find --reindex\n"
      "Finds files and folders in every catalogue of database.mdb in the current folder and prints\n"
      "one per line: catalogue, path, size in bytes, date, separated by tabs (--csv: as CSV with a\n"
      "header, then where the disk is kept, the modification time and what a photo, music or\n"
      "video file's headers said). The words of QUERY are joined by blanks; see the README for its syntax.\n"
      "Exit status: 0 with hits, 1 with none, 2 for a bad query, a usage error or a store that\n"
      "cannot be searched.\n"
      "The search reads an index kept in the user's cache folder ($XDG_CACHE_HOME/quillmark/find);\n"
      "it follows every change of the store and is rebuilt when it cannot, as --reindex does.\n";

int usage(const QString& text)
{
    return cli::usageError(text, kUsageText);
}

// A field of a tab-separated line: control characters would break the line
// up, so they are written as \xNN.
QString tsvField(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// Writes the index of the store in the current folder anew.
int reindexStore()
{
    const QString store = cli::usableStore();
    if (store.isEmpty())
        return kTrouble;
    const find::IndexPlace place = find::indexPlaceOf(store);
    if (!place.problem.isEmpty()) {
        cli::fail(QStringLiteral("no index can be kept: ") + place.problem);
        return kTrouble;
    }
    try {
        find::SearchIndex index(store, place.file);
        index.reindex();
        if (const QString notice = index.takeNotice(); !notice.isEmpty()) {
            cli::fail(notice);
            return kTrouble;
        }
        cli::printLine(stdout, QStringLiteral("The search index at ") + place.file + QStringLiteral(" holds ")
                + QString::number(index.recordCount()) + QStringLiteral(" records."));
        return kFound;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return kTrouble;
    }
}

} // namespace

QString searchIndexLine()
{
    const find::IndexPlace place = find::indexPlaceOf(databasePath());
    if (!place.problem.isEmpty())
        return QStringLiteral("Search index: none can be kept (") + place.problem + QStringLiteral(")");
    const QFileInfo file(place.file);
    return QStringLiteral("Search index: ") + place.file
        + (file.exists() ? QStringLiteral(" (%1 bytes)").arg(file.size()) : QStringLiteral(" (made by the next search)"));
}

int runFindCommand(const QStringList& args)
{
    QStringList words;
    std::optional<QString> catalogue;
    long long limit = std::numeric_limits<long long>::max();
    bool csv = false;
    bool caseSensitive = false;
    bool optionsEnded = false;
    bool reindex = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || (!a.startsWith(QLatin1String("--")) && a != QLatin1String("-h"))) {
            words << a;
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsageText, stdout);
            return kFound;
        } else if (a == QLatin1String("--reindex")) {
            reindex = true;
        } else if (a == QLatin1String("--csv")) {
            csv = true;
        } else if (a == QLatin1String("--case-sensitive")) {
            caseSensitive = true;
        } else if (const QString name = a.section(u'=', 0, 0);
                   name == QLatin1String("--catalogue") || name == QLatin1String("--limit")) {
            // "--limit 5" or "--limit=5".
            const bool joined = a.size() > name.size();
            if (!joined && i + 1 >= args.size())
                return usage(QStringLiteral("%1 needs a value.").arg(name));
            const QString value = joined ? a.mid(name.size() + 1) : args[++i];
            if (name == QLatin1String("--catalogue")) {
                catalogue = value;
                continue;
            }
            bool ok = false;
            limit = value.toLongLong(&ok);
            if (!ok || limit < 1)
                return usage(QStringLiteral("--limit needs a whole number above 0, not \"%1\".").arg(value));
        } else {
            return usage(QStringLiteral("unknown option %1.").arg(a));
        }
    }
    if (reindex)
        return words.isEmpty() ? reindexStore()
                               : usage(QStringLiteral("--reindex takes no query."));
    find::ParsedQuery parsed = find::parseQuery(words.join(u' '), caseSensitive);
    if (!parsed.error.isEmpty()) {
        cli::fail(parsed.error);
        return kTrouble;
    }
    find::Query& query = parsed.query;
    if (catalogue) {
        // Both name a catalogue: only records of both, that is none when they differ.
        if (query.catalogue && *query.catalogue != *catalogue)
            return kNone;
        query.catalogue = catalogue;
    }
    if (query.empty())
        return usage(QStringLiteral("the query is empty."));

    const QString store = cli::usableStore();
    if (store.isEmpty())
        return kTrouble;
    try {
        const find::IndexPlace place = find::indexPlaceOf(store);
        find::SearchIndex index(store, place.file);
        if (!place.problem.isEmpty())
            cli::fail(QStringLiteral("searching without an index: ") + place.problem);
        index.sync();
        if (const QString notice = index.takeNotice(); !notice.isEmpty())
            cli::fail(notice);
        std::vector<std::uint32_t> found;
        index.search(query, [&](std::uint32_t entry) {
            found.push_back(entry);
            return static_cast<long long>(found.size()) < limit;
        });
        if (csv)
            std::fputs(csvLine({QStringLiteral("catalogue"), QStringLiteral("path"), QStringLiteral("bytes"),
                                   QStringLiteral("date"), QStringLiteral("location"), QStringLiteral("modified"),
                                   QStringLiteral("details")})
                           .toUtf8()
                           .constData(),
                stdout);
        long long printed = 0;
        const std::span<const std::uint32_t> all(found);
        for (size_t from = 0; from < found.size(); from += kRowsPerRead) {
            for (const find::Hit& hit :
                index.details(all.subspan(from, std::min<size_t>(kRowsPerRead, found.size() - from)))) {
                const QStringList fields {hit.catalogue, hit.path,
                    hit.bytes ? QString::number(*hit.bytes) : QString(), hit.date};
                QString line;
                if (csv) {
                    line = csvLine(fields + QStringList {hit.location, hit.modified, hit.media});
                } else {
                    for (const QString& f : fields)
                        line += tsvField(f) + u'\t';
                    line.back() = u'\n';
                }
                std::fputs(line.toUtf8().constData(), stdout);
                ++printed;
            }
        }
        std::fflush(stdout);
        return printed > 0 ? kFound : kNone;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return kTrouble;
    }
}

} // namespace qm
