#pragma once
// The store file database.mdb: checking that a file is a catalogue, bringing
// an older one up to this program's format, checking its health, and making
// an empty one.
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
// The store at `file` was found sound and a write to it has just ended well.
void markChecked(const QString& file);
// Whether the store at `file` is as markChecked last left it.
bool isMarkedChecked(const QString& file);

// Keeps a store's mark over a write of this program's own that ends well, so
// that the next scan of a large catalogue does not read the whole file again
// for it. Made before anything is written (a large write spills pages into
// the file before it commits), and for a scan before its check begins;
// committed() after the last commit marks the file again when it was marked
// then, or a check since found it sound, and no other connection wrote to it
// in between.
class KeptMark {
public:
    explicit KeptMark(SQLite::Database& db);
    // A check that began after this was made found the store sound.
    void foundSound() { marked_ = true; }
    void committed();

private:
    SQLite::Database& db_;
    bool marked_ = false;
    bool broken_ = false;
    long long version_ = 0;
};

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
