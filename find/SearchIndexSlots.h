// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the search's copy keeps in its slots, shared by the files that make
// up SearchIndex.
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

} // namespace qm::find::indexed
