// SPDX-License-Identifier: GPL-3.0-or-later
// The search from the index kept on disk: the file's records, less those
// changed since it was written, and those changed or added since (the
// overlay), read from the store into the copy's own slots.
#include "catalog/store/Store.h"
#include "catalog/tree/CatalogueTree.h"
#include "find/NameMatch.h"
#include "find/PathMatch.h"
#include "find/SearchIndex.h"
#include "find/SearchIndexSlots.h"
#include "find/TextSweep.h"
#include "platform/Recordset.h"

#include <QFile>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace qm::find {
namespace {

using namespace indexed;

// Records read in one transaction while the file is written.
constexpr int kRowsPerRead = 20000;
// Changed or new records the overlay holds before the file is written again.
constexpr std::int64_t kOverlayMost = 20000;
// New records a search kept open follows before the file is written again.
constexpr std::int64_t kAddedMost = 200000;
// Log rows kept behind the file's place in the log before they are pruned.
constexpr std::int64_t kLogKept = 100000;

bool storeFileId(const QString& path, std::uint64_t& device, std::uint64_t& inode)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    device = static_cast<std::uint64_t>(st.st_dev);
    inode = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool asciiWords(const Query& query)
{
    for (const NamePattern& word : query.words)
        for (const Token& token : word.tokens)
            if (!isAscii(token.exact))
                return false;
    return true;
}

} // namespace

QString SearchIndex::takeNotice()
{
    return std::exchange(notice_, QString());
}

std::int64_t SearchIndex::recordCount() const
{
    return base_ ? base_->records() - baseMasked_ + live_ : live_;
}

bool SearchIndex::masked(std::int64_t srNo) const
{
    return std::binary_search(changed_.begin(), changed_.end(), srNo);
}

void SearchIndex::withoutFile(const QString& why)
{
    base_.reset();
    noFile_ = true;
    loaded_ = false;
    changed_.clear();
    baseNotes_.clear();
    baseNoted_.clear();
    notice_ = QStringLiteral("The search index cannot be kept at ") + indexFile_ + QStringLiteral(" (") + why
        + QStringLiteral("); searching without it.");
}

void SearchIndex::reindex()
{
    if (indexFile_.isEmpty())
        return;
    noFile_ = false;
    base_.reset();
    loaded_ = false;
    if (rebuildBase({}))
        syncBased();
}

QString SearchIndex::baseProblem()
{
    const IndexStamp& stamp = base_->stamp();
    std::uint64_t device = 0, inode = 0;
    if (!storeFileId(storePath_, device, inode) || device != stamp.device || inode != stamp.inode)
        return QStringLiteral("it was made for another store");
    SQLite::Statement log(*db_, "SELECT min(seq), max(seq), (SELECT count(*) FROM change_log WHERE seq > ?1 "
                                "AND SrNO IS NULL) FROM change_log");
    log.bind(1, static_cast<int64_t>(stamp.logSeq));
    log.executeStep();
    if (log.getColumn(0).isNull() || log.getColumn(1).getInt64() < stamp.logSeq)
        return QStringLiteral("it was made for another store");
    if (log.getColumn(0).getInt64() > stamp.logSeq + 1)
        return QStringLiteral("the store changed too much since");
    if (log.getColumn(2).getInt64() > 0)
        return QStringLiteral("the registers changed since"); // the notes the file knows of
    if (stamp.lastSrNo > 0) {
        // The last record it holds is as it was, or logged as changed since.
        SQLite::Statement row(*db_, "SELECT dbaseName, file_name FROM main WHERE SrNO = ?1 AND NOT EXISTS "
                                    "(SELECT 1 FROM change_log WHERE seq > ?2 AND SrNO = ?1)");
        row.bind(1, static_cast<int64_t>(stamp.lastSrNo));
        row.bind(2, static_cast<int64_t>(stamp.logSeq));
        if (row.executeStep()
            && sampleOf(row.getColumn(0).getString(), row.getColumn(1).getString()) != stamp.sample)
            return QStringLiteral("it was made for another store");
    }
    return {};
}

