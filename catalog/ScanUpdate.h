#pragma once
// Updating a scan in place: the top-level folder is walked again and its
// stored records brought up to date in one transaction. Records of entries
// that are still there keep their key, serial number and delete key, so the
// register notes attached to them stay; changed sizes and dates are
// rewritten; new entries get new keys of the catalogue and are stored after
// every record there is, so each comes after its folder's; records of
// entries that are gone are deleted.
//
// The walk reads the folder first without holding the store; only the
// comparison and the writes run in the write transaction. A failure or a
// cancel rolls it back, leaving the old scan as it was.
#include "catalog/FolderScan.h"
#include "platform/DiskIdentity.h"

#include <QString>

#include <cstdint>
#include <future>
#include <string>
#include <unordered_map>
#include <utility>
#include <optional>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm {

// A top-level folder of a catalogue: the record a scan began with.
struct TopFolder {
    QString key;
    QString fileName; // as the folder list reported it
    QString path; // with its closing separator
};

// The top-level folder of `catalogue` named by its key ("12>" or "12") or by
// its path (the most recent scan of that path); empty when there is none.
std::optional<TopFolder> findTopFolder(SQLite::Database& db, const QString& catalogue, const QString& keyOrPath);

// When the disk now mounted at the folder is not the one the scan recorded
// (another file system identifier), a sentence telling both; empty when it
// is the same disk or either is unknown.
QString otherDiskWarning(SQLite::Database& db, const QString& catalogue, const TopFolder& top);

struct UpdateCounts {
    std::int64_t added = 0;
    std::int64_t removed = 0;
    std::int64_t changed = 0;
    std::int64_t unchanged = 0;
    std::int64_t unread = 0; // records kept as they were: the walk could not read their entries
};

// "412 added, 37 removed, 19 changed, 5,120 unchanged", and how many were
// kept as they were because they could not be read.
QString updateSummary(const UpdateCounts& counts);

class ScanUpdate {
public:
    // Updates the scan of `top` in `catalogue` through `db`. The listener
    // hears of progress only; false from it cancels the update.
    ScanUpdate(SQLite::Database& db, const QString& catalogue, const TopFolder& top,
        ScanListener* listener = nullptr, FileSystem& fs = fileSystem());

    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // True when the scan was brought up to date. Otherwise nothing was
    // written, and failure() says why unless the listener cancelled.
    bool run();

    const UpdateCounts& counts() const { return counts_; }
    bool cancelled() const { return cancelled_; }
    const QString& failure() const { return failure_; }
    std::int64_t skippedCount() const { return skippedCount_; }
    const std::vector<SkippedEntry>& firstSkipped() const { return skipped_; }

private:
    struct Stop { };
    // One entry the walk found, in walk order: a folder before its content.
    struct Entry {
        std::string path; // a folder's with its closing "/"
        size_t nameStart;
        int parent; // index of its folder's entry; -1 for the top-level folder
        bool folder;
        EntryInfo info; // a folder's size is the total below it
    };

    // A stored record of the scan, as the update compares it.
    struct Stored {
        std::int64_t srNo;
        std::string key, parent, size, date;
        std::optional<std::int64_t> bytes, created, modified;
        bool matched = false;
    };
    // The scan's records by the bytes of their paths, and the state of the
    // table they were read in.
    struct StoredScan {
        std::unordered_map<std::string, Stored> records;
        std::vector<std::int64_t> duplicates; // records of a path after its first
        std::int64_t withoutPath = 0; // records below the folder without a path
        std::pair<std::int64_t, std::int64_t> mark;
    };
    static StoredScan loadScan(SQLite::Database& db, const std::string& catalogue, const std::string& topKey);

    bool walk();
    void list(Folder& folder, std::string& path, int parent, bool recorded, std::uint64_t& total);
    void store();
    // `unread` is the path (or a folder's path with its closing "/") whose
    // stored records stay as they are; empty when none.
    void skip(const std::string& path, const QString& reason, std::string unread);
    bool unread(const std::string& path) const;
    void checkProgress(std::int64_t done, const std::string& where);

    SQLite::Database& db_;
    QString catalogue_;
    TopFolder top_;
    ScanListener* listener_;
    FileSystem& fs_;
    std::uint64_t device_ = 0;
    std::vector<Entry> entries_;
    std::future<StoredScan> loaded_;
    std::future<DiskIdentity> disk_;
    UpdateCounts counts_;
    std::chrono::milliseconds interval_ {100};
    std::chrono::steady_clock::time_point lastProgress_;
    std::int64_t seen_ = 0;
    std::int64_t skippedCount_ = 0;
    std::vector<SkippedEntry> skipped_;
    std::vector<std::string> unread_;
    bool cancelled_ = false;
    QString failure_;
};

} // namespace qm
