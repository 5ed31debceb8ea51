// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a scan starts and the record it began with: what the commands that
// name a scan need, without the scan's readers.
#include <QString>

#include <optional>

namespace SQLite {
class Database;
}

namespace qm {

// Where a run starts, from the path the folder list reports.
struct StartFolder {
    QString fileName; // the reported path: no closing "/" except at the root
    QString path; // the same with its closing "/"
};
StartFolder startFolderOf(const QString& reportedPath);

// A top-level folder of a catalogue: the record a scan began with.
struct TopFolder {
    QString key;
    QString fileName; // as the folder list reported it
    QString path; // with its closing separator
};

// The top-level folder of `catalogue` named by its key ("12>" or "12") or by
// its path (the most recent scan of that path); empty when there is none.
std::optional<TopFolder> findTopFolder(SQLite::Database& db, const QString& catalogue, const QString& keyOrPath);

} // namespace qm