bool SearchIndex::syncBased()
{
    if (!base_) {
        QString problem;
        base_ = MappedIndex::open(indexFile_, problem);
        if (base_) {
            problem = baseProblem();
            if (!problem.isEmpty())
                base_.reset();
        }
        if (!base_ && !rebuildBase(problem))
            return false;
        lastLogSeq_ = base_->stamp().logSeq;
        changed_.clear();
        loaded_ = false;
    }
    // What was logged since the last look.
    const std::int64_t seqBefore = lastLogSeq_;
    std::vector<std::int64_t> changed;
    {
        SQLite::Statement bounds(*db_, "SELECT min(seq) FROM change_log");
        SQLite::Statement log(*db_, "SELECT seq, SrNO FROM change_log WHERE seq > ? ORDER BY seq");
        QString again;
        db_->exec("BEGIN");
        try {
            bounds.executeStep();
            if (bounds.getColumn(0).isNull() || bounds.getColumn(0).getInt64() > lastLogSeq_ + 1) {
                again = QStringLiteral("the store changed too much since");
            } else {
                log.bind(1, static_cast<int64_t>(lastLogSeq_));
                while (again.isEmpty() && log.executeStep()) {
                    lastLogSeq_ = log.getColumn(0).getInt64();
                    if (log.getColumn(1).isNull())
                        again = QStringLiteral("the registers changed since"); // the notes the file knows of
                    else
                        changed.push_back(log.getColumn(1).getInt64());
                }
            }
            db_->exec("COMMIT");
        } catch (...) {
            db_->exec("ROLLBACK");
            throw;
        }
        if (!again.isEmpty())
            return rebuildBase(again) && syncBased();
    }
    const std::int64_t last = base_->stamp().lastSrNo;
    // Only records the overlay holds, or new ones, changed (a scan going on
    // beside a window): the overlay follows them as the whole copy would.
    const bool overlayOnly = loaded_ && std::all_of(changed.begin(), changed.end(), [&](std::int64_t srNo) {
        return srNo > last || masked(srNo);
    });
    changed_.insert(changed_.end(), changed.begin(), changed.end());
    std::sort(changed_.begin(), changed_.end());
    changed_.erase(std::unique(changed_.begin(), changed_.end()), changed_.end());
    SQLite::Statement newer(*db_, "SELECT count(*) FROM main WHERE SrNO > ?");
    newer.bind(1, static_cast<int64_t>(last));
    newer.executeStep();
    const std::int64_t added = newer.getColumn(0).getInt64();
    const auto changedBefore = static_cast<std::int64_t>(
        std::upper_bound(changed_.begin(), changed_.end(), last) - changed_.begin());
    // A fresh search reads the overlay whole: kept small, the file is
    // written again soon. A search kept open follows it a change at a time.
    const std::int64_t most = std::max<std::int64_t>(kOverlayMost, base_->records() / 32);
    if (changedBefore > most || added > (loaded_ ? std::max<std::int64_t>(kAddedMost, base_->records() / 4) : most))
        return rebuildBase(QStringLiteral("many records changed since")) && syncBased();
    if (overlayOnly) {
        const std::int64_t readTo = lastLogSeq_;
        lastLogSeq_ = seqBefore;
        if (applyLog() && lastLogSeq_ == readTo)
            return true;
        // Another commit came between the two reads, or the copy gave up:
        // the overlay is read whole from where this look began.
        lastLogSeq_ = seqBefore;
        loaded_ = false;
        return syncBased();
    }
    buildOverlay();
    // The log is pruned only behind the file's place in it: every process
    // that maps the file reads on from there.
    {
        const std::int64_t seq = base_->stamp().logSeq;
        const std::int64_t first = db_->execAndGet("SELECT coalesce(min(seq), 0) FROM change_log").getInt64();
        if (seq - first > kLogKept) {
            try {
                Store::writeKeepingMark(*db_, [this, seq] {
                    SQLite::Statement prune(*db_, "DELETE FROM change_log WHERE seq < ?");
                    prune.bind(1, static_cast<int64_t>(seq));
                    prune.exec();
                });
            } catch (const SQLite::Exception&) {
            }
        }
    }
    return true;
}

