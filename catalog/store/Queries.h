// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every query the program runs against the store. Values always travel as
// bound parameters; names are compared exactly.
#include "platform/Recordset.h"

#include <string>

namespace qm::Queries {

// Record sources of the data controls.
RecordSource mainWindow();                 // every record of main in SrNO order
RecordSource allRecordsAgain();            // the same, as "Delete Folder" leaves it
RecordSource mainTable();                  // table main in table order (tree editor)
RecordSource table(const QString& name);   // a whole table in table order
RecordSource childrenOf(const QString& folderKey, const QString& databaseName);
RecordSource scanRecords(const QString& deleteKey, const QString& databaseName);

// Plain statements.
inline constexpr const char* kTreeRecords =
    "SELECT ID, Parent, dbaseName, file_name, path FROM main WHERE dbaseName = ? ORDER BY SrNO";
inline constexpr const char* kOwnRecord =
    "SELECT file_name, path, size, date FROM main WHERE dbaseName = ? AND Parent = ? AND ID = ? "
    "ORDER BY SrNO LIMIT 1";
// The children's serial numbers come from the index and the rows are then
// read in SrNO order, so no whole row goes through a sort.
inline constexpr const char* kChildRecords =
    "SELECT file_name, path, size, date, SrNO, ID, dbaseName FROM main WHERE SrNO IN "
    "(SELECT SrNO FROM main WHERE dbaseName = ? AND Parent = ?) ORDER BY SrNO";
// Where a folder's children lie close together in the table (a scan stores a
// folder's entries one after another), reading the span of serial numbers
// they occupy in table order beats looking each one up: the span comes from
// the index alone, and the rows then from neighbouring pages.
inline constexpr const char* kChildSpan =
    "SELECT min(SrNO), max(SrNO), count(*) FROM main WHERE dbaseName = ? AND Parent = ?";
inline constexpr const char* kChildRecordsInSpan =
    "SELECT file_name, path, size, date, SrNO, ID, dbaseName FROM main NOT INDEXED "
    "WHERE SrNO BETWEEN (SELECT min(SrNO) FROM main WHERE dbaseName = ?1 AND Parent = ?2) "
    "AND (SELECT max(SrNO) FROM main WHERE dbaseName = ?1 AND Parent = ?2) "
    "AND dbaseName = ?1 AND Parent = ?2 ORDER BY SrNO";
inline constexpr int kInsertRecordValues = 11;
inline constexpr const char* kInsertRecord =
    "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes, created, modified) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
// A record whose path is not valid UTF-8: path holds a readable form, raw_path
// the bytes the system gave.
inline constexpr const char* kInsertRecordWithRawPath =
    "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes, created, modified, "
    "raw_path) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
// The insert of `rows` records in one statement.
inline std::string insertRecords(int rows)
{
    std::string sql = kInsertRecord;
    for (int i = 1; i < rows; ++i)
        sql += ", (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    return sql;
}
// The folder scan's own insert, which also marks a member of an archive
// (in_archive: how many archives deep) so that nothing opens its path.
inline constexpr int kInsertScanRecordValues = 12;
inline constexpr const char* kInsertScanRecord =
    "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes, created, modified, "
    "in_archive) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char* kInsertScanRecordWithRawPath =
    "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes, created, modified, "
    "in_archive, raw_path) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline std::string insertScanRecords(int rows)
{
    std::string sql = kInsertScanRecord;
    for (int i = 1; i < rows; ++i)
        sql += ", (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    return sql;
}
// The scan fills in a folder's size once the walk of its content has ended.
// A serial number of a rolled-back record may have gone to another writer's
// record since, so the record must be the run's own.
inline constexpr const char* kSetRecordSize =
    "UPDATE main SET size = ?, bytes = ? WHERE SrNO = ? AND dbaseName = ? AND delKey = ?";
// A file's content fingerprint, beside its record.
inline constexpr const char* kInsertFingerprint
    = "INSERT OR REPLACE INTO fingerprints (SrNO, Hash, Bytes, ModifiedNs) VALUES (?, ?, ?, ?)";
// Node keys a catalogue has handed out (see CatalogueKeys.h).
inline constexpr const char* kKeyMark = "SELECT lastKey FROM catalogue_keys WHERE dbaseName = ?";
inline constexpr const char* kHighestStoredKey =
    "SELECT coalesce(max(CAST(ID AS INTEGER)), 0) FROM main WHERE dbaseName = ?";
inline constexpr const char* kSetKeyMark =
    "INSERT INTO catalogue_keys (dbaseName, lastKey) VALUES (?, ?) "
    "ON CONFLICT (dbaseName) DO UPDATE SET lastKey = max(lastKey, excluded.lastKey)";
inline constexpr const char* kReleaseKeys =
    "UPDATE catalogue_keys SET lastKey = ? WHERE dbaseName = ? AND lastKey = ?";
// Deleting a scan's records. Through the catalogue's index each record of the
// catalogue is looked up in the table to read its delete key; for a catalogue
// that holds most of the table, reading the table in its own order costs
// less. Whether it does: its records counted through the index up to half
// the serial numbers given (none when the table is empty, as after the
// delete an undo takes back).
inline constexpr const char* kCatalogueHoldsMost
    = "SELECT 2 * (SELECT count(*) FROM (SELECT 1 FROM main WHERE dbaseName = ?1 "
      "LIMIT (SELECT coalesce(max(SrNO), 0) FROM main) / 2 + 1)) > (SELECT coalesce(max(SrNO), 0) FROM main)";
// How a statement over one catalogue's records reads them: see above.
inline std::string catalogueReadOrder(bool inTableOrder)
{
    return inTableOrder ? "NOT INDEXED" : "INDEXED BY main_dbase_parent_id";
}
inline std::string deleteScan(bool inTableOrder, bool returningKeys)
{
    return "DELETE FROM main " + catalogueReadOrder(inTableOrder) + " WHERE dbaseName = ? AND delKey = ?"
        + (returningKeys ? " RETURNING ID, SrNO" : "");
}
// Updating a scan in place (see ScanUpdate.h): its top-level folder by key or
// by path, the records it holds, and one record rewritten or deleted.
inline constexpr const char* kTopFolderByKey =
    "SELECT ID, file_name, path FROM main WHERE dbaseName = ? AND Parent = '0>' AND ID = ? ORDER BY SrNO LIMIT 1";
inline constexpr const char* kTopFolderByPath =
    "SELECT ID, file_name, path FROM main WHERE dbaseName = ? AND Parent = '0>' AND (file_name = ? OR path = ?) "
    "ORDER BY SrNO DESC LIMIT 1";
inline constexpr const char* kScanChildrenToUpdate =
    "SELECT SrNO, ID, Parent, path, size, date, bytes, created, modified, raw_path FROM main "
    "WHERE dbaseName = ? AND Parent = ? AND delKey = ?";
// The same with each record's fingerprint, for an update that reads them.
inline constexpr const char* kScanChildrenToUpdateWithFingerprints =
    "SELECT m.SrNO, m.ID, m.Parent, m.path, m.size, m.date, m.bytes, m.created, m.modified, m.raw_path, "
    "f.Hash, f.Bytes, f.ModifiedNs FROM main m LEFT JOIN fingerprints f ON f.SrNO = m.SrNO "
    "WHERE m.dbaseName = ? AND m.Parent = ? AND m.delKey = ?";
// The records of the members stored below an archive (or a folder inside one).
inline constexpr const char* kArchiveMembers =
    "SELECT SrNO, ID FROM main WHERE dbaseName = ? AND Parent = ? AND in_archive > 0";
inline constexpr const char* kArchiveHasMembers =
    "SELECT 1 FROM main WHERE dbaseName = ? AND Parent = ? AND in_archive > 0 LIMIT 1";
// The state of main: its highest serial number and the change log's newest
// entry (see upgrades/3.sql); both only grow, and every change moves one.
inline constexpr const char* kStoreChangeMark =
    "SELECT (SELECT coalesce(max(SrNO), 0) FROM main), (SELECT coalesce(max(seq), 0) FROM change_log)";
inline constexpr const char* kUpdateScannedRecord =
    "UPDATE main SET size = ?, date = ?, bytes = ?, created = ?, modified = ? WHERE SrNO = ?";
inline constexpr const char* kReparentScannedRecord = "UPDATE main SET Parent = ? WHERE SrNO = ?";
inline constexpr const char* kDeleteRecord = "DELETE FROM main WHERE SrNO = ?";
// Table scans (see Scans.h).
inline constexpr const char* kRecordScanStart =
    "INSERT OR REPLACE INTO scans (dbaseName, topKey, scanned, label, uuid, fsType, mountPoint, device, "
    "totalBytes, freeBytes) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char* kRecordScanEnd = "UPDATE scans SET records = ? WHERE dbaseName = ? AND topKey = ?";
inline constexpr const char* kForgetScan = "DELETE FROM scans WHERE dbaseName = ? AND topKey = ?";
// The top-level folders of a catalogue (all, or the one keyed by the second
// value) in the order they were scanned, with what table scans holds of them.
inline constexpr const char* kScanRows =
    "SELECT m.ID, m.file_name, m.bytes, s.scanned, s.label, s.uuid, s.fsType, s.mountPoint, s.device, "
    "s.totalBytes, s.freeBytes, s.records, p.location, p.note "
    "FROM main m LEFT JOIN scans s ON s.dbaseName = m.dbaseName AND s.topKey = m.ID "
    "LEFT JOIN disk_places p ON p.uuid = s.uuid "
    "WHERE m.dbaseName = ?1 AND m.Parent = '0>' AND (?2 IS NULL OR m.ID = ?2) ORDER BY m.SrNO";
// Where the disks of a catalogue's scans are kept, by the scans' keys.
inline constexpr const char* kScanLocations =
    "SELECT s.topKey, p.location FROM scans s JOIN disk_places p ON p.uuid = s.uuid "
    "WHERE s.dbaseName = ? AND p.location IS NOT NULL";
// The delete keys of a catalogue's records, to count its scans' records in
// one read (the table's order or the catalogue's index, as for a delete).
inline std::string catalogueDeleteKeys(bool inTableOrder)
{
    return "SELECT delKey FROM main " + catalogueReadOrder(inTableOrder) + " WHERE dbaseName = ? AND delKey IS NOT NULL";
}
// The records of one scan that the table holds, from the first serial number
// the scan was given on: serial numbers only grow, so no record of the scan
// lies below it, and the walk from there costs what the scan wrote.
inline constexpr const char* kCountScanRecords =
    "SELECT COUNT(*) FROM main NOT INDEXED WHERE SrNO >= ? AND dbaseName = ? AND delKey = ?";
// The catalogue names in main, in name order: a loose scan of the index that
// begins with dbaseName, one seek a name however many records each holds.
inline constexpr const char* kCatalogueNames
    = "WITH RECURSIVE names(name) AS ("
      " SELECT min(dbaseName) FROM main"
      " UNION ALL"
      " SELECT (SELECT min(dbaseName) FROM main WHERE dbaseName > names.name) FROM names"
      " WHERE name IS NOT NULL)"
      " SELECT name FROM names WHERE name IS NOT NULL";
inline constexpr const char* kCatalogueRecordCount = "SELECT count(*) FROM main WHERE dbaseName = ?";
inline constexpr const char* kRecordKey = "SELECT ID FROM main WHERE SrNO = ?";
inline constexpr const char* kLastSerial = "SELECT SrNO FROM main ORDER BY SrNO DESC LIMIT 1";
// The tree editor's record of a node: the shown catalogue's first record with
// that key.
inline constexpr const char* kNodeRecordRowId =
    "SELECT SrNO FROM main WHERE dbaseName = ? AND Parent = ? AND ID = ? ORDER BY SrNO LIMIT 1";
// Export: the columns of main in table order, and a catalogue's records (with
// their media details, as md) a
// slice at a time from a serial number on. The slice follows the serial
// numbers, not an index, so it comes in SrNO order without a sort.
inline constexpr const char* kMainColumns = "SELECT name, type FROM pragma_table_info('main') ORDER BY cid";
inline std::string exportRecords(const std::string& columns)
{
    return "SELECT " + columns
        + " FROM main NOT INDEXED LEFT JOIN media md ON md.SrNO = main.SrNO WHERE main.dbaseName = ? AND main.SrNO > ? "
          "ORDER BY main.SrNO LIMIT ?";
}
// The record's content fingerprint, for the export's last column, while it
// holds: taken at the size and modification time (seconds) the record has.
#define QM_FINGERPRINT_HOLDS(m)                                                                             \
    "f.SrNO = " m ".SrNO AND f.Bytes = " m ".bytes AND f.ModifiedNs >= " m ".modified * 1000000000 "        \
    "AND f.ModifiedNs < (" m ".modified + 1) * 1000000000"
inline constexpr const char* kExportFingerprint
    = "(SELECT Hash FROM fingerprints f WHERE " QM_FINGERPRINT_HOLDS("main") ")";
inline constexpr const char* kFingerprintsByScan
    = "SELECT m.dbaseName, m.delKey, count(*), sum(f.Bytes) FROM fingerprints f JOIN main m ON "
      QM_FINGERPRINT_HOLDS("m") " GROUP BY m.dbaseName, m.delKey";
#undef QM_FINGERPRINT_HOLDS
inline constexpr const char* kCatalogueHasRecords = "SELECT 1 FROM main WHERE dbaseName = ? LIMIT 1";
inline constexpr const char* kTableExists =
    "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?";
inline constexpr const char* kReportRows = "SELECT SrNO, file_name, path, date, size FROM temp";
inline constexpr const char* kClearTemp = "DELETE FROM temp";
inline constexpr const char* kInsertTemp =
    "INSERT INTO temp (SrNO, file_name, path, size, date) VALUES (?, ?, ?, ?, ?)";

} // namespace qm::Queries
