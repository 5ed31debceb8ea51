// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stage that may work on several entries of a batch at once: reading each
// file's content, say, with several reads in flight where the disk gains by
// it (and one at a time where it does not: a rotating disk).
//
// The pipeline gives such a stage inFlight() - 1 helper threads beside its
// own. For each batch, in walk order: prepare() once on the stage's thread,
// then processEntry() once for every entry, the stage's thread and its
// helpers taking the entries by turns, so that up to inFlight() of them run
// at once and in no set order. The batch is handed on when every entry of it
// is done, so the next stage and the writer see batches, and the entries in
// them, in walk order as always. The helpers end and are joined with every
// other thread in ScanPipeline::run().
//
// A stage's header says what it reads and what it adds, as any stage's does.
// processEntry() may change its own entry and what belongs to that entry
// alone (the element at its index of a vector prepare() sized); anything
// else it shares with the other entries is its own to guard. An exception
// out of processEntry() fails the stage as one out of process() would: the
// entries of the batch not yet begun are left as they are, and this batch
// and those after it go on unchanged, to a writer that no longer stores.
#include "catalog/scan/ScanPipeline.h"

#include <algorithm>
#include <cstddef>

namespace qm {

class ParallelStage : public ScanStage {
public:
    // Up to `inFlight` entries at once; 1 (or less) is one at a time.
    explicit ParallelStage(int inFlight)
        : inFlight_(std::max(1, inFlight))
    {
    }
    int inFlight() const { return inFlight_; }

    // Once for each batch, on the stage's own thread, before any entry of it.
    virtual void prepare(ScanBatch&) { }
    // Works on entry `index` of `batch`, beside other entries of the batch.
    virtual void processEntry(ScanBatch& batch, std::size_t index) = 0;

    // The same work one entry after the other, in order, on the calling
    // thread: for a caller that runs the stage outside a pipeline.
    void process(ScanBatch& batch) final
    {
        prepare(batch);
        for (std::size_t i = 0; i < batch.items.size(); ++i)
            processEntry(batch, i);
    }

private:
    int inFlight_;
};

} // namespace qm
