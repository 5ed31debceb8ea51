// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mounted disk checked against its scan: the top-level folder is walked and
// every file read again, through the scan pipeline with the folder walk and
// the fingerprint stage (several files in flight, one at a time on a
// rotating disk), and this check as the writer, which writes nothing: the
// store is only read, before the walk.
//
// What it tells: entries the scan holds that are gone (missing), entries it
// does not hold (new), files whose size or modification time differ
// (changed), files whose size and time are as recorded but whose contents
// are not (corrupt: the fingerprint differs), and entries that could not be
// read, which are never counted as the same. A file the scan holds no
// fingerprint for is compared by size and time alone, and counted so.
// Folders are told only when missing or new.
#include "catalog/FolderScan.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm {

enum class VerifyKind { Missing, New, Changed, Corrupt, Unreadable };

struct VerifyFinding {
    VerifyKind kind;
    QString path; // relative to the top-level folder; a folder's ends with "/"
    std::int64_t srNo = 0; // the record, where the scan holds one
    QString key;
    QString detail; // what differs, or why it could not be read
};

struct VerifyCounts {
    std::int64_t missing = 0, added = 0, changed = 0, corrupt = 0, unreadable = 0;
    std::int64_t same = 0; // files
    std::int64_t sameByContent = 0; // of them, read and found as fingerprinted
    std::int64_t bytesRead = 0;
};

class ScanVerify : private ScanWriter {
public:
    // Checks the disk at the path of `top` against its scan in `catalogue`,
    // read from `db`. The listener hears of progress only (content progress
    // among it); false from it stops the check.
    ScanVerify(SQLite::Database& db, const QString& catalogue, const TopFolder& top,
        ScanListener* listener = nullptr, FileSystem& fs = fileSystem());

    void setProgressInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // True when the whole folder was walked and read; false with failure()
    // set, or when stopped (cancelled()).
    bool run();

    // By kind's order of discovery: what the walk found, then what it did
    // not find, in path order within each.
    const std::vector<VerifyFinding>& findings() const { return findings_; }
    const VerifyCounts& counts() const { return counts_; }
    bool same() const { return findings_.empty(); }
    bool cancelled() const { return cancelled_; }
    const QString& failure() const { return failure_; }
    ContentProgress contentProgress() const;

private:
    struct Stored {
        std::int64_t srNo;
        std::string key;
        std::uint64_t bytes;
        std::int64_t modified;
        bool hashed; // a fingerprint that holds for the recorded size and time
        ContentHash hash;
        std::int64_t hashModifiedNs;
        bool matched = false;
    };
    struct PathHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view> {}(s); }
    };
    using StoredMap = std::unordered_map<std::string, Stored, PathHash, std::equal_to<>>;

    void load();
    void store(ScanBatch& batch) override;
    bool progress(std::int64_t entries, const QString& folder) override;
    void failed(const QString& why) override;
    void checkFile(std::string_view path, const ScanItem& item, const ItemContent* content);
    void afterWalk(const std::unordered_set<std::string>& unread);
    void add(VerifyKind kind, std::string_view path, const Stored* record, QString detail);

    SQLite::Database& db_;
    QString catalogue_;
    TopFolder top_;
    ScanListener* listener_;
    FileSystem& fs_;
    std::chrono::milliseconds interval_ {100};
    std::string topPath_; // the bytes the walk's paths begin with
    StoredMap stored_;
    FingerprintStage* contents_ = nullptr; // while the walk runs
    std::int64_t entriesShown_ = 0;
    std::vector<VerifyFinding> findings_;
    VerifyCounts counts_;
    std::optional<QString> walkFailure_;
    bool cancelled_ = false;
    QString failure_;
    ContentProgress lastProgress_;
};

// "2 missing, 1 new, 3 changed, 1 corrupt, 1 could not be read, 5,120 the
// same (4,000 read and found as fingerprinted, 1,120 by size and time alone)"
QString verifySummary(const VerifyCounts& counts);

// "missing", "new", "changed", "corrupt", "could not be read"
QString verifyKindText(VerifyKind kind);

} // namespace qm
