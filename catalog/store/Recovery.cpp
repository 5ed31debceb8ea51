// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/store/Recovery.h"

#include "catalog/store/Store.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <algorithm>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::Store {

long long Recovered::rows() const
{
    long long n = 0;
    for (const Table& t : tables)
        n += t.rows;
    return n;
}

int Recovered::damagedStretches() const
{
    int n = 0;
    for (const Table& t : tables)
        n += t.damagedStretches;
    return n;
}

namespace {

constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kHighest = std::numeric_limits<std::int64_t>::max();

struct Stopped { };

struct Failed {
    QString text;
};

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;

struct Finalize {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, Finalize>;

QString errorOf(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// A statement, or nullptr when it cannot be made (a damaged schema, a missing table).
Stmt prepare(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    return Stmt(st);
}

Stmt mustPrepare(sqlite3* db, const std::string& sql)
{
    Stmt st = prepare(db, sql);
    if (!st)
        throw Failed {errorOf(db)};
    return st;
}

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw Failed {errorOf(db)};
}

std::string sqlName(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + '"';
}

std::string textOf(sqlite3_stmt* st, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(st, column))) : std::string();
}

std::vector<std::string> columnsOf(sqlite3* db, const std::string& table)
{
    std::vector<std::string> out;
    Stmt st = prepare(db, "SELECT name FROM pragma_table_info(?1) ORDER BY cid");
    if (!st)
        return out;
    sqlite3_bind_text(st.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st.get()) == SQLITE_ROW)
        out.push_back(textOf(st.get(), 0));
    return out;
}

// Copies one table's readable rows from `source` to `target`.
class TableCopy {
public:
    TableCopy(sqlite3* source, sqlite3* target, const std::string& table, const std::vector<std::string>& columns,
        Recovered::Table& out, long long& total, const std::function<bool(long long)>& goOn)
        : source_(source), target_(target), table_(table), out_(out), total_(total), goOn_(goOn)
    {
        std::string marks;
        for (size_t i = 0; i < columns.size(); ++i) {
            list_ += (i ? ", " : "") + sqlName(columns[i]);
            marks += (i ? ", ?" : "?");
        }
        width_ = static_cast<int>(columns.size());
        // A row the damage duplicated (a key seen twice) is kept once.
        insert_ = mustPrepare(
            target, "INSERT OR IGNORE INTO main." + sqlName(table) + " (" + list_ + ") VALUES (" + marks + ")");
    }

    void run()
    {
        if (goOn_ && !goOn_(total_))
            throw Stopped {};
        if (!prepare(source_, "SELECT rowid FROM main." + sqlName(table_) + " LIMIT 0")) {
            plainScan(); // a table without rowids: read until the damage stops it
            return;
        }
        read_ = mustPrepare(source_, "SELECT rowid, " + list_ + " FROM main." + sqlName(table_)
                + " WHERE rowid >= ?1 ORDER BY rowid");
        std::int64_t from = kLowest;
        for (;;) {
            std::int64_t last = 0;
            bool any = false;
            if (readFrom(from, last, any))
                return;
            ++out_.damagedStretches;
            // Nothing read yet: rowids are given from 1 up, so the search starts there
            // rather than leaping through the negative half.
            const std::int64_t bad = any ? (last == kHighest ? kHighest : last + 1) : std::max<std::int64_t>(from, 0);
            const auto next = nextReadable(bad);
            if (!next) {
                if (out_.rows == 0)
                    out_.unreadable = true;
                return;
            }
            from = *next;
        }
    }

private:
    void plainScan()
    {
        Stmt all = prepare(source_, "SELECT " + list_ + " FROM main." + sqlName(table_));
        if (!all) {
            out_.unreadable = true;
            return;
        }
        int rc;
        while ((rc = sqlite3_step(all.get())) == SQLITE_ROW)
            copyRow(all.get(), 0);
        if (rc != SQLITE_DONE)
            ++out_.damagedStretches;
    }

