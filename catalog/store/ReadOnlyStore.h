// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The store opened for reading alone, for the checks that promise to change
// nothing in it (compare, verify): no upgrade, no mark, no write.
#include <QString>

#include <memory>

namespace SQLite {
class Database;
}

namespace qm::Store {

// A read-only connection to the catalogue at `path`; null with `problem` set
// when it is missing, not a catalogue, or not of this program's format (an
// older one is not upgraded here: that would be a write).
std::shared_ptr<SQLite::Database> openReadOnly(const QString& path, QString& problem);

} // namespace qm::Store
