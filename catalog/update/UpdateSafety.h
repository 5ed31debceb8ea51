// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What keeps an update from wiping a disk's records by a slip: the disk the
// scan came from is not mounted, another disk is there, the folder is empty,
// or most of what was catalogued would go. Judged after the walk and before
// anything is written, so that what the user is told is what would happen.
#include "catalog/Scans.h"
#include "platform/DiskIdentity.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

namespace SQLite {
class Database;
}

namespace qm {

// An update that looks like a slip, told before it is made.
struct UpdateRisk {
    QString reason; // what looks wrong, in plain words; empty when nothing does
    std::int64_t removed = 0; // records the update would remove
    std::int64_t records = 0; // records of the scan now
    std::int64_t notes = 0; // register notes attached to the records removed
    bool risky() const { return !reason.isEmpty(); }
};

// "the disk "PHOTOS" (ext4, 29.8 GB)" or "a disk without a label (ext4,
// 29.8 GB)": a disk as a person knows it, never by its identifiers.
QString diskInPlainWords(const DiskIdentity& disk);

// What the disk at `path` now tells against what the scan of `folder`
// recorded: a sentence, or empty when it is the recorded disk as far as can
// be told (or nothing was recorded).
QString diskReason(const std::optional<ScanInfo>& recorded, const QString& folder, const QString& path,
    const DiskIdentity& now);

// The reason and what the update would remove: "... Updating would remove
// 4,415 records and the 2 notes attached to them."
QString riskText(const UpdateRisk& risk);

// How many rows of the registers that attach notes to nodes (Projects,
// Documents, InstallNUpdate) name one of `keys`.
std::int64_t notesOn(SQLite::Database& db, const std::unordered_set<std::string>& keys);

} // namespace qm
