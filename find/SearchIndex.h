// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search's compact copy of the catalogue: every record of main as a few
// numbers and its name, the names folded for a search without case (see
// Folding.h) and laid end to end in one buffer that a query sweeps at memory
// speed. Paths, size
// and date texts stay in the store; only the rows shown are read from it.
//
// The copy follows the store through its change log: records above the last
// SrNO held are new, and every record changed or deleted since is logged (see
// catalog/store/upgrades/3.sql). So a search after any commit, by any writer, sees
// exactly what the store holds. The copy is read in short transactions, so a
// writer is never kept waiting for long.
//
// Given an index file (IndexFile.h), the copy is that file, mapped, and only
// what changed since it was written is read from the store: a search process
// starts at once. Writers never touch the file; it is written again here when
// what changed since grows large, or when it is missing, damaged, of another
// store or format. Every hit of the file is confirmed against the store's row.
#include "find/IndexFile.h"
#include "find/Query.h"
#include "platform/DiskIdentity.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace SQLite {
class Database;
}
struct sqlite3_stmt;

namespace qm::find {

// What a result row shows of a record.
struct Hit {
    std::int64_t srNo = 0;
    QString name;
    QString path;
    QString size; // the size text
    std::optional<std::int64_t> bytes;
    QString date; // the date text
    QString key; // the node key
    QString catalogue;
    QString disk; // the top-level folder of the scan that wrote the record
    QString volume; // the label of the disk it was scanned from (else its UUID), where recorded
    QString diskDetails; // what is known of that disk, for people
    bool folder = false;
    QString location; // where the user keeps that disk; empty when not said
    QString modified {}; // the file's modification time as a date text; empty when not recorded
    QString media {}; // what its headers said, for people (see catalog/MediaStore.h); empty when not read
};

// Fills in each hit's modification time and media details from the store.
// Throws DbError.
void addRecordDetails(SQLite::Database& db, std::vector<Hit>& hits);

class SearchIndex {
public:
    // Reads the store at `storePath` through a connection of its own, which
    // lives on the thread that uses the index. Throws DbError.
    // `indexFile`: where the index kept on disk lives (indexPlaceOf()); none:
    // the whole copy is read into memory.
    explicit SearchIndex(const QString& storePath, const QString& indexFile = {});
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Brings the copy in step with the store's last commit. The first call
    // reads the whole catalogue; later ones cost what changed, and nothing
    // when nobody committed. True when the copy changed. Throws DbError.
    bool sync();

    // Calls `hit` with each record the query finds, in the order the records
    // were stored, until it returns false. The numbers stand for records
    // until the next sync.
    void search(const Query& query, const std::function<bool(std::uint32_t entry)>& hit) const;

    // The rows of the entries found, read from the store; a record deleted
    // since is left out. Throws DbError.
    std::vector<Hit> details(std::span<const std::uint32_t> entries);

    std::int64_t recordCount() const;
    // Whether the search works from the index kept on disk.
    bool onDisk() const { return base_ != nullptr; }
    // What happened to the index kept on disk since asked last (rebuilt, or
    // cannot be kept: working without it), for the user; empty when nothing.
    QString takeNotice();
    // Writes the index kept on disk again from the store. Throws DbError.
    void reindex();
    // Called as an index is written: records read of about how many.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
    // Memory held by the copy.
    std::size_t memoryBytes() const;
    // Names of the catalogues held, sorted.
    QStringList catalogues() const;

private:
    struct Scan {
        QString catalogue;
        std::string delKey;
        QString disk;
        bool diskKnown = false;
        // Read from table scans when a hit of the scan is first shown.
        struct Volume {
            QString name, details, location;
        };
        std::optional<Volume> volume;
    };
    const Scan::Volume& volumeOf(Scan& scan);
    // The disks mounted now, read when a hit first needs them after a sync.
    std::optional<std::vector<DiskIdentity>> mounted_;
    // One record as read from the store.
    struct Row {
        std::int64_t srNo;
        std::string_view catalogue, delKey, parent, key, name, path;
        std::optional<std::int64_t> bytes, created;
        bool inArchive;
    };
    // The text of the register records attached to a record, fields joined
    // by line ends (which no query word holds).
    struct NoteText {
        std::string exact, folded;
    };
    struct RegisterNote {
        std::string key; // empty: the register links by name only
        std::string name;
        NoteText text;
    };

    using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;
    Statement prepare(const char* sql);
    static Row rowOf(sqlite3_stmt* st);

    void loadAll();
    bool loadAfter(std::int64_t srNo); // records above `srNo`; true when any came
    bool applyLog(); // false when the log no longer reaches back to what was read
    void pruneLog();
    void loadRegisters();
    void append(const Row& row);
    void update(std::uint32_t entry, const Row& row, std::unordered_map<std::uint32_t, std::string>& renamed);
    void compact(const std::unordered_map<std::uint32_t, std::string>& renamed);
    void clear();
    std::uint32_t scanOf(const Row& row);
    std::optional<std::uint32_t> entryOf(std::int64_t srNo) const;
    void link(std::uint32_t entry);
    void relinkAll();
    void indexNotes();

