// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/OneState.h"

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

namespace qm {

OneState::OneState(SQLite::Database& db) : db_(db)
{
    if (!sqlite3_get_autocommit(db.getHandle()))
        return;
    // Deferred: the first read takes the store's shared lock and the state
    // it sees then is the one every later read sees.
    db.exec("BEGIN DEFERRED");
    began_ = true;
}

OneState::~OneState()
{
    // Nothing was written: ending the read cannot fail in a way that matters.
    if (began_ && !sqlite3_get_autocommit(db_.getHandle()))
        sqlite3_exec(db_.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace qm
