// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The thumbnail stage of the folder scan: makes a thumbnail of every picture
// on the disk (catalog/scan/Thumbnails.h).
//
// Reads: each File's name and path, for files on the disk (members of
// archives are never opened). Adds: `thumbnails`, one for each item, with
// the thumbnail of each picture one could be made of; a picture that gives
// none (broken, hostile, or carrying neither a preview nor a format Qt
// decodes) keeps its record and is counted as skipped. Works on several
// pictures of a batch at once (one at a time on a rotating disk). Runs after
// the archive stage, which adds items to a batch.
#include "catalog/scan/ParallelStage.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qm {

class ThumbnailStage : public ParallelStage {
public:
    static constexpr int kSkippedKept = 5;

    // Opens files of the file system `device` only, `inFlight` at once.
    ThumbnailStage(std::uint64_t device, int inFlight);
    // How many pictures to read at once from the file system `device`.
    static int inFlightFor(std::uint64_t device);

    // The pipeline of the walk about to run (null after it): once it stops,
    // no more pictures are begun.
    void attach(const ScanPipeline* pipeline) { pipeline_ = pipeline; }

    void prepare(ScanBatch& batch) override;
    void processEntry(ScanBatch& batch, std::size_t index) override;

    std::int64_t made() const { return made_.load(); }
    std::int64_t fromPreviews() const { return fromPreviews_.load(); }
    // Pictures an update found unchanged, whose thumbnails stay as they are.
    std::int64_t kept() const { return kept_.load(); }
    std::int64_t skippedCount() const;
    std::vector<SkippedEntry> firstSkipped() const;

private:
    const std::uint64_t device_;
    std::atomic<const ScanPipeline*> pipeline_ {nullptr};
    std::atomic<std::int64_t> made_ {0}, fromPreviews_ {0}, kept_ {0};
    mutable std::mutex mutex_;
    std::int64_t skippedCount_ = 0; // under mutex_
    std::vector<SkippedEntry> skipped_; // under mutex_
};

// One message naming how many pictures got no thumbnail and the first few;
// empty when every one did.
QString thumbnailReport(const ThumbnailStage& stage);

} // namespace qm