    std::string_view foldedName(std::uint32_t entry) const;
    std::string_view canonicalName(std::uint32_t entry) const; // what a search with case compares
    std::string_view storedName(std::uint32_t entry) const; // as the store holds it
    bool matches(std::uint32_t entry, const Query& query, const std::vector<char>& scans, bool withNotes) const;
    // A record as a query tests it.
    struct Tested {
        std::string_view folded, canonical;
        std::int64_t bytes, created;
        bool folder, inCatalogue;
        const NoteText* note;
        bool inArchive;
    };
    static bool matchesRecord(const Tested& record, const Query& query);
    bool notesOf(std::string_view key, std::string_view name, NoteText* into) const;
    void searchMemory(const Query& query, const std::function<bool(std::uint32_t entry)>& hit) const;

    // With the index kept on disk (SearchIndexDisk.cpp).
    enum class Verdict { No, Yes, Maybe };
    // What a record's numbers (tag, size code, day) say for a query, worked
    // out once per search for every value each can take: the worst wins.
    struct FieldVerdicts {
        static constexpr std::uint8_t kPasses = 0, kMaybe = 1, kNo = 2;
        std::array<std::uint8_t, 256> byTag {}, bySize {};
        std::vector<std::uint8_t> byDay; // empty without a date filter
        FieldVerdicts(const Query& query, const std::vector<QString>& catalogues);
    };
    Verdict baseVerdict(std::uint32_t entry, std::string_view folded, const Query& query,
        const FieldVerdicts& fields) const;
    // The same from the numbers alone.
    Verdict fieldsVerdict(std::uint32_t entry, const Query& query, const FieldVerdicts& fields) const;
    bool confirmed(std::int64_t srNo, const Query& query) const;
    bool rowMatches(const Row& row, const Query& query) const;
    // The filters only the row decides (PathMatch.h), for a record the copy
    // found; a record gone from the store holds none.
    bool rowFiltersHold(std::int64_t srNo, const Query& query) const;
    // A query the names cannot narrow but the row decides (path: words
    // alone): the store's rows read in order and judged whole.
    void searchRows(const Query& query, const std::function<bool(std::uint32_t entry)>& hit) const;
    // Brings withCopies_ in step with the store's last commit.
    const std::vector<std::int64_t>& withCopies() const;
    void searchBased(const Query& query, const std::function<bool(std::uint32_t entry)>& hit) const;
    std::vector<Hit> detailsBased(std::span<const std::uint32_t> entries);
    bool syncBased(); // false: working without the file from now on
    QString baseProblem(); // why the mapped file cannot serve this store, or empty
    bool rebuildBase(const QString& why);
    void buildOverlay();
    void withoutFile(const QString& why);
    bool masked(std::int64_t srNo) const; // changed since the file was written

    std::unique_ptr<SQLite::Database> db_;
    Statement rowsAfter_;
    Statement rowBySerial_;
    Statement detailsBySerial_;
    bool loaded_ = false;
    std::int64_t dataVersion_ = -1;
    std::int64_t lastLogSeq_ = 0;
    std::int64_t lastSrNo_ = 0;

    // One slot per record, in SrNO order.
    std::vector<std::int64_t> srNo_;
    std::vector<std::uint32_t> start_; // of the folded name in folded_; one more slot closes the last
    std::vector<std::uint32_t> exactStart_; // in exact_, or kSameAsFolded
    std::vector<std::int64_t> bytes_, created_; // kUnknown where the store has none
    std::vector<std::uint32_t> scan_;
    std::vector<std::uint32_t> key_; // the number of a "123>" key, or kOddKey
    std::vector<std::uint8_t> flags_;
    std::string folded_; // folded names, each closed by a NUL
    // Canonical names whose folded form differs, each closed by a NUL; a
    // stored name not in its canonical form (a decomposed accent, as some
    // systems write them) follows its canonical form, closed by a NUL too.
    std::string exact_;
    std::int64_t live_ = 0;
    std::int64_t dead_ = 0;

    std::vector<Scan> scans_;
    std::unordered_map<std::string, std::uint32_t> scanByName_;
    std::unordered_map<std::int64_t, std::string> oddKeys_; // by SrNO

    std::vector<RegisterNote> registerNotes_;
    std::unordered_multimap<std::string, std::size_t> notesByKey_, notesByName_;
    std::unordered_set<std::uint32_t> noteKeys_; // the numbers of notesByKey_'s keys (kOddKey for any other)
    std::unordered_map<std::int64_t, NoteText> notes_; // by SrNO
    std::vector<std::uint32_t> noted_; // entries with notes, in order

    QString storePath_;
    QString indexFile_;
    std::unique_ptr<MappedIndex> base_;
    bool noFile_ = false; // the file cannot be kept: the copy is in memory
    std::vector<std::int64_t> changed_; // SrNOs logged since the file was written, sorted
    std::int64_t baseMasked_ = 0; // records of the file among them
    std::unordered_map<std::int64_t, NoteText> baseNotes_; // of the file's records, by SrNO
    std::unordered_set<std::uint32_t> baseNoted_; // their entries
    mutable std::optional<Query> lastQuery_; // what details() confirms
    // SrNOs of the files with a copy elsewhere, as of the store's version.
    mutable std::vector<std::int64_t> withCopies_;
    mutable std::int64_t copiesVersion_ = -1;
    Statement fullRow_;
    QString notice_;
};

} // namespace qm::find
