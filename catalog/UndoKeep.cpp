// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/UndoKeep.h"

#include "catalog/tree/TreeCheck.h"
#include "catalog/Catalogues.h"
#include "catalog/store/Queries.h"
#include "catalog/store/Store.h"
#include "platform/Recordset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <future>
#include <utility>

namespace qm {
namespace {

// The state of main's serial counter and of the change log just after the
// write: what a later writer stored or changed lies above them.
constexpr const char* kSerialMark = "SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'main'), 0)";
constexpr const char* kLogMark = "SELECT coalesce(max(seq), 0) FROM change_log";

} // namespace

UndoKeep::UndoKeep() = default;

UndoKeep::~UndoKeep()
{
    waitQuietly();
}

namespace {

// Joins `file` to `db` as `alias`. The store's connections open files without
// creating them, and so would ATTACH: an empty file is an empty database.
void attachFile(SQLite::Database& db, const QString& file, const char* alias)
{
    if (!QFile::exists(file)) {
        QFile empty(file);
        if (!empty.open(QIODevice::WriteOnly))
            throw std::runtime_error("Could not make the file an undo needs: " + empty.errorString().toStdString());
    }
    SQLite::Statement attach(db, std::string("ATTACH DATABASE ? AS ") + alias);
    attach.bind(1, QFile::encodeName(file).toStdString());
    attach.exec();
    try {
        // A copy the program drops when anything fails needs no journal, and
        // no flush to the disk.
        db.exec(std::string("PRAGMA ") + alias + ".journal_mode = OFF");
        db.exec(std::string("PRAGMA ") + alias + ".synchronous = OFF");
    } catch (...) {
        db.exec(std::string("DETACH DATABASE ") + alias);
        throw;
    }
}

void detachFile(SQLite::Database& db, const char* alias) noexcept
{
    try {
        db.exec(std::string("DETACH DATABASE ") + alias);
    } catch (const std::exception&) {
        // The connection is closed right after in every use; it lets go then.
    }
}

} // namespace

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
        keep.copyFile_ = keep.dir_->filePath(QStringLiteral("kept.db"));
    }
    if (fresh)
        keep.forget();
    // Their tables are named apart from the store's (kept_rows, left_rows...),
    // so that no unqualified name in the program reaches them.
    attachFile(db, keep.file_, "qm_undo");
    // The copy is written by a connection of its own while this one writes;
    // a write transaction here would lock every file attached.
    if (!fresh) {
        try {
            attachFile(db, keep.copyFile_, "qm_kept");
            kept_ = true;
        } catch (...) {
            detachFile(db, "qm_undo");
            throw;
        }
    }
}

UndoKeep::Attached::~Attached()
{
    if (kept_)
        detachFile(db_, "qm_kept");
    detachFile(db_, "qm_undo");
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
    // The files are attached and made afresh for this: only the state goes.
    waitQuietly();
    kept_ = false;
    offered_ = false;
    kind_ = kind;
    catalogue_ = catalogue;
    deleteKey_ = kind == Kind::DeleteCatalogue ? QString() : deleteKey;
    folder_ = folder;
    QFile::remove(copyFile_);
    stampBefore_ = mainStamp(db);
    otherWrites_ = db.execAndGet("PRAGMA main.data_version").getInt64();

    std::promise<void> begun;
    std::future<void> reading = begun.get_future();
    copier_ = std::thread([this, store = QString::fromStdString(db.getFilename()), begun = std::move(begun)]() mutable {
        bool told = false;
        try {
            copy(store, [&] {
                begun.set_value();
                told = true;
            });
        } catch (...) {
            if (told)
                copyFailure_ = std::current_exception();
            else
                begun.set_exception(std::current_exception());
        }
    });
    try {
        reading.get();
    } catch (...) {
        copier_.join();
        throw;
    }
    kept_ = true;
}

