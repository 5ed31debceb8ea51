// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A catalogue's tree check: what a whole tree of it could not place and its
// highest key, kept in the store per catalogue and carried over the writes
// that leave it plain.
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm {

// What a whole tree of a catalogue would be besides its nodes: the records it
// cannot place (parent missing or stored after them, key taken, a field
// without a value) and the highest key value among its nodes, the root's
// included.
struct TreeCheck {
    std::int64_t unplaced = 0;
    std::vector<std::int64_t> unplacedRecords; // their SrNOs, ascending
    std::int64_t highestKey = 0;
    bool keysFit = true;
};

// The check of a catalogue: the one kept in the store while main has not
// changed since, otherwise worked out in one pass over its records (and kept
// when the store takes it). Throws DbError.
TreeCheck checkCatalogueTree(SQLite::Database& db, const QString& name);

// The check kept for one catalogue, carried over a write in the caller's
// transaction that deletes records of it and appends new ones (a scan deleted
// or updated) and changes no other catalogue's records, so that the tree
// built next needs no pass over the catalogue. Made once the write lock is
// held, before the write; finish() after it. The check is carried only where
// it is plain that a whole tree gives the same; otherwise it is left for the
// next reader to work out. Throws SQLite::Exception.
class CheckCarry {
public:
    CheckCarry(SQLite::Database& db, const QString& catalogue);
    // Whether there is a check to carry: what the write tells counts only then.
    bool wanted() const { return kept_.has_value() && !dropped_; }
    // A record of the catalogue the write deletes.
    void gone(std::string_view key, std::int64_t srNo);
    // Records the write appends hang below the older record `srNo`, which
    // holds `key`.
    void below(std::string_view key, std::int64_t srNo);
    // A record took another parent: nothing is carried.
    void drop() { dropped_ = true; }
    // After the write: the check carried or left as it is, and the other
    // catalogues' checks stamped for the store as it is now.
    void finish();

private:
    std::optional<TreeCheck> carried(const std::string& after);

    SQLite::Database& db_;
    std::string catalogue_;
    std::string before_;
    std::optional<TreeCheck> kept_;
    std::vector<std::pair<std::string, std::int64_t>> gone_; // key, SrNO
    std::unordered_map<std::int64_t, std::string> below_; // SrNO, key
    bool dropped_ = false;
};

// The state of main that kept checks are made for.
std::string mainStamp(SQLite::Database& db);

// Carries the kept check of `catalogue` over what a scan stored: a new
// top-level folder below the root and, after it, a depth-first walk below it
// (or the start of one), under keys counting up. Call it in the scan's last
// write transaction, and only when no other connection wrote to the store
// since `before`, the state of main when the scan began. A check that was the
// one for `before` then holds with the scan's highest key; the other
// catalogues' checks are stamped for the store as it is now. Throws
// SQLite::Exception.
void carryCheckOverScan(SQLite::Database& db, const QString& catalogue, const std::string& before);

// Deletes the records of `catalogue` whose delete key is `deleteKey` (one
// scan), within the caller's transaction, and returns how many went; the
// kept checks are carried over it (see CheckCarry). Throws SQLite::Exception.
std::int64_t deleteScanRecords(SQLite::Database& db, const QString& catalogue, const QString& deleteKey);

} // namespace qm
