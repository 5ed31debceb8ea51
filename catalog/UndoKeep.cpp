// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/UndoKeep.h"

#include "catalog/tree/TreeCheck.h"
#include "catalog/Catalogues.h"
#include "catalog/Queries.h"
#include "catalog/Store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {
namespace {

// The state of main's serial counter and of the change log just after the
// write: what a later writer stored or changed lies above them.
constexpr const char* kSerialMark = "SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'main'), 0)";
constexpr const char* kLogMark = "SELECT coalesce(max(seq), 0) FROM change_log";

} // namespace

UndoKeep::UndoKeep() = default;

UndoKeep::~UndoKeep() = default;

UndoKeep::Attached::Attached(UndoKeep& keep, SQLite::Database& db, bool fresh)
    : db_(db)
{
    if (!keep.dir_ || !keep.dir_->isValid()) {
        // A folder only this user can enter, removed with everything in it
        // when the program ends.
        keep.dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quillmark-undo-XXXXXX"));
        if (!keep.dir_->isValid())
            throw std::runtime_error("No temporary folder for what an undo needs: "
                + keep.dir_->errorString().toStdString());
        keep.file_ = keep.dir_->filePath(QStringLiteral("undo.db"));
    }
    if (fresh) {
        keep.forget();
        QFile::remove(keep.file_);
    }
    // The store's connections open files without creating them, and so
    // would ATTACH: an empty file is an empty database.
    if (!QFile::exists(keep.file_)) {
        QFile empty(keep.file_);
        if (!empty.open(QIODevice::WriteOnly))
            throw std::runtime_error("Could not make the file an undo needs: " + empty.errorString().toStdString());
    }
    // Its tables are named apart from the store's (kept_rows, left_rows...),
    // so that no unqualified name in the program reaches them.
    SQLite::Statement attach(db, "ATTACH DATABASE ? AS qm_undo");
    attach.bind(1, QFile::encodeName(keep.file_).toStdString());
    attach.exec();
    try {
        // A copy the program drops when anything fails needs no journal, and
        // no flush to the disk.
        db.exec("PRAGMA qm_undo.journal_mode = OFF");
        db.exec("PRAGMA qm_undo.synchronous = OFF");
    } catch (...) {
        db.exec("DETACH DATABASE qm_undo");
        throw;
    }
}

UndoKeep::Attached::~Attached()
{
    try {
        db_.exec("DETACH DATABASE qm_undo");
    } catch (const std::exception&) {
        // The connection is closed right after in every use; it lets go then.
    }
}

std::string UndoKeep::selection(SQLite::Database& db) const
{
    // The same road through the table as the delete itself takes.
    return " FROM main " + Queries::catalogueReadOrder(catalogueHoldsMost(db, catalogue_.toStdString()))
        + " WHERE dbaseName = ?1" + (deleteKey_.isEmpty() ? "" : " AND delKey = ?2");
}

int UndoKeep::run(SQLite::Database& db, const std::string& sql) const
{
    SQLite::Statement st(db, sql);
    const int count = st.getBindParameterCount();
    if (count >= 1)
        st.bind(1, catalogue_.toStdString());
    if (count >= 2)
        st.bind(2, deleteKey_.toStdString());
    return st.exec();
}

bool UndoKeep::any(SQLite::Database& db, const std::string& sql) const
{
    SQLite::Statement st(db, "SELECT EXISTS (" + sql + ")");
    const int count = st.getBindParameterCount();
    if (count >= 1)
        st.bind(1, catalogue_.toStdString());
    if (count >= 2)
        st.bind(2, deleteKey_.toStdString());
    if (count >= 3)
        st.bind(3, static_cast<int64_t>(serialAfter_));
    if (count >= 4)
        st.bind(4, static_cast<int64_t>(logAfter_));
    return st.executeStep() && st.getColumn(0).getInt() != 0;
}

void UndoKeep::keep(SQLite::Database& db, Kind kind, const QString& catalogue, const QString& deleteKey,
    const QString& folder)
{
    // The file is attached and made afresh for this: only the state goes.
    kept_ = false;
    offered_ = false;
    kind_ = kind;
    catalogue_ = catalogue;
    deleteKey_ = kind == Kind::DeleteCatalogue ? QString() : deleteKey;
    folder_ = folder;
    const std::string scan = deleteKey_.isEmpty() ? "" : " AND topKey = ?2";
    run(db, "CREATE TABLE qm_undo.kept_rows AS SELECT *" + selection(db));
    // Their fingerprints go with them (a trigger removes them from the store).
    run(db, "CREATE TABLE qm_undo.kept_fingerprints AS SELECT * FROM fingerprints WHERE SrNO IN (SELECT SrNO"
            + selection(db) + ")");
    run(db, "CREATE TABLE qm_undo.kept_scans AS SELECT * FROM scans WHERE dbaseName = ?1" + scan);
    run(db, "CREATE TABLE qm_undo.kept_checks AS SELECT * FROM tree_checks WHERE dbaseName = ?1");
    run(db, "CREATE TABLE qm_undo.kept_unplaced AS SELECT * FROM tree_unplaced WHERE dbaseName = ?1");
    stampBefore_ = mainStamp(db);
    otherWrites_ = db.execAndGet("PRAGMA main.data_version").getInt64();
    kept_ = true;
}

