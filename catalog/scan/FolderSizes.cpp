// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/FolderSizes.h"

namespace qm {

void FolderSizes::process(ScanBatch& batch)
{
    // A folder whose record was in an earlier batch is sized where it is stored.
    for (Open& f : open_)
        f.item = -1;
    for (size_t i = 0; i < batch.items.size(); ++i) {
        ScanItem& item = batch.items[i];
        switch (item.kind) {
        case ScanItem::File:
            open_.back().bytes += item.bytes;
            break;
        case ScanItem::Folder:
            open_.push_back(Open {0, static_cast<int>(i)});
            break;
        case ScanItem::Close: {
            Open done = open_.back();
            open_.pop_back();
            done.bytes += item.bytes;
            open_.back().bytes += done.bytes;
            item.bytes = done.bytes;
            if (done.item >= 0) {
                ScanItem& folder = batch.items[static_cast<size_t>(done.item)];
                folder.bytes = done.bytes;
                folder.sized = true;
                item.sized = true;
            }
            break;
        }
        case ScanItem::End:
            item.bytes += open_.front().bytes;
            open_.assign(1, Open {0, -1});
            break;
        }
    }
}

} // namespace qm
