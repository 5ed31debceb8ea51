// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalogues.h"

#include "catalog/tree/TreeCheck.h"
#include "catalog/store/Queries.h"

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

std::int64_t catalogueDiskCount(SQLite::Database& db, const QString& name)
{
    SQLite::Statement st(db, "SELECT count(DISTINCT coalesce(nullif(uuid, ''), 'scan ' || topKey)) FROM scans "
                             "WHERE dbaseName = ?");
    st.bind(1, name.toStdString());
    st.executeStep();
    return st.getColumn(0).getInt64();
}

std::int64_t renameCatalogue(SQLite::Database& db, const QString& from, const QString& to)
{
    if (from == to)
        return catalogueRecordCount(db, from);
    // Two catalogues under one name would be one, their keys clashing.
    if (const std::int64_t taken = catalogueRecordCount(db, to); taken > 0)
        throw CatalogueNameTaken((QStringLiteral("The catalogue \"") + to + QStringLiteral("\" exists already (")
            + QString::number(taken) + QStringLiteral(" records). Nothing was changed."))
                                     .toStdString());
    const std::string before = mainStamp(db);
    auto run = [&](const char* sql) {
        SQLite::Statement st(db, sql);
        st.bind(1, to.toStdString());
        if (st.getBindParameterCount() >= 2)
            st.bind(2, from.toStdString());
        return st.exec();
    };
    // Keys stay handed out under the new name: the mark goes with it (the
    // old one stays too, should the old name be used again).
    run("INSERT INTO catalogue_keys (dbaseName, lastKey) SELECT ?1, lastKey FROM catalogue_keys WHERE dbaseName = ?2 "
        "ON CONFLICT (dbaseName) DO UPDATE SET lastKey = max(lastKey, excluded.lastKey)");
    const std::int64_t renamed = run("UPDATE main SET dbaseName = ?1 WHERE dbaseName = ?2");
    run("DELETE FROM scans WHERE dbaseName = ?1");
    run("UPDATE scans SET dbaseName = ?1 WHERE dbaseName = ?2");
    run("DELETE FROM tree_unplaced WHERE dbaseName = ?1");
    run("UPDATE tree_unplaced SET dbaseName = ?1 WHERE dbaseName = ?2");
    run("DELETE FROM tree_checks WHERE dbaseName = ?1");
    run("UPDATE tree_checks SET dbaseName = ?1 WHERE dbaseName = ?2");
    // Every catalogue's records are as they were but for the name: the kept
    // checks hold, the renamed one's too.
    SQLite::Statement checks(db, "UPDATE tree_checks SET stamp = ? WHERE stamp = ?");
    checks.bind(1, mainStamp(db));
    checks.bind(2, before);
    checks.exec();
    return renamed;
}

} // namespace qm
