// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sizes stage of the folder scan: a folder's size is the total of every
// file below it, hidden ones included.
//
// Reads: each File's size, the Folder/Close nesting, and on each Close and
// End the bytes the walker saw there without a record. Adds: on each Close
// and on the End, the folder's total in `bytes`; on a Folder whose walk ended
// within the same batch, its total too (`sized`), so that its record goes in
// with its size and the Close that ends it is marked `sized`. Works on one
// batch at a time, in walk order: a total needs everything before it.
#include "catalog/scan/ScanPipeline.h"

#include <cstdint>
#include <vector>

namespace qm {

class FolderSizes : public ScanStage {
public:
    void process(ScanBatch& batch) override;

private:
    struct Open {
        std::uint64_t bytes;
        int item; // its Folder in the batch being processed, or -1
    };
    // The folders whose walk has not ended, the walked folder first.
    std::vector<Open> open_ {Open {0, -1}};
};

} // namespace qm
