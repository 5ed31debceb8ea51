// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the last big delete took away ("Delete Folder", "Update Folder", a
// whole catalogue), kept so that it can be put back exactly: the records
// under their own serial numbers and keys with every field and their content
// fingerprints, the scans' disks and the catalogue's kept tree check. The copy lives in files of their own
// and goes when the program ends. It is taken beside the write, on a
// connection of its own that reads the state the write began from, so that a
// big delete hardly waits for it: the write's lock lets readers in until it
// commits, and the write commits only once the copy is whole.
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

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

    // The files an undo uses joined to `db` while this lives, made afresh
    // when `fresh` (what was kept before is dropped then); a fresh one leaves
    // the copy's own file to the connection that takes it. Outside a
    // transaction.
    class Attached {
    public:
        Attached(UndoKeep& keep, SQLite::Database& db, bool fresh);
        ~Attached();
        Attached(const Attached&) = delete;
        Attached& operator=(const Attached&) = delete;

    private:
        SQLite::Database& db_;
        bool kept_ = false; // the copy's file is joined too
    };

    // In the write's transaction, before it: starts keeping the records of
    // `catalogue` the write is about, its scan `deleteKey` or, when that is
    // empty, all of them, and returns once the copy is sure to see them as
    // they are now. `folder` names them for the user. The copy goes on beside
    // the write until written() or waitForCopy(). Throws when it cannot begin.
    void keep(SQLite::Database& db, Kind kind, const QString& catalogue, const QString& deleteKey,
        const QString& folder);
    // Waits for the copy keep() began and throws what stopped it.
    void waitForCopy();
    // After the write, in the same transaction (an update: in one of its
    // own right after it): waits for the copy, and keeps what the write left
    // of the records. Only then is the undo offered, and not when another
    // connection committed since keep(). Throws what stopped the copy.
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
    // On a thread of its own: copies into copyFile_ what keep() chose, from
    // the store at `store`; `begun` is called once the copy reads the state
    // it will copy.
    void copy(const QString& store, const std::function<void()>& begun);
    // Waits for a copy still running and drops what stopped it.
    void waitQuietly() noexcept;

    std::unique_ptr<QTemporaryDir> dir_;
    QString file_; // what the write left, written by the write's connection
    QString copyFile_; // what was there, written by the copy's own
    std::thread copier_;
    std::exception_ptr copyFailure_;
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
