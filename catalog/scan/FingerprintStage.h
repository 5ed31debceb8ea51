// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fingerprint stage of the folder scan: reads every file of a batch and
// adds its content fingerprint (platform/FileFingerprint.h).
//
// Reads: each File's path. Adds: `contents`, one for each item, with the
// fingerprint of each file that could be read whole; a file that cannot be
// read is skipped and counted, and keeps its record. Works on one batch at a
// time but on several of its files at once, on readers of its own (one on a
// rotating disk, so that the head does not seek between files), largest file
// first so that the batch's end does not wait on one long read.
//
// In an update (KnownStage.h) a file whose stored fingerprint was taken at
// the size and modification time (to the nanosecond) the file has now keeps
// that fingerprint unread (`ItemContent::reused`); a file without one, or
// changed since, is read.
//
// While it reads it asks the pipeline for progress reports itself: the
// walker, waiting for it, asks none. A "no" to any report, its own or the
// walker's (cancel()), ends every read at its next block and stops the walk;
// the batches already walked still go to the writer, without fingerprints.
#include "catalog/scan/ScanPipeline.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

// Why a file's contents could not be read, for people, from the errno value
// the reader gave (see FingerprintReader::fingerprint).
QString contentReadError(int error);

// How far the reads of a scan got, for a progress line.
struct ContentProgress {
    std::uint64_t read = 0; // bytes read so far
    std::uint64_t found = 0; // bytes of the files the walk found so far
    double seconds = 0; // since the first read
    bool walkEnded = false; // `found` is all there is to read

    // "1.2 GB of 3.4 GB read, 350 MB/s, about 0:06 left"
    QString text() const;
};

class FingerprintStage : public ScanStage {
public:
    static constexpr int kSkippedKept = 5;

    // Reads files of the file system `device` only, `readers` at once.
    FingerprintStage(std::uint64_t device, int readers);
    ~FingerprintStage() override;
    FingerprintStage(const FingerprintStage&) = delete;
    FingerprintStage& operator=(const FingerprintStage&) = delete;

    // How many files to read at once from the file system `device`.
    static int readersFor(std::uint64_t device);

    // The pipeline of the walk about to run (null after it), and how often
    // to ask it for a progress report.
    void attach(ScanPipeline* pipeline, bool progressOn, std::chrono::milliseconds interval);
    void process(ScanBatch& batch) override;

    // From any thread: every read ends at its next block, none begins.
    void cancel();
    bool cancelled() const { return cancelled_.load(); }

    ContentProgress progress() const;
    std::int64_t filesRead() const { return filesRead_.load(); }
    // Unchanged files of an update that kept their stored fingerprint.
    std::int64_t filesReused() const { return filesReused_.load(); }
    // Every byte read from files so far.
    std::uint64_t bytesRead() const { return bytesRead_.load(); }
    std::int64_t skippedCount() const;
    std::vector<SkippedEntry> firstSkipped() const;

private:
    void work();
    // Keeps the stored fingerprint of an unchanged file; true when it did.
    bool reuse(ScanBatch& batch, size_t index);
    void read(ScanBatch& batch, std::uint32_t index, FingerprintReader& reader);
    void waitForReaders();

    const std::uint64_t device_;
    ScanPipeline* pipeline_ = nullptr;
    bool progressOn_ = false;
    std::chrono::milliseconds interval_ {100};
    std::chrono::steady_clock::time_point lastAsk_;

    std::atomic<bool> stop_ {false}; // every read ends at its next block
    std::atomic<bool> cancelled_ {false};
    std::atomic<std::uint64_t> bytesRead_ {0};
    std::atomic<std::uint64_t> bytesFound_ {0};
    std::atomic<bool> walkEnded_ {false};
    std::atomic<std::int64_t> filesRead_ {0};
    std::atomic<std::int64_t> filesReused_ {0};
    std::atomic<std::int64_t> entries_ {0};
    // When the first read began, in steady-clock nanoseconds; 0 before. Read
    // by the thread that answers progress reports.
    std::atomic<std::int64_t> startedNs_ {0};

    // The readers and the batch they share.
    mutable std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> readers_;
    const int readerCount_;
    ScanBatch* batch_ = nullptr;
    std::vector<std::uint32_t> order_; // the batch's files, in the order they are read
    std::atomic<size_t> next_ {0};
    int busy_ = 0; // readers not yet through the batch
    std::uint64_t round_ = 0; // one a batch
    bool quit_ = false;
    std::atomic<std::uint32_t> lastStarted_ {0}; // the item read last begun, for the progress report
    std::int64_t skippedCount_ = 0; // under mutex_
    std::vector<SkippedEntry> skipped_; // under mutex_
};

} // namespace qm
