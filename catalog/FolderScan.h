#pragma once
// The folder scan: walks a folder depth first in listing order and writes one
// record of main for every folder and file in it. The main window and the
// command line share it.
//
// Each folder is listed once and each entry looked at once. A folder's record
// is queued as soon as the walk reaches it, so every folder comes before its
// content; its size, the total of every file below it (hidden ones included),
// is filled in when its own walk ends. Hidden entries (name starting with
// ".") and entries that are neither files nor folders (links, sockets, FIFOs,
// devices) get no record; the walk stays on the start folder's file system.
// Records go in through a prepared multi-row insert, in transactions that
// each hold many rows.
#include "catalog/CatalogueKeys.h"
#include "platform/FileSystem.h"
#include "platform/Recordset.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <future>
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
    // About once a progress interval: the entries seen so far and the folder
    // being read. False stops the scan. The store may be inside a
    // transaction: whatever runs from here must not write to it.
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
    // Rows go in this many at a time through one prepared multi-row insert;
    // a shorter rest goes in one by one.
    static constexpr int kRowsPerInsert = 32;

    // Writes through `db`, stamping `databaseName`. Node keys count up from
    // `floorKey`, or from above every key the catalogue ever had when that is
    // higher. Throws DbError when the store refuses the statements.
    FolderScan(SQLite::Database& db, const QString& databaseName, std::int64_t floorKey,
        ScanListener* listener = nullptr, FileSystem& fs = fileSystem());
    // Stores what is pending.
    ~FolderScan();
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }
    // A transaction ends after this many rows or this long, whichever comes
    // first: each commit waits for the disk, so they are kept few.
    void setBatch(int rows, std::chrono::milliseconds age)
    {
        batchRows_ = rows > 0 ? rows : 1;
        batchAge_ = age;
    }

    // Opens the folder a run starts from and starts checking the store, which
    // the first commit waits for. Empty on success, otherwise why the folder
    // cannot be read; nothing has been written then.
    QString openStart(const QString& folderPath);
    // A new node key, reserved for the catalogue: one more than the last one
    // given, unless another writer took the keys in between.
    QString newKey();
    // Stores the top-level folder's record: parent the root, its own key as
    // delete key; its size follows when the walk of the start folder ends.
    // Throws DbError when the store refuses it.
    void addTopFolder(const StartFolder& top, const QString& key);
    // Records everything inside `fPath` under the node `sParent`, every
    // record with `delKey`. Unreadable entries are skipped and counted; a
    // store failure or the listener's cancel ends the walk, keeping what was
    // written.
    void walk(const QString& fPath, const QString& sParent, const QString& delKey);
    // Stores what is pending, gives unused keys back and ends the transaction.
    void finish();

    // A whole run: open, top-level record, walk, finish. Returns the
    // top-level key, or empty with `failure()` set when the folder cannot be
    // read.
    QString run(const StartFolder& top);

    // The key of the run's top-level folder; empty for a walk below a node.
    const QString& topKey() const { return topKey_; }
    bool cancelled() const { return cancelled_; }
    const QString& failure() const { return failure_; }
    // The store reported its file damaged; nothing more is written.
    bool storeDamaged() const { return storeDamaged_; }
    std::int64_t recordsWritten() const { return records_; }
    // How many records of the run the table holds now, counted there: those
    // with its delete key in its catalogue. A transaction the store rolled
    // back took its records with it. Throws DbError when the store cannot
    // tell.
    std::int64_t recordsKept() const;
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
    // A record waiting for the next insert.
    struct Row {
        std::int64_t key;
        std::string keyText, parent, name, path, size, date, delKey;
        QString parentText;
        std::uint64_t bytes; // a folder's is known when its walk ends
        std::int64_t created, modified;
        bool folder;
        bool announce; // the listener hears of it (not of the top-level folder)
    };
    // Where a folder's size goes once its walk ends: a waiting row, a stored
    // record, or nowhere (a folder without a record).
    struct SizeTarget {
        int row = -1;
        std::int64_t srNo = 0;
    };
    struct Frame {
        SizeTarget target;
        std::uint64_t bytes;
    };

    void list(Folder& folder, const ParentKey* parent);
    SizeTarget queue(std::int64_t key, std::string_view parent, const QString& parentText,
        std::string_view name, std::string_view path, bool folder, const EntryInfo& info);
    void flush();
    void stored(int first, int count, std::int64_t firstSrNo);
    void setSize(SizeTarget& target, std::uint64_t bytes);
    void closeFrame();
    void unwind();
    void skip(std::string_view name, const QString& reason);
    void checkProgress();
    void begin();
    void commit();
    std::int64_t nextKeyNumber();
    // The store's last error: a damaged file stops everything with its own message.
    DbError storeError();
    DbError storeError(int code, const char* text);

    SQLite::Database& db_;
    std::string databaseName_;
    KeyReservation keys_;
    ScanListener* listener_;
    FileSystem& fs_;
    sqlite3_stmt* insertMany_ = nullptr;
    sqlite3_stmt* insertOne_ = nullptr;
    sqlite3_stmt* update_ = nullptr;

    std::future<QString> health_; // the store's check, running beside the walk
    std::unique_ptr<Folder> start_;
    std::string startPath_;
    EntryInfo startInfo_;
    std::uint64_t device_ = 0;
    std::string path_; // the folder being read, with its closing "/"
    std::string delKey_;
    QString topKey_; // the run's top-level folder, once stored
    std::vector<Frame> frames_;
    SizeTarget top_;
    bool topPending_ = false;
    std::uint64_t lastTotal_ = 0;

    std::vector<Row> rows_; // storage kept between inserts
    int waiting_ = 0; // rows_[0, waiting_) wait for the insert

    bool inTransaction_ = false;
    int transactionRows_ = 0;
    int batchRows_ = 50000;
    std::chrono::milliseconds batchAge_ {500};
    std::chrono::steady_clock::time_point transactionStart_;
    std::chrono::milliseconds interval_ {100};
    std::chrono::steady_clock::time_point lastProgress_;

    std::int64_t records_ = 0;
    std::int64_t firstSrNo_ = 0; // of the run's first stored record
    std::int64_t seen_ = 0;
    std::int64_t skippedCount_ = 0;
    std::vector<SkippedEntry> skipped_;
    bool cancelled_ = false;
    bool storeDamaged_ = false;
    QString failure_;
};

// One message naming how many entries were left out and the first few; empty
// when none was.
QString skippedReport(const FolderScan& scan);
QString skippedReport(std::int64_t count, const std::vector<SkippedEntry>& first);

// "N record(s)" of the run in the table, or that they cannot be counted and why.
QString keptText(const FolderScan& scan);

// A path for people: bytes that are not UTF-8 appear as \xNN.
QString displayPath(std::string_view bytes);

} // namespace qm
