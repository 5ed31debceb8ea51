// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every record of one catalogue, written in SrNO order as CSV or as JSON
// lines, for scripts and spreadsheets.
#include "platform/OneState.h"

#include <QString>

#include <cstdint>

class QIODevice;

namespace SQLite {
class Database;
}

namespace qm::Export {

enum class Format { Csv, Json };

struct Result {
    std::int64_t records = 0; // records written to the output
    QString problem;          // why the export stopped; empty when it was whole
};

// Holds one state of the store for everything read while it lives (platform/OneState.h).
using qm::OneState;

// Whether a reader holding one state keeps writers of the store waiting: true
// unless the store keeps a write-ahead log.
bool readingHoldsWriters(SQLite::Database& db);

// Whether the store has records of `catalogue` or has handed out keys for it.
bool knows(SQLite::Database& db, const QString& catalogue);

// Writes the records of `catalogue` to `out`, with every column of table main
// in table order (the nine fields first), named as in the table.
// CSV: RFC 4180; a header row, CRLF line ends, a field quoted when it holds a
// comma, a quote or a line break. JSON: one object per record and line.
// Text is UTF-8: bytes that are not are written as U+FFFD. Numbers are
// numbers; NULL is an empty field or null. A binary column, raw_path (the
// original bytes of a path that is not valid UTF-8), is written in lower-case
// hex. Every record comes from one state of the store (see OneState); the
// text is handed to `out` a slice at a time, so memory stays that of one
// slice. A slow `out` holds that state, and so a rollback journal's writers,
// as long as it is slow: a caller writing to a pipe spools first.
Result write(SQLite::Database& db, const QString& catalogue, Format format, QIODevice& out);

} // namespace qm::Export
