// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/CatalogueKeys.h"

#include "catalog/store/Queries.h"
#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <limits>

namespace qm {

std::int64_t highestCatalogueKey(SQLite::Database& db, const std::string& catalogue)
{
    SQLite::Statement mark(db, Queries::kKeyMark);
    mark.bind(1, catalogue);
    if (mark.executeStep())
        return mark.getColumn(0).getInt64();
    // A catalogue no writer of this format has written to: its records tell.
    SQLite::Statement highest(db, Queries::kHighestStoredKey);
    highest.bind(1, catalogue);
    highest.executeStep();
    return highest.getColumn(0).getInt64();
}

KeyReservation::KeyReservation(SQLite::Database& db, std::string catalogue, std::int64_t floor)
    : db_(db)
    , catalogue_(std::move(catalogue))
    , next_(floor < 1 ? 1 : floor)
{
}

std::int64_t KeyReservation::next()
{
    if (next_ > end_)
        reserve();
    return next_++;
}

void KeyReservation::reserve()
{
    const std::int64_t mark = highestCatalogueKey(db_, catalogue_);
    if (before_ < 0)
        before_ = mark;
    if (mark >= next_)
        next_ = mark + 1;
    if (next_ > std::numeric_limits<std::int64_t>::max() - kRange)
        throw DbError("No node key is left for a new entry of this catalogue.");
    end_ = next_ + kRange - 1;
    SQLite::Statement set(db_, Queries::kSetKeyMark);
    set.bind(1, catalogue_);
    set.bind(2, static_cast<int64_t>(end_));
    set.exec();
}

void KeyReservation::release()
{
    if (end_ < 0)
        return;
    const std::int64_t last = next_ - 1 > before_ ? next_ - 1 : before_;
    SQLite::Statement back(db_, Queries::kReleaseKeys);
    back.bind(1, static_cast<int64_t>(last));
    back.bind(2, catalogue_);
    back.bind(3, static_cast<int64_t>(end_));
    back.exec();
    end_ = -1;
}

} // namespace qm
