#include "platform/StoreMark.h"

#include "platform/UserFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <sys/stat.h>

namespace qm::Store {
namespace {

// Where the state of a checked store is kept: the user's cache folder, one
// small file per store, named by the hash of its path.
QString checkMarkPath(const QString& file)
{
    const QByteArray key = QCryptographicHash::hash(
        QFileInfo(file).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex();
    // No mark without a cache folder of the user's (UserFolders.h).
    const QString cache = userCacheHome();
    return cache.isEmpty() ? cache : cache + QStringLiteral("/quillmark/checked/") + QString::fromLatin1(key);
}

// The file as the system sees it; empty when it cannot be looked at.
QByteArray fileState(const QString& file)
{
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return {};
    return QByteArray::number(static_cast<qulonglong>(st.st_dev)) + ' '
        + QByteArray::number(static_cast<qulonglong>(st.st_ino)) + ' '
        + QByteArray::number(static_cast<qlonglong>(st.st_size)) + ' '
        + QByteArray::number(static_cast<qlonglong>(st.st_mtim.tv_sec)) + '.'
        + QByteArray::number(static_cast<qlonglong>(st.st_mtim.tv_nsec));
}

} // namespace

bool isMarkedChecked(const QString& file)
{
    const QByteArray state = fileState(file);
    const QString path = checkMarkPath(file);
    QFile mark(path);
    return !state.isEmpty() && !path.isEmpty() && mark.open(QIODevice::ReadOnly) && mark.readAll() == state;
}

namespace {

// The data version as the file stands now: inside a read, so that a commit
// of another connection just before is seen.
long long currentDataVersion(SQLite::Database& db)
{
    if (!sqlite3_get_autocommit(db.getHandle()))
        return db.execAndGet("PRAGMA data_version").getInt64();
    SQLite::Transaction read(db);
    db.execAndGet("SELECT count(*) FROM sqlite_master");
    const long long version = db.execAndGet("PRAGMA data_version").getInt64();
    read.commit();
    return version;
}

} // namespace

KeptMark::KeptMark(SQLite::Database& db)
    : db_(db)
{
    try {
        version_ = currentDataVersion(db);
        marked_ = isMarkedChecked(QString::fromStdString(db.getFilename()));
    } catch (const std::exception&) {
        broken_ = true; // no baseline: nothing is marked afterwards
    }
}

void KeptMark::committed()
{
    if (!marked_ || broken_)
        return;
    marked_ = false;
    try {
        // A read holds other writers off while the file is looked at; the
        // data version tells whether one committed since the baseline (this
        // connection's own commits leave it as it was).
        SQLite::Transaction read(db_);
        db_.execAndGet("SELECT count(*) FROM sqlite_master");
        if (!anotherWriterCame())
            markChecked(QString::fromStdString(db_.getFilename()));
        read.commit();
    } catch (const std::exception&) {
        // Without the mark the next scan checks the whole file: only slower.
    }
}

bool KeptMark::anotherWriterCame() const
{
    try {
        return broken_ || currentDataVersion(db_) != version_;
    } catch (const std::exception&) {
        return true;
    }
}

void writeKeepingMark(SQLite::Database& db, const std::function<void()>& write)
{
    SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
    KeptMark mark(db);
    write();
    transaction.commit();
    mark.committed();
}

void markChecked(const QString& file)
{
    const QByteArray state = fileState(file);
    const QString path = checkMarkPath(file);
    if (state.isEmpty() || path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return; // without a mark the next scan checks the whole file again
    QSaveFile mark(path);
    if (mark.open(QIODevice::WriteOnly) && mark.write(state) == state.size())
        mark.commit();
}

} // namespace qm::Store
