// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Node keys handed out for a catalogue. Each catalogue keeps the highest key
// it ever had in table catalogue_keys; a writer reserves a range above it
// inside its write transaction, so two writers of one catalogue never give
// the same key and a key whose records were deleted is never given again.
#include <cstdint>
#include <string>

namespace SQLite {
class Database;
}

namespace qm {

class KeyReservation {
public:
    // Keys of `catalogue` (UTF-8), none below `floor`.
    KeyReservation(SQLite::Database& db, std::string catalogue, std::int64_t floor);

    // The next key number. The first call of each range reserves it, which
    // must run inside a write transaction of the database given.
    std::int64_t next();
    // Gives the unused rest of the range back when no writer reserved after
    // it, so that a run leaves the catalogue's mark at its last key. Runs
    // inside a write transaction.
    void release();

    // Keys are reserved this many at a time.
    static constexpr std::int64_t kRange = 4096;

private:
    void reserve();

    SQLite::Database& db_;
    std::string catalogue_;
    std::int64_t next_;
    std::int64_t end_ = -1; // last key of the range; next_ > end_ means none left
    std::int64_t before_ = -1; // the mark before this writer's first range
};

// The highest key `catalogue` ever had: the stored mark, or for a catalogue
// without one, the highest key among its records.
std::int64_t highestCatalogueKey(SQLite::Database& db, const std::string& catalogue);

} // namespace qm
