// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How an update runs reading stages: this stage goes first and tells each
// file entry what the store already holds for its path, so that a stage
// after it can leave an unchanged file alone instead of reading it again.
//
// Reads: each File's path (not of a member of an archive). Adds: `known`,
// one for each item of the batch, pointing at what the writer's lookup
// gives for the path (its size and modification time, the fingerprint kept
// for it, whether archive members hang below it), or null for a path the
// store does not hold. Works on one batch at a time.
//
// A stage that reads file contents (a fingerprint, media details, a
// thumbnail) looks at `ScanBatch::knownOf(i)`: when the entry's size and
// modification time are those of the record, it may keep what is stored and
// say so in what it adds; otherwise it reads as in a first scan. The update
// stores what it is handed. A stage that adds items (the archive stage)
// keeps `known` in step with them. A scan has no such stage: `known` stays
// empty and every entry is new.
#include "catalog/scan/ScanPipeline.h"

#include <functional>
#include <string_view>

namespace qm {

class KnownStage : public ScanStage {
public:
    // What the store holds for a path (the bytes the walk gives), or null.
    // Called on the stage's thread, one path after another; what it points
    // at must stay as it is until the writer has stored the batch.
    using Lookup = std::function<const KnownEntry*(std::string_view path)>;

    explicit KnownStage(Lookup lookup)
        : lookup_(std::move(lookup))
    {
    }
    void process(ScanBatch& batch) override;

private:
    Lookup lookup_;
};

} // namespace qm
