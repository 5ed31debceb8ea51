// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Table scans: for each top-level folder of a catalogue, the disk it was
// scanned from and what the catalogue held of it when the scan ended.
#include "platform/DiskIdentity.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm {

struct ScanInfo {
    QString catalogue;
    QString topKey; // the top-level folder's key, the delKey of the scan's records
    QString folder; // the top-level folder's file_name
    std::int64_t scanned = 0; // seconds since the epoch; 0 when unknown
    DiskIdentity disk; // not known() for a scan made before disks were recorded
    std::int64_t records = -1; // -1 when unknown
    std::int64_t bytes = -1; // below the top-level folder; -1 when unknown
    QString location; // where the user keeps the disk (table disk_places); empty when not said
    QString note;
};

// The disk a scan starts from, in the scan's transaction; replaces what an
// earlier run of the same key recorded.
void recordScanStart(SQLite::Database& db, const QString& catalogue, const QString& topKey,
    const DiskIdentity& disk, std::int64_t when);
// How many records the scan left in the catalogue.
void recordScanEnd(SQLite::Database& db, const QString& catalogue, const QString& topKey, std::int64_t records);
// Forgets a scan whose records were deleted.
void forgetScan(SQLite::Database& db, const QString& catalogue, const QString& topKey);

// One top-level folder of a catalogue; empty when the catalogue has none
// with that key.
std::optional<ScanInfo> scanInfo(SQLite::Database& db, const QString& catalogue, const QString& topKey);

// Every top-level folder of every catalogue (or of `catalogue` only), in
// catalogue name order and then in the order they were scanned, with what
// table scans knows of each. A count missing there is taken from the records.
std::vector<ScanInfo> listScans(SQLite::Database& db, const std::optional<QString>& catalogue = {});

// The most recent other scan, in the catalogue of scan `topKey`, of the same
// top-level folder from the same disk (or from a disk that was not
// recorded); empty when there is none.
std::optional<ScanInfo> earlierScanOfSameFolder(
    SQLite::Database& db, const QString& catalogue, const QString& topKey);
// What the user is told after scanning such a folder again.
QString alreadyCataloguedHint(const ScanInfo& earlier);

// "Disk HOLIDAYS (ext4, UUID …) at /media/x, 12.1 GB of 16 GB free; scanned
// 2026-12-06 21:03:00": what a person reads about a scan's disk.
QString describeScan(const ScanInfo& scan);

} // namespace qm
