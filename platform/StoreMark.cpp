// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StoreMark.h"

#include "platform/UserFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

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

// The file's device and inode: which file the path names.
QByteArray fileIdentity(const QByteArray& state)
{
    const qsizetype second = state.indexOf(' ', state.indexOf(' ') + 1);
    return second < 0 ? QByteArray() : state.left(second);
}

// The mark's lines: the file's state, "full SECONDS", "content FINGERPRINT" (of
// the file in that state) and "damaged IDENTITY DETAIL" (the identity with '/'
// for the space). A mark of an earlier version holds the state alone.
struct MarkFile {
    QByteArray state;
    long long lastFullCheck = 0;
    QByteArray fingerprint;
    QByteArray damagedIdentity;
    QString damage;
};

MarkFile readMarkFile(const QString& file)
{
    MarkFile out;
    QFile mark(checkMarkPath(file));
    if (!mark.open(QIODevice::ReadOnly))
        return out;
    const QList<QByteArray> lines = mark.read(64 * 1024).split('\n');
    out.state = lines.value(0);
    for (const QByteArray& line : lines.mid(1)) {
        if (line.startsWith("full "))
            out.lastFullCheck = line.mid(5).toLongLong();
        else if (line.startsWith("content "))
            out.fingerprint = line.mid(8);
        else if (line.startsWith("damaged ")) {
            const qsizetype end = line.indexOf(' ', 8);
            out.damagedIdentity = line.mid(8, end < 0 ? -1 : end - 8).replace('/', ' ');
            out.damage = end < 0 ? QString() : QString::fromUtf8(line.mid(end + 1));
            if (out.damage.isEmpty())
                out.damage = QStringLiteral("found damaged");
        }
    }
    return out;
}

void writeMarkFile(const QString& file, const MarkFile& content)
{
    const QString path = checkMarkPath(file);
    if (content.state.isEmpty() || path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return; // without a mark the next scan checks the whole file again
    QByteArray text = content.state;
    if (content.lastFullCheck > 0)
        text += "\nfull " + QByteArray::number(content.lastFullCheck);
    if (!content.fingerprint.isEmpty())
        text += "\ncontent " + content.fingerprint;
    if (!content.damagedIdentity.isEmpty()) {
        QString detail = content.damage;
        detail.replace(u'\n', u' ').replace(u'\r', u' ');
        text += "\ndamaged " + QByteArray(content.damagedIdentity).replace(' ', '/') + ' '
            + detail.left(2000).toUtf8();
    }
    QSaveFile mark(path);
    if (mark.open(QIODevice::WriteOnly) && mark.write(text) == text.size())
        mark.commit();
}

std::atomic<int> writesWanted {0};

} // namespace

MarkState markOf(const QString& file)
{
    const QByteArray state = fileState(file);
    const MarkFile mark = readMarkFile(file);
    MarkState out;
    out.asLeft = !state.isEmpty() && mark.state == state;
    const bool sameFile = !state.isEmpty() && fileIdentity(mark.state) == fileIdentity(state);
    if (sameFile)
        out.lastFullCheck = mark.lastFullCheck;
    if (sameFile && mark.damagedIdentity == fileIdentity(state))
        out.damage = mark.damage;
    // A file system that keeps whole seconds only (FAT, some network shares)
    // lets another program's write leave size and time as they were: the
    // fingerprint then proves nothing.
    if (out.asLeft && !state.endsWith(".0"))
        out.fingerprint = mark.fingerprint;
    return out;
}

bool fullCheckDue(const MarkState& mark, long long now)
{
    return mark.lastFullCheck <= 0 || now - mark.lastFullCheck >= kFullCheckInterval
        || mark.lastFullCheck > now + kFullCheckInterval; // a clock set back a long way
}

QString markFileOf(const QString& file)
{
    return checkMarkPath(file);
}

bool isMarkedChecked(const QString& file)
{
    const MarkState mark = markOf(file);
    return mark.asLeft && mark.damage.isEmpty();
}

QString damagedMessage(const QString& path, const QString& detail)
{
    return QStringLiteral("The catalogue database %1 is damaged (%2). Quillmark does not write to a damaged "
                          "catalogue. \"quillmark check --recover NEW.mdb\" copies every record that can still "
                          "be read into a new catalogue database NEW.mdb; or restore the file from a backup.")
        .arg(path, detail);
}

