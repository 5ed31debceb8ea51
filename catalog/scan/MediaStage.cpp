// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/MediaStage.h"

#include <string>
#include <string_view>

namespace qm {

MediaStage::MediaStage(int inFlight)
    : ParallelStage(inFlight)
{
    prepareMediaReaders();
}

void MediaStage::prepare(ScanBatch& batch)
{
    batch.media.assign(batch.items.size(), MediaDetails {});
}

void MediaStage::processEntry(ScanBatch& batch, std::size_t index)
{
    const ScanItem& item = batch.items[index];
    if (item.kind != ScanItem::File || item.inArchive != 0 || item.container)
        return;
    const MediaKind kind = mediaKindOf(std::string_view(batch.text.data() + item.name, item.nameLength));
    if (kind == MediaKind::None)
        return;
    // An update keeps the details of a file that did not change.
    if (const KnownEntry* known = batch.knownOf(index); known && known->detailed && known->sized
        && known->bytes == item.bytes && known->modified == item.modified) {
        ++kept_;
        return;
    }
    const std::string path(batch.text, item.path, item.pathLength);
    if (readMediaDetails(path, kind, batch.media[index]))
        ++read_;
    else
        ++failed_;
}

} // namespace qm
