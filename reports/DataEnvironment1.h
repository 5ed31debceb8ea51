// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The report's data: the rows of table temp, read and written over a
// connection of the report's own.
#include <QString>

#include <vector>

namespace qm {

// One row of temp, every value as text as stored.
struct ReportRow {
    QString SrNO;
    QString file_name;
    QString path;
    QString date;
    QString size;
};

namespace DataEnvironment1 {

// The rows of temp in the order the query returns them. Throws DbError whose
// text names the problem: no store at `databasePath`, no table temp in it.
std::vector<ReportRow> rsCommand1(const QString& databasePath);

// Makes `rows` the whole content of temp, all or nothing. Throws DbError.
void replaceTemp(const QString& databasePath, const std::vector<ReportRow>& rows);

} // namespace DataEnvironment1
} // namespace qm
