// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/ScanDiff.h"

#include "catalog/scan/ScanTexts.h"
#include "platform/Numbers.h"
#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <cstring>
#include <string>
#include <string_view>

namespace qm {
namespace {

// The records of one scan, relative path first, with the fingerprint where
// one holds for the record's size and time. Archive members are entries of
// the scan too. The top-level folder's own record has an empty relative path.
constexpr const char* kScanByRelativePath
    = "SELECT m.SrNO, m.ID, "
      "CASE WHEN substr(CAST(coalesce(m.raw_path, m.path) AS BLOB), 1, ?3) = ?4 "
      "THEN substr(CAST(coalesce(m.raw_path, m.path) AS BLOB), ?3 + 1) "
      "ELSE CAST(coalesce(m.raw_path, m.path) AS BLOB) END AS rel, "
      "m.bytes, "
      "CASE WHEN length(f.Hash) = 16 AND f.Bytes = m.bytes "
      "AND (f.ModifiedNs - ((f.ModifiedNs % 1000000000) + 1000000000) % 1000000000) / 1000000000 = m.modified "
      "THEN f.Hash END "
      "FROM main m LEFT JOIN fingerprints f ON f.SrNO = m.SrNO "
      "WHERE m.dbaseName = ?1 AND m.delKey = ?2 AND m.path IS NOT NULL ORDER BY rel";
constexpr const char* kTopPathBytes
    = "SELECT CAST(coalesce(raw_path, path) AS BLOB) FROM main WHERE dbaseName = ? AND Parent = '0>' AND ID = ? "
      "ORDER BY SrNO LIMIT 1";

// A statement stepped through SQLite's own calls: a million rows a side.
class Reader {
public:
    Reader(SQLite::Database& db, const ScanRef& scan)
        : db_(db.getHandle())
    {
        const QByteArray catalogue = scan.catalogue.toUtf8();
        const QByteArray key = scan.top.key.toUtf8();
        std::string prefix;
        {
            sqlite3_stmt* top = prepare(kTopPathBytes);
            sqlite3_bind_text(top, 1, catalogue.constData(), static_cast<int>(catalogue.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(top, 2, key.constData(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(top) == SQLITE_ROW)
                prefix.assign(static_cast<const char*>(sqlite3_column_blob(top, 0)),
                    static_cast<size_t>(sqlite3_column_bytes(top, 0)));
            sqlite3_finalize(top);
        }
        if (prefix.empty())
            prefix = scan.top.path.toStdString();
        st_ = prepare(kScanByRelativePath);
        sqlite3_bind_text(st_, 1, catalogue.constData(), static_cast<int>(catalogue.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st_, 2, key.constData(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st_, 3, static_cast<sqlite3_int64>(prefix.size()));
        sqlite3_bind_blob(st_, 4, prefix.data(), static_cast<int>(prefix.size()), SQLITE_TRANSIENT);
        next();
    }
    ~Reader() { sqlite3_finalize(st_); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool atEnd() const { return !row_; }
    std::string_view path() const { return path_; }
    std::uint64_t bytes() const { return static_cast<std::uint64_t>(sqlite3_column_int64(st_, 3)); }
    bool hashed() const { return sqlite3_column_type(st_, 4) == SQLITE_BLOB; }
    bool folder() const { return path_.ends_with('/'); }
    bool sameContent(const Reader& other) const
    {
        return std::memcmp(sqlite3_column_blob(st_, 4), sqlite3_column_blob(other.st_, 4), sizeof(ContentHash)) == 0;
    }
    // The current record as a row keeps it.
    DiffEntry entry() const
    {
        DiffEntry e;
        e.srNo = sqlite3_column_int64(st_, 0);
        e.key = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st_, 1)), sqlite3_column_bytes(st_, 1));
        e.path = displayPath(path_);
        e.bytes = bytes();
        e.hashed = hashed();
        if (e.hashed)
            std::memcpy(e.hash.data(), sqlite3_column_blob(st_, 4), e.hash.size());
        return e;
    }
    void next()
    {
        do {
            const int rc = sqlite3_step(st_);
            row_ = rc == SQLITE_ROW;
            if (!row_ && rc != SQLITE_DONE)
                throw DbError(sqlite3_errmsg(db_));
            if (row_)
                path_ = std::string_view(static_cast<const char*>(sqlite3_column_blob(st_, 2)),
                    static_cast<size_t>(sqlite3_column_bytes(st_, 2)));
        } while (row_ && path_.empty()); // the top-level folder itself
    }

private:
    sqlite3_stmt* prepare(const char* sql)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK)
            throw DbError(sqlite3_errmsg(db_));
        return st;
    }

    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
    bool row_ = false;
    std::string_view path_;
};

// Files only on one side with a fingerprint, by content then path.
std::vector<size_t> hashedFiles(const std::vector<DiffEntry>& only)
{
    std::vector<size_t> out;
    for (size_t i = 0; i < only.size(); ++i)
        if (only[i].hashed && !only[i].folder())
            out.push_back(i);
    std::sort(out.begin(), out.end(), [&](size_t x, size_t y) {
        const DiffEntry& a = only[x];
        const DiffEntry& b = only[y];
        if (a.bytes != b.bytes)
            return a.bytes < b.bytes;
        if (a.hash != b.hash)
            return a.hash < b.hash;
        return a.path < b.path;
    });
    return out;
}

} // namespace

ScanDiffResult diffScans(SQLite::Database& db, const ScanRef& scanA, const ScanRef& scanB)
{
    // Sorting a million records goes faster on two threads.
    sqlite3_exec(db.getHandle(), "PRAGMA threads = 2", nullptr, nullptr, nullptr);
    SQLite::Transaction read(db); // both scans of one state of the store
    ScanDiffResult result;
    DiffCounts& counts = result.counts;
    std::vector<DiffEntry> onlyA, onlyB;
    Reader a(db, scanA);
    Reader b(db, scanB);
    while (!a.atEnd() || !b.atEnd()) {
        const int order = a.atEnd() ? 1 : b.atEnd() ? -1 : a.path().compare(b.path());
        if (order < 0) {
            onlyA.push_back(a.entry());
            a.next();
            continue;
        }
        if (order > 0) {
            onlyB.push_back(b.entry());
            b.next();
            continue;
        }
        if (!a.folder()) {
            const bool byContent = a.hashed() && b.hashed();
            const bool same = byContent ? a.sameContent(b) : a.bytes() == b.bytes();
            if (same) {
                ++counts.same;
                counts.sameByContent += byContent ? 1 : 0;
            } else {
                result.rows.push_back(DiffRow {DiffKind::Differs, byContent, a.entry(), b.entry()});
                ++counts.differs;
            }
        }
        a.next();
        b.next();
    }

    // Moves: a file gone from one path of A and come to another of B with
    // the same size and fingerprint. Copies pair off in path order.
    std::vector<bool> movedA(onlyA.size()), movedB(onlyB.size());
    const std::vector<size_t> hashedA = hashedFiles(onlyA), hashedB = hashedFiles(onlyB);
    std::vector<DiffRow> moves;
    for (size_t i = 0, j = 0; i < hashedA.size() && j < hashedB.size();) {
        const DiffEntry& x = onlyA[hashedA[i]];
        const DiffEntry& y = onlyB[hashedB[j]];
        if (x.bytes == y.bytes && x.hash == y.hash) {
            movedA[hashedA[i]] = movedB[hashedB[j]] = true;
            moves.push_back(DiffRow {DiffKind::Moved, true, x, y});
            ++i;
            ++j;
        } else if (x.bytes < y.bytes || (x.bytes == y.bytes && x.hash < y.hash)) {
            ++i;
        } else {
            ++j;
        }
    }
    counts.moved = static_cast<std::int64_t>(moves.size());
    for (size_t i = 0; i < onlyA.size(); ++i)
        if (!movedA[i]) {
            result.rows.push_back(DiffRow {DiffKind::OnlyInA, false, std::move(onlyA[i]), {}});
            ++counts.onlyInA;
        }
    for (size_t i = 0; i < onlyB.size(); ++i)
        if (!movedB[i]) {
            result.rows.push_back(DiffRow {DiffKind::OnlyInB, false, {}, std::move(onlyB[i])});
            ++counts.onlyInB;
        }
    std::move(moves.begin(), moves.end(), std::back_inserter(result.rows));
    std::stable_sort(result.rows.begin(), result.rows.end(), [](const DiffRow& x, const DiffRow& y) {
        return (x.a.present() ? x.a.path : x.b.path) < (y.a.present() ? y.a.path : y.b.path);
    });
    return result;
}

QString diffSummary(const DiffCounts& c)
{
    const QLocale locale = figureLocale();
    return QStringLiteral("%1 only in A, %2 only in B, %3 differ, %4 moved, %5 the same (%6 by content, %7 by "
                          "size alone)")
        .arg(locale.toString(c.onlyInA), locale.toString(c.onlyInB), locale.toString(c.differs),
            locale.toString(c.moved), locale.toString(c.same), locale.toString(c.sameByContent),
            locale.toString(c.same - c.sameByContent));
}

QString diffKindText(DiffKind kind)
{
    switch (kind) {
    case DiffKind::OnlyInA:
        return QStringLiteral("only in A");
    case DiffKind::OnlyInB:
        return QStringLiteral("only in B");
    case DiffKind::Differs:
        return QStringLiteral("content differs");
    case DiffKind::Moved:
        return QStringLiteral("moved");
    }
    return {};
}

} // namespace qm
