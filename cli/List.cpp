// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/List.h"

#include "cli/StoreReady.h"
#include "platform/AppPaths.h"
#include "platform/Numbers.h"
#include "catalog/Duplicates.h"
#include "catalog/Scans.h"
#include "catalog/store/Store.h"
#include "cli/Find.h"
#include "cli/Output.h"
#include "platform/FileSystem.h"
#include "platform/Recordset.h"


#include <SQLiteCpp/Database.h>

#include <cstdio>
#include <optional>

namespace qm {
namespace {

const char* const kUsage = "usage: quillmark list [--catalogue NAME]\n"
                           "Lists the catalogues in database.mdb and, for each scan, its top folder,\n"
                           "the disk it was read from, when, and how many records and bytes it holds;\n"
                           "for a scan made with --fingerprints, how many of its files and bytes have a\n"
                           "content fingerprint.\n";

QString diskLine(const ScanInfo& scan)
{
    const DiskIdentity& d = scan.disk;
    if (!d.known())
        return QStringLiteral("disk: not recorded");
    QStringList parts {QStringLiteral("disk: %1").arg(d.label.isEmpty() ? QStringLiteral("(no label)") : d.label)};
    if (!d.uuid.isEmpty())
        parts << QStringLiteral("UUID %1").arg(d.uuid);
    if (!d.fsType.isEmpty())
        parts << d.fsType;
    if (d.totalBytes >= 0 && d.freeBytes >= 0)
        parts << QStringLiteral("%1 total, %2 free").arg(readableSize(d.totalBytes), readableSize(d.freeBytes));
    parts << QStringLiteral("at %1").arg(d.mountPoint);
    return parts.join(QStringLiteral("  "));
}

} // namespace

int runListCommand(const QStringList& args)
{
    std::optional<QString> only;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--catalogue") && i + 1 < args.size()) {
            only = args[++i];
        } else if (a.startsWith(QLatin1String("--catalogue="))) {
            only = a.mid(12);
        } else {
            return cli::usageError(QStringLiteral("unexpected %1.").arg(a), kUsage);
        }
    }
    const QString store = cli::usableStore();
    if (store.isEmpty())
        return 1;
    try {
        auto db = openConnection(store);
        const std::vector<ScanInfo> scans = listScans(*db, only);
        const QHash<QString, FingerprintTally> fingerprints = fingerprintsByScan(*db);
        const QLocale locale = figureLocale();
        for (size_t i = 0; i < scans.size();) {
            const QString& name = scans[i].catalogue;
            size_t end = i;
            std::int64_t records = 0;
            std::int64_t bytes = 0;
            for (; end < scans.size() && scans[end].catalogue == name; ++end) {
                records += std::max<std::int64_t>(scans[end].records, 0);
                bytes += std::max<std::int64_t>(scans[end].bytes, 0);
            }
            cli::printLine(stdout, QStringLiteral("Catalogue \"%1\": %2 scan(s), %3 records, %4")
                              .arg(name, locale.toString(static_cast<qlonglong>(end - i)),
                                  locale.toString(static_cast<qlonglong>(records)), readableSize(bytes)));
            for (; i < end; ++i) {
                const ScanInfo& s = scans[i];
                cli::printLine(stdout, QStringLiteral("  %1  [key %2]").arg(s.folder, s.topKey));
                cli::printLine(stdout, QStringLiteral("    ") + diskLine(s));
                if (!s.location.isEmpty())
                    cli::printLine(stdout, QStringLiteral("    location: ") + s.location);
                cli::printLine(stdout, QStringLiteral("    scanned %1  %2 records  %3")
                                  .arg(s.scanned > 0 ? dateText(s.scanned) : QStringLiteral("(date not recorded)"),
                                      locale.toString(static_cast<qlonglong>(s.records)),
                                      s.bytes >= 0 ? readableSize(s.bytes) : QStringLiteral("(size unknown)")));
                // Only scans that read contents say so: the others read as before.
                if (const auto f = fingerprints.constFind(scanId(s.catalogue, s.topKey)); f != fingerprints.cend())
                    cli::printLine(stdout,
                        QStringLiteral("    contents fingerprinted: %1 file(s), %2%3")
                            .arg(locale.toString(static_cast<qlonglong>(f->files)), readableSize(f->bytes),
                                s.bytes > 0 ? QStringLiteral(" (%1% of the bytes)")
                                                  .arg(QString::number(100.0 * static_cast<double>(f->bytes)
                                                          / static_cast<double>(s.bytes), 'f', 1))
                                            : QString()));
            }
        }
        if (only && scans.empty())
            cli::printLine(stdout, QStringLiteral("Catalogue \"%1\": no scans").arg(*only));
        cli::printLine(stdout, searchIndexLine());
        return 0;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return 1;
    }
}

} // namespace qm