void UndoKeep::copy(const QString& store, const std::function<void()>& begun)
{
    auto own = openConnection(store);
    attachFile(*own, copyFile_, "qm_kept");
    {
        SQLite::Transaction read(*own);
        // The first read takes the store's shared lock: from here on this
        // connection sees the state the write began from, whatever the write
        // does before it commits, and the write cannot commit before this
        // transaction ends.
        own->execAndGet("SELECT count(*) FROM main.sqlite_master");
        begun();
        const std::string scan = deleteKey_.isEmpty() ? "" : " AND topKey = ?2";
        run(*own, "CREATE TABLE qm_kept.kept_rows AS SELECT *" + selection(*own));
        // Their fingerprints and media details go with them (triggers remove them
        // from the store).
        run(*own, "CREATE TABLE qm_kept.kept_fingerprints AS SELECT * FROM fingerprints WHERE SrNO IN (SELECT SrNO"
                + selection(*own) + ")");
        run(*own, "CREATE TABLE qm_kept.kept_thumbnails AS SELECT * FROM thumbnails WHERE SrNO IN (SELECT SrNO"
                + selection(*own) + ")");
        run(*own, "CREATE TABLE qm_kept.kept_media AS SELECT * FROM media WHERE SrNO IN (SELECT SrNO"
                + selection(*own) + ")");
        run(*own, "CREATE TABLE qm_kept.kept_scans AS SELECT * FROM scans WHERE dbaseName = ?1" + scan);
        run(*own, "CREATE TABLE qm_kept.kept_checks AS SELECT * FROM tree_checks WHERE dbaseName = ?1");
        run(*own, "CREATE TABLE qm_kept.kept_unplaced AS SELECT * FROM tree_unplaced WHERE dbaseName = ?1");
        read.commit();
    }
    detachFile(*own, "qm_kept");
}

void UndoKeep::waitForCopy()
{
    if (copier_.joinable())
        copier_.join();
    if (copyFailure_) {
        kept_ = false;
        std::rethrow_exception(std::exchange(copyFailure_, nullptr));
    }
}

void UndoKeep::waitQuietly() noexcept
{
    if (copier_.joinable())
        copier_.join();
    copyFailure_ = nullptr;
}

void UndoKeep::written(SQLite::Database& db)
{
    waitForCopy();
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
    waitQuietly();
    kept_ = false;
    offered_ = false;
    if (!file_.isEmpty())
        QFile::remove(file_);
    if (!copyFile_.isEmpty())
        QFile::remove(copyFile_);
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
        db.exec("CREATE INDEX IF NOT EXISTS qm_kept.kept_rows_id ON kept_rows (ID)");
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
            db.exec("CREATE INDEX IF NOT EXISTS qm_kept.kept_rows_id ON kept_rows (ID)");
            if (any(db, "SELECT 1 FROM qm_kept.kept_rows k JOIN main m ON m.SrNO = k.SrNO")
                || any(db,
                    "SELECT 1 FROM main m WHERE (m.SrNO > ?3 OR m.SrNO IN (SELECT SrNO FROM change_log WHERE seq > "
                    "?4)) AND +m.dbaseName = ?1 AND m.ID IN (SELECT ID FROM qm_kept.kept_rows)"))
                throw UndoBlocked(("Records stored since hold serial numbers or keys of the records of " + what
                    + QStringLiteral("; undoing would give two records one key. Nothing was changed."))
                                      .toStdString());
        }
        back = run(db, "INSERT INTO main SELECT * FROM qm_kept.kept_rows ORDER BY SrNO");
        // A reader that follows the log fetches only records above the
        // newest it holds: these come back below it, so each is logged.
        run(db, "INSERT INTO change_log (SrNO) SELECT SrNO FROM qm_kept.kept_rows ORDER BY SrNO");
        run(db, "INSERT OR REPLACE INTO fingerprints SELECT * FROM qm_kept.kept_fingerprints");
        run(db, "INSERT OR REPLACE INTO thumbnails SELECT * FROM qm_kept.kept_thumbnails");
        run(db, "INSERT OR REPLACE INTO media SELECT * FROM qm_kept.kept_media");
        run(db,
            std::string("DELETE FROM scans WHERE dbaseName = ?1") + (deleteKey_.isEmpty() ? "" : " AND topKey = ?2"));
        run(db, "INSERT OR REPLACE INTO scans SELECT * FROM qm_kept.kept_scans");
        // Keys stay handed out, should the mark have been lost meanwhile.
        run(db, "INSERT INTO catalogue_keys (dbaseName, lastKey) SELECT dbaseName, max(CAST(ID AS INTEGER)) "
                "FROM qm_kept.kept_rows GROUP BY dbaseName HAVING max(CAST(ID AS INTEGER)) IS NOT NULL "
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
                                        "SELECT dbaseName, ?, unplaced, highestKey, keysFit FROM qm_kept.kept_checks "
                                        "WHERE stamp = ?");
            check.bind(1, after);
            check.bind(2, stampBefore_);
            if (check.exec() > 0)
                run(db, "INSERT INTO tree_unplaced (dbaseName, SrNO) SELECT dbaseName, SrNO FROM qm_kept.kept_unplaced");
        }
    });
    offered_ = false;
    return back;
}

} // namespace qm
