// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the last big delete took away ("Delete Folder", "Update Folder", a
// whole catalogue), kept so that it can be put back exactly: the records
// under their own serial numbers and keys with every field and their content
// fingerprints, the scans' disks and the catalogue's kept tree check. The
// copy lives in a file of its own, attached to the connection that writes,
// and is filled in the write's own transaction by INSERT ... SELECT; it goes
// when the program ends.
#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

class QTemporaryDir;

namespace SQLite {
class Database;
}

namespace qm {

// The store changed since the delete so that putting the records back would
// not give what was there; `what()` says how, for the user. Nothing was
// changed.
class UndoBlocked : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class UndoKeep {
public:
    enum class Kind { DeleteFolder, UpdateFolder, DeleteCatalogue };

    UndoKeep();
    ~UndoKeep();
    UndoKeep(const UndoKeep&) = delete;
    UndoKeep& operator=(const UndoKeep&) = delete;

    // The kept file joined to `db` while this lives, made afresh when
    // `fresh` (what was kept before is dropped then). Outside a transaction.
    class Attached {
    public:
        Attached(UndoKeep& keep, SQLite::Database& db, bool fresh);
        ~Attached();
        Attached(const Attached&) = delete;
        Attached& operator=(const Attached&) = delete;

    private:
        SQLite::Database& db_;
    };

    // In the write's transaction, before it: keeps the records of `catalogue`
    // the write is about, its scan `deleteKey` or, when that is empty, all of
    // them. `folder` names them for the user.
    void keep(SQLite::Database& db, Kind kind, const QString& catalogue, const QString& deleteKey,
        const QString& folder);
    // After the write, in the same transaction (an update: in one of its
    // own right after it): what the write left of them. Only then is the
    // undo offered, and not when another connection committed since keep().
    void written(SQLite::Database& db);
    // Nothing to undo any more: a later change, a failed or an empty write.
    void forget();

    bool offered() const { return offered_; }
    Kind kind() const { return kind_; }
    const QString& catalogue() const { return catalogue_; }
    const QString& folder() const { return folder_; }

    // Puts the kept records back in one write transaction of `db` (attached)
    // and returns how many came back: records the write added are removed,
    // changed ones get their old fields again, every restored record is
    // logged as changed, so that readers following the change log see it.
    // Throws UndoBlocked when another writer made a faithful restore
    // impossible, and what the store throws; nothing is changed then.
    std::int64_t restore(SQLite::Database& db);

private:
    // " FROM main ... WHERE ..." naming the kept records by ?1 and ?2.
    std::string selection(SQLite::Database& db) const;
    // Runs `sql`, its ?1 and ?2 bound to the catalogue and the delete key;
    // returns the rows it changed.
    int run(SQLite::Database& db, const std::string& sql) const;
    bool any(SQLite::Database& db, const std::string& sql) const;

    std::unique_ptr<QTemporaryDir> dir_;
    QString file_;
    Kind kind_ = Kind::DeleteFolder;
    QString catalogue_;
    QString deleteKey_;
    QString folder_;
    bool kept_ = false;
    bool offered_ = false;
    std::string stampBefore_;
    std::string stampAfter_;
    std::int64_t serialAfter_ = 0;
    std::int64_t logAfter_ = 0;
    std::int64_t otherWrites_ = 0; // the store's data version for this connection when kept
};

} // namespace qm
