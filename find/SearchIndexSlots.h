// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the search's copy keeps in its slots, shared by the files that make
// up SearchIndex.
#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <limits>
#include <string_view>

namespace qm::find {
struct Query;
// The longest text every match holds: what a sweep of the names looks for.
std::string_view sweepText(const Query& query);
} // namespace qm::find

namespace qm::find::indexed {

constexpr std::int64_t kUnknown = std::numeric_limits<std::int64_t>::min(); // no size or date stored
constexpr std::uint32_t kSameAsFolded = std::numeric_limits<std::uint32_t>::max(); // of exactStart_
constexpr std::uint8_t kFolder = 1;
constexpr std::uint8_t kDead = 2;
// The stored name is not in its canonical form: exact_ keeps it too.
constexpr std::uint8_t kUncomposed = 4;
// A member of an archive, read from the archive's headers.
constexpr std::uint8_t kInArchive = 8;

// A column's text as the row holds it, valid until the statement moves on.
inline std::string_view textOf(sqlite3_stmt* st, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(st, column)))
                : std::string_view();
}

inline QString qtext(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace qm::find::indexed
