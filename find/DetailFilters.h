// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filters on what the search index does not hold: a file's modification
// time and what its headers said (table media).
//
//   taken:2019  taken:2019-06  taken>=2019-06-01   the camera's date taken
//   camera:x100  lens:35mm  artist:  album:  title:  codec:hevc
//                                   parts of those texts, any case
//   width>=4000  height<1000  year:1999  duration>10m  duration<=3:30
//   modified>=2020-01-01            the file's modification time (local time)
//
// A query with any of them reads the records that pass them from the store
// once, before its sweep (recordsFor); the sweep then keeps those only.
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm::find {

struct DetailQuery {
    enum class Field { Camera, Lens, Artist, Album, Title, Codec };
    struct Text {
        Field field;
        std::string folded; // see Folding.h
    };
    // A number's bounds, inclusive.
    struct Bounds {
        std::optional<std::int64_t> least, most;
        bool any() const { return least || most; }
    };
    std::vector<Text> texts; // all must be found
    Bounds width, height, year, durationMs;
    std::optional<std::string> takenFrom, takenBefore; // "YYYY-MM-DD HH:MM:SS" text, [from, before)
    std::optional<std::int64_t> modifiedFrom, modifiedBefore; // seconds since the epoch, [from, before)

    // What the store says passes, sorted by SrNO; none until read.
    std::shared_ptr<const std::vector<std::int64_t>> records;

    bool empty() const;
    bool needsMedia() const;
    // Whether a record passes; every record does when nothing was asked.
    bool admits(std::int64_t srNo) const;
};

// Whether a filter of this name is one of these, and whether it takes a
// comparison (>, >=, <, <=, =) as well as ":".
bool isDetailFilter(const QString& name);
bool detailTakesComparison(const QString& name);

// Reads one filter into `q`; the error for the user, or empty.
QString applyDetailFilter(const QString& name, const QString& op, const QString& value, DetailQuery& q);

// The records of the store that pass `q`'s filters, sorted. Throws DbError.
std::vector<std::int64_t> recordsFor(SQLite::Database& db, const DetailQuery& q);

// The syntax of these filters, for the hint under the Find box.
QString detailSyntaxHint();

} // namespace qm::find
