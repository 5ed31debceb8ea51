// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store/ReadOnlyStore.h"

#include "catalog/store/Store.h"

#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm::Store {

std::shared_ptr<SQLite::Database> openReadOnly(const QString& path, QString& problem)
{
    problem = problemWith(path);
    if (!problem.isEmpty())
        return nullptr;
    const QString full = QFileInfo(path).absoluteFilePath();
    try {
        auto db = std::make_shared<SQLite::Database>(
            QFile::encodeName(full).toStdString(), SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX);
        db->setBusyTimeout(5000);
        SQLite::Statement version(*db, "PRAGMA user_version");
        version.executeStep();
        if (const int format = version.getColumn(0).getInt(); format != kFormat) {
            problem = QStringLiteral("The catalogue database %1 is of an older format (%2) than this version's "
                                     "(%3); it is only read here, so it was left as it was. Any other use of "
                                     "Quillmark brings it up to date.")
                          .arg(full, QString::number(format), QString::number(kFormat));
            return nullptr;
        }
        return db;
    } catch (const std::exception& e) {
        problem = QStringLiteral("The file %1 cannot be read as the catalogue database: %2")
                      .arg(full, QString::fromUtf8(e.what()));
        return nullptr;
    }
}

} // namespace qm::Store
