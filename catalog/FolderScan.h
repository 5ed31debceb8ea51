// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder scan: walks a folder depth first in listing order and writes one
// record of main for every folder and file in it. The main window and the
// command line share it.
//
// It runs the scan pipeline (catalog/scan/ScanPipeline.h) with the folder
// walk, the sizes stage, and itself as the writer: every folder's record
// comes before its content, and its size, the total of every file below it
// (hidden ones included), goes in with the record when its walk ended in the
// same batch and is filled in where it is stored otherwise. Records go in
// through a prepared multi-row insert in transactions that each hold many
// rows, and the listener is told of each on the thread that called walk().
// The walker waits for that thread only when a progress report is due, so a
// cancel stops it exactly where the report was asked for; a store failure
// stops it at its next entry.
#include "catalog/CatalogueKeys.h"
#include "catalog/store/Store.h"
#include "catalog/TopFolder.h"
#include "catalog/scan/ArchiveStage.h"
#include "catalog/scan/FingerprintStage.h"
#include "catalog/scan/FolderWalker.h"
#include "catalog/scan/MediaStage.h"
#include "catalog/scan/ScanPipeline.h"
#include "catalog/scan/ScanTexts.h"
#include "catalog/scan/ThumbnailStage.h"
#include "platform/FileSystem.h"
#include "platform/Recordset.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3_stmt;
namespace SQLite {
class Database;
}

namespace qm {

// One stored record, as the tree needs it.
struct ScannedEntry {
    std::int64_t key; // the number of the node key
    const QString& parentKey;
    std::string_view name; // UTF-8
    bool folder;
};

// Told on the thread that runs the scan (the one calling walk() or run()),
// never on the walker's.
class ScanListener {
public:
    virtual ~ScanListener() = default;
    // A record was stored. An exception stops the scan as a failure.
    virtual void entryStored(const ScannedEntry& entry) = 0;
    // About once a progress interval: the entries seen so far and the folder
    // being read. The walk waits for the answer; false stops it there. The
    // store may be inside a transaction: whatever runs from here must not
    // write to it.
    virtual bool progress(std::int64_t entries, const QString& folder) = 0;
    // The same, when the scan reads file contents: how far the reads got.
    virtual bool contentProgress(std::int64_t entries, const QString& folder, const ContentProgress& read)
    {
        (void)read;
        return progress(entries, folder);
    }
};

class FolderScan : private ScanWriter {
public:
    static constexpr int kSkippedKept = FolderWalker::kSkippedKept;
    // Rows go in this many at a time through one prepared multi-row insert;
    // a shorter rest goes in one by one.
    static constexpr int kRowsPerInsert = 32;
    // The walker hands rows on this many at a time.
    static constexpr int kRowsPerBatch = FolderWalker::kRowsPerBatch;
    static_assert(kRowsPerBatch % kRowsPerInsert == 0);

    // Writes through `db`, stamping `databaseName`. Node keys count up from
    // `floorKey`, or from above every key the catalogue ever had when that is
    // higher. Throws DbError when the store refuses the statements.
    FolderScan(SQLite::Database& db, const QString& databaseName, std::int64_t floorKey,
        ScanListener* listener = nullptr, FileSystem& fs = fileSystem());
    // Stores what is pending.
    ~FolderScan() override;
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }
    // Lists the members of archive files as records below theirs.
    void setArchives(bool on) { archives_ = on; }
    bool archives() const { return archives_; }
    // What the archive stage found, over every walk of the run.
    const ArchiveStage& archiveStage() const { return archiveStage_; }
    // A transaction ends after this many rows or this long, whichever comes
    // first: each commit waits for the disk, so they are kept few.
    void setBatch(int rows, std::chrono::milliseconds age)
    {
        batchRows_ = rows > 0 ? rows : 1;
        batchAge_ = age;
    }

    // Reads every file and stores its content fingerprint beside its
    // record, in the transaction of the record. Before openStart().
    void setFingerprints(bool on) { fingerprinting_ = on; }
    bool fingerprinting() const { return fingerprinting_; }
    // Reads what photos, music and videos say about themselves from their
    // headers and stores it beside their records (table media), in the
    // transaction of the record. Before openStart().
    void setMedia(bool on) { media_ = on; }
    bool readsMedia() const { return media_; }
    // Files whose details were stored, and those of a known format whose
    // headers could not be understood (they keep their records).
    std::int64_t mediaStored() const { return mediaStored_; }
    std::int64_t mediaNotUnderstood() const { return mediaStage_ ? mediaStage_->filesNotUnderstood() : 0; }

    // Makes a thumbnail of every picture and stores it beside its record,
    // in the transaction of the record. Before openStart().
    void setThumbnails(bool on) { thumbnails_ = on; }
    bool thumbnailing() const { return thumbnails_; }
    // What the thumbnail stage found, over every walk of the run; null
    // before a walk made thumbnails.
    const ThumbnailStage* thumbnailStage() const { return thumbnailStage_.get(); }
    std::int64_t thumbnailsStored() const { return thumbnailsStored_; }

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
    // written. Returns once the walk and the store have both ended.
    void walk(const QString& fPath, const QString& sParent, const QString& delKey);
    // Stores what is pending, gives unused keys back and ends the transaction.
    void finish();

    // A whole run: open, top-level record, walk, finish. Returns the
    // top-level key, or empty with `failure()` set when the folder cannot be
    // read.
    QString run(const StartFolder& top);

