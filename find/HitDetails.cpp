// SPDX-License-Identifier: GPL-3.0-or-later
// What a result row shows beyond the index's own fields: the modification
// time kept in main and the details kept in table media.
#include "catalog/MediaStore.h"
#include "find/SearchIndex.h"
#include "platform/Recordset.h"

#include <QDateTime>

#include <memory>

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

namespace qm::find {

void addRecordDetails(SQLite::Database& db, std::vector<Hit>& hits)
{
    if (hits.empty())
        return;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.getHandle(),
            "SELECT r.modified, md.SrNO IS NOT NULL, " QM_MEDIA_COLUMNS
            " FROM main r LEFT JOIN media md ON md.SrNO = r.SrNO WHERE r.SrNO = ?",
            -1, &raw, nullptr)
        != SQLITE_OK)
        throw DbError(sqlite3_errmsg(db.getHandle()));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(raw, sqlite3_finalize);
    for (Hit& hit : hits) {
        sqlite3_bind_int64(raw, 1, hit.srNo);
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_ROW) {
            if (sqlite3_column_type(raw, 0) != SQLITE_NULL)
                hit.modified = QDateTime::fromSecsSinceEpoch(sqlite3_column_int64(raw, 0))
                                   .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            if (sqlite3_column_int(raw, 1) != 0)
                hit.media = mediaSummary(mediaFrom(raw, 2));
        }
        sqlite3_reset(raw);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db.getHandle()));
    }
}

} // namespace qm::find
