#include "catalog/Store.h"

#include "platform/Recordset.h"

#include <QFile>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

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
void upgradeFrom(SQLite::Database& db, int format)
{
    for (int next = format + 1; next <= kFormat; ++next) {
        const QString sql = resourceText(QStringLiteral("upgrades/%1.sql").arg(next));
        if (sql.isEmpty())
            throw DbError("The program lacks the upgrade to format " + std::to_string(next) + ".");
        db.exec(sql.toStdString());
    }
    db.exec("PRAGMA user_version = " + std::to_string(kFormat));
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

QString damage(SQLite::Database& db)
{
    const QString file = QString::fromStdString(db.getFilename());
    QStringList problems;
    try {
        SQLite::Statement check(db, "PRAGMA quick_check(5)");
        while (check.executeStep()) {
            const QString line = QString::fromStdString(check.getColumn(0).getString());
            if (line != QLatin1String("ok"))
                problems << line;
        }
    } catch (const SQLite::Exception& e) {
        if (!isDamageError(e.getErrorCode()))
            throw DbError(e.what());
        problems << QString::fromUtf8(e.what());
    }
    return problems.isEmpty() ? QString() : damagedMessage(file, problems.join(QStringLiteral("; ")));
}


QString damageSinceChecked(SQLite::Database& db)
{
    const QString file = QString::fromStdString(db.getFilename());
    return isMarkedChecked(file) ? QString() : damage(db);
}

bool isDamageError(int sqliteErrorCode)
{
    const int primary = sqliteErrorCode & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

QString damagedMessage(const QString& path, const QString& detail)
{
    return QStringLiteral("The catalogue database %1 is damaged (%2). Quillmark does not write to a "
                          "damaged catalogue; restore it from a backup.")
        .arg(path, detail);
}

QString create(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    if (QFileInfo::exists(full))
        return QStringLiteral("%1 already exists.").arg(full);
    try {
        SQLite::Database db(full.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        SQLite::Transaction transaction(db);
        db.exec(schema().toStdString());
        upgradeFrom(db, 0);
        transaction.commit();
        return {};
    } catch (const std::exception& e) {
        QFile::remove(full);
        return QStringLiteral("Cannot create %1: %2").arg(full, QString::fromUtf8(e.what()));
    }
}

} // namespace qm::Store
