// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bit rot as it happens: bytes of a store's page changed behind SQLite's
// back, the file's modification time put back as it was.
#include <QString>

#include <SQLiteCpp/Database.h>

#include <vector>

namespace qmtest {

// The pages of `table` (or of an index) of the kind `pagetype` ("leaf" or
// "internal"), from SQLite's dbstat table; empty when it lacks that table.
std::vector<long long> pagesOf(SQLite::Database& db, const char* table, const char* pagetype = "leaf");
// How many cells (rows, on a table's leaf) page `page` holds.
long long cellsOn(SQLite::Database& db, long long page);
// Writes 64 bytes from a generator seeded with `seed` over the start of page
// `page` (its header and cell pointers) of the store at `path`, then puts
// the file's access and modification times back.
void rotPage(const QString& path, long long page, unsigned seed = 64);

} // namespace qmtest
