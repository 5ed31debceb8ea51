// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store/Store.h"

#include "platform/Recordset.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>

static void initCatalogResources() { Q_INIT_RESOURCE(catalog); }

namespace qm::Store {
namespace {

QString resourceText(const QString& name)
{
    initCatalogResources();
    QFile file(QStringLiteral(":/catalog/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

int formatOf(SQLite::Database& db)
{
    return db.execAndGet("PRAGMA user_version").getInt();
}

// Runs the upgrades from the store's format up to this program's, all in the
// caller's transaction.
void upgradeFrom(SQLite::Database& db, int format, int to = kFormat)
{
    for (int next = format + 1; next <= to; ++next) {
        const QString sql = resourceText(QStringLiteral("upgrades/%1.sql").arg(next));
        if (sql.isEmpty())
            throw DbError("The program lacks the upgrade to format " + std::to_string(next) + ".");
        db.exec(sql.toStdString());
    }
    db.exec("PRAGMA user_version = " + std::to_string(to));
}

QString tooNew(const QString& full, int format)
{
    return QStringLiteral("The catalogue database %1 was written by a newer version of Quillmark (format %2; "
                          "this version knows up to %3). It was left as it is.")
        .arg(full, QString::number(format), QString::number(kFormat));
}

} // namespace

QStringList requiredTables()
{
    return {QStringLiteral("main"), QStringLiteral("Projects"), QStringLiteral("Documents"),
            QStringLiteral("Multimedia"), QStringLiteral("InstallNUpdate"), QStringLiteral("temp")};
}

QString schema()
{
    return resourceText(QStringLiteral("schema.sql"));
}

QString problemWith(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    try {
        auto db = openConnection(full);
        QStringList missing;
        for (const QString& table : requiredTables()) {
            SQLite::Statement st(*db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
            st.bind(1, table.toStdString());
            st.executeStep();
            if (st.getColumn(0).getInt() == 0)
                missing << table;
        }
        if (!missing.isEmpty())
            return QStringLiteral("The catalogue database %1 lacks the table(s) %2.")
                .arg(full, missing.join(QStringLiteral(", ")));
        if (const int format = formatOf(*db); format > kFormat)
            return tooNew(full, format);
        return {};
    } catch (const std::exception& e) {
        if (!QFileInfo::exists(full))
            return QStringLiteral("The catalogue database %1 does not exist.").arg(full);
        return QStringLiteral("The file %1 cannot be used as the catalogue database: %2")
            .arg(full, QString::fromUtf8(e.what()));
    }
}

QString prepare(const QString& path)
{
    if (const QString problem = problemWith(path); !problem.isEmpty())
        return problem;
    const QString full = QFileInfo(path).absoluteFilePath();
    try {
        auto db = openConnection(full);
        if (formatOf(*db) == kFormat)
            return {};
        // Another program may be upgrading the same file: the write lock comes
        // first, then the format is read again.
        SQLite::Transaction transaction(*db, SQLite::TransactionBehavior::IMMEDIATE);
        const int format = formatOf(*db);
        if (format > kFormat)
            return tooNew(full, format);
        if (format < kFormat)
            upgradeFrom(*db, format);
        transaction.commit();
        return {};
    } catch (const std::exception& e) {
        return QStringLiteral("The catalogue database %1 could not be brought up to this version's format; it "
                              "was left as it was: %2")
            .arg(full, QString::fromUtf8(e.what()));
    }
}

QString damage(SQLite::Database& db, CheckDepth depth, const std::function<bool()>& goOn)
{
    const QString file = QString::fromStdString(db.getFilename());
    sqlite3* handle = db.getHandle();
    if (goOn)
        sqlite3_progress_handler(
            handle, 10000,
            [](void* ask) { return (*static_cast<const std::function<bool()>*>(ask))() ? 0 : 1; },
            const_cast<std::function<bool()>*>(&goOn));
    struct NoHandler {
        sqlite3* handle;
        ~NoHandler() { sqlite3_progress_handler(handle, 0, nullptr, nullptr); }
    } noHandler {handle};

    QStringList problems;
    // One read transaction: no other connection commits while the file is
    // checked, so the mark names the very state that was checked.
    SQLite::Transaction read(db);
    const long long startedAt = QDateTime::currentSecsSinceEpoch();
    // Pages damaged inside their records stay well-formed for SQLite; the
    // file's fingerprint, taken when it was last found sound or written,
    // shows them while the file claims to be as it was left.
    QByteArray fingerprint;
    if (depth == CheckDepth::Full) {
        const MarkState mark = markOf(file);
        fingerprint = contentFingerprint(handle);
        if (!mark.fingerprint.isEmpty() && !fingerprint.isEmpty() && mark.fingerprint != fingerprint)
            problems << QStringLiteral("its content changed since it was last found sound, although its size "
                                       "and modification time did not: it was damaged behind the program's back");
    }
    try {
        SQLite::Statement check(
            db, depth == CheckDepth::Full ? "PRAGMA integrity_check(5)" : "PRAGMA quick_check(5)");
        while (check.executeStep()) {
            const QString line = QString::fromStdString(check.getColumn(0).getString());
            // The schema's name heads its own findings; the findings say enough.
            for (const QString& part : line.split(u'\n', Qt::SkipEmptyParts))
                if (part != QLatin1String("ok") && !part.startsWith(QLatin1String("*** in database")))
                    problems << part;
        }
    } catch (const SQLite::Exception& e) {
        if ((e.getErrorCode() & 0xff) == SQLITE_INTERRUPT)
            throw CheckStopped();
        if (!isDamageError(e.getErrorCode()))
            throw DbError(e.what());
        problems << QString::fromUtf8(e.what());
    }
    if (!problems.isEmpty()) {
        const QString detail = problems.join(QStringLiteral("; "));
        markDamaged(file, detail);
        return damagedMessage(file, detail);
    }
    if (depth == CheckDepth::Full)
        markFullCheck(file, startedAt, fingerprint);
    return {};
}

QString damageSinceChecked(SQLite::Database& db)
{
    const QString file = QString::fromStdString(db.getFilename());
    const MarkState mark = markOf(file);
    if (!mark.damage.isEmpty())
        return damagedMessage(file, mark.damage);
    const bool due = fullCheckDue(mark, QDateTime::currentSecsSinceEpoch());
    if (mark.asLeft && !due)
        return {};
    return damage(db, due ? CheckDepth::Full : CheckDepth::Quick);
}

bool isDamageError(int sqliteErrorCode)
{
    const int primary = sqliteErrorCode & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

QString foundDamaged(const QString& path, const QString& detail)
{
    markDamaged(path, detail);
    return damagedMessage(path, detail);
}

QString create(const QString& path, int format)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    if (QFileInfo::exists(full))
        return QStringLiteral("%1 already exists.").arg(full);
    try {
        SQLite::Database db(full.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        SQLite::Transaction transaction(db);
        db.exec(schema().toStdString());
        upgradeFrom(db, 0, std::clamp(format, 0, kFormat));
        transaction.commit();
        return {};
    } catch (const std::exception& e) {
        QFile::remove(full);
        return QStringLiteral("Cannot create %1: %2").arg(full, QString::fromUtf8(e.what()));
    }
}

} // namespace qm::Store
