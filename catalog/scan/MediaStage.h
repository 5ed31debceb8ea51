// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media stage of the folder scan: reads the headers of photos, music
// and videos (by their names' endings; see MediaDetails.h) for what they say
// about themselves.
//
// Reads: each File on disk whose name's ending is a photo, audio or video
// format, by its path. Adds: `media`, one for each item of the batch, with
// the details of each such file that could be read; any other entry's, and
// one that could not be read or understood, is left empty (the file keeps its
// record). Members of archives are never opened. Works on several entries of
// a batch at once; it runs after the archive stage, so that what it adds
// lines up with the batch's final entries.
#include "catalog/scan/ParallelStage.h"

#include <atomic>
#include <cstdint>

namespace qm {

class MediaStage : public ParallelStage {
public:
    explicit MediaStage(int inFlight);

    void prepare(ScanBatch& batch) override;
    void processEntry(ScanBatch& batch, std::size_t index) override;

    // Files whose details were read, and those of a known format that could
    // not be.
    std::int64_t filesRead() const { return read_.load(); }
    std::int64_t filesNotUnderstood() const { return failed_.load(); }
    // Files an update found unchanged, whose details stay as they are.
    std::int64_t filesKept() const { return kept_.load(); }

private:
    std::atomic<std::int64_t> read_ {0}, failed_ {0}, kept_ {0};
};

} // namespace qm