    // Copies the rows from rowid `from` on; true when the table's end was
    // reached, false when the damage stopped the read (after `last`, when `any`).
    bool readFrom(std::int64_t from, std::int64_t& last, bool& any)
    {
        sqlite3_reset(read_.get());
        sqlite3_bind_int64(read_.get(), 1, from);
        int rc;
        while ((rc = sqlite3_step(read_.get())) == SQLITE_ROW) {
            last = sqlite3_column_int64(read_.get(), 0);
            any = true;
            copyRow(read_.get(), 1);
        }
        const bool done = rc == SQLITE_DONE;
        sqlite3_reset(read_.get());
        if (rc == SQLITE_INTERRUPT)
            throw Stopped {};
        return done;
    }

    // Whether a read that starts at rowid `at` gets its first row (or the
    // table's end) without meeting damage.
    bool seekWorks(std::int64_t at)
    {
        sqlite3_reset(read_.get());
        sqlite3_bind_int64(read_.get(), 1, at);
        const int rc = sqlite3_step(read_.get());
        sqlite3_reset(read_.get());
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    }

    // The lowest rowid above `bad` from which a read works: seeks ever
    // further, then halves the distance back to the damage.
    std::optional<std::int64_t> nextReadable(std::int64_t bad)
    {
        std::uint64_t step = 1;
        std::int64_t failed = bad;
        std::int64_t works = 0;
        for (;;) {
            const std::int64_t at
                = step > static_cast<std::uint64_t>(kHighest - bad) ? kHighest : bad + static_cast<std::int64_t>(step);
            if (seekWorks(at)) {
                works = at;
                break;
            }
            if (at == kHighest)
                return std::nullopt;
            failed = at;
            step *= 2;
        }
        while (works - failed > 1) {
            const std::int64_t middle = failed + (works - failed) / 2;
            (seekWorks(middle) ? works : failed) = middle;
        }
        return works;
    }

    void copyRow(sqlite3_stmt* row, int first)
    {
        for (int i = 0; i < width_; ++i)
            sqlite3_bind_value(insert_.get(), i + 1, sqlite3_column_value(row, first + i));
        const int rc = sqlite3_step(insert_.get());
        sqlite3_reset(insert_.get());
        if (rc != SQLITE_DONE)
            throw Failed {errorOf(target_)};
        if (sqlite3_changes(target_) > 0) {
            ++out_.rows;
            ++total_;
        }
        if (goOn_ && total_ % 1024 == 0 && !goOn_(total_))
            throw Stopped {};
    }

    sqlite3* source_;
    sqlite3* target_;
    std::string table_;
    Recovered::Table& out_;
    long long& total_;
    const std::function<bool(long long)>& goOn_;
    int width_ = 0;
    std::string list_;
    Stmt insert_;
    Stmt read_;
};

// Tables whose rows are worked out again from main by their readers.
bool isDerived(const std::string& table)
{
    static const std::set<std::string> derived {"change_log", "tree_checks", "tree_unplaced"};
    return derived.count(table) > 0 || table.rfind("sqlite_", 0) == 0;
}

// Each table's AUTOINCREMENT counter at least as high as the damaged store's
// (a deleted record's number is not given again), and each catalogue's key
// mark at least its highest key copied.
void carryCounters(sqlite3* source, sqlite3* target)
{
    if (Stmt old = prepare(source, "SELECT name, seq FROM sqlite_sequence")) {
        Stmt add = mustPrepare(target,
            "INSERT INTO sqlite_sequence (name, seq) SELECT ?1, ?2 "
            "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = ?1)");
        Stmt raise = mustPrepare(target, "UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1");
        while (sqlite3_step(old.get()) == SQLITE_ROW) {
            for (sqlite3_stmt* st : {add.get(), raise.get()}) {
                sqlite3_bind_value(st, 1, sqlite3_column_value(old.get(), 0));
                sqlite3_bind_int64(st, 2, sqlite3_column_int64(old.get(), 1));
                sqlite3_step(st);
                sqlite3_reset(st);
            }
        }
    }
    exec(target,
        "INSERT INTO catalogue_keys (dbaseName, lastKey) "
        "SELECT dbaseName, max(CAST(ID AS INTEGER)) FROM main WHERE dbaseName IS NOT NULL "
        "GROUP BY dbaseName HAVING max(CAST(ID AS INTEGER)) IS NOT NULL "
        "ON CONFLICT (dbaseName) DO UPDATE SET lastKey = max(lastKey, excluded.lastKey)");
}

