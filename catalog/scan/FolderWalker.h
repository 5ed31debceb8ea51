// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The walk of the folder scan and of the update, on the pipeline's walker
// thread: lists each folder once, depth first in listing order, and hands on
// one entry for every file and folder that gets a record, a Close when a
// listed folder's walk ends, and an End when the whole walk ends.
//
// Reads: the file system. Produces: each entry's path, name, kind, size,
// creation and modification times; and on each Close and End the bytes of
// what lies there without a record (hidden entries, and everything below a
// hidden folder), which only the walk sees. Folder totals are the sizes
// stage's. Hidden entries (name starting with ".") and entries that are
// neither files nor folders get no record; the walk stays on the file system
// it started on. An entry that cannot be read is skipped and counted.
#include "catalog/scan/ScanBatch.h"
#include "platform/FileSystem.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qm {

class ScanPipeline;

class FolderWalker {
public:
    static constexpr int kSkippedKept = 5;
    // Entries are handed on this many records at a time.
    static constexpr int kRowsPerBatch = 2048;

    explicit FolderWalker(FileSystem& fs)
        : fs_(fs)
        , lastProgress_(std::chrono::steady_clock::now())
    {
    }

    // Progress reports are asked for about this often; never when off.
    void setProgress(bool on, std::chrono::milliseconds interval)
    {
        progressOn_ = on;
        interval_ = interval;
    }
    // The file system the walk keeps to.
    void setDevice(std::uint64_t device) { device_ = device; }
    // Hands entries on this many records at a time (at most kRowsPerBatch):
    // fewer where a stage adds many entries to one, as archive members are.
    void setRowsPerBatch(int rows) { rowsPerBatch_ = rows > 0 && rows < kRowsPerBatch ? rows : kRowsPerBatch; }
    // Keeps the path of every entry skipped, for a writer whose records of
    // them must stay as they are (the update).
    void keepUnreadPaths(bool on) { keepUnread_ = on; }

    // Walks `folder`, whose path (with its closing "/") is `path`, handing
    // its entries on through `pipeline`. Ends early, handing on what it has,
    // when the pipeline stops or a progress answer says so.
    void walk(std::unique_ptr<Folder> folder, const std::string& path, ScanPipeline& pipeline);
    // Counts a folder that could not be opened to be walked.
    void skipFolder(const std::string& path, const QString& reason);

    bool cancelled() const { return cancelled_; }
    // Why the last walk ended early other than by a stop; empty otherwise.
    const QString& failure() const { return failure_; }
    std::int64_t entriesSeen() const { return seen_; }
    std::int64_t skippedCount() const { return skippedCount_; }
    const std::vector<SkippedEntry>& firstSkipped() const { return skipped_; }
    // With keepUnreadPaths(): the paths skipped, without a closing "/"
    // (except the root's); everything below each is unread too.
    const std::unordered_set<std::string>& unreadPaths() const { return unread_; }
    // When a progress report was last asked for: a writer that goes on
    // reporting after the walk keeps the same pace.
    std::chrono::steady_clock::time_point lastProgress() const { return lastProgress_; }

private:
    struct Stop { };
    void list(Folder& folder, bool record);
    void add(ScanItem::Kind kind, std::string_view name, const EntryInfo& info);
    void close(ScanItem::Kind kind);
    void handOn();
    void skip(std::string_view name, const QString& reason);
    void checkProgress();

    FileSystem& fs_;
    ScanPipeline* pipeline_ = nullptr;
    std::unique_ptr<ScanBatch> filling_;
    std::uint64_t device_ = 0;
    int rowsPerBatch_ = kRowsPerBatch;
    std::string path_; // the folder being read, with its closing "/"
    // The bytes without a record directly in each listed folder being walked,
    // the walked folder first.
    std::vector<std::uint64_t> unlisted_;
    std::int64_t seen_ = 0;
    std::int64_t skippedCount_ = 0;
    std::vector<SkippedEntry> skipped_;
    bool keepUnread_ = false;
    std::unordered_set<std::string> unread_;
    bool cancelled_ = false;
    QString failure_;
    bool progressOn_ = false;
    std::chrono::milliseconds interval_ {100};
    std::chrono::steady_clock::time_point lastProgress_;
};

} // namespace qm