void SearchIndex::buildOverlay()
{
    clear();
    loadRegisters();
    baseMasked_ = 0;
    sqlite3_stmt* st = rowBySerial_.get();
    auto read = [&](std::int64_t srNo, const std::function<void(const Row&)>& use) {
        sqlite3_bind_int64(st, 1, srNo);
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            use(rowOf(st));
        sqlite3_reset(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db_->getHandle()));
    };
    const std::int64_t last = base_->stamp().lastSrNo;
    for (const std::int64_t srNo : changed_) {
        if (srNo > last)
            break; // comes with the new ones
        if (base_->entryOf(srNo) < base_->records())
            ++baseMasked_;
        read(srNo, [this](const Row& row) { append(row); });
    }
    lastSrNo_ = last;
    loadAfter(last);
    relinkAll();
    baseNotes_.clear();
    baseNoted_.clear();
    for (const std::int64_t srNo : base_->noted()) {
        if (masked(srNo))
            continue;
        read(srNo, [&](const Row& row) {
            NoteText text;
            if (notesOf(row.key, row.name, &text) && base_->entryOf(srNo) < base_->records()) {
                baseNotes_[srNo] = std::move(text);
                baseNoted_.insert(base_->entryOf(srNo));
            }
        });
    }
    loaded_ = true;
}

bool SearchIndex::rebuildBase(const QString& why)
{
    base_.reset();
    loaded_ = false; // the overlay was of the old file
    if (!why.isEmpty())
        notice_ = QStringLiteral("Rebuilding the search index at ") + indexFile_ + QStringLiteral(": ") + why
            + u'.';
    IndexContent content;
    if (!storeFileId(storePath_, content.stamp.device, content.stamp.inode)) {
        withoutFile(QStringLiteral("the store cannot be looked at"));
        return false;
    }
    loadRegisters();
    // The log's end first: what is committed while the records are read is
    // logged after it, and read as changed since.
    content.stamp.logSeq = db_->execAndGet("SELECT coalesce(max(seq), 0) FROM change_log").getInt64();
    const std::int64_t total = db_->execAndGet("SELECT count(*) FROM main").getInt64();
    for (auto* v : {&content.size, &content.tag})
        v->reserve(static_cast<size_t>(total));
    content.srNo.reserve(static_cast<size_t>(total));
    content.day.reserve(static_cast<size_t>(total));
    std::unordered_map<std::string, std::uint8_t> catalogueNumber;
    std::int64_t after = 0;
    std::uint64_t sample = 0;
    sqlite3_stmt* st = rowsAfter_.get();
    for (;;) {
        sqlite3_bind_int64(st, 1, after);
        int rows = 0;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const Row row = rowOf(st);
            if (row.srNo < 0 || row.srNo > std::numeric_limits<std::uint32_t>::max()) {
                sqlite3_reset(st);
                withoutFile(QStringLiteral("a record's number is too large for it"));
                return false;
            }
            const bool ascii = isAscii(row.name);
            content.names.append(ascii ? asciiFolded(row.name) : fold(row.name)).push_back('\0');
            content.srNo.push_back(static_cast<std::uint32_t>(row.srNo));
            content.size.push_back(row.bytes ? coarse::sizeCode(*row.bytes) : coarse::kNoSize);
            content.day.push_back(row.created ? coarse::dayOf(*row.created) : coarse::kNoDay);
            auto [it, added] = catalogueNumber.try_emplace(std::string(row.catalogue), coarse::kOtherCatalogue);
            if (added && content.catalogues.size() < coarse::kOtherCatalogue) {
                it->second = static_cast<std::uint8_t>(content.catalogues.size());
                content.catalogues.emplace_back(row.catalogue);
            }
            const bool folder = row.parent == std::string_view("0>") || isFolderPath(row.path);
            content.tag.push_back(static_cast<std::uint8_t>(
                it->second | (folder ? coarse::kFolderTag : 0) | (ascii ? 0 : coarse::kWideTag)
                | (row.inArchive ? coarse::kArchiveTag : 0)));
            if (!registerNotes_.empty() && notesOf(row.key, row.name, nullptr))
                content.noted.push_back(row.srNo);
            after = row.srNo;
            sample = sampleOf(row.catalogue, row.name);
            ++rows;
        }
        sqlite3_reset(st);
        if (rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db_->getHandle()));
        if (progress)
            progress(static_cast<std::int64_t>(content.srNo.size()), total);
        if (rows < kRowsPerRead)
            break;
    }
    content.stamp.lastSrNo = after;
    content.stamp.sample = sample;
    if (const QString problem = writeIndexFile(indexFile_, content); !problem.isEmpty()) {
        withoutFile(problem);
        return false;
    }
    QString problem;
    base_ = MappedIndex::open(indexFile_, problem);
    if (!base_) {
        withoutFile(problem);
        return false;
    }
    lastLogSeq_ = content.stamp.logSeq;
    changed_.clear();
    return true;
}

