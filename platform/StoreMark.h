// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mark a store found sound carries between runs, so that a scan of a
// large catalogue need not read the whole file to check it again; when the
// last full check ran, so that one runs at least once a day of use; the
// verdict of a check that found the store damaged, so that nothing is
// written to it after; and keeping the mark over the program's own writes.
#include <QString>

#include <functional>
#include <optional>

namespace SQLite {
class Database;
}
struct sqlite3;

namespace qm::Store {

// How often a full check of every page and index runs while the store is used.
inline constexpr long long kFullCheckInterval = 24 * 60 * 60;

// The store at `file` was found sound and a write to it has just ended well;
// the time of the last full check is kept, and the content's fingerprint
// when one is given.
void markChecked(const QString& file, const QByteArray& fingerprint = {});
// A full check of the store at `file`, run at `when` (seconds since the
// epoch), found it sound: it is marked so, with the fingerprint of its
// content then when one is given, and any damage found before is forgotten.
void markFullCheck(const QString& file, long long when, const QByteArray& fingerprint = {});
// XXH3-128 of the whole database file of the connection `handle`, in hex;
// empty when it cannot be read. Read through SQLite's own file handle, with
// the caller in a read transaction: a descriptor of our own on the file would
// drop the process's locks on it when closed. SQLite's pages carry no
// checksum, so bytes changed inside a record that leaves its page well-formed
// are seen only by comparing this with the one marked.
QByteArray contentFingerprint(sqlite3* handle);
// Up to this size the mark takes the fingerprint after each write of the
// program's own too (about a tenth of a second), so damage after any write
// is found by the next full check; a larger store gets one at each full check.
inline constexpr long long kFingerprintOnWriteLimit = 256LL * 1024 * 1024;
// A check found the store at `file` damaged: the verdict stays until a check
// finds the file there sound again.
void markDamaged(const QString& file, const QString& detail);
// Whether the store at `file` is as markChecked last left it, and not found damaged.
bool isMarkedChecked(const QString& file);

struct MarkState {
    bool asLeft = false; // the file's device, inode, size and modification time are as marked
    long long lastFullCheck = 0; // seconds since the epoch; 0 when none is known
    // What the check that found this very file (device and inode) damaged
    // said; empty when none did.
    QString damage;
    // The content's fingerprint when the file was as marked; empty when not known.
    QByteArray fingerprint;
};
MarkState markOf(const QString& file);
// Whether a full check is due at `now`: none ran on this file within the interval.
bool fullCheckDue(const MarkState& mark, long long now);
// The file that holds the mark of the store at `file`.
QString markFileOf(const QString& file);

// The message for a store found damaged: names the file and how to get its
// records back.
QString damagedMessage(const QString& path, const QString& detail);
// damagedMessage for the store at `file` when a check found it damaged and
// no check found it sound since; otherwise empty.
QString rememberedDamage(const QString& file);

// While one lives, a write of this program wants the store: a check beside
// the work (which holds a read lock for as long as it runs) gives way to it.
class WriteWanted {
public:
    WriteWanted();
    ~WriteWanted();
    WriteWanted(const WriteWanted&) = delete;
    WriteWanted& operator=(const WriteWanted&) = delete;
    static bool now();
};

// While one lives, the reads of `handle` (a check beside the work) are
// interrupted when a write of this program comes to want the store.
class GivesWay {
public:
    explicit GivesWay(sqlite3* handle);
    ~GivesWay();
    GivesWay(const GivesWay&) = delete;
    GivesWay& operator=(const GivesWay&) = delete;

private:
    sqlite3* handle_;
};

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
    // Whether another connection committed since this was made (this
    // connection's own commits leave the data version as it was); asked
    // inside the caller's transaction, or in a read of its own.
    bool anotherWriterCame() const;

private:
    WriteWanted wanted_;
    SQLite::Database& db_;
    bool marked_ = false;
    bool broken_ = false;
    long long version_ = 0;
};

// Runs `write` in a write transaction of its own and commits it, keeping
// the mark over it. Throws what `write` or the store threw; nothing is
// written then. A store found damaged is refused before anything is written
// (an SQLite::Exception of SQLITE_CORRUPT naming the file).
void writeKeepingMark(SQLite::Database& db, const std::function<void()>& write);

} // namespace qm::Store
