// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which disk holds a scan, whether it is connected now and where the user
// keeps it: the rows of the Disks window and of `quillmark disks`, and the
// place (location and note) the user writes in table disk_places.
#include "catalog/Scans.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace qm {

struct DiskRow {
    ScanInfo scan;
    QString connectedAt; // where the scan's disk is mounted now; empty when it is not
};

// Where the disk `recorded` is mounted now among `mounted` (see
// mountedDisks): the mount of the same UUID, the recorded folder first when
// the disk is mounted on several; empty when it is not mounted.
QString connectedAt(const DiskIdentity& recorded, const std::vector<DiskIdentity>& mounted);

// One row per scan of every catalogue, in listScans' order.
std::vector<DiskRow> diskRows(SQLite::Database& db, const std::vector<DiskIdentity>& mounted);

enum class PlaceField { Location, Note };

// Writes the location or the note of the disk with `uuid`; an empty text
// clears it. Throws SQLite::Exception.
void setDiskPlace(SQLite::Database& db, const QString& uuid, PlaceField field, const QString& text);

// The disk a name given on the command line stands for: the scans whose
// disk UUID, disk label, top folder or top folder key is `name` exactly (of
// `catalogue` only, when given). `uuid` is set when they all name one
// recorded disk; otherwise `problem` says why none is chosen and
// `candidates` are what matched.
struct DiskChoice {
    QString uuid;
    QString problem;
    std::vector<ScanInfo> candidates;
};
DiskChoice chooseDisk(SQLite::Database& db, const QString& name, const std::optional<QString>& catalogue);

// A line for people naming a scan: catalogue, top folder, disk label, UUID.
QString scanNameLine(const ScanInfo& scan);

// The captions of the Disks window's columns and of `quillmark disks`'
// fields, in their order, and a row's texts under them (sizes as people
// read them; `exact` gives bytes and counts as plain numbers, for CSV).
QStringList diskColumns();
QStringList diskCells(const DiskRow& row, bool exact);
// The position of each column in diskColumns().
enum DiskColumn {
    kCatalogueColumn, kFolderColumn, kLabelColumn, kUuidColumn, kTypeColumn, kCapacityColumn, kUsedColumn,
    kFreeColumn, kRecordsColumn, kBytesColumn, kScannedColumn, kConnectedColumn, kLocationColumn, kNoteColumn,
    kDiskColumnCount
};

} // namespace qm
