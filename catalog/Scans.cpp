// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Scans.h"

#include "catalog/Catalogues.h"
#include "platform/Numbers.h"
#include "catalog/store/Queries.h"
#include "platform/FileSystem.h"

#include <QLocale>

#include <unordered_map>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {
namespace {

std::string utf8(const QString& text)
{
    return text.toStdString();
}

QString textOf(const SQLite::Column& c)
{
    return c.isNull() ? QString() : QString::fromUtf8(c.getText(), c.getBytes());
}

std::int64_t numberOf(const SQLite::Column& c)
{
    return c.isNull() ? -1 : c.getInt64();
}

// A row of Queries::kScanRows into `scan`.
void readScan(SQLite::Statement& st, ScanInfo& scan)
{
    scan.topKey = textOf(st.getColumn(0));
    scan.folder = textOf(st.getColumn(1));
    scan.bytes = numberOf(st.getColumn(2));
    scan.scanned = st.getColumn(3).isNull() ? 0 : st.getColumn(3).getInt64();
    scan.disk.label = textOf(st.getColumn(4));
    scan.disk.uuid = textOf(st.getColumn(5));
    scan.disk.fsType = textOf(st.getColumn(6));
    scan.disk.mountPoint = textOf(st.getColumn(7));
    scan.disk.device = textOf(st.getColumn(8));
    scan.disk.totalBytes = numberOf(st.getColumn(9));
    scan.disk.freeBytes = numberOf(st.getColumn(10));
    scan.records = numberOf(st.getColumn(11));
    scan.location = textOf(st.getColumn(12));
    scan.note = textOf(st.getColumn(13));
}

} // namespace

void recordScanStart(SQLite::Database& db, const QString& catalogue, const QString& topKey,
    const DiskIdentity& disk, std::int64_t when)
{
    SQLite::Statement st(db, Queries::kRecordScanStart);
    st.bind(1, utf8(catalogue));
    st.bind(2, utf8(topKey));
    st.bind(3, static_cast<int64_t>(when));
    const QString texts[] = {disk.label, disk.uuid, disk.fsType, disk.mountPoint, disk.device};
    for (int i = 0; i < 5; ++i) {
        if (texts[i].isEmpty())
            st.bind(4 + i);
        else
            st.bind(4 + i, utf8(texts[i]));
    }
    for (const auto& [index, value] : {std::pair {9, disk.totalBytes}, std::pair {10, disk.freeBytes}}) {
        if (value < 0)
            st.bind(index);
        else
            st.bind(index, static_cast<int64_t>(value));
    }
    st.exec();
}

void recordScanEnd(SQLite::Database& db, const QString& catalogue, const QString& topKey, std::int64_t records)
{
    SQLite::Statement st(db, Queries::kRecordScanEnd);
    st.bind(1, static_cast<int64_t>(records));
    st.bind(2, utf8(catalogue));
    st.bind(3, utf8(topKey));
    st.exec();
}

void forgetScan(SQLite::Database& db, const QString& catalogue, const QString& topKey)
{
    SQLite::Statement st(db, Queries::kForgetScan);
    st.bind(1, utf8(catalogue));
    st.bind(2, utf8(topKey));
    st.exec();
}

std::optional<ScanInfo> scanInfo(SQLite::Database& db, const QString& catalogue, const QString& topKey)
{
    SQLite::Statement st(db, Queries::kScanRows);
    st.bind(1, utf8(catalogue));
    st.bind(2, utf8(topKey));
    if (!st.executeStep())
        return std::nullopt;
    ScanInfo scan;
    scan.catalogue = catalogue;
    readScan(st, scan);
    return scan;
}

// The top-level folders of one catalogue, as table scans knows them.
std::vector<ScanInfo> scansOf(SQLite::Database& db, const QString& catalogue)
{
    std::vector<ScanInfo> out;
    SQLite::Statement rows(db, Queries::kScanRows);
    rows.bind(1, utf8(catalogue));
    while (rows.executeStep()) {
        ScanInfo& scan = out.emplace_back();
        scan.catalogue = catalogue;
        readScan(rows, scan);
    }
    return out;
}

