// SPDX-License-Identifier: GPL-3.0-or-later
// The search itself: a query against the copy's names and numbers.
#include "catalog/Duplicates.h"
#include "catalog/tree/CatalogueTree.h"
#include "find/NameMatch.h"
#include "find/PathMatch.h"
#include "find/SearchIndex.h"
#include "find/SearchIndexSlots.h"
#include "find/TextSweep.h"
#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <memory>

namespace qm::find {
namespace {

using namespace indexed;

} // namespace

// The longest text every match holds: what the sweep looks for.
std::string_view sweepText(const Query& query)
{
    std::string_view best;
    for (const NamePattern& word : query.words)
        for (const Token& token : word.tokens)
            if (token.kind == Token::Kind::Text && token.folded.size() > best.size())
                best = token.folded;
    return best;
}

std::string_view SearchIndex::foldedName(std::uint32_t entry) const
{
    return std::string_view(folded_).substr(start_[entry], start_[entry + 1] - start_[entry] - 1);
}

std::string_view SearchIndex::canonicalName(std::uint32_t entry) const
{
    if (exactStart_[entry] == kSameAsFolded)
        return foldedName(entry);
    return std::string_view(exact_.data() + exactStart_[entry]);
}

std::string_view SearchIndex::storedName(std::uint32_t entry) const
{
    const std::string_view canon = canonicalName(entry);
    if (!(flags_[entry] & kUncomposed))
        return canon;
    // Kept right behind the canonical form.
    return std::string_view(canon.data() + canon.size() + 1);
}

bool SearchIndex::matches(
    std::uint32_t entry, const Query& query, const std::vector<char>& scans, bool withNotes) const
{
    const std::uint8_t flags = flags_[entry];
    if (flags & kDead)
        return false;
    if (!query.details.admits(srNo_[entry]))
        return false;
    const NoteText* note = nullptr;
    if (withNotes) {
        const auto it = notes_.find(srNo_[entry]);
        note = it == notes_.end() ? nullptr : &it->second;
    }
    return matchesRecord({foldedName(entry), canonicalName(entry), bytes_[entry], created_[entry],
                             (flags & kFolder) != 0, scans.empty() || scans[scan_[entry]], note,
                             (flags & kInArchive) != 0},
        query);
}

bool SearchIndex::matchesRecord(const Tested& record, const Query& query)
{
    if ((query.kind == Query::Kind::Folders && !record.folder) || (query.kind == Query::Kind::Files && record.folder))
        return false;
    if (query.inArchive && *query.inArchive != record.inArchive)
        return false;
    if (!record.inCatalogue)
        return false;
    const std::int64_t bytes = record.bytes;
    if ((query.minBytes || query.maxBytes)
        && (bytes == kUnknown || bytes < query.minBytes.value_or(bytes)
            || bytes > query.maxBytes.value_or(bytes)))
        return false;
    const std::int64_t created = record.created;
    if ((query.createdFrom || query.createdBefore)
        && (created == kUnknown || created < query.createdFrom.value_or(created)
            || (query.createdBefore && created >= *query.createdBefore)))
        return false;
    const std::string_view folded = record.folded;
    if (!query.extensions.empty()
        && std::none_of(query.extensions.begin(), query.extensions.end(), [folded](const std::string& ext) {
               return folded.size() > ext.size() && folded.ends_with(ext)
                   && folded[folded.size() - ext.size() - 1] == '.';
           }))
        return false;

    const bool exact = query.caseSensitive;
    const std::string_view name = exact ? record.canonical : folded;
    const NoteText* note = record.note;
    for (const NamePattern& word : query.words) {
        if (word.wildcard) {
            // A "?" over a character that folding made several is tried
            // again character by character: rare, and only for such names.
            if (!fits(name, word, exact)
                && (exact || !hasAnyChar(word) || isAscii(record.canonical)
                    || !fitsFoldedByCharacter(record.canonical, word)))
                return false;
            continue;
        }
        const std::string& text = exact ? word.tokens.front().exact : word.tokens.front().folded;
        if (!contains(name, text) && !(note && contains(exact ? note->exact : note->folded, text)))
            return false;
    }
    return true;
}

void SearchIndex::search(const Query& query, const std::function<bool(std::uint32_t)>& hit) const
{
    if (query.copies)
        withCopies();
    // What the index does not hold is read from the store once, here.
    std::optional<Query> resolved;
    if (!query.details.empty() && !query.details.records) {
        resolved = query;
        resolved->details.records = std::make_shared<const std::vector<std::int64_t>>(recordsFor(*db_, query.details));
    }
    const Query& asked = resolved ? *resolved : query;
    if (!asked.pathWords.empty() && sweepText(asked).empty()) {
        searchRows(asked, hit);
        return;
    }
    if (base_)
        searchBased(asked, hit);
    else
        searchMemory(asked, hit);
}

void SearchIndex::searchMemory(const Query& query, const std::function<bool(std::uint32_t)>& hit) const
{
    std::vector<char> scans;
    if (query.catalogue) {
        scans.resize(scans_.size());
        for (size_t i = 0; i < scans_.size(); ++i)
            scans[i] = scans_[i].catalogue == *query.catalogue;
    }
    const auto n = static_cast<std::uint32_t>(srNo_.size());
    const bool rowDecides = needsRow(query);
    size_t nextNoted = 0;
    // Records with notes are looked at whole, in their place in the order:
    // a word may be in a note and not in the name.
    auto notedBefore = [&](std::uint32_t entry) {
        for (; nextNoted < noted_.size() && noted_[nextNoted] < entry; ++nextNoted)
            if (matches(noted_[nextNoted], query, scans, true)
                && (!rowDecides || rowFiltersHold(srNo_[noted_[nextNoted]], query)) && !hit(noted_[nextNoted]))
                return false;
        return true;
    };
    auto visit = [&](std::uint32_t entry) {
        if (!notedBefore(entry))
            return false;
        const bool noted = nextNoted < noted_.size() && noted_[nextNoted] == entry;
        if (noted)
            ++nextNoted;
        return !matches(entry, query, scans, noted) || (rowDecides && !rowFiltersHold(srNo_[entry], query))
            || hit(entry);
    };

    const std::string_view sweep = sweepText(query);
    if (sweep.empty()) {
        for (std::uint32_t i = 0; i < n; ++i)
            if (!visit(i))
                return;
        notedBefore(n);
        return;
    }
    // The sweep finds the names that hold the longest text of the query; a
    // name is looked at once however often it holds it.
    const char* base = folded_.data();
    const char* end = base + folded_.size();
    const char* at = base;
    std::uint32_t entry = 0;
    while (at < end) {
        const char* found = findText(at, end, sweep);
        if (!found)
            break;
        const auto offset = static_cast<std::uint32_t>(found - base);
        entry = static_cast<std::uint32_t>(
            std::upper_bound(start_.begin() + entry, start_.end(), offset) - start_.begin() - 1);
        if (!visit(entry))
            return;
        at = base + start_[entry + 1];
    }
    notedBefore(n);
}

void SearchIndex::searchRows(const Query& query, const std::function<bool(std::uint32_t)>& hit) const
{
    // With no word for the names, the sweep would read every record's row
    // on its own to look at its path. Read in SrNO order instead, a run of
    // rows at a time (a writer waits for one run at most), each row judged
    // whole as the store holds it; the first hits come as soon as found.
    lastQuery_ = query;
    sqlite3_stmt* st = rowsAfter_.get();
    const std::uint32_t fileRecords = base_ ? base_->records() : 0;
    std::int64_t after = std::numeric_limits<std::int64_t>::min();
    for (bool more = true; more;) {
        more = false;
        sqlite3_bind_int64(st, 1, after);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            more = true;
            const Row row = rowOf(st);
            after = row.srNo;
            if (!rowMatches(row, query))
                continue;
            // The record's place in the copy: the file's, or the overlay's
            // when it changed since the file was written.
            std::optional<std::uint32_t> entry;
            if (base_ && !masked(row.srNo))
                if (const std::uint32_t e = base_->entryOf(row.srNo); e < fileRecords)
                    entry = e;
            if (!entry)
                if (const auto e = entryOf(row.srNo); e && !(flags_[*e] & kDead))
                    entry = fileRecords + *e;
            // Not in the copy: committed after its last sync, seen by the next.
            if (entry && !hit(*entry)) {
                sqlite3_reset(st);
                return;
            }
        }
        sqlite3_reset(st);
        if (rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db_->getHandle()));
    }
}

bool SearchIndex::rowFiltersHold(std::int64_t srNo, const Query& query) const
{
    sqlite3_stmt* st = rowBySerial_.get();
    sqlite3_bind_int64(st, 1, srNo);
    const int rc = sqlite3_step(st);
    bool yes = false;
    if (rc == SQLITE_ROW) {
        const Row row = rowOf(st);
        const bool folder = row.parent == std::string_view("0>") || isFolderPath(row.path);
        yes = find::rowFiltersHold(query, row.srNo, row.name, row.path, folder, withCopies_);
    }
    sqlite3_reset(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DbError(sqlite3_errmsg(db_->getHandle()));
    return yes;
}

const std::vector<std::int64_t>& SearchIndex::withCopies() const
{
    // Worked out again only after a commit: the groups cost a pass over
    // the fingerprints.
    const std::int64_t version = db_->execAndGet("PRAGMA data_version").getInt64();
    if (version != copiesVersion_) {
        withCopies_ = recordsWithCopies(*db_);
        copiesVersion_ = version;
    }
    return withCopies_;
}

} // namespace qm::find
