// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/DataEnvironment1.h"

#include "catalog/store/Queries.h"
#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

namespace qm::DataEnvironment1 {
namespace {

std::shared_ptr<SQLite::Database> openWithTemp(const QString& databasePath)
{
    auto db = openConnection(databasePath);
    SQLite::Statement exists(*db, Queries::kTableExists);
    exists.bind(1, "temp");
    if (!exists.executeStep())
        throw DbError(QStringLiteral("The table \"temp\" that the report lists is missing from '%1'.")
                          .arg(databasePath)
                          .toStdString());
    return db;
}

QString text(const SQLite::Column& c)
{
    return QString::fromUtf8(c.getText(), c.getBytes());
}

} // namespace

std::vector<ReportRow> rsCommand1(const QString& databasePath)
{
    auto db = openWithTemp(databasePath);
    std::vector<ReportRow> rows;
    try {
        SQLite::Statement st(*db, Queries::kReportRows);
        while (st.executeStep())
            rows.push_back({text(st.getColumn(0)), text(st.getColumn(1)), text(st.getColumn(2)),
                text(st.getColumn(3)), text(st.getColumn(4))});
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
    return rows;
}

void replaceTemp(const QString& databasePath, const std::vector<ReportRow>& rows)
{
    auto db = openWithTemp(databasePath);
    try {
        SQLite::Transaction transaction(*db);
        db->exec(Queries::kClearTemp);
        SQLite::Statement insert(*db, Queries::kInsertTemp);
        for (const ReportRow& r : rows) {
            bool isNumber = false;
            const qlonglong serial = r.SrNO.trimmed().toLongLong(&isNumber);
            if (isNumber)
                insert.bind(1, static_cast<int64_t>(serial));
            else
                insert.bind(1, r.SrNO.toStdString());
            insert.bind(2, r.file_name.toStdString());
            insert.bind(3, r.path.toStdString());
            insert.bind(4, r.size.toStdString());
            insert.bind(5, r.date.toStdString());
            insert.exec();
            insert.reset();
        }
        transaction.commit();
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
}

} // namespace qm::DataEnvironment1