QString rememberedDamage(const QString& file)
{
    const QString damage = markOf(file).damage;
    return damage.isEmpty() ? QString() : damagedMessage(QFileInfo(file).absoluteFilePath(), damage);
}

namespace {

std::mutex givingWayLock;
std::vector<sqlite3*> givingWay; // under givingWayLock, each open while listed

} // namespace

WriteWanted::WriteWanted()
{
    ++writesWanted;
    std::lock_guard lock(givingWayLock);
    for (sqlite3* handle : givingWay)
        sqlite3_interrupt(handle);
}

WriteWanted::~WriteWanted() { --writesWanted; }

bool WriteWanted::now() { return writesWanted.load() > 0; }

GivesWay::GivesWay(sqlite3* handle)
    : handle_(handle)
{
    std::lock_guard lock(givingWayLock);
    givingWay.push_back(handle);
    if (writesWanted.load() > 0)
        sqlite3_interrupt(handle);
}

GivesWay::~GivesWay()
{
    std::lock_guard lock(givingWayLock);
    givingWay.erase(std::find(givingWay.begin(), givingWay.end(), handle_));
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
        if (!anotherWriterCame()) {
            const QString file = QString::fromStdString(db_.getFilename());
            struct stat st;
            const bool small = ::stat(QFile::encodeName(file).constData(), &st) == 0
                && st.st_size <= kFingerprintOnWriteLimit;
            markChecked(file, small ? contentFingerprint(db_.getHandle()) : QByteArray());
        }
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
    if (const QString damage = rememberedDamage(QString::fromStdString(db.getFilename())); !damage.isEmpty())
        throw SQLite::Exception(damage.toStdString(), SQLITE_CORRUPT);
    SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
    KeptMark mark(db);
    write();
    transaction.commit();
    mark.committed();
}

QByteArray contentFingerprint(sqlite3* handle)
{
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr
        || file->pMethods == nullptr)
        return {};
    sqlite3_int64 size = 0;
    if (file->pMethods->xFileSize(file, &size) != SQLITE_OK)
        return {};
    XXH3_state_t* state = XXH3_createState();
    bool whole = state != nullptr && XXH3_128bits_reset(state) == XXH_OK;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (sqlite3_int64 at = 0; whole && at < size;) {
        const int want = static_cast<int>(std::min<sqlite3_int64>(buffer.size(), size - at));
        whole = file->pMethods->xRead(file, buffer.data(), want, at) == SQLITE_OK;
        if (whole)
            XXH3_128bits_update(state, buffer.constData(), static_cast<size_t>(want));
        at += want;
    }
    QByteArray out;
    if (whole) {
        XXH128_canonical_t canonical;
        XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state));
        out = QByteArray(reinterpret_cast<const char*>(canonical.digest), sizeof canonical.digest).toHex();
    }
    XXH3_freeState(state);
    return out;
}

void markChecked(const QString& file, const QByteArray& fingerprint)
{
    MarkFile mark;
    mark.state = fileState(file);
    const MarkFile before = readMarkFile(file);
    if (fileIdentity(before.state) == fileIdentity(mark.state))
        mark.lastFullCheck = before.lastFullCheck;
    mark.fingerprint = fingerprint;
    writeMarkFile(file, mark);
}

void markFullCheck(const QString& file, long long when, const QByteArray& fingerprint)
{
    MarkFile mark;
    mark.state = fileState(file);
    mark.lastFullCheck = when;
    mark.fingerprint = fingerprint;
    writeMarkFile(file, mark);
}

void markDamaged(const QString& file, const QString& detail)
{
    MarkFile mark;
    mark.state = fileState(file);
    mark.damagedIdentity = fileIdentity(mark.state);
    mark.damage = detail;
    const MarkFile before = readMarkFile(file);
    if (fileIdentity(before.state) == mark.damagedIdentity)
        mark.lastFullCheck = before.lastFullCheck;
    // Content that changed behind the program's back stays found changed
    // while the file is left as it is, though its pages read well.
    if (before.state == mark.state)
        mark.fingerprint = before.fingerprint;
    writeMarkFile(file, mark);
}

} // namespace qm::Store
