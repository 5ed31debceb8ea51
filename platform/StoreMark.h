#pragma once
// The mark a store found sound carries between runs, so that a scan of a
// large catalogue need not read the whole file to check it again; and
// keeping it over the program's own writes.
#include <QString>

#include <functional>

namespace SQLite {
class Database;
}

namespace qm::Store {

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
    // Whether another connection committed since this was made (this
    // connection's own commits leave the data version as it was); asked
    // inside the caller's transaction, or in a read of its own.
    bool anotherWriterCame() const;

private:
    SQLite::Database& db_;
    bool marked_ = false;
    bool broken_ = false;
    long long version_ = 0;
};

// Runs `write` in a write transaction of its own and commits it, keeping
// the mark over it. Throws what `write` or the store threw; nothing is
// written then.
void writeKeepingMark(SQLite::Database& db, const std::function<void()>& write);

} // namespace qm::Store
