#include "catalog/Catalogues.h"

#include "catalog/Queries.h"
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

} // namespace qm
