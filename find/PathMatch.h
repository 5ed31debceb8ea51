// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filters a record's row decides, not the search's copy: a path: word
// (the copy holds names, not paths) and dupes: (whether the file has a copy
// elsewhere, which only the fingerprints tell). Both engines ask these of
// the row they read from the store.
#include "find/Query.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace qm::find {

// Whether the query holds a filter that only a record's row can decide.
bool needsRow(const Query& query);

// Whether `word` holds for a record of `name` (as stored) at `path`: it is
// in the name as a plain query word would be, or in the name of one of the
// folders on the path, by the same rules (a wildcard word fits a whole
// folder name). Both "/" and "\" separate folders.
bool pathWordHolds(std::string_view name, std::string_view path, const NamePattern& word, bool caseSensitive);

// Whether the row answers the query's path words and its dupes: filter.
// `withCopies`: SrNOs of the records that have a copy elsewhere, sorted.
bool rowFiltersHold(const Query& query, std::int64_t srNo, std::string_view name, std::string_view path,
    bool folder, const std::vector<std::int64_t>& withCopies);

} // namespace qm::find
