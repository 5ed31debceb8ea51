#include "catalog/Store.h"

#include "platform/Recordset.h"

#include <QFile>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

static void initCatalogResources() { Q_INIT_RESOURCE(catalog); }

namespace qm::Store {

QStringList requiredTables()
{
    return {QStringLiteral("main"), QStringLiteral("Projects"), QStringLiteral("Documents"),
            QStringLiteral("Multimedia"), QStringLiteral("InstallNUpdate"), QStringLiteral("temp")};
}

QString schema()
{
    initCatalogResources();
    QFile file(QStringLiteral(":/catalog/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
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
        return {};
    } catch (const std::exception& e) {
        if (!QFileInfo::exists(full))
            return QStringLiteral("The catalogue database %1 does not exist.").arg(full);
        return QStringLiteral("The file %1 cannot be used as the catalogue database: %2")
            .arg(full, QString::fromUtf8(e.what()));
    }
}

QString create(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    if (QFileInfo::exists(full))
        return QStringLiteral("%1 already exists.").arg(full);
    try {
        SQLite::Database db(full.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(schema().toStdString());
        return {};
    } catch (const std::exception& e) {
        QFile::remove(full);
        return QStringLiteral("Cannot create %1: %2").arg(full, QString::fromUtf8(e.what()));
    }
}

} // namespace qm::Store
