#pragma once
// Every record of one catalogue, written in SrNO order as CSV or as JSON
// lines, for scripts and spreadsheets.
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

// Whether the store has records of `catalogue` or has handed out keys for it.
bool knows(SQLite::Database& db, const QString& catalogue);

// Writes the records of `catalogue` to `out`, with every column of table main
// in table order (the nine fields first), named as in the table.
// CSV: RFC 4180; a header row, CRLF line ends, a field quoted when it holds a
// comma, a quote or a line break. JSON: one object per record and line.
// Text is UTF-8: bytes that are not are written as U+FFFD. Numbers are
// numbers; NULL is an empty field or null. A binary column, raw_path (the
// original bytes of a path that is not valid UTF-8), is written in lower-case
// hex. The records are read a slice at a time: between slices other programs
// may write the store, and memory stays that of one slice.
Result write(SQLite::Database& db, const QString& catalogue, Format format, QIODevice& out);

} // namespace qm::Export
