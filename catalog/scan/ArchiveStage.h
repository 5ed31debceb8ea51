// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive stage of the folder scan: adds the members of every archive
// file (by its name's ending; see ArchiveMembers) as entries right after it.
//
// Reads: each File's path, name and modification time. Adds: after an
// archive that lists, its members in the order their records are stored
// (folders before their content, implied folders included), marked
// `inArchive`, each folder and nested archive ended by a Close; the archive
// itself becomes a `container` whose Close follows its last member. Member
// folders carry the total of their members, so their Closes are `sized`:
// no folder size of the disk changes, which is why this stage runs after the
// sizes stage. Works on one batch at a time, in walk order. What stages
// before it added to each item (`contents`, `known`) stays with the item;
// members have none.
//
// In an update (KnownStage.h) an archive whose record has members and the
// same size and modification time is left as it is, unread: its members'
// records stay. Any other archive is listed and marked `listed`, so that its
// members' records become those of the new listing.
#include "catalog/scan/ScanPipeline.h"

#include <cstdint>
#include <vector>

namespace qm {

class ArchiveStage : public ScanStage {
public:
    static constexpr int kKept = 5;

    void process(ScanBatch& batch) override;

    std::int64_t archivesListed() const { return listed_; }
    std::int64_t membersAdded() const { return members_; }
    // Unchanged archives of an update, left with the members stored before.
    std::int64_t archivesKept() const { return kept_; }
    // Archives that kept no members, and why.
    std::int64_t skippedCount() const { return skippedCount_; }
    const std::vector<SkippedEntry>& firstSkipped() const { return skipped_; }
    // Listings that stopped early or left a nested archive out.
    std::int64_t noteCount() const { return noteCount_; }
    const std::vector<SkippedEntry>& firstNotes() const { return notes_; }

private:
    std::vector<ScanItem> out_;
    std::int64_t listed_ = 0, members_ = 0, kept_ = 0, skippedCount_ = 0, noteCount_ = 0;
    std::vector<SkippedEntry> skipped_, notes_;
};

} // namespace qm
