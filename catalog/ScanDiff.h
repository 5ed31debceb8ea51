// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Two scans compared from the catalogue alone, by each entry's path relative
// to its scan's top-level folder: is the backup complete, and the same?
//
// A file in both is the same when both have a fingerprint that still holds
// and they are equal, or, where either has none, when the sizes are equal.
// A file only in one scan whose fingerprint is that of a file only in the
// other was moved: one row, counted once. Folders are told when they are in
// one scan only; a folder in both is neither same nor different.
//
// Both scans are read ordered by relative path and merged as they come, so
// memory follows the differences, not the scans.
#include "catalog/TopFolder.h"
#include "platform/FileFingerprint.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm {

// One scan of a catalogue: its name and top-level folder.
struct ScanRef {
    QString catalogue;
    TopFolder top;
};

// One entry as a scan holds it.
struct DiffEntry {
    std::int64_t srNo = 0; // 0: not in this scan
    QString key; // its node key
    QString path; // relative to the top-level folder; a folder's ends with "/"
    std::uint64_t bytes = 0;
    bool hashed = false; // has a fingerprint that still holds
    ContentHash hash {};

    bool present() const { return srNo != 0; }
    bool folder() const { return path.endsWith(u'/'); }
};

enum class DiffKind { OnlyInA, OnlyInB, Differs, Moved };

struct DiffRow {
    DiffKind kind;
    bool byContent = false; // Differs, Moved: told by fingerprints, not by size
    DiffEntry a, b; // the side that lacks the entry is empty
};

struct DiffCounts {
    std::int64_t onlyInA = 0, onlyInB = 0, differs = 0, moved = 0;
    std::int64_t same = 0; // files
    std::int64_t sameByContent = 0; // of them, with both fingerprints equal
};

struct ScanDiffResult {
    std::vector<DiffRow> rows; // by path (A's where A has one)
    DiffCounts counts;
    bool same() const { return rows.empty(); }
};

// Compares scan `a` with scan `b`, both in the store `db`, in one read
// transaction. Throws what the store throws.
ScanDiffResult diffScans(SQLite::Database& db, const ScanRef& a, const ScanRef& b);

// "3 only in A, 1 only in B, 2 differ, 1 moved, 5,120 the same (4,000 by
// content, 1,120 by size alone)"
QString diffSummary(const DiffCounts& counts);

// "only in A", "only in B", "content differs", "moved"
QString diffKindText(DiffKind kind);

} // namespace qm
