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
    // What an update holds of an archive that did not change since it was
    // listed stays as it is: its headers are not read again.
    auto unchanged = [&batch](size_t i) {
        const KnownEntry* known = batch.knownOf(i);
        const ScanItem& item = batch.items[i];
        return known && known->members && known->sized && known->bytes == item.bytes
            && known->modified == item.modified;
    };
    if (std::none_of(batch.items.begin(), batch.items.end(), isArchive))
        return;
    out_.clear();
    out_.reserve(batch.items.size());
    // What stages before this one added to each item moves with it; members get nothing.
    const bool withContents = !batch.contents.empty(), withKnown = !batch.known.empty();
    std::vector<ItemContent> contents;
    std::vector<const KnownEntry*> known;
    auto push = [&](const ScanItem& item, size_t from, bool added) {
        out_.push_back(item);
        if (withContents)
            contents.push_back(added ? ItemContent {} : batch.contents[from]);
        if (withKnown)
            known.push_back(added ? nullptr : batch.known[from]);
    };
    for (size_t i = 0; i < batch.items.size(); ++i) {
        const ScanItem& item = batch.items[i];
        push(item, i, false);
        if (!isArchive(item))
            continue;
        if (unchanged(i)) {
            ++kept_;
            continue;
        }
        out_.back().listed = true;
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
                push(closing(), i, true);
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
            push(member, i, true);
            ++batch.records;
            ++members_;
            if (m.folder || m.container)
                ++open;
        }
        for (; open > 0; --open)
            push(closing(), i, true);
        push(closing(), i, true); // the archive's own
    }
    batch.items.swap(out_);
    if (withContents)
        batch.contents.swap(contents);
    if (withKnown)
        batch.known.swap(known);
}

} // namespace qm