    // The key of the run's top-level folder; empty for a walk below a node.
    const QString& topKey() const { return topKey_; }
    bool cancelled() const { return walker_.cancelled() || (contents_ && contents_->cancelled()); }
    const QString& failure() const { return failure_; }
    // The store reported its file damaged; nothing more is written.
    bool storeDamaged() const { return storeDamaged_; }
    std::int64_t recordsWritten() const { return records_; }
    // How many records of the run the table holds now, counted there: those
    // with its delete key in its catalogue. A transaction the store rolled
    // back took its records with it. Throws DbError when the store cannot
    // tell.
    std::int64_t recordsKept() const;
    std::int64_t entriesSeen() const { return walker_.entriesSeen(); }
    // Entries left out, and files whose contents could not be read.
    std::int64_t skippedCount() const;
    std::vector<SkippedEntry> firstSkipped() const;
    // Fingerprints stored by the run.
    std::int64_t fingerprintsStored() const { return fingerprintsStored_; }
    ContentProgress contentProgress() const { return contents_ ? contents_->progress() : ContentProgress {}; }
    // Bytes below the folder of the last walk.
    std::uint64_t lastTotal() const { return lastTotal_; }

private:
    struct Pending;
    // A recorded folder whose walk has not ended, as the store sees it.
    struct OpenFolder {
        QString key;
        std::string keyBytes;
        std::int64_t srNo; // 0 until stored, and for ever when refused
        int pending; // its row among those waiting for the insert, or -1
        bool raw; // its path is not valid UTF-8
    };
    // Where the top-level folder's size goes: a stored record, or nowhere.
    struct SizeTarget {
        std::int64_t srNo = 0;
    };

    // The writer's side of the pipeline, on the caller's thread.
    void store(ScanBatch& batch) override;
    bool progress(std::int64_t entries, const QString& folder) override;
    void failed(const QString& why) override;
    void queue(const ScanItem& item, const ScanBatch& batch);
    void fail(const char* text);
    void flush();
    void stored(int first, int count, std::int64_t firstSrNo);
    // The fingerprints of rows_[0, count), stored just now.
    void storeFingerprints(int count);
    // The thumbnails of rows_[0, count), stored just now.
    void storeThumbnails(int count);
    // The media details of rows_[0, count), stored just now.
    void storeMedia(int count);
    void carryTreeCheck();
    void setSize(std::int64_t srNo, std::uint64_t bytes);
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
    sqlite3_stmt* insertFingerprint_ = nullptr; // while fingerprinting
    sqlite3_stmt* insertThumbnail_ = nullptr; // while making thumbnails
    sqlite3_stmt* insertMedia_ = nullptr; // while reading media details

    std::future<QString> health_; // the store's check, running beside the walk
    std::optional<Store::KeptMark> mark_; // taken as the run began, before the store's check
    std::optional<std::string> beganAt_; // main's stamp for the tree checks, read after mark_ was taken
    bool ownBranch_ = true; // every walk so far went below the run's own top-level folder
    std::unique_ptr<Folder> start_;
    std::string startPath_;
    EntryInfo startInfo_;
    std::string delKey_;
    QString topKey_; // the run's top-level folder, once stored
    SizeTarget top_;
    bool topPending_ = false;
    std::uint64_t lastTotal_ = 0;

    FolderWalker walker_;
    bool archives_ = false;
    ArchiveStage archiveStage_;
    bool fingerprinting_ = false;
    std::unique_ptr<FingerprintStage> contents_; // from the first walk that reads contents
    std::int64_t fingerprintsStored_ = 0;
    bool thumbnails_ = false;
    std::unique_ptr<ThumbnailStage> thumbnailStage_; // from the first walk that makes thumbnails
    std::int64_t thumbnailsStored_ = 0;
    bool media_ = false;
    std::unique_ptr<MediaStage> mediaStage_; // from the first walk that reads media details
    std::int64_t mediaStored_ = 0;
    std::int64_t entriesShown_ = 0; // the most a progress report told: the walker runs ahead of the reads
    ScanPipeline* pipeline_ = nullptr; // while a walk runs
    std::uint64_t device_ = 0; // the file system the run keeps to
    QString parentKey_; // of the walk's top level
    std::string parentBytes_;

    // The store's own.
    std::vector<OpenFolder> open_;
    std::vector<Pending> rows_; // storage kept between inserts
    int waiting_ = 0; // rows_[0, waiting_) wait for the insert
    int rawWaiting_ = 0; // of them, with a path that is not valid UTF-8
    bool foundSound_ = false; // the store's check found nothing wrong
    DateFormatter dates_;
    bool failed_ = false; // nothing more goes in; folder sizes still do where they can
    bool inTransaction_ = false;
    int transactionRows_ = 0;
    int batchRows_ = 50000;
    std::chrono::milliseconds batchAge_ {500};
    std::chrono::steady_clock::time_point transactionStart_;
    std::chrono::milliseconds interval_ {100};

    std::int64_t records_ = 0;
    std::int64_t firstSrNo_ = 0; // of the run's first stored record
    // The count finish() committed, good while the table is as it left it:
    // no change through this connection, no commit by another.
    struct Counted {
        std::int64_t records = -1;
        std::int64_t changes = 0, version = 0;
    };
    Counted counted_;
    std::int64_t dataVersion() const;
    bool storeDamaged_ = false;
    QString failure_;
};

// One message naming how many entries were left out and the first few; empty
// when none was.
QString skippedReport(const FolderScan& scan);

// One message naming the archives whose members could not be listed and the
// listings that stopped early; empty when there were none.
QString archiveReport(const FolderScan& scan);
QString archiveReport(const ArchiveStage& stage);

// One message naming the pictures that got no thumbnail; empty when none.
QString thumbnailReport(const FolderScan& scan);

// "N record(s)" of the run in the table, or that they cannot be counted and why.
QString keptText(const FolderScan& scan);

} // namespace qm
