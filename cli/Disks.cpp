// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Disks.h"

#include "cli/StoreReady.h"
#include "catalog/Disks.h"
#include "catalog/store/Store.h"
#include "cli/Output.h"
#include "platform/AppPaths.h"
#include "platform/Csv.h"
#include "platform/Recordset.h"
#include "platform/StoreMark.h"

#include <SQLiteCpp/Database.h>

#include <cstdio>
#include <optional>

namespace qm {
namespace {

const char* const kUsage
    = "usage: quillmark disks [--csv]\n"
      "       quillmark disks --set-location SCAN TEXT [--catalogue NAME]\n"
      "       quillmark disks --set-note SCAN TEXT [--catalogue NAME]\n"
      "Lists every scan with its disk: label, UUID, type, capacity, used and free space at the\n"
      "last scan, records and bytes, the date of the last scan or update, whether the disk is\n"
      "connected now, and where it is kept. SCAN names a disk by its UUID, its label, a scan's\n"
      "top folder or its key; it must name one disk. An empty TEXT clears the field.\n";

void printTable(const std::vector<DiskRow>& rows)
{
    for (const DiskRow& row : rows) {
        const QStringList cells = diskCells(row, false);
        const ScanInfo& s = row.scan;
        cli::printLine(stdout, QStringLiteral("Catalogue \"") + s.catalogue + QStringLiteral("\"  ") + s.folder
                + QStringLiteral("  [key ") + s.topKey + u']');
        if (!s.disk.known()) {
            cli::printLine(stdout, QStringLiteral("  disk: not recorded"));
        } else {
            cli::printLine(stdout, QStringLiteral("  disk: ")
                    + (s.disk.label.isEmpty() ? QStringLiteral("(no label)") : s.disk.label)
                    + QStringLiteral("  UUID ") + s.disk.uuid + QStringLiteral("  ") + s.disk.fsType);
            cli::printLine(stdout, QStringLiteral("  capacity %1, used %2, free %3")
                    .arg(cells[kCapacityColumn], cells[kUsedColumn], cells[kFreeColumn]));
        }
        cli::printLine(stdout, QStringLiteral("  %1 records, %2; last scan or update %3")
                .arg(cells[kRecordsColumn], cells[kBytesColumn],
                    cells[kScannedColumn].isEmpty() ? QStringLiteral("not recorded") : cells[kScannedColumn]));
        if (!cells[kConnectedColumn].isEmpty())
            cli::printLine(stdout, QStringLiteral("  connected: ") + cells[kConnectedColumn]);
        if (!s.location.isEmpty())
            cli::printLine(stdout, QStringLiteral("  location: ") + s.location);
        if (!s.note.isEmpty())
            cli::printLine(stdout, QStringLiteral("  note: ") + s.note);
    }
}

} // namespace

int runDisksCommand(const QStringList& args)
{
    bool csv = false;
    std::optional<PlaceField> field;
    QString scanName, text;
    std::optional<QString> catalogue;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--csv")) {
            csv = true;
        } else if ((a == QLatin1String("--set-location") || a == QLatin1String("--set-note")) && !field) {
            if (i + 2 >= args.size())
                return cli::usageError(a + QStringLiteral(" needs a scan and a text."), kUsage);
            field = a == QLatin1String("--set-location") ? PlaceField::Location : PlaceField::Note;
            scanName = args[++i];
            text = args[++i];
        } else if (a == QLatin1String("--catalogue") && i + 1 < args.size()) {
            catalogue = args[++i];
        } else {
            return cli::usageError(QStringLiteral("unexpected ") + a + u'.', kUsage);
        }
    }
    if (field && csv)
        return cli::usageError(QStringLiteral("--csv lists; it does not go with a change."), kUsage);
    const QString store = cli::usableStore();
    if (store.isEmpty())
        return 1;
    try {
        auto db = openConnection(store);
        if (field) {
            const DiskChoice choice = chooseDisk(*db, scanName, catalogue);
            if (choice.uuid.isEmpty()) {
                cli::fail(choice.problem + (choice.candidates.empty() ? QStringLiteral(".") : QStringLiteral(":")));
                for (const ScanInfo& scan : choice.candidates)
                    std::fputs((QStringLiteral("  ") + scanNameLine(scan) + u'\n').toLocal8Bit().constData(), stderr);
                return 1;
            }
            Store::writeKeepingMark(*db, [&] { setDiskPlace(*db, choice.uuid, *field, text); });
            cli::printLine(stdout, (*field == PlaceField::Location ? QStringLiteral("Location") : QStringLiteral("Note"))
                    + QStringLiteral(" of disk ") + choice.uuid
                    + (text.isEmpty() ? QStringLiteral(" cleared.") : QStringLiteral(" set to \"") + text + QStringLiteral("\".")));
            return 0;
        }
        const std::vector<DiskRow> rows = diskRows(*db, mountedDisks());
        if (csv) {
            std::fputs(csvLine(diskColumns()).toUtf8().constData(), stdout);
            for (const DiskRow& row : rows)
                std::fputs(csvLine(diskCells(row, true)).toUtf8().constData(), stdout);
            std::fflush(stdout);
        } else {
            printTable(rows);
        }
        return 0;
    } catch (const std::exception& e) {
        cli::fail(QString::fromUtf8(e.what()));
        return 1;
    }
}

} // namespace qm
