// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Dupes.h"

#include "cli/StoreReady.h"
#include "catalog/Duplicates.h"
#include "catalog/store/Store.h"
#include "cli/Output.h"
#include "platform/AppPaths.h"
#include "platform/Csv.h"
#include "platform/Numbers.h"
#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>

#include <cstdio>

namespace qm {
namespace {

const char* const kUsage
    = "usage: quillmark dupes [--catalogue NAME]... [--min-size SIZE] [--csv]\n"
      "Lists the files that have copies, across every catalogue and disk in\n"
      "database.mdb (or only those named), most wasted bytes first: the same size\n"
      "and content fingerprint (scans made with --fingerprints), or, for files whose\n"
      "contents were not read, the same size and name (marked \"likely\").\n"
      "SIZE is bytes or a number with K, M, G or T (1024-based); files smaller than\n"
      "it are left out (default 1: empty files are not listed).\n";

} // namespace

int runDupesCommand(const QStringList& args)
{
    DuplicateQuery query;
    bool csv = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString value;
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--csv")) {
            csv = true;
        } else if (a == QLatin1String("--catalogue") && i + 1 < args.size()) {
            query.catalogues << args[++i];
        } else if (a == QLatin1String("--min-size") && i + 1 < args.size()) {
            value = args[++i];
        } else if (a.startsWith(QLatin1String("--catalogue="))) {
            query.catalogues << a.mid(12);
        } else if (a.startsWith(QLatin1String("--min-size="))) {
            value = a.mid(11);
        } else {
            return cli::usageError(QStringLiteral("unexpected ") + a + u'.', kUsage);
        }
        if (!value.isNull()) {
            const auto size = parseSizeArgument(value);
            if (!size)
                return cli::usageError(QStringLiteral("--min-size needs a size such as 1500, 10K or 2.5M, not ")
                        + value + u'.',
                    kUsage);
            query.minSize = *size;
        }
    }
    const QString store = cli::usableStore();
    if (store.isEmpty())
        return 1;
    try {
        auto db = openConnection(store);
        const std::vector<DuplicateGroup> groups = findDuplicates(*db, query);
        // CSV rows end in CRLF, in UTF-8 whatever the locale.
        auto csvRow = [](const QStringList& fields) { std::fputs(csvLine(fields).toUtf8().constData(), stdout); };
        if (csv)
            csvRow({QStringLiteral("group"), QStringLiteral("match"), QStringLiteral("bytes"),
                QStringLiteral("fingerprint"), QStringLiteral("catalogue"), QStringLiteral("disk"),
                QStringLiteral("path"), QStringLiteral("key")});
        int number = 0;
        std::uint64_t wasted = 0;
        for (const DuplicateGroup& g : groups) {
            ++number;
            wasted += g.wasted();
            const QString hex = g.likely ? QString() : hashHex(g.hash);
            if (!csv) {
                cli::printLine(stdout,
                    QStringLiteral("%1 %2 copies of %3 (%4 wasted), %5:")
                        .arg(QString::number(g.copies.size()),
                            g.likely ? QStringLiteral("likely") : QStringLiteral("identical"),
                            readableSize(g.bytes), readableSize(g.wasted()),
                            g.likely ? QStringLiteral("same name and size, contents not read")
                                     : QStringLiteral("fingerprint ") + hex));
            }
            for (const DuplicateCopy& c : g.copies) {
                if (csv)
                    csvRow({QString::number(number), g.likely ? QStringLiteral("likely") : QStringLiteral("content"),
                        QString::number(g.bytes), hex, c.catalogue, c.disk, c.path, c.key});
                else
                    cli::printLine(stdout, QStringLiteral("  ") + c.catalogue + u'\t' + c.disk + u'\t' + c.path);
            }
        }
        std::fflush(stdout);
        if (!csv)
            cli::printLine(stdout,
                groups.empty() ? QStringLiteral("No duplicates.")
                               : QStringLiteral("%1 group(s), %2 wasted.")
                                     .arg(QString::number(groups.size()), readableSize(wasted)));
        return 0;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return 1;
    }
}

} // namespace qm
