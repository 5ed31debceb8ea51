// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Duplicates across every catalogue and disk: files with the same size and
// content fingerprint, wherever they were scanned from and whether or not
// their disk is there now. Files whose contents were never read (or changed
// since they were) and that share their size and name are likely copies,
// told apart as such.
#include "platform/FileFingerprint.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm {

struct DuplicateCopy {
    std::int64_t srNo = 0;
    QString catalogue;
    QString key; // its node key
    QString disk; // the label of the disk its scan read, or what else tells the disk
    QString path;
};

struct DuplicateGroup {
    std::uint64_t bytes = 0; // of each copy
    bool likely = false; // same name and size; contents not compared
    ContentHash hash {}; // when not likely
    std::vector<DuplicateCopy> copies; // by catalogue, then path

    std::uint64_t wasted() const { return copies.empty() ? 0 : bytes * (copies.size() - 1); }
};

struct DuplicateQuery {
    QStringList catalogues; // empty: every catalogue
    std::uint64_t minSize = 1; // empty files are all alike: left out unless asked for
};

// Every group of two or more copies, most wasted bytes first. A
// fingerprint counts only while the record's size and modification time are
// those the file had when it was read. Throws what the store throws.
std::vector<DuplicateGroup> findDuplicates(SQLite::Database& db, const DuplicateQuery& query = {});

// The byte count a size argument stands for: "1500", "10K", "2.5M", "1G",
// "1T" (1024-based, a trailing "B" or "iB" allowed); empty when it is none.
std::optional<std::uint64_t> parseSizeArgument(const QString& text);

// How much of each scan has fingerprints that hold: files and their bytes, by
// catalogue and top-level key (the scan's delete key).
struct FingerprintTally {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};
QHash<QString, FingerprintTally> fingerprintsByScan(SQLite::Database& db);
inline QString scanId(const QString& catalogue, const QString& topKey)
{
    return catalogue + QChar(0) + topKey;
}

// For people: the SrNOs of file records (of `catalogues`, or of all) that
// have a copy elsewhere by content.
std::vector<std::int64_t> recordsWithCopies(SQLite::Database& db, const QStringList& catalogues = {});

} // namespace qm
