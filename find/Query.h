// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A search query: what the user typed, read into name patterns and filters.
//
//   report 2024          names holding both words (any case)
//   *.pdf  IMG_????.jpg  wildcards: the whole name must fit the pattern
//   "50% off"            quotes take everything literally, blanks too
//   size>10M size<=1.5k  bytes, units K M G T of 1024
//   after:2024-01-01 before:2024-02-01   created in that span (local time)
//   type:folder type:file  ext:pdf,doc  catalogue:NAME
//   inarchive:yes inarchive:no   members of archives, or entries on disk
//   path:2019            the word in the name or in a folder of the path
//   dupes:yes dupes:no   files with a copy elsewhere (same size and content), or files without
//   taken:, camera:, duration>…, modified>=… and the rest of DetailFilters.h
#include "find/DetailFilters.h"
#include "find/Folding.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::find {

// One piece of a name pattern.
struct Token {
    enum class Kind { Text, AnyRun, AnyChar }; // literal text, "*", "?"
    Kind kind = Kind::Text;
    std::string exact; // UTF-8 in NFC, for a search with case
    std::string folded; // the same folded, for one without (see Folding.h)
};

// A word of the query. A plain word is found anywhere in a name (or in a
// register note); one with wildcards must fit the whole name.
struct NamePattern {
    bool wildcard = false;
    std::vector<Token> tokens; // a plain word: one Text token
};

struct Query {
    std::vector<NamePattern> words; // all must match
    std::optional<std::int64_t> minBytes, maxBytes; // inclusive
    std::optional<std::int64_t> createdFrom, createdBefore; // seconds since the epoch, [from, before)
    enum class Kind { Any, Folders, Files } kind = Kind::Any;
    std::vector<std::string> extensions; // folded, without the dot; any of them
    std::optional<QString> catalogue; // exact name; none for every catalogue
    std::optional<bool> inArchive; // yes: members of archives only; no: entries on disk only
    // Each in the name or in the name of a folder on the record's path; the
    // copy holds no paths, so a record's row decides (see PathMatch.h).
    std::vector<NamePattern> pathWords;
    std::optional<bool> copies; // yes: files with a copy elsewhere by content; no: files without one
    bool caseSensitive = false;
    DetailQuery details; // what the index does not hold: media details, modification time

    // Nothing to look for: no word and no filter.
    bool empty() const;
};

struct ParsedQuery {
    Query query;
    QString error; // empty when the text is a query
};

ParsedQuery parseQuery(const QString& text, bool caseSensitive = false);

// The syntax in one line, for the window's hint and the command's usage.
QString syntaxHint();

} // namespace qm::find
