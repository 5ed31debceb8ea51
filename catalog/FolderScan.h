#pragma once
// The folder scan: walks a folder depth first in listing order and writes one
// record of main for every folder and file in it, through one prepared insert
// in batched transactions. The main window and the command line share it.
//
// Each folder is listed once and each entry looked at once. A folder's record
// goes in as soon as the walk reaches it, so every folder comes before its
// content; its size, the total of every file below it (hidden ones included),
// is filled in when its own walk ends. Hidden entries (name starting with
// ".") and entries that are neither files nor folders (links, sockets, FIFOs,
// devices) get no record; the walk stays on the start folder's file system.
#include "platform/FileSystem.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3_stmt;
namespace SQLite {
class Database;
}

namespace qm {

// Where a run starts, from the path the folder list reports.
struct StartFolder {
    QString fileName; // the reported path: no closing "/" except at the root
    QString path; // the same with its closing "/"
};
StartFolder startFolderOf(const QString& reportedPath);

// One stored record, as the tree needs it.
struct ScannedEntry {
    std::int64_t key; // the number of the node key
    const QString& parentKey;
    std::string_view name; // UTF-8
    bool folder;
};

class ScanListener {
public:
    virtual ~ScanListener() = default;
    // A record was stored. An exception stops the scan as a failure.
    virtual void entryStored(const ScannedEntry& entry) = 0;
    // About once a progress interval, while no transaction is open: the
    // entries seen so far and the folder being read. False stops the scan.
    virtual bool progress(std::int64_t entries, const QString& folder) = 0;
};

// An entry left out because it could not be read.
struct SkippedEntry {
    QString path;
    QString reason;
};

class FolderScan {
public:
    static constexpr int kSkippedKept = 5;

    // Writes through `db`, stamping `databaseName`; node keys count up from
    // `firstKey`. Throws DbError when the store refuses the statements.
    FolderScan(SQLite::Database& db, const QString& databaseName, std::int64_t firstKey,
        ScanListener* listener = nullptr, FileSystem& fs = fileSystem());
    // Stores what is pending.
    ~FolderScan();
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }
    void setBatchSize(int rows) { batchSize_ = rows > 0 ? rows : 1; }

    // Opens the folder a run starts from. Empty on success, otherwise why it
    // cannot be read; nothing has been written then.
    QString openStart(const QString& folderPath);
    // A new node key: one more than the last one given.
    QString newKey();
    // Stores the top-level folder's record: parent the root, its own key as
    // delete key; its size follows when the walk of the start folder ends.
    void addTopFolder(const StartFolder& top, const QString& key);
    // Records everything inside `fPath` under the node `sParent`, every
    // record with `delKey`. Unreadable entries are skipped and counted; a
    // store failure or the listener's cancel ends the walk, keeping what was
    // written.
    void walk(const QString& fPath, const QString& sParent, const QString& delKey);
    // Gives the top-level folder its size and stores what is pending.
    void finish();

    // A whole run: open, top-level record, walk, finish. Returns the
    // top-level key, or empty with `failure()` set when the folder cannot be
    // read.
    QString run(const StartFolder& top);

    bool cancelled() const { return cancelled_; }
    const QString& failure() const { return failure_; }
    std::int64_t recordsWritten() const { return records_; }
    std::int64_t entriesSeen() const { return seen_; }
    std::int64_t skippedCount() const { return skippedCount_; }
    const std::vector<SkippedEntry>& firstSkipped() const { return skipped_; }
    // Bytes below the folder of the last walk.
    std::uint64_t lastTotal() const { return lastTotal_; }

private:
    struct Stop { };
    struct ParentKey {
        QString text;
        std::string bytes;
    };
    struct Frame {
        std::int64_t srNo; // 0: a folder without a record
        std::uint64_t bytes;
    };

    void list(Folder& folder, const ParentKey* parent);
    std::int64_t store(std::string_view key, const std::string& parent, std::string_view name,
        std::string_view path, std::string_view size, std::string_view date);
    void setSize(std::int64_t srNo, std::uint64_t bytes);
    void closeFrame();
    void skip(std::string_view name, const QString& reason);
    void checkProgress();
    void begin();
    void commit();
    std::int64_t nextKeyNumber();

    SQLite::Database& db_;
    std::string databaseName_;
    std::int64_t nextKey_;
    ScanListener* listener_;
    FileSystem& fs_;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* update_ = nullptr;

    std::unique_ptr<Folder> start_;
    std::string startPath_;
    EntryInfo startInfo_;
    std::uint64_t device_ = 0;
    std::string path_; // the folder being read, with its closing "/"
    std::string delKey_;
    std::vector<Frame> frames_;
    std::int64_t topSrNo_ = 0;
    std::uint64_t lastTotal_ = 0;

    bool inTransaction_ = false;
    int batchRows_ = 0;
    int batchSize_ = 4000;
    std::chrono::milliseconds interval_ {100};
    std::chrono::steady_clock::time_point lastProgress_;

    std::int64_t records_ = 0;
    std::int64_t seen_ = 0;
    std::int64_t skippedCount_ = 0;
    std::vector<SkippedEntry> skipped_;
    bool cancelled_ = false;
    QString failure_;
};

// One message naming how many entries were left out and the first few; empty
// when none was.
QString skippedReport(const FolderScan& scan);

// A path for people: bytes that are not UTF-8 appear as \xNN.
QString displayPath(std::string_view bytes);

// The key NextNodeKey gives on the tree LoadTree builds for `databaseName`
// from the records in `db`. `taken` tells whether that tree already holds it
// (it can only when the keys have run out).
QString nextKeyForCatalogue(SQLite::Database& db, const QString& databaseName, bool* taken = nullptr);

} // namespace qm
