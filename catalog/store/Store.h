// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The store file database.mdb: checking that a file is a catalogue, bringing
// an older one up to this program's format, checking its health, and making
// an empty one.
#include "platform/StoreMark.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace SQLite {
class Database;
}

namespace qm::Store {

// The format this program writes. Each format above the first store adds
// what catalog/store/upgrades/<n>.sql says; the number is kept as the file's
// user_version.
inline constexpr int kFormat = 10;

// The tables a catalogue file must hold.
QStringList requiredTables();

// Empty when `path` is a catalogue this program can use (perhaps after an
// upgrade); otherwise what is wrong, naming the full path.
QString problemWith(const QString& path);

// problemWith, then a store of an older format is upgraded in place, in one
// transaction that keeps every record. Empty when the store is ready.
QString prepare(const QString& path);

// How far a check reads. Quick reads every page and checks its structure
// (PRAGMA quick_check); Full also checks every index entry against its row
// and every row's values (PRAGMA integrity_check), so that bytes changed
// inside a record, which leave its page well-formed, are found too.
enum class CheckDepth { Quick, Full };

// Thrown by damage() when its `goOn` answered false.
struct CheckStopped : std::runtime_error {
    CheckStopped() : std::runtime_error("the check was stopped") { }
};

// Empty when SQLite finds the store's pages sound; otherwise a message that
// names the file. Costs one read of the file (Full: and one look-up per
// index entry). The verdict is kept in the store's mark: a Full check found
// sound marks the time; damage is remembered until a check finds it sound.
// `goOn`, when given, is asked now and then (not while SQLite walks the
// pages' structure) and stops the check when it answers false. Throws
// DbError when the store cannot be read at all.
QString damage(SQLite::Database& db, CheckDepth depth = CheckDepth::Quick,
    const std::function<bool()>& goOn = {});

// The check a write runs first (beside its walk): the damage a check found
// before, at once, while the file is the one found damaged; otherwise
// nothing, at once, while the file is as a check found it or this program's
// own write after that left it and the last full check is less than a day
// old; otherwise a Full check when one is due, a Quick one when not.
QString damageSinceChecked(SQLite::Database& db);
// Whether an error text of the store says the file is damaged.
bool isDamageError(int sqliteErrorCode);
// damagedMessage, after the verdict is kept in the store's mark: for a
// store found damaged while it was being written.
QString foundDamaged(const QString& path, const QString& detail);

// Makes a new store with every table at `path`, in this program's format
// (or in an earlier `format`, as an earlier version made it). Returns an
// error text, empty on success. Refuses to touch an existing file.
QString create(const QString& path, int format = kFormat);

// The schema text of the first format.
QString schema();

} // namespace qm::Store
