// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The catalogues table main holds, for the windows that offer them by name.
#include <QStringList>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace SQLite {
class Database;
}

namespace qm {

class DataControl;

// Every catalogue name in main, in name order (exact, case-sensitive).
QStringList catalogueNames(SQLite::Database& db);

// The same through a window's data control; empty when its store is not open
// or cannot be read, as names are only offered, never needed.
QStringList catalogueNamesOf(const DataControl& control);

// How many records of main carry `name`.
std::int64_t catalogueRecordCount(SQLite::Database& db, const QString& name);

// Whether the catalogue holds most of main: then reading the table in its
// own order costs less than looking up each of its records from its index.
bool catalogueHoldsMost(SQLite::Database& db, const std::string& name);

// Deletes every record of catalogue `name`, in the caller's transaction,
// with what is kept about it (its scans' disks, its tree check), and returns
// how many records went. Its keys stay handed out, so that records put back
// by an undo find them free; register notes keep their links. Throws
// SQLite::Exception.
std::int64_t deleteCatalogue(SQLite::Database& db, const QString& name);

// How many disks the store knows catalogue `name` was scanned from: scans of
// one disk (by UUID) count once, scans of a disk without one each once, and
// scans made before disks were recorded not at all.
std::int64_t catalogueDiskCount(SQLite::Database& db, const QString& name);

// Renames catalogue `from` to `to`, in the caller's transaction: every
// record, its scans' disks, its kept tree check and its key mark. Register
// notes link by key and so stay with their records. Returns how many records
// were renamed. Throws CatalogueNameTaken when `to` names records already,
// and SQLite::Exception.
std::int64_t renameCatalogue(SQLite::Database& db, const QString& from, const QString& to);

class CatalogueNameTaken : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace qm
