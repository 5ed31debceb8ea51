// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Disks.h"

#include "platform/FileSystem.h"
#include "platform/Numbers.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <set>

namespace qm {

QString connectedAt(const DiskIdentity& recorded, const std::vector<DiskIdentity>& mounted)
{
    if (recorded.uuid.isEmpty())
        return {};
    QString first;
    for (const DiskIdentity& disk : mounted) {
        if (disk.uuid != recorded.uuid)
            continue;
        if (disk.mountPoint == recorded.mountPoint)
            return disk.mountPoint;
        if (first.isEmpty())
            first = disk.mountPoint;
    }
    return first;
}

std::vector<DiskRow> diskRows(SQLite::Database& db, const std::vector<DiskIdentity>& mounted)
{
    std::vector<DiskRow> rows;
    for (ScanInfo& scan : listScans(db)) {
        DiskRow& row = rows.emplace_back();
        row.connectedAt = connectedAt(scan.disk, mounted);
        row.scan = std::move(scan);
    }
    return rows;
}

void setDiskPlace(SQLite::Database& db, const QString& uuid, PlaceField field, const QString& text)
{
    const char* sql = field == PlaceField::Location
        ? "INSERT INTO disk_places (uuid, location) VALUES (?1, ?2) ON CONFLICT (uuid) DO UPDATE SET location = ?2"
        : "INSERT INTO disk_places (uuid, note) VALUES (?1, ?2) ON CONFLICT (uuid) DO UPDATE SET note = ?2";
    SQLite::Statement st(db, sql);
    st.bind(1, uuid.toStdString());
    if (text.isEmpty())
        st.bind(2);
    else
        st.bind(2, text.toStdString());
    st.exec();
    // A disk with nothing said of it leaves no row.
    SQLite::Statement empty(db, "DELETE FROM disk_places WHERE uuid = ? AND location IS NULL AND note IS NULL");
    empty.bind(1, uuid.toStdString());
    empty.exec();
}

DiskChoice chooseDisk(SQLite::Database& db, const QString& name, const std::optional<QString>& catalogue)
{
    DiskChoice choice;
    std::set<QString> disks;
    bool unrecorded = false;
    for (ScanInfo& scan : listScans(db, catalogue)) {
        const DiskIdentity& d = scan.disk;
        const bool named = (!d.uuid.isEmpty() && d.uuid == name) || (!d.label.isEmpty() && d.label == name)
            || scan.folder == name || scan.topKey == name;
        if (!named)
            continue;
        if (d.uuid.isEmpty())
            unrecorded = true;
        else
            disks.insert(d.uuid);
        choice.candidates.push_back(std::move(scan));
    }
    if (choice.candidates.empty())
        choice.problem = QStringLiteral("No scan has a disk, label, top folder or key named \"") + name + u'"';
    else if (disks.size() > 1 || (disks.size() == 1 && unrecorded))
        choice.problem = QStringLiteral("\"") + name + QStringLiteral("\" names scans of more than one disk");
    else if (disks.empty())
        choice.problem = QStringLiteral("The disk of \"") + name
            + QStringLiteral("\" was not recorded when it was scanned; Update Folder records it");
    else
        choice.uuid = *disks.begin();
    return choice;
}

QString scanNameLine(const ScanInfo& scan)
{
    const DiskIdentity& d = scan.disk;
    return QStringLiteral("catalogue \"") + scan.catalogue + QStringLiteral("\", top folder \"") + scan.folder
        + QStringLiteral("\" [key ") + scan.topKey + QStringLiteral("], disk ")
        + (d.uuid.isEmpty() ? QStringLiteral("not recorded")
                            : (d.label.isEmpty() ? QStringLiteral("without a label") : QStringLiteral("\"") + d.label + u'"')
                                + QStringLiteral(" UUID ") + d.uuid);
}

QStringList diskColumns()
{
    return {QStringLiteral("Catalogue"), QStringLiteral("Top folder"), QStringLiteral("Label"), QStringLiteral("UUID"),
        QStringLiteral("Type"), QStringLiteral("Capacity"), QStringLiteral("Used"), QStringLiteral("Free"),
        QStringLiteral("Records"), QStringLiteral("Bytes"), QStringLiteral("Last scan or update"),
        QStringLiteral("Connected"), QStringLiteral("Location"), QStringLiteral("Note")};
}

QStringList diskCells(const DiskRow& row, bool exact)
{
    const ScanInfo& s = row.scan;
    const DiskIdentity& d = s.disk;
    const QLocale locale = figureLocale();
    auto size = [&](std::int64_t bytes) {
        if (bytes < 0)
            return QString();
        return exact ? QString::number(bytes) : readableSize(static_cast<std::uint64_t>(bytes), locale);
    };
    const std::int64_t used = d.totalBytes >= 0 && d.freeBytes >= 0 ? d.totalBytes - d.freeBytes : -1;
    QStringList cells(kDiskColumnCount);
    cells[kCatalogueColumn] = s.catalogue;
    cells[kFolderColumn] = s.folder;
    cells[kLabelColumn] = d.label;
    cells[kUuidColumn] = d.uuid;
    cells[kTypeColumn] = d.fsType;
    cells[kCapacityColumn] = size(d.totalBytes);
    cells[kUsedColumn] = size(used);
    cells[kFreeColumn] = size(d.freeBytes);
    cells[kRecordsColumn] = s.records < 0 ? QString()
        : exact ? QString::number(s.records) : locale.toString(static_cast<qlonglong>(s.records));
    cells[kBytesColumn] = size(s.bytes);
    cells[kScannedColumn] = s.scanned > 0 ? dateText(s.scanned) : QString();
    // For a script: where it is mounted, or nothing.
    if (exact)
        cells[kConnectedColumn] = row.connectedAt;
    else if (!row.connectedAt.isEmpty())
        cells[kConnectedColumn] = QStringLiteral("at ") + row.connectedAt;
    else if (!d.uuid.isEmpty())
        cells[kConnectedColumn] = QStringLiteral("not connected");
    cells[kLocationColumn] = s.location;
    cells[kNoteColumn] = s.note;
    return cells;
}

} // namespace qm
