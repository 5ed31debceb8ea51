// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/PathMatch.h"

#include "find/Folding.h"
#include "find/NameMatch.h"

#include <algorithm>
#include <string>

namespace qm::find {
namespace {

// One name (of the record or of a folder) against a word, as the search's
// copy compares a record's name.
bool nameHolds(std::string_view stored, const NamePattern& word, bool exact)
{
    const bool ascii = isAscii(stored);
    if (exact) {
        const std::string canon = ascii ? std::string() : canonical(stored);
        const std::string_view name = ascii ? stored : std::string_view(canon);
        return word.wildcard ? fits(name, word, true) : contains(name, word.tokens.front().exact);
    }
    const std::string folded = ascii ? asciiFolded(stored) : fold(stored);
    if (!word.wildcard)
        return contains(folded, word.tokens.front().folded);
    if (fits(folded, word, false))
        return true;
    // A "?" over a character that folding made several.
    return !ascii && hasAnyChar(word) && fitsFoldedByCharacter(canonical(stored), word);
}

// Whether ASCII `text` holds `part` (folded, so lower case) in any case,
// without making a folded copy.
bool asciiHolds(std::string_view text, std::string_view part)
{
    if (part.size() > text.size())
        return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t at = 0; at + part.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < part.size() && lower(text[at + i]) == part[i])
            ++i;
        if (i == part.size())
            return true;
    }
    return false;
}

} // namespace

bool needsRow(const Query& query)
{
    return !query.pathWords.empty() || query.copies.has_value();
}

bool pathWordHolds(std::string_view name, std::string_view path, const NamePattern& word, bool caseSensitive)
{
    // Most paths are ASCII, and a plain word must then be in the path's text
    // somewhere: most records are ruled out without looking at each folder.
    if (!word.wildcard && !caseSensitive && isAscii(path) && isAscii(name)
        && !asciiHolds(path, word.tokens.front().folded) && !asciiHolds(name, word.tokens.front().folded))
        return false;
    if (nameHolds(name, word, caseSensitive))
        return true;
    // The folders: every part of the path before its last separator (a
    // folder's path ends with one, so its own name is among them).
    const size_t end = path.find_last_of("/\\");
    if (end == std::string_view::npos)
        return false;
    std::string_view folders = path.substr(0, end);
    while (!folders.empty()) {
        const size_t cut = folders.find_first_of("/\\");
        const std::string_view part = folders.substr(0, cut);
        if (!part.empty() && nameHolds(part, word, caseSensitive))
            return true;
        if (cut == std::string_view::npos)
            break;
        folders.remove_prefix(cut + 1);
    }
    return false;
}

bool rowFiltersHold(const Query& query, std::int64_t srNo, std::string_view name, std::string_view path,
    bool folder, const std::vector<std::int64_t>& withCopies)
{
    if (query.copies) {
        // Both ask about files: a folder has no content of its own.
        if (folder || std::binary_search(withCopies.begin(), withCopies.end(), srNo) != *query.copies)
            return false;
    }
    return std::all_of(query.pathWords.begin(), query.pathWords.end(),
        [&](const NamePattern& word) { return pathWordHolds(name, path, word, query.caseSensitive); });
}

} // namespace qm::find
