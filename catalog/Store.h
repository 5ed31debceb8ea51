#pragma once
// The store file database.mdb: checking that a file is a catalogue, bringing
// an older one up to this program's format, checking its health, and making
// an empty one.
#include "platform/StoreMark.h"

#include <QString>
#include <QStringList>

namespace SQLite {
class Database;
}

namespace qm::Store {

// The format this program writes. Each format above the first store adds
// what catalog/upgrades/<n>.sql says; the number is kept as the file's
// user_version.
inline constexpr int kFormat = 4;

// The tables a catalogue file must hold.
QStringList requiredTables();

// Empty when `path` is a catalogue this program can use (perhaps after an
// upgrade); otherwise what is wrong, naming the full path.
QString problemWith(const QString& path);

// problemWith, then a store of an older format is upgraded in place, in one
// transaction that keeps every record. Empty when the store is ready.
QString prepare(const QString& path);

// Empty when SQLite finds the store's pages sound; otherwise a message that
// names the file. Costs one read of the file.
QString damage(SQLite::Database& db);

// damage(), unless the file has not been written since a check found it
// sound and this program's write after that check ended (its device, inode,
// size and modification time are what markChecked kept): then empty at once,
// so a scan into a large catalogue does not pay for reading all of it.
QString damageSinceChecked(SQLite::Database& db);
// Whether an error text of the store says the file is damaged.
bool isDamageError(int sqliteErrorCode);
// The message for a store found damaged while it was being written.
QString damagedMessage(const QString& path, const QString& detail);

// Makes a new store with every table at `path`, in this program's format.
// Returns an error text, empty on success. Refuses to touch an existing file.
QString create(const QString& path);

// The schema text of the first format.
QString schema();

} // namespace qm::Store
