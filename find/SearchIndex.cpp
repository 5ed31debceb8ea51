// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/SearchIndex.h"

#include "catalog/tree/CatalogueTree.h"
#include "catalog/Disks.h"
#include "catalog/NodeKeys.h"
#include "catalog/Scans.h"
#include "catalog/store/Store.h"
#include "find/SearchIndexSlots.h"
#include "platform/OneState.h"
#include "platform/Recordset.h"
#include "registers/RegisterDefinitions.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <set>

namespace qm::find {
namespace {

using namespace indexed;

constexpr std::uint32_t kOddKey = std::numeric_limits<std::uint32_t>::max();
// Records read in one transaction: long enough to read fast, short enough
// that a writer's commit waits a few milliseconds at most.
constexpr int kRowsPerRead = 20000;
// Log rows a reader leaves behind it before it prunes them.
constexpr std::int64_t kLogKept = 100000;

constexpr const char* kRowColumns = "SELECT SrNO, dbaseName, delKey, Parent, ID, file_name, path, bytes, created, "
                                    "in_archive FROM main ";

// Puts a name's forms at the end of the name buffers: the folded form, then
// the canonical one where it differs, then the stored one where that differs
// again. True when the stored form was kept apart (kUncomposed).
bool layOut(std::string_view folded, std::string_view canon, std::string_view stored, std::string& foldedNames,
    std::vector<std::uint32_t>& start, std::string& exactNames, std::vector<std::uint32_t>& exactStart)
{
    foldedNames.append(folded).push_back('\0');
    start.push_back(static_cast<std::uint32_t>(foldedNames.size()));
    const bool uncomposed = stored != canon;
    if (canon == folded && !uncomposed) {
        exactStart.push_back(kSameAsFolded);
        return false;
    }
    exactStart.push_back(static_cast<std::uint32_t>(exactNames.size()));
    exactNames.append(canon).push_back('\0');
    if (uncomposed)
        exactNames.append(stored).push_back('\0');
    return uncomposed;
}

std::optional<std::int64_t> numberOf(sqlite3_stmt* st, int column)
{
    if (sqlite3_column_type(st, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(st, column);
}

// The number of a key as the scans write it ("123>"), or kOddKey.
std::uint32_t keyNumber(std::string_view key)
{
    if (key.size() < 2 || key.size() > 10 || key.back() != '>' || (key[0] == '0' && key.size() > 2))
        return kOddKey;
    std::uint64_t n = 0;
    for (char c : key.substr(0, key.size() - 1)) {
        if (c < '0' || c > '9')
            return kOddKey;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n < kOddKey ? static_cast<std::uint32_t>(n) : kOddKey;
}

} // namespace

SearchIndex::SearchIndex(const QString& storePath, const QString& indexFile)
    // Only the thread that owns the index at the time uses its connection.
    : db_(std::make_unique<SQLite::Database>(
          storePath.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX))
    , rowsAfter_(nullptr, sqlite3_finalize)
    , rowBySerial_(nullptr, sqlite3_finalize)
    , detailsBySerial_(nullptr, sqlite3_finalize)
    , storePath_(storePath)
    , indexFile_(indexFile)
    , fullRow_(nullptr, sqlite3_finalize)
{
    db_->setBusyTimeout(5000);
    rowsAfter_ = prepare(
        (std::string(kRowColumns) + "WHERE SrNO > ? ORDER BY SrNO LIMIT " + std::to_string(kRowsPerRead)).c_str());
    rowBySerial_ = prepare((std::string(kRowColumns) + "WHERE SrNO = ?").c_str());
    detailsBySerial_ = prepare("SELECT path, size, date, ID, bytes FROM main WHERE SrNO = ?");
    // The row's columns as rowOf() reads them, then what a hit shows.
    fullRow_ = prepare((std::string(kRowColumns).insert(std::string(kRowColumns).find(" FROM"), ", size, date")
        + "WHERE SrNO = ?")
                           .c_str());
}

SearchIndex::~SearchIndex() = default;

SearchIndex::Statement SearchIndex::prepare(const char* sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(db_->getHandle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        throw DbError(sqlite3_errmsg(db_->getHandle()));
    return Statement(st, sqlite3_finalize);
}

SearchIndex::Row SearchIndex::rowOf(sqlite3_stmt* st)
{
    return {sqlite3_column_int64(st, 0), textOf(st, 1), textOf(st, 2), textOf(st, 3), textOf(st, 4),
        textOf(st, 5), textOf(st, 6), numberOf(st, 7), numberOf(st, 8), sqlite3_column_int(st, 9) != 0};
}

bool SearchIndex::sync()
{
    try {
        const std::int64_t version = db_->execAndGet("PRAGMA data_version").getInt64();
        if (loaded_ && version == dataVersion_)
            return false;
        dataVersion_ = version;
        if (!indexFile_.isEmpty() && !noFile_ && syncBased()) {
            for (Scan& scan : scans_)
                scan.volume.reset();
            return true;
        }
        if (!loaded_ || !applyLog())
            loadAll();
        // An update of a scan records its disk anew.
        for (Scan& scan : scans_)
            scan.volume.reset();
        mounted_.reset();
        return true;
    } catch (const DbError&) {
        loaded_ = false;
        throw;
    } catch (const std::exception& e) {
        loaded_ = false;
        throw DbError(e.what());
    }
}

void SearchIndex::clear()
{
    for (auto* v : {&srNo_, &bytes_, &created_})
        v->clear();
    for (auto* v : {&start_, &exactStart_, &scan_, &key_, &noted_})
        v->clear();
    flags_.clear();
    folded_.clear();
    exact_.clear();
    live_ = dead_ = 0;
    scans_.clear();
    scanByName_.clear();
    oddKeys_.clear();
    notes_.clear();
    registerNotes_.clear();
    notesByKey_.clear();
    notesByName_.clear();
    noteKeys_.clear();
    start_.push_back(0);
}

void SearchIndex::loadAll()
{
    clear();
    // The log's end is read first: what is committed while the records are
    // read is logged after it and applied below.
    lastLogSeq_ = db_->execAndGet("SELECT coalesce(max(seq), 0) FROM change_log").getInt64();
    const auto expected = static_cast<size_t>(db_->execAndGet("SELECT count(*) FROM main").getInt64());
    for (auto* v : {&srNo_, &bytes_, &created_})
        v->reserve(expected);
    for (auto* v : {&start_, &exactStart_, &scan_, &key_})
        v->reserve(expected + 1);
    flags_.reserve(expected);
    lastSrNo_ = 0;
    loadAfter(0);
    folded_.shrink_to_fit();
    exact_.shrink_to_fit();
    loadRegisters();
    relinkAll();
    loaded_ = true;
    if (!applyLog())
        loaded_ = false; // pruned meanwhile: the next sync reads it all again
}

bool SearchIndex::loadAfter(std::int64_t srNo)
{
    bool any = false;
    sqlite3_stmt* st = rowsAfter_.get();
    for (;;) {
        sqlite3_bind_int64(st, 1, srNo);
        int rows = 0;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const Row row = rowOf(st);
            append(row);
            link(static_cast<std::uint32_t>(srNo_.size() - 1));
            srNo = row.srNo;
            ++rows;
        }
        sqlite3_reset(st);
        if (rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db_->getHandle()));
        any = any || rows > 0;
        if (rows < kRowsPerRead)
            break;
    }
    lastSrNo_ = std::max(lastSrNo_, srNo);
    if (any)
        indexNotes();
    return any;
}

bool SearchIndex::applyLog()
{
    std::vector<std::int64_t> changed;
    bool registersChanged = false;
    std::int64_t firstLogSeq = 0;
    {
        SQLite::Statement bounds(*db_, "SELECT min(seq) FROM change_log");
        SQLite::Statement log(*db_, "SELECT seq, SrNO FROM change_log WHERE seq > ? ORDER BY seq");
        db_->exec("BEGIN");
        try {
            bounds.executeStep();
            firstLogSeq = bounds.getColumn(0).isNull() ? lastLogSeq_ : bounds.getColumn(0).getInt64();
            // The rows after the last one read were pruned: the log no longer
            // tells everything that happened.
            if (firstLogSeq > lastLogSeq_ + 1) {
                db_->exec("COMMIT");
                return false;
            }
            log.bind(1, static_cast<int64_t>(lastLogSeq_));
            while (log.executeStep()) {
                lastLogSeq_ = log.getColumn(0).getInt64();
                if (log.getColumn(1).isNull())
                    registersChanged = true;
                else
                    changed.push_back(log.getColumn(1).getInt64());
            }
            log.reset();
            db_->exec("COMMIT");
        } catch (...) {
            db_->exec("ROLLBACK");
            throw;
        }
    }
    if (lastLogSeq_ - firstLogSeq > kLogKept)
        pruneLog();
    // Past a point, reading everything again is cheaper than record by record.
    if (static_cast<std::int64_t>(changed.size()) > std::max<std::int64_t>(4096, live_ / 8))
        return false;

    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    std::unordered_map<std::uint32_t, std::string> renamed;
    std::vector<std::int64_t> relink;
    sqlite3_stmt* st = rowBySerial_.get();
    for (const std::int64_t srNo : changed) {
        const auto entry = entryOf(srNo);
        if (!entry && srNo > lastSrNo_)
            continue; // a record not held yet: it comes with the new ones
        sqlite3_bind_int64(st, 1, srNo);
        const int rc = sqlite3_step(st);
        // A record put back under its old serial number (an undo) is gone
        // from the copy or held as deleted: a new read places it.
        if (!entry || (rc == SQLITE_ROW && (flags_[*entry] & kDead))) {
            sqlite3_reset(st);
            if (rc == SQLITE_ROW)
                return false;
            if (rc != SQLITE_DONE)
                throw DbError(sqlite3_errmsg(db_->getHandle()));
            continue;
        }
        if (rc == SQLITE_ROW) {
            update(*entry, rowOf(st), renamed);
            relink.push_back(srNo);
        } else if (rc == SQLITE_DONE && !(flags_[*entry] & kDead)) {
            flags_[*entry] |= kDead;
            --live_;
            ++dead_;
            oddKeys_.erase(srNo);
            notes_.erase(srNo);
        }
        sqlite3_reset(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db_->getHandle()));
    }
    if (!renamed.empty() || dead_ > live_ / 4 + 1024)
        compact(renamed);
    if (registersChanged) {
        loadRegisters();
        relinkAll();
    } else {
        for (const std::int64_t srNo : relink) {
            notes_.erase(srNo);
            if (const auto entry = entryOf(srNo))
                link(*entry);
        }
        indexNotes();
    }
    loadAfter(lastSrNo_);
    return true;
}

void SearchIndex::pruneLog()
{
    // Another reader that has not read this far reads its copy afresh; a
    // busy store is left for the next time. A store found sound stays
    // marked so: the next scan need not read all of it again.
    try {
        Store::writeKeepingMark(*db_, [this] {
            SQLite::Statement prune(*db_, "DELETE FROM change_log WHERE seq < ?");
            prune.bind(1, static_cast<int64_t>(lastLogSeq_));
            prune.exec();
        });
    } catch (const SQLite::Exception&) {
    }
}

std::uint32_t SearchIndex::scanOf(const Row& row)
{
    std::string id;
    id.reserve(row.catalogue.size() + row.delKey.size() + 1);
    id.append(row.catalogue).push_back('\0');
    id.append(row.delKey);
    auto [it, added] = scanByName_.try_emplace(std::move(id), static_cast<std::uint32_t>(scans_.size()));
    if (added)
        scans_.push_back({qtext(row.catalogue), std::string(row.delKey), {}, false, {}});
    // The disk a record was scanned from is its scan's top-level folder.
    if (row.parent == std::string_view("0>") && row.key == row.delKey)
        scans_[it->second].disk = qtext(row.name);
    return it->second;
}

void SearchIndex::append(const Row& row)
{
    // Most names are ASCII, their own canonical form: no copy for them.
    const bool ascii = isAscii(row.name);
    const std::string folded = ascii ? asciiFolded(row.name) : fold(row.name);
    const std::string decoded = ascii ? std::string() : canonical(row.name);
    const std::string_view canon = decoded.empty() ? row.name : std::string_view(decoded);
    srNo_.push_back(row.srNo);
    const bool uncomposed = layOut(folded, canon, row.name, folded_, start_, exact_, exactStart_);
    bytes_.push_back(row.bytes.value_or(kUnknown));
    created_.push_back(row.created.value_or(kUnknown));
    scan_.push_back(scanOf(row));
    key_.push_back(keyNumber(row.key));
    if (key_.back() == kOddKey)
        oddKeys_[row.srNo] = std::string(row.key);
    const bool folder = row.parent == std::string_view("0>") || isFolderPath(row.path);
    flags_.push_back(static_cast<std::uint8_t>(
        (uncomposed ? kUncomposed : 0) | (folder ? kFolder : 0) | (row.inArchive ? kInArchive : 0)));
    ++live_;
}

void SearchIndex::update(
    std::uint32_t entry, const Row& row, std::unordered_map<std::uint32_t, std::string>& renamed)
{
    if (storedName(entry) != row.name)
        renamed[entry] = std::string(row.name);
    bytes_[entry] = row.bytes.value_or(kUnknown);
    created_[entry] = row.created.value_or(kUnknown);
    scan_[entry] = scanOf(row);
    key_[entry] = keyNumber(row.key);
    if (key_[entry] == kOddKey)
        oddKeys_[row.srNo] = std::string(row.key);
    else
        oddKeys_.erase(row.srNo);
    flags_[entry] = (flags_[entry] & (kDead | kUncomposed))
        | (row.parent == std::string_view("0>") || isFolderPath(row.path) ? kFolder : 0)
        | (row.inArchive ? kInArchive : 0);
}

// Lays the names out again without the dead records and with the new names.
void SearchIndex::compact(const std::unordered_map<std::uint32_t, std::string>& renamed)
{
    const auto n = static_cast<std::uint32_t>(srNo_.size());
    std::string folded, exact;
    folded.reserve(folded_.size());
    exact.reserve(exact_.size());
    std::vector<std::uint32_t> start {0}, exactStart;
    start.reserve(static_cast<size_t>(live_) + 1);
    exactStart.reserve(static_cast<size_t>(live_));
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (flags_[i] & kDead)
            continue;
        const auto it = renamed.find(i);
        bool uncomposed = false;
        if (it == renamed.end()) {
            uncomposed = layOut(foldedName(i), canonicalName(i), storedName(i), folded, start, exact, exactStart);
        } else {
            const std::string& name = it->second;
            uncomposed = layOut(fold(name), canonical(name), name, folded, start, exact, exactStart);
        }
        flags_[i] = static_cast<std::uint8_t>((flags_[i] & ~kUncomposed) | (uncomposed ? kUncomposed : 0));
        srNo_[kept] = srNo_[i];
        bytes_[kept] = bytes_[i];
        created_[kept] = created_[i];
        scan_[kept] = scan_[i];
        key_[kept] = key_[i];
        flags_[kept] = flags_[i];
        ++kept;
    }
    for (auto* v : {&srNo_, &bytes_, &created_})
        v->resize(kept);
    for (auto* v : {&scan_, &key_})
        v->resize(kept);
    flags_.resize(kept);
    folded_ = std::move(folded);
    exact_ = std::move(exact);
    start_ = std::move(start);
    exactStart_ = std::move(exactStart);
    dead_ = 0;
}

std::optional<std::uint32_t> SearchIndex::entryOf(std::int64_t srNo) const
{
    const auto it = std::lower_bound(srNo_.begin(), srNo_.end(), srNo);
    if (it == srNo_.end() || *it != srNo)
        return std::nullopt;
    return static_cast<std::uint32_t>(it - srNo_.begin());
}

void SearchIndex::loadRegisters()
{
    registerNotes_.clear();
    notesByKey_.clear();
    notesByName_.clear();
    noteKeys_.clear();
    for (const RegisterDefinition* def : allRegisters()) {
        // Field names come from the definitions, never from a user.
        QStringList columns {def->fileNameField};
        for (const RegisterFieldRow& row : def->rows)
            if (row.field != def->fileNameField)
                columns << row.field;
        if (!def->idField.isEmpty())
            columns << def->idField;
        for (QString& c : columns)
            c = u'"' + c + u'"';
        SQLite::Statement st(
            *db_, ("SELECT " + columns.join(u',') + QStringLiteral(" FROM \"%1\"").arg(def->table)).toStdString());
        const int textColumns = static_cast<int>(columns.size()) - (def->idField.isEmpty() ? 0 : 1);
        while (st.executeStep()) {
            RegisterNote note;
            note.name = st.getColumn(0).getString();
            for (int c = 0; c < textColumns; ++c) {
                const std::string field = st.getColumn(c).getString();
                note.text.exact.append(field).push_back('\n');
            }
            note.text.exact = canonical(note.text.exact);
            note.text.folded = fold(note.text.exact);
            if (!def->idField.isEmpty())
                note.key = st.getColumn(textColumns).getString();
            const size_t index = registerNotes_.size();
            if (note.key.empty() && def->idField.isEmpty())
                notesByName_.emplace(note.name, index);
            else if (!note.key.empty()) {
                notesByKey_.emplace(note.key, index);
                noteKeys_.insert(keyNumber(note.key));
            }
            registerNotes_.push_back(std::move(note));
        }
    }
}

// Attaches the register notes of the record: those that carry its key and
// name, and those of a register that links by name only.
void SearchIndex::link(std::uint32_t entry)
{
    if (registerNotes_.empty() || (flags_[entry] & kDead))
        return;
    // Most records carry no note: their key rules them out cheaply.
    if (noteKeys_.count(key_[entry]) == 0 && notesByName_.empty())
        return;
    const std::int64_t srNo = srNo_[entry];
    const std::string key = key_[entry] == kOddKey ? oddKeys_[srNo] : keyOf(key_[entry]).toStdString();
    NoteText text;
    if (notesOf(key, storedName(entry), &text))
        notes_[srNo] = std::move(text);
}

// The register notes a record of that key and name carries; true when any.
bool SearchIndex::notesOf(std::string_view key, std::string_view name, NoteText* into) const
{
    bool any = false;
    auto attach = [&](size_t index) {
        any = true;
        if (into) {
            into->exact += registerNotes_[index].text.exact;
            into->folded += registerNotes_[index].text.folded;
        }
    };
    if (noteKeys_.count(keyNumber(key)) > 0) {
        const auto [from, to] = notesByKey_.equal_range(std::string(key));
        for (auto it = from; it != to; ++it)
            if (registerNotes_[it->second].name == name)
                attach(it->second);
    }
    if (!notesByName_.empty()) {
        const auto [from, to] = notesByName_.equal_range(std::string(name));
        for (auto it = from; it != to; ++it)
            attach(it->second);
    }
    return any;
}

void SearchIndex::relinkAll()
{
    notes_.clear();
    if (!registerNotes_.empty())
        for (std::uint32_t i = 0; i < srNo_.size(); ++i)
            link(i);
    indexNotes();
}

void SearchIndex::indexNotes()
{
    noted_.clear();
    for (const auto& [srNo, text] : notes_)
        if (const auto entry = entryOf(srNo))
            noted_.push_back(*entry);
    std::sort(noted_.begin(), noted_.end());
}

std::vector<Hit> SearchIndex::details(std::span<const std::uint32_t> entries)
{
    // One lock for the batch: a row read on its own takes and drops the
    // store's lock and checks its journal each time.
    const OneState state(*db_);
    if (base_) {
        std::vector<Hit> hits = detailsBased(entries);
        addRecordDetails(*db_, hits);
        return hits;
    }
    std::vector<Hit> hits;
    hits.reserve(entries.size());
    sqlite3_stmt* st = detailsBySerial_.get();
    for (const std::uint32_t entry : entries) {
        sqlite3_bind_int64(st, 1, srNo_[entry]);
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            Scan& scan = scans_[scan_[entry]];
            hits.push_back({srNo_[entry], qtext(storedName(entry)), qtext(textOf(st, 0)), qtext(textOf(st, 1)),
                numberOf(st, 4), qtext(textOf(st, 2)), qtext(textOf(st, 3)), scan.catalogue, scan.disk, {}, {},
                (flags_[entry] & kFolder) != 0, {}});
        }
        sqlite3_reset(st);
        if (rc == SQLITE_ROW) {
            const Scan::Volume& volume = volumeOf(scans_[scan_[entry]]);
            hits.back().volume = volume.name;
            hits.back().diskDetails = volume.details;
            hits.back().location = volume.location;
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db_->getHandle()));
    }
    addRecordDetails(*db_, hits);
    return hits;
}

