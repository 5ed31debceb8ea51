// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The thumbnails kept beside the records of main (table thumbnails, format
// 9), and how the windows show one.
#include "catalog/scan/Thumbnails.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace SQLite {
class Database;
}

namespace qm {

inline constexpr const char* kInsertThumbnail
    = "INSERT OR REPLACE INTO thumbnails (SrNO, Width, Height, Image) VALUES (?, ?, ?, ?)";

// The thumbnail kept for the record `srNo`; none when there is none. Throws
// DbError when the store cannot tell.
std::optional<ItemThumbnail> storedThumbnail(SQLite::Database& db, std::int64_t srNo);

// The thumbnail as an <img> whose source is a data URI, for rich text such
// as a tooltip.
QString thumbnailHtml(const ItemThumbnail& thumbnail);

} // namespace qm
