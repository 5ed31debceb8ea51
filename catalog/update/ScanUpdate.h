// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Updating a scan in place: the top-level folder is walked again and its
// stored records brought up to date in one transaction. Records of entries
// that are still there keep their key, serial number and delete key, so the
// register notes attached to them stay; changed sizes and dates are
// rewritten; new entries get new keys of the catalogue and are stored after
// every record there is, so each comes after its folder's; records of
// entries that are gone are deleted.
//
// The walk is the scan pipeline's (catalog/scan/ScanPipeline.h), with the
// folder scan's walker and sizes stage; the update is its writer, which
// compares each entry with its record as it comes (a folder once its size is
// known), on the calling thread and outside any transaction, while the
// scan's stored records are read beside it on another connection.
// The write transaction then only writes what the comparison found, unless
// the table changed since the records were read: then they are read and
// compared again there. A failure or a cancel rolls it back, leaving the old
// scan as it was.
//
// Asked to, it runs reading stages as a scan does (fingerprints, archive
// members, media details, thumbnails), after a KnownStage that tells them
// what the store holds for each file (catalog/scan/KnownStage.h): an
// unchanged file keeps its stored fingerprint, details and thumbnail unread,
// an unchanged archive its members; new and changed
// ones are read, and an archive listed again has its members' records
// replaced by the new listing. With fingerprints, a file that vanished and a
// file of the same size and fingerprint that appeared are one file moved:
// its record keeps its key, and with it its register notes, under the new
// path and parent (UpdateContents.cpp).
#include "catalog/FolderScan.h"
#include "catalog/update/UpdateSafety.h"
#include "platform/DiskIdentity.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <optional>
#include <vector>

namespace SQLite {
class Database;
class Statement;
}

namespace qm {

class CheckCarry;

struct UpdateCounts {
    std::int64_t added = 0;
    std::int64_t removed = 0;
    std::int64_t moved = 0; // records that followed their file to another path
    std::int64_t changed = 0;
    std::int64_t unchanged = 0;
    std::int64_t unread = 0; // records kept as they were: the walk could not read their entries
};

// "412 added, 37 removed, 19 changed, 5,120 unchanged" ("…, 3 moved, …"
// when files moved), and how many were kept as they were because they
// could not be read.
QString updateSummary(const UpdateCounts& counts);

class ScanUpdate;
// "Fingerprinted the contents of 3 file(s) (12 MB read); 120 unchanged
// file(s) kept their fingerprints."
QString fingerprintSummary(const ScanUpdate& update);
// "Listed 40 member(s) of 2 archive(s); 3 unchanged archive(s) kept their members."
QString archiveSummary(const ScanUpdate& update);

class ScanUpdate : private ScanWriter {
public:
    // Updates the scan of `top` in `catalogue` through `db`. The listener
    // hears of progress only; false from it cancels the update.
    ScanUpdate(SQLite::Database& db, const QString& catalogue, const TopFolder& top,
        ScanListener* listener = nullptr, FileSystem& fs = fileSystem());

    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // Asked after the walk and before anything is written when the update
    // looks like a slip (see UpdateSafety.h); true goes on. Without it such
    // an update is refused.
    void setConfirm(std::function<bool(const UpdateRisk&)> confirm) { confirm_ = std::move(confirm); }
    // Fingerprints new and changed files, and files that have none; an
    // unchanged file keeps its own unread. Before run().
    void setFingerprints(bool on) { fingerprints_ = on; }
    // Lists new and changed archives again (and those never listed).
    void setArchives(bool on) { archives_ = on; }
    // Makes thumbnails of new and changed pictures, and of those without one.
    void setThumbnails(bool on) { thumbnails_ = on; }
    // Reads the details of new and changed photos, music and videos, and of those without.
    void setMedia(bool on) { media_ = on; }

    // True when the scan was brought up to date. Otherwise nothing was
    // written, and failure() says why unless the listener cancelled.
    bool run();