SearchIndex::FieldVerdicts::FieldVerdicts(const Query& query, const std::vector<QString>& catalogues)
{
    for (unsigned tag = 0; tag < 256; ++tag) {
        const bool folder = (tag & coarse::kFolderTag) != 0;
        std::uint8_t& v = byTag[tag];
        if ((query.kind == Query::Kind::Folders && !folder) || (query.kind == Query::Kind::Files && folder)
            || (query.inArchive && *query.inArchive != ((tag & coarse::kArchiveTag) != 0)))
            v = kNo;
        else if (const unsigned number = tag & coarse::kCatalogueMask; query.catalogue)
            v = number == coarse::kOtherCatalogue ? kMaybe
                : number >= catalogues.size() || catalogues[number] != *query.catalogue ? kNo
                                                                                          : kPasses;
    }
    // A coarse value the bounds cut through is looked up in the store.
    auto within = [](std::int64_t lo, std::int64_t hi, std::int64_t from, std::int64_t to) {
        return hi < from || lo > to ? kNo : lo < from || hi > to ? kMaybe : kPasses;
    };
    constexpr std::int64_t kLeast = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    if (query.minBytes || query.maxBytes)
        for (unsigned code = 0; code < 256; ++code) {
            if (code == coarse::kNoSize || code == coarse::kAnySize) {
                bySize[code] = code == coarse::kNoSize ? kNo : kMaybe;
                continue;
            }
            const auto [lo, hi] = coarse::sizeRange(static_cast<std::uint8_t>(code));
            bySize[code] = within(lo, hi, query.minBytes.value_or(kLeast), query.maxBytes.value_or(kMost));
        }
    if (query.createdFrom || query.createdBefore) {
        byDay.resize(0x10000);
        for (unsigned day = 0; day < 0x10000; ++day) {
            if (day == coarse::kNoDay || day == coarse::kAnyDay) {
                byDay[day] = day == coarse::kNoDay ? kNo : kMaybe;
                continue;
            }
            const auto [lo, hi] = coarse::dayRange(static_cast<std::uint16_t>(day));
            byDay[day] = within(
                lo, hi, query.createdFrom.value_or(kLeast), query.createdBefore ? *query.createdBefore - 1 : kMost);
        }
    }
}

SearchIndex::Verdict SearchIndex::fieldsVerdict(std::uint32_t entry, const Query& query, const FieldVerdicts& fields) const
{
    const std::uint8_t v = std::max({fields.byTag[base_->tag()[entry]], fields.bySize[base_->size()[entry]],
        fields.byDay.empty() ? FieldVerdicts::kPasses : fields.byDay[base_->day()[entry]]});
    if (v == FieldVerdicts::kNo || (query.details.records && !query.details.admits(base_->srNoAt(entry))))
        return Verdict::No;
    return v == FieldVerdicts::kMaybe ? Verdict::Maybe : Verdict::Yes;
}

SearchIndex::Verdict SearchIndex::baseVerdict(
    std::uint32_t entry, std::string_view folded, const Query& query, const FieldVerdicts& fields) const
{
    const Verdict numbers = fieldsVerdict(entry, query, fields);
    if (numbers == Verdict::No)
        return Verdict::No;
    bool maybe = numbers == Verdict::Maybe;
    const bool wide = (base_->tag()[entry] & coarse::kWideTag) != 0;
    if (!query.extensions.empty()
        && std::none_of(query.extensions.begin(), query.extensions.end(), [folded](const std::string& ext) {
               return folded.size() > ext.size() && folded.ends_with(ext)
                   && folded[folded.size() - ext.size() - 1] == '.';
           }))
        return Verdict::No;
    for (const NamePattern& word : query.words) {
        const bool fit = word.wildcard ? fits(folded, word, false) : contains(folded, word.tokens.front().folded);
        if (query.caseSensitive) {
            // An ASCII name holds an ASCII word with case only if it holds
            // it without; for the rest the store's row says.
            if (!fit && !wide && asciiWords(query))
                return Verdict::No;
            maybe = true;
        } else if (!fit) {
            // "?" over a character that folding made several.
            if (!(word.wildcard && wide && hasAnyChar(word)))
                return Verdict::No;
            maybe = true;
        }
    }
    return maybe || needsRow(query) ? Verdict::Maybe : Verdict::Yes;
}