std::vector<ScanInfo> listScans(SQLite::Database& db, const std::optional<QString>& catalogue)
{
    const QStringList names = catalogue ? QStringList {*catalogue} : catalogueNames(db);
    std::vector<ScanInfo> out;
    for (const QString& name : names) {
        std::vector<ScanInfo> scans = scansOf(db, name);
        // Scans made before scans were recorded: their records tell, all
        // counted in one read of the catalogue.
        std::unordered_map<std::string, std::int64_t> uncounted;
        for (const ScanInfo& scan : scans)
            if (scan.records < 0)
                uncounted.emplace(utf8(scan.topKey), 0);
        if (!uncounted.empty()) {
            const std::string catalogueName = utf8(name);
            SQLite::Statement keys(db, Queries::catalogueDeleteKeys(catalogueHoldsMost(db, catalogueName)));
            keys.bind(1, catalogueName);
            std::string key;
            while (keys.executeStep()) {
                const SQLite::Column k = keys.getColumn(0);
                key.assign(k.getText(), static_cast<size_t>(k.getBytes()));
                if (const auto it = uncounted.find(key); it != uncounted.end())
                    ++it->second;
            }
            for (ScanInfo& scan : scans)
                if (scan.records < 0)
                    scan.records = uncounted[utf8(scan.topKey)];
        }
        for (ScanInfo& scan : scans)
            out.push_back(std::move(scan));
    }
    return out;
}

std::optional<ScanInfo> earlierScanOfSameFolder(
    SQLite::Database& db, const QString& catalogue, const QString& topKey)
{
    const std::optional<ScanInfo> now = scanInfo(db, catalogue, topKey);
    if (!now)
        return std::nullopt;
    std::optional<ScanInfo> earlier;
    for (ScanInfo& scan : scansOf(db, catalogue)) {
        const bool sameDisk
            = !scan.disk.known() || !now->disk.known() || scan.disk.uuid == now->disk.uuid;
        if (scan.topKey != topKey && scan.folder == now->folder && sameDisk)
            earlier = std::move(scan);
    }
    return earlier;
}

QString alreadyCataloguedHint(const ScanInfo& earlier)
{
    const QString when = earlier.scanned > 0 ? QStringLiteral("on %1").arg(dateText(earlier.scanned))
                                             : QStringLiteral("before (key %1)").arg(earlier.topKey);
    return QStringLiteral("This folder was already catalogued %1; Update Folder refreshes a scan in place.")
        .arg(when);
}

QString describeScan(const ScanInfo& scan)
{
    QStringList parts;
    const DiskIdentity& d = scan.disk;
    if (d.known()) {
        QString disk = d.label.isEmpty() ? QStringLiteral("Disk without a label") : QStringLiteral("Disk %1").arg(d.label);
        QStringList about;
        if (!d.fsType.isEmpty())
            about << d.fsType;
        if (!d.uuid.isEmpty())
            about << QStringLiteral("UUID %1").arg(d.uuid);
        if (!about.isEmpty())
            disk += QStringLiteral(" (%1)").arg(about.join(QStringLiteral(", ")));
        disk += QStringLiteral(" at %1").arg(d.mountPoint);
        if (!d.device.isEmpty())
            disk += QStringLiteral(" from %1").arg(d.device);
        parts << disk;
        if (d.totalBytes >= 0 && d.freeBytes >= 0)
            parts << QStringLiteral("%1 of %2 free").arg(readableSize(d.freeBytes), readableSize(d.totalBytes));
    } else {
        parts << QStringLiteral("Disk not recorded");
    }
    if (scan.scanned > 0)
        parts << QStringLiteral("scanned %1").arg(dateText(scan.scanned));
    QString text = parts.join(QStringLiteral("; "));
    if (!scan.location.isEmpty())
        text += QStringLiteral("\nKept at: ") + scan.location;
    if (!scan.note.isEmpty())
        text += QStringLiteral("\nNote: ") + scan.note;
    return text;
}

} // namespace qm