void UndoKeep::written(SQLite::Database& db)
{
    if (!kept_)
        return;
    // A copy made in a transaction before the write's own holds what the
    // write found only while no other connection committed in between.
    if (db.execAndGet("PRAGMA main.data_version").getInt64() != otherWrites_) {
        kept_ = false;
        return;
    }
    // A delete leaves none of the records it chose; an update leaves the
    // scan as it made it, which is what an undo expects to find.
    run(db,
        kind_ == Kind::UpdateFolder ? "CREATE TABLE qm_undo.left_rows AS SELECT *" + selection(db)
                                    : std::string("CREATE TABLE qm_undo.left_rows AS SELECT * FROM main WHERE 0"));
    stampAfter_ = mainStamp(db);
    serialAfter_ = db.execAndGet(kSerialMark).getInt64();
    logAfter_ = db.execAndGet(kLogMark).getInt64();
    offered_ = true;
}

void UndoKeep::forget()
{
    kept_ = false;
    offered_ = false;
    if (!file_.isEmpty())
        QFile::remove(file_);
}

std::int64_t UndoKeep::restore(SQLite::Database& db)
{
    if (!offered_)
        throw UndoBlocked("There is nothing to undo.");
    const QString what = kind_ == Kind::DeleteCatalogue
        ? QStringLiteral("the catalogue \"") + catalogue_ + u'"'
        : folder_ + QStringLiteral(" in \"") + catalogue_ + u'"';
    // A store changed since is checked for clashes by key; the index is
    // made before the write, as the copy has no journal to take it back.
    if (mainStamp(db) != stampAfter_)
        db.exec("CREATE INDEX IF NOT EXISTS qm_undo.kept_rows_id ON kept_rows (ID)");
    std::int64_t back = 0;
    Store::writeKeepingMark(db, [&] {
        const std::string now = mainStamp(db);
        // When no record of main changed since, the store holds what the
        // write left and nothing more: the records go back as they were.
        const bool untouched = now == stampAfter_;
        const std::string chosen = selection(db);
        if (!untouched
            && (any(db, "SELECT *" + chosen + " EXCEPT SELECT * FROM qm_undo.left_rows")
                || any(db, "SELECT * FROM qm_undo.left_rows EXCEPT SELECT *" + chosen)))
            throw UndoBlocked(("The records of " + what
                + QStringLiteral(" were changed since, by another window or program; undoing would not bring "
                                 "back what was there. Nothing was changed."))
                                  .toStdString());
        // What an update added or changed goes; the kept records come back.
        run(db, "DELETE" + chosen);
        if (!untouched) {
            db.exec("CREATE INDEX IF NOT EXISTS qm_undo.kept_rows_id ON kept_rows (ID)");
            if (any(db, "SELECT 1 FROM qm_undo.kept_rows k JOIN main m ON m.SrNO = k.SrNO")
                || any(db,
                    "SELECT 1 FROM main m WHERE (m.SrNO > ?3 OR m.SrNO IN (SELECT SrNO FROM change_log WHERE seq > "
                    "?4)) AND +m.dbaseName = ?1 AND m.ID IN (SELECT ID FROM qm_undo.kept_rows)"))
                throw UndoBlocked(("Records stored since hold serial numbers or keys of the records of " + what
                    + QStringLiteral("; undoing would give two records one key. Nothing was changed."))
                                      .toStdString());
        }
        back = run(db, "INSERT INTO main SELECT * FROM qm_undo.kept_rows ORDER BY SrNO");
        // A reader that follows the log fetches only records above the
        // newest it holds: these come back below it, so each is logged.
        run(db, "INSERT INTO change_log (SrNO) SELECT SrNO FROM qm_undo.kept_rows ORDER BY SrNO");
        run(db, "INSERT OR REPLACE INTO fingerprints SELECT * FROM qm_undo.kept_fingerprints");
        run(db,
            std::string("DELETE FROM scans WHERE dbaseName = ?1") + (deleteKey_.isEmpty() ? "" : " AND topKey = ?2"));
        run(db, "INSERT OR REPLACE INTO scans SELECT * FROM qm_undo.kept_scans");
        // Keys stay handed out, should the mark have been lost meanwhile.
        run(db, "INSERT INTO catalogue_keys (dbaseName, lastKey) SELECT dbaseName, max(CAST(ID AS INTEGER)) "
                "FROM qm_undo.kept_rows GROUP BY dbaseName HAVING max(CAST(ID AS INTEGER)) IS NOT NULL "
                "ON CONFLICT (dbaseName) DO UPDATE SET lastKey = max(lastKey, excluded.lastKey)");

        // The other catalogues' records are as they were; this one's are as
        // before the delete, whose check then holds again. After an update,
        // or when another writer came, it is worked out again when needed.
        const std::string after = mainStamp(db);
        SQLite::Statement others(db, "UPDATE tree_checks SET stamp = ? WHERE stamp = ? AND dbaseName <> ?");
        others.bind(1, after);
        others.bind(2, now);
        others.bind(3, catalogue_.toStdString());
        others.exec();
        run(db, "DELETE FROM tree_checks WHERE dbaseName = ?1");
        run(db, "DELETE FROM tree_unplaced WHERE dbaseName = ?1");
        if (untouched && kind_ != Kind::UpdateFolder) {
            SQLite::Statement check(db, "INSERT INTO tree_checks (dbaseName, stamp, unplaced, highestKey, keysFit) "
                                        "SELECT dbaseName, ?, unplaced, highestKey, keysFit FROM qm_undo.kept_checks "
                                        "WHERE stamp = ?");
            check.bind(1, after);
            check.bind(2, stampBefore_);
            if (check.exec() > 0)
                run(db, "INSERT INTO tree_unplaced (dbaseName, SrNO) SELECT dbaseName, SrNO FROM qm_undo.kept_unplaced");
        }
    });
    offered_ = false;
    return back;
}

} // namespace qm
