// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Table media (format 8): storing what the media stage read beside a record,
// and reading it back as people read it.
#include "catalog/scan/MediaDetails.h"

#include <QString>

#include <cstdint>

struct sqlite3_stmt;

namespace qm {

// A record's details, replacing any it had.
inline constexpr const char* kInsertMedia
    = "INSERT OR REPLACE INTO media (SrNO, Kind, Taken, Make, Model, Lens, Width, Height, Latitude, Longitude, "
      "Artist, Album, Title, Track, Year, DurationMs, Codec) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
      "?, ?)";
// The columns a reader takes, in MediaDetails' order, after the SrNO.
#define QM_MEDIA_COLUMNS                                                                                       \
    "Kind, Taken, Make, Model, Lens, Width, Height, Latitude, Longitude, Artist, Album, Title, Track, Year, "  \
    "DurationMs, Codec"
inline constexpr int kMediaColumns = 16;

// Binds `details` of record `srNo` to kInsertMedia; the texts must outlive
// the statement's step.
void bindMedia(sqlite3_stmt* st, std::int64_t srNo, const MediaDetails& details);

// The details from QM_MEDIA_COLUMNS, read from column `first` on.
MediaDetails mediaFrom(sqlite3_stmt* st, int first);

// "1:02:03" or "4:05": a duration as a player shows it.
QString durationText(std::int64_t ms);

// One line for people: "FUJIFILM X100V, taken 2019-06-14 10:22:33, 6000 × 4000"
// or "Artist – Album, 3:25". Empty when nothing was read.
QString mediaSummary(const MediaDetails& details);

} // namespace qm
