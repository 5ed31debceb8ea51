// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ArchiveStage.h"

#include "catalog/scan/ArchiveMembers.h"
#include "catalog/scan/ScanTexts.h"

#include <algorithm>
#include <string_view>

namespace qm {
namespace {

ScanItem closing()
{
    ScanItem close {0, 0, 0, 0, 0, 0, 0, ScanItem::Close, true};
    return close;
}

void keep(std::vector<SkippedEntry>& kept, std::int64_t& count, const QString& path, const QString& why)
{
    ++count;
    if (static_cast<int>(kept.size()) < ArchiveStage::kKept)
        kept.push_back({path, why});
}

} // namespace

void ArchiveStage::process(ScanBatch& batch)
{
    auto isArchive = [&batch](const ScanItem& item) {
        return item.kind == ScanItem::File && item.inArchive == 0
            && ArchiveMembers::looksLikeArchive(
                std::string_view(batch.text.data() + item.name, item.nameLength));
    };
    if (std::none_of(batch.items.begin(), batch.items.end(), isArchive))
        return;
    out_.clear();
    out_.reserve(batch.items.size());
    for (const ScanItem& item : batch.items) {
        out_.push_back(item);
        if (!isArchive(item))
            continue;
        // The path is copied: the batch's text grows below.
        const std::string path(batch.text, item.path, item.pathLength);
        const ArchiveListing listing = ArchiveMembers::list(path, item.modified);
        if (!listing.problem.isEmpty())
            keep(skipped_, skippedCount_, displayPath(path), listing.problem);
        for (const QString& note : listing.notes)
            keep(notes_, noteCount_, displayPath(path), note);
        if (listing.members.empty())
            continue;
        ++listed_;
        out_.back().container = true;
        int open = 0;
        for (const ArchiveMember& m : listing.members) {
            for (; open > m.level; --open)
                out_.push_back(closing());
            const auto at = static_cast<std::uint32_t>(batch.text.size());
            batch.text += path;
            batch.text.push_back('/');
            batch.text += m.path;
            const auto length = static_cast<std::uint32_t>(batch.text.size()) - at;
            const auto nameAt = static_cast<std::uint32_t>(
                at + path.size() + 1 + m.path.size() - m.name.size() - (m.folder ? 1 : 0));
            ScanItem member {m.bytes, m.modified, m.modified, at, length, nameAt,
                static_cast<std::uint32_t>(m.name.size()), m.folder ? ScanItem::Folder : ScanItem::File,
                true};
            member.inArchive = m.inner ? 2 : 1;
            member.container = m.container;
            out_.push_back(member);
            ++batch.records;
            ++members_;
            if (m.folder || m.container)
                ++open;
        }
        for (; open > 0; --open)
            out_.push_back(closing());
        out_.push_back(closing()); // the archive's own
    }
    batch.items.swap(out_);
}

} // namespace qm