const SearchIndex::Scan::Volume& SearchIndex::volumeOf(Scan& scan)
{
    if (!scan.volume) {
        scan.volume.emplace();
        if (const auto info = scanInfo(*db_, scan.catalogue, QString::fromStdString(scan.delKey))) {
            const DiskIdentity& d = info->disk;
            scan.volume->name = d.label.isEmpty() ? d.uuid : d.label;
            scan.volume->details = describeScan(*info);
            scan.volume->location = info->location;
            if (!d.uuid.isEmpty()) {
                if (!mounted_)
                    mounted_ = mountedDisks();
                const QString at = connectedAt(d, *mounted_);
                scan.volume->details += at.isEmpty() ? QStringLiteral("\nNot connected now")
                                                     : QStringLiteral("\nConnected now at ") + at;
            }
        }
    }
    return *scan.volume;
}

std::size_t SearchIndex::memoryBytes() const
{
    auto bytesOf = [](const auto& v) { return v.capacity() * sizeof(v[0]); };
    return bytesOf(srNo_) + bytesOf(start_) + bytesOf(exactStart_) + bytesOf(bytes_) + bytesOf(created_)
        + bytesOf(scan_) + bytesOf(key_) + bytesOf(flags_) + folded_.capacity() + exact_.capacity();
}

QStringList SearchIndex::catalogues() const
{
    std::set<QString> names;
    if (base_) {
        // The file's catalogues that still hold a record, and the rest's.
        for (const QString& name : base_->catalogues())
            names.insert(name);
        for (const Scan& scan : scans_)
            names.insert(scan.catalogue);
        SQLite::Statement any(*db_, "SELECT 1 FROM main WHERE dbaseName = ? LIMIT 1");
        QStringList held;
        for (const QString& name : names) {
            any.bind(1, name.toStdString());
            if (any.executeStep())
                held << name;
            any.reset();
        }
        return held;
    }
    std::vector<char> used(scans_.size());
    for (size_t i = 0; i < srNo_.size(); ++i)
        if (!(flags_[i] & kDead))
            used[scan_[i]] = 1;
    for (size_t i = 0; i < scans_.size(); ++i)
        if (used[i])
            names.insert(scans_[i].catalogue);
    return QStringList(names.begin(), names.end());
}

} // namespace qm::find
