// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalogues.h"

#include "catalog/tree/TreeCheck.h"
#include "catalog/store/Queries.h"
#include "platform/DataControl.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {

QStringList catalogueNames(SQLite::Database& db)
{
    QStringList names;
    SQLite::Statement st(db, Queries::kCatalogueNames);
    while (st.executeStep()) {
        const SQLite::Column c = st.getColumn(0);
        names << QString::fromUtf8(c.getText(), c.getBytes());
    }
    return names;
}

QStringList catalogueNamesOf(const DataControl& control)
{
    try {
        if (auto db = control.connection())
            return catalogueNames(*db);
    } catch (const std::exception&) {
    }
    return {};
}

std::int64_t catalogueRecordCount(SQLite::Database& db, const QString& name)
{
    SQLite::Statement st(db, Queries::kCatalogueRecordCount);
    st.bind(1, name.toStdString());
    st.executeStep();
    return st.getColumn(0).getInt64();
}

bool catalogueHoldsMost(SQLite::Database& db, const std::string& name)
{
    SQLite::Statement most(db, Queries::kCatalogueHoldsMost);
    most.bind(1, name);
    return most.executeStep() && most.getColumn(0).getInt() != 0;
}

std::int64_t deleteCatalogue(SQLite::Database& db, const QString& name)
{
    const std::string catalogue = name.toStdString();
    const std::string before = mainStamp(db);
    SQLite::Statement records(
        db, "DELETE FROM main " + Queries::catalogueReadOrder(catalogueHoldsMost(db, catalogue)) + " WHERE dbaseName = ?");
    records.bind(1, catalogue);
    const std::int64_t removed = records.exec();
    for (const char* kept : {"DELETE FROM scans WHERE dbaseName = ?", "DELETE FROM tree_unplaced WHERE dbaseName = ?",
             "DELETE FROM tree_checks WHERE dbaseName = ?"}) {
        SQLite::Statement st(db, kept);
        st.bind(1, catalogue);
        st.exec();
    }
    // The other catalogues' records did not change: their checks hold.
    SQLite::Statement others(db, "UPDATE tree_checks SET stamp = ? WHERE stamp = ?");
    others.bind(1, mainStamp(db));
    others.bind(2, before);
    others.exec();
    return removed;
}

} // namespace qm