bool SearchIndex::rowMatches(const Row& row, const Query& query) const
{
    if (!query.details.admits(row.srNo))
        return false;
    const bool ascii = isAscii(row.name);
    const std::string folded = ascii ? asciiFolded(row.name) : fold(row.name);
    const std::string decoded = ascii ? std::string() : canonical(row.name);
    const NoteText* note = nullptr;
    if (const auto it = notes_.find(row.srNo); it != notes_.end())
        note = &it->second;
    else if (const auto base = baseNotes_.find(row.srNo); base != baseNotes_.end())
        note = &base->second;
    const bool folder = row.parent == std::string_view("0>") || isFolderPath(row.path);
    return matchesRecord({folded, ascii ? row.name : std::string_view(decoded), row.bytes.value_or(kUnknown),
               row.created.value_or(kUnknown), folder,
               !query.catalogue || qtext(row.catalogue) == *query.catalogue, note, row.inArchive},
               query)
        && (!needsRow(query) || find::rowFiltersHold(query, row.srNo, row.name, row.path, folder, withCopies_));
}

bool SearchIndex::confirmed(std::int64_t srNo, const Query& query) const
{
    sqlite3_stmt* st = rowBySerial_.get();
    sqlite3_bind_int64(st, 1, srNo);
    const int rc = sqlite3_step(st);
    const bool yes = rc == SQLITE_ROW && rowMatches(rowOf(st), query);
    sqlite3_reset(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DbError(sqlite3_errmsg(db_->getHandle()));
    return yes;
}

void SearchIndex::searchBased(const Query& query, const std::function<bool(std::uint32_t)>& hit) const
{
    lastQuery_ = query;
    const MappedIndex& base = *base_;
    const std::uint32_t n = base.records();
    const FieldVerdicts fields(query, base.catalogues());
    // The overlay's hits and the file's records with notes are few: they
    // join the sweep's hits in SrNO order.
    std::vector<std::uint32_t> overlay;
    searchMemory(query, [&](std::uint32_t entry) {
        overlay.push_back(entry);
        return true;
    });
    std::vector<std::uint32_t> noted(baseNoted_.begin(), baseNoted_.end());
    std::sort(noted.begin(), noted.end());
    size_t nextOverlay = 0, nextNoted = 0;
    auto before = [&](std::int64_t srNo) {
        for (;;) {
            const std::int64_t o = nextOverlay < overlay.size() ? srNo_[overlay[nextOverlay]]
                                                                 : std::numeric_limits<std::int64_t>::max();
            const std::int64_t b = nextNoted < noted.size() ? base.srNoAt(noted[nextNoted])
                                                            : std::numeric_limits<std::int64_t>::max();
            if (std::min(o, b) >= srNo)
                return true;
            if (o < b) {
                if (!hit(n + overlay[nextOverlay++]))
                    return false;
            } else {
                const std::uint32_t entry = noted[nextNoted++];
                if (confirmed(b, query) && !hit(entry))
                    return false;
            }
        }
    };
    auto visit = [&](std::uint32_t entry, std::string_view folded) {
        const Verdict verdict = baseVerdict(entry, folded, query, fields);
        if (verdict == Verdict::No || (!baseNoted_.empty() && baseNoted_.count(entry)))
            return true;
        const std::int64_t srNo = base.srNoAt(entry);
        if ((!changed_.empty() && masked(srNo)) || (verdict == Verdict::Maybe && !confirmed(srNo, query)))
            return true;
        return before(srNo) && hit(entry);
    };

    const std::string_view names = base.names();
    const char* start = names.data();
    const char* end = start + names.size();
    const std::string_view sweep = sweepText(query);
    if (sweep.empty()) {
        // Names are read only for the records whose numbers pass: a size or
        // date filter alone need not walk every name. `at` is where the name
        // of `atEntry` begins; a block's first name is found from the file.
        const char* at = start;
        std::uint32_t atEntry = 0;
        const std::uint8_t* tags = base.tag().data();
        const std::uint8_t* sizes = base.size().data();
        const std::uint16_t* days = base.day().data();
        const std::uint8_t* byDay = fields.byDay.empty() ? nullptr : fields.byDay.data();
        for (std::uint32_t entry = 0; entry < n; ++entry) {
            // The tables alone, in a tight loop: most records end here, and
            // visit() judges the rest whole.
            if (std::max(fields.byTag[tags[entry]], fields.bySize[sizes[entry]]) == FieldVerdicts::kNo
                || (byDay && byDay[days[entry]] == FieldVerdicts::kNo))
                continue;
            if (const auto [first, offset] = base.blockOf(entry); first > atEntry) {
                atEntry = first;
                at = start + offset;
            }
            for (; atEntry < entry && at < end; ++atEntry)
                at = static_cast<const char*>(std::memchr(at, '\0', static_cast<size_t>(end - at))) + 1;
            const auto* nul
                = at < end ? static_cast<const char*>(std::memchr(at, '\0', static_cast<size_t>(end - at))) : nullptr;
            if (!nul || !visit(entry, std::string_view(at, static_cast<size_t>(nul - at))))
                return;
            at = nul + 1;
            atEntry = entry + 1;
        }
    } else {
        const char* at = start;
        while (at < end) {
            const char* found = findText(at, end, sweep);
            if (!found)
                break;
            const auto* first = static_cast<const char*>(::memrchr(start, '\0', static_cast<size_t>(found - start)));
            const char* from = first ? first + 1 : start;
            const auto* nul = static_cast<const char*>(std::memchr(found, '\0', static_cast<size_t>(end - found)));
            if (!nul)
                break;
            if (!visit(base.entryAt(static_cast<size_t>(from - start)),
                    std::string_view(from, static_cast<size_t>(nul - from))))
                return;
            at = nul + 1;
        }
    }
    before(std::numeric_limits<std::int64_t>::max());
}

std::vector<Hit> SearchIndex::detailsBased(std::span<const std::uint32_t> entries)
{
    std::vector<Hit> hits;
    hits.reserve(entries.size());
    const std::uint32_t n = base_->records();
    if (lastQuery_ && lastQuery_->copies)
        withCopies();
    sqlite3_stmt* st = fullRow_.get();
    SQLite::Statement top(*db_, "SELECT file_name FROM main WHERE dbaseName = ? AND Parent = '0>' AND ID = ?");
    for (const std::uint32_t entry : entries) {
        const std::int64_t srNo = entry < n ? base_->srNoAt(entry) : srNo_[entry - n];
        sqlite3_bind_int64(st, 1, srNo);
        const int rc = sqlite3_step(st);
        // Shown only as the store holds it, and only when it still answers the query.
        if (rc == SQLITE_ROW && (!lastQuery_ || rowMatches(rowOf(st), *lastQuery_))) {
            const Row row = rowOf(st);
            Scan& scan = scans_[scanOf(row)];
            if (!scan.diskKnown && scan.disk.isEmpty()) {
                top.bind(1, std::string(row.catalogue));
                top.bind(2, scan.delKey);
                if (top.executeStep())
                    scan.disk = QString::fromStdString(top.getColumn(0).getString());
                top.reset();
            }
            scan.diskKnown = true;
            hits.push_back({srNo, qtext(row.name), qtext(row.path), qtext(textOf(st, 10)), row.bytes,
                qtext(textOf(st, 11)), qtext(row.key), scan.catalogue, scan.disk, {}, {},
                row.parent == std::string_view("0>") || isFolderPath(row.path), {}});
            const Scan::Volume& volume = volumeOf(scan);
            hits.back().volume = volume.name;
            hits.back().diskDetails = volume.details;
            hits.back().location = volume.location;
        }
        sqlite3_reset(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db_->getHandle()));
    }
    return hits;
}

} // namespace qm::find