Db open(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    Db owned(db);
    if (rc != SQLITE_OK)
        throw Failed {db ? errorOf(db) : QStringLiteral("out of memory")};
    sqlite3_busy_timeout(db, 5000);
    return owned;
}

// Puts the finished copy at `to` unless something is there by now.
QString moveIntoPlace(const QString& made, const QString& to)
{
    const QByteArray from = QFile::encodeName(made);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return QString::fromLocal8Bit(std::strerror(errno));
    // A file system without the no-replace rename: a hard link never replaces either.
    if (::link(from.constData(), target.constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::unlink(from.constData());
    return {};
}

} // namespace

QString recover(const QString& from, const QString& to, Recovered& out,
    const std::function<bool(long long)>& goOn, bool* stopped)
{
    if (stopped)
        *stopped = false;
    const QString target = QFileInfo(to).absoluteFilePath();
    struct stat st {};
    if (::lstat(QFile::encodeName(target).constData(), &st) == 0)
        return QStringLiteral("%1 already exists; name a new file for the recovered catalogue.").arg(target);
    if (errno != ENOENT)
        return QStringLiteral("%1 cannot be made: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno)));

    // Made under a name of its own beside the target, and renamed to it at the end.
    QString made;
    do {
        made = target + QStringLiteral(".part-%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    } while (QFileInfo::exists(made) || QFileInfo(made).isSymLink());
    auto discard = [&made] {
        QFile::remove(made);
        QFile::remove(made + QStringLiteral("-journal"));
    };

    try {
        Db source = open(from, SQLITE_OPEN_READONLY);
        int format = kFormat;
        if (Stmt version = prepare(source.get(), "PRAGMA user_version");
            version && sqlite3_step(version.get()) == SQLITE_ROW)
            format = sqlite3_column_int(version.get(), 0);
        if (format > kFormat)
            return QStringLiteral("The catalogue database %1 was written by a newer version of Quillmark (format "
                                  "%2); this version cannot recover it.")
                .arg(from)
                .arg(format);
        // Made in the damaged store's own format, so that the upgrade fills in
        // what later formats derive from its fields, as for any older store.
        if (const QString error = create(made, std::max(format, 0)); !error.isEmpty())
            return error;
        {
            Db copy = open(made, SQLITE_OPEN_READWRITE);
            // A new file that is thrown away on any failure needs no journal.
            exec(copy.get(), "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
            long long total = 0;
            Stmt tables = mustPrepare(copy.get(),
                "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid");
            std::vector<std::string> names;
            while (sqlite3_step(tables.get()) == SQLITE_ROW)
                names.push_back(textOf(tables.get(), 0));
            tables.reset();
            for (const std::string& table : names) {
                if (isDerived(table))
                    continue;
                const std::vector<std::string> had = columnsOf(source.get(), table);
                std::vector<std::string> common;
                for (const std::string& column : columnsOf(copy.get(), table))
                    if (std::find(had.begin(), had.end(), column) != had.end())
                        common.push_back(column);
                out.tables.push_back({QString::fromStdString(table)});
                if (common.empty()) {
                    out.tables.back().unreadable = true;
                    continue;
                }
                TableCopy(source.get(), copy.get(), table, common, out.tables.back(), total, goOn).run();
            }
            carryCounters(source.get(), copy.get());
            exec(copy.get(), "COMMIT");
        }
        if (const QString problem = prepare(made); !problem.isEmpty()) {
            discard();
            return problem;
        }
        if (const QString error = moveIntoPlace(made, target); !error.isEmpty()) {
            discard();
            return QStringLiteral("The recovered catalogue could not be put at %1: %2").arg(target, error);
        }
        return {};
    } catch (const Stopped&) {
        discard();
        if (stopped)
            *stopped = true;
        return QStringLiteral("The recovery was stopped; %1 was not made.").arg(target);
    } catch (const Failed& f) {
        discard();
        return QStringLiteral("The records could not be recovered into %1: %2").arg(target, f.text);
    }
}

} // namespace qm::Store
