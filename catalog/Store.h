#pragma once
// The store file database.mdb: checking that a file is a catalogue, and
// making an empty one from the schema.
#include <QString>
#include <QStringList>

namespace qm::Store {

// The tables a catalogue file must hold.
QStringList requiredTables();

// Empty when `path` is a usable catalogue; otherwise what is wrong, naming
// the full path.
QString problemWith(const QString& path);

// Makes a new store with every table at `path`. Returns an error text, empty
// on success. Refuses to touch an existing file.
QString create(const QString& path);

// The schema text every new store is made from.
QString schema();

} // namespace qm::Store
