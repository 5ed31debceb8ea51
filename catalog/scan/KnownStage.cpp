// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/KnownStage.h"

namespace qm {

void KnownStage::process(ScanBatch& batch)
{
    batch.known.assign(batch.items.size(), nullptr);
    for (size_t i = 0; i < batch.items.size(); ++i) {
        const ScanItem& item = batch.items[i];
        if (item.kind == ScanItem::File && item.inArchive == 0)
            batch.known[i] = lookup_(std::string_view(batch.text.data() + item.path, item.pathLength));
    }
}

} // namespace qm
