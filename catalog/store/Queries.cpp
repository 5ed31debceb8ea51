// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store/Queries.h"

namespace qm::Queries {

RecordSource mainWindow()
{
    return {QStringLiteral("main"), {}, {}, QStringLiteral("SrNO"),
            QStringLiteral("select * from main order by SrNO")};
}

RecordSource allRecordsAgain()
{
    return {QStringLiteral("main"), {}, {}, QStringLiteral("SrNO"),
            QStringLiteral("SELECT * FROM main Order by SrNO")};
}

RecordSource mainTable() { return table(QStringLiteral("main")); }

RecordSource table(const QString& name) { return {name, {}, {}, {}, name}; }

RecordSource childrenOf(const QString& folderKey, const QString& databaseName)
{
    return {QStringLiteral("main"), QStringLiteral("Parent = ? AND dbaseName = ?"),
            {folderKey, databaseName}, QStringLiteral("SrNO"),
            QStringLiteral("select *  From main  WHERE ((Parent = ?) and (dbaseName = ?))")};
}

RecordSource scanRecords(const QString& deleteKey, const QString& databaseName)
{
    return {QStringLiteral("main"), QStringLiteral("delKey = ? AND dbaseName = ?"),
            {deleteKey, databaseName}, QStringLiteral("SrNO"),
            QStringLiteral("SELECT * FROM main where delkey = ? and dbaseName = ? Order by SrNO")};
}

} // namespace qm::Queries