    const UpdateCounts& counts() const { return counts_; }
    bool cancelled() const { return cancelled_; }
    const QString& failure() const { return failure_; }
    // Not made because it looked like a slip and was not confirmed.
    bool refused() const { return refused_; }
    // Entries left out, and files whose contents could not be read.
    std::int64_t skippedCount() const { return skippedCount_; }
    const std::vector<SkippedEntry>& firstSkipped() const { return skipped_; }
    // Files read for their fingerprint, and unchanged ones that kept theirs.
    std::int64_t filesFingerprinted() const { return filesRead_; }
    std::int64_t fingerprintsKept() const { return filesReused_; }
    std::uint64_t bytesRead() const { return bytesRead_; }
    const ArchiveStage& archiveStage() const { return archiveStage_; }
    // The thumbnail stage of the last walk; null without thumbnails.
    const ThumbnailStage* thumbnailStage() const { return thumbnailStage_.get(); }
    // The media stage of the last walk; null without media details.
    const MediaStage* mediaStage() const { return mediaStage_.get(); }

private:
    struct Stop { };
    struct Refused {
        QString why;
    };
    // A stored record of the scan, as the update compares it.
    struct Stored {
        std::int64_t srNo;
        std::string key, parent, size, date;
        std::optional<std::int64_t> bytes, created, modified;
        bool matched = false;
        KnownEntry known {}; // what the reading stages are told of it
    };
    // One entry the walk found, in walk order: a folder before its content.
    struct Entry {
        std::string path; // a folder's with its closing "/"
        size_t nameStart;
        int parent; // index of its folder's entry; -1 for the top-level folder
        bool folder;
        bool sized; // a file, or a folder whose walk has ended
        EntryInfo info; // a folder's size is the total below it
        // What the comparison found: the record it keeps (none: it is new),
        // whether its texts or numbers differ from it, and whether it is to
        // be rewritten (numbers missing count too). Its parent is compared
        // when written.
        Stored* record = nullptr;
        bool differs = false, rewrite = false;
        bool moved = false; // the record is that of a vanished file with its content
        std::uint8_t inArchive = 0; // a member of an archive: always new
        bool listed = false; // an archive listed again: its members' records are replaced
        bool fingerprinted = false, reused = false; // `print` was read, or kept from the store
        FileFingerprint print {};
        ItemThumbnail thumbnail {}; // made in this update; empty: none made
        MediaDetails media {}; // read in this update
        bool mediaTried = false; // the media stage looked at the file (it had changed, or had none)
    };
    // What is read of the stored records beside what the comparison needs.
    struct LoadWhat {
        bool fingerprints = false; // their fingerprints
        bool members = false; // whether archive members hang below an archive
        bool thumbnails = false; // whether a picture has a thumbnail
        bool media = false; // whether a photo, music or video file has details
    };
    // The scan's records, found by the bytes of their paths, and the state
    // of the table they were read in. The records stay apart from the index
    // so that its nodes stay small: a look-up touches few cache lines.
    struct StoredScan {
        std::vector<Stored> records;
        std::unordered_map<std::string, size_t> byPath; // into records
        std::vector<std::pair<std::int64_t, std::string>> duplicates; // records of a path after its first: SrNO, key
        std::int64_t withoutPath = 0; // records below the folder without a path
        std::pair<std::int64_t, std::int64_t> mark;
    };
    static StoredScan loadScan(SQLite::Database& db, const std::string& catalogue, const std::string& topKey,
        LoadWhat what, std::int64_t expected = 0);
    // What a record holds beside its numbers, read with it; in UpdateContents.cpp.
    static void loadKnown(SQLite::Database& db, const std::string& catalogue, SQLite::Statement& st,
        Stored& record, const std::string& path, LoadWhat what);

    // The walk, with this update as the pipeline's writer.
    bool walk();
    void store(ScanBatch& batch) override;
    bool progress(std::int64_t entries, const QString& folder) override;
    void failed(const QString& why) override;
    // Takes the records read beside the walk once they are there (or waits
    // for them), and compares the entries that came before them.
    void adoptLoaded(bool wait);
    void compare(Entry& e);
    void compareAll();
    // Vanished files paired with new files of the same size and fingerprint.
    void findMoves();
    // The reading stages' lookup of what the store holds for a path.
    std::function<const KnownEntry*(std::string_view)> knownLookup() const;
    // What the write does beside the records, in UpdateContents.cpp.
    void storeFingerprint(SQLite::Statement& st, const Entry& e, std::int64_t srNo) const;
    void storeThumbnail(SQLite::Statement& st, const Entry& e, std::int64_t srNo) const;
    // The details of `e` stored under `srNo`, or what was kept of an older content dropped.
    void storeMedia(const Entry& e, std::int64_t srNo, bool changed);
    // The records of the members stored below `key`, all the way down, deleted; how many.
    std::int64_t removeMembers(SQLite::Statement& below, SQLite::Statement& remove, std::string key, CheckCarry& carry);
    // The size and date texts of `e`, into size_ and date_.
    void formatTexts(const Entry& e);
    // The write transaction.
    void write();
    bool unread(const std::string& path) const;
    // What makes an update a slip, in UpdateSafety.cpp: judged once the
    // walk has been compared, and checked again when the write transaction
    // had to read the records again.
    const DiskIdentity& diskNow();
    std::int64_t plannedRemovals(std::unordered_set<std::string>* keys) const;
    std::int64_t scanRecords() const;
    UpdateRisk judge();
    bool confirmRisk();
    void recheckRemovals();
    void checkProgress(std::int64_t done, const std::string& where);

    SQLite::Database& db_;
    QString catalogue_;
    TopFolder top_;
    ScanListener* listener_;
    FileSystem& fs_;
    std::uint64_t device_ = 0;
    std::vector<Entry> entries_;
    std::shared_future<std::shared_ptr<StoredScan>> loaded_; // the reading stages' lookup shares it
    std::shared_ptr<StoredScan> scan_; // once read beside the walk; entries_ are compared with it
    std::optional<DiskIdentity> diskNow_;
    std::function<bool(const UpdateRisk&)> confirm_;
    bool fingerprints_ = false, archives_ = false, thumbnails_ = false, media_ = false;
    LoadWhat loadWhat_;
    ArchiveStage archiveStage_;
    std::unique_ptr<ThumbnailStage> thumbnailStage_;
    std::unique_ptr<MediaStage> mediaStage_;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> insertMedia_ {nullptr, nullptr}, dropMedia_ {nullptr, nullptr};
    std::int64_t filesRead_ = 0, filesReused_ = 0;
    std::uint64_t bytesRead_ = 0;
    FingerprintStage* prints_ = nullptr; // while the walk runs
    bool adopted_ = false; // loaded_ was taken
    std::int64_t allowedRemovals_ = 0;
    bool refused_ = false;

    // The folders whose walk has not ended, by index into entries_.
    std::vector<int> open_;
    std::optional<QString> walkFailure_; // of this writer, its listener or a stage: the first

    // The caller's scratch texts.
    DateFormatter dates_;
    std::string size_;
    char date_[20] = {};
    UpdateCounts counts_;
    std::chrono::milliseconds interval_ {100};
    std::chrono::steady_clock::time_point lastProgress_;
    std::int64_t seen_ = 0;
    std::int64_t skippedCount_ = 0;
    std::vector<SkippedEntry> skipped_;
    std::unordered_set<std::string> unread_; // paths without a closing "/"
    bool cancelled_ = false;
    QString failure_;
};

} // namespace qm
