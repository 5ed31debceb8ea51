// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ThumbnailStage.h"

#include "catalog/scan/ScanTexts.h"
#include "platform/FileFingerprint.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace qm {

ThumbnailStage::ThumbnailStage(std::uint64_t device, int inFlight)
    : ParallelStage(inFlight)
    , device_(device)
{
}

int ThumbnailStage::inFlightFor(std::uint64_t device)
{
    // Decoding is the work once the file is cached; a rotating disk would
    // seek between files read side by side.
    return onRotatingDisk(device) ? 1 : 4;
}

void ThumbnailStage::prepare(ScanBatch& batch)
{
    batch.thumbnails.assign(batch.items.size(), ItemThumbnail {});
}

void ThumbnailStage::processEntry(ScanBatch& batch, std::size_t index)
{
    const ScanItem& item = batch.items[index];
    if (item.kind != ScanItem::File || item.inArchive != 0)
        return;
    if (!Thumbnails::looksLikePicture(std::string_view(batch.text.data() + item.name, item.nameLength)))
        return;
    if (const ScanPipeline* pipeline = pipeline_.load(); pipeline && pipeline->stopping())
        return;
    // An update keeps the thumbnail of a picture that did not change.
    if (const KnownEntry* known = batch.knownOf(index); known && known->thumbnailed && known->sized
        && known->bytes == item.bytes && known->modified == item.modified) {
        ++kept_;
        return;
    }
    const std::string path(batch.text.data() + item.path, item.pathLength);
    Thumbnails::Made made = Thumbnails::ofFile(path, device_);
    if (made.problem.isEmpty()) {
        batch.thumbnails[index] = std::move(made.thumbnail);
        ++made_;
        if (made.fromPreview)
            ++fromPreviews_;
        return;
    }
    const std::lock_guard lock(mutex_);
    ++skippedCount_;
    if (static_cast<int>(skipped_.size()) < kSkippedKept)
        skipped_.push_back({displayPath(path), made.problem});
}

std::int64_t ThumbnailStage::skippedCount() const
{
    const std::lock_guard lock(mutex_);
    return skippedCount_;
}

std::vector<SkippedEntry> ThumbnailStage::firstSkipped() const
{
    const std::lock_guard lock(mutex_);
    return skipped_;
}

QString thumbnailReport(const ThumbnailStage& stage)
{
    const std::int64_t count = stage.skippedCount();
    if (count == 0)
        return {};
    QString text = count == 1
        ? QStringLiteral("1 picture got no thumbnail; its record is kept:")
        : QStringLiteral("%1 pictures got no thumbnail; their records are kept:").arg(count);
    const std::vector<SkippedEntry> first = stage.firstSkipped();
    for (const SkippedEntry& s : first)
        text += u'\n' + s.path + QStringLiteral(" (") + s.reason + u')';
    if (const std::int64_t more = count - static_cast<std::int64_t>(first.size()); more > 0)
        text += QStringLiteral("\nand %1 more.").arg(more);
    return text;
}

} // namespace qm
