// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Duplicates.h"

#include "catalog/store/Queries.h"
#include "platform/Recordset.h"

#include <QHash>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>

namespace qm {
namespace {

// One file as the first pass reads it: compact, a million of them at once.
struct Hashed {
    ContentHash hash;
    std::uint64_t bytes;
    std::int64_t srNo;
};
struct Named {
    std::uint64_t bytes;
    std::size_t nameHash; // the name itself is compared once the sizes match
    std::int64_t srNo;
};

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::string catalogueFilter(const QStringList& catalogues)
{
    if (catalogues.isEmpty())
        return {};
    std::string in = " AND m.dbaseName IN (";
    for (qsizetype i = 0; i < catalogues.size(); ++i)
        in += i == 0 ? "?" : ", ?";
    return in + ")";
}


// A statement read through SQLite's own calls: a million rows are read here,
// and each column through the wrapper costs a shared pointer's round trip.
struct Raw {
    sqlite3* db;
    sqlite3_stmt* st = nullptr;
    int last = SQLITE_OK;
    Raw(SQLite::Database& database, const std::string& sql)
        : db(database.getHandle())
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw DbError(sqlite3_errmsg(db));
    }
    ~Raw() { sqlite3_finalize(st); }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;
    bool step()
    {
        last = sqlite3_step(st);
        return last == SQLITE_ROW;
    }
    // Throws when the last step failed.
    void check() const
    {
        if (last != SQLITE_ROW && last != SQLITE_DONE)
            throw DbError(sqlite3_errmsg(db));
    }
    void bindText(int index, const QByteArray& text)
    {
        sqlite3_bind_text(st, index, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    QString text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, column)),
            sqlite3_column_bytes(st, column));
    }
};

// What tells a person which disk a scan read: its label, else where it was mounted.
QHash<QString, QString> diskNames(SQLite::Database& db)
{
    QHash<QString, QString> names;
    SQLite::Statement st(db, "SELECT dbaseName, topKey, label, uuid, mountPoint FROM scans");
    while (st.executeStep()) {
        const QString label = QString::fromStdString(st.getColumn(2).getString());
        const QString mountPoint = QString::fromStdString(st.getColumn(4).getString());
        const QString name = !label.isEmpty() ? label
            : !mountPoint.isEmpty()           ? QStringLiteral("(no label) at ") + mountPoint
                                              : QStringLiteral("(disk not recorded)");
        names.insert(scanId(QString::fromStdString(st.getColumn(0).getString()),
                         QString::fromStdString(st.getColumn(1).getString())),
            name);
    }
    return names;
}

} // namespace

std::vector<DuplicateGroup> findDuplicates(SQLite::Database& db, const DuplicateQuery& query)
{
    // One read transaction: every pass sees the same store.
    SQLite::Transaction read(db);

    // Pass 1: every file record of the chosen catalogues, with its
    // fingerprint where it has one that still holds. Both tables are read in
    // their own order (SrNO) and merged here: no look-up a record. Folders
    // have a path ending in "/" and no fingerprint.
    std::vector<Hashed> hashed;
    std::vector<Named> unread;
    QHash<std::int64_t, QString> names; // of the unread files
    {
        const auto minSize = static_cast<sqlite3_int64>(std::min<std::uint64_t>(query.minSize, INT64_MAX));
        Raw prints(db, "SELECT SrNO, Hash, Bytes, ModifiedNs FROM fingerprints ORDER BY SrNO");
        Raw files(db,
            "SELECT m.SrNO, m.bytes, m.modified, m.file_name FROM main m NOT INDEXED "
            "WHERE m.bytes >= ?1 AND substr(m.path, -1) <> '/'"
                + catalogueFilter(query.catalogues) + " ORDER BY m.SrNO");
        sqlite3_bind_int64(files.st, 1, minSize);
        for (qsizetype i = 0; i < query.catalogues.size(); ++i)
            files.bindText(2 + static_cast<int>(i), query.catalogues[i].toUtf8());
        bool morePrints = prints.step();
        while (files.step()) {
            const std::int64_t srNo = sqlite3_column_int64(files.st, 0);
            const auto bytes = static_cast<std::uint64_t>(sqlite3_column_int64(files.st, 1));
            while (morePrints && sqlite3_column_int64(prints.st, 0) < srNo)
                morePrints = prints.step();
            bool holds = false;
            if (morePrints && sqlite3_column_int64(prints.st, 0) == srNo) {
                const void* hash = sqlite3_column_blob(prints.st, 1);
                holds = hash && sqlite3_column_bytes(prints.st, 1) == static_cast<int>(sizeof(ContentHash))
                    && static_cast<std::uint64_t>(sqlite3_column_int64(prints.st, 2)) == bytes
                    && floorDiv(sqlite3_column_int64(prints.st, 3), 1000000000) == sqlite3_column_int64(files.st, 2);
                if (holds) {
                    Hashed h {{}, bytes, srNo};
                    std::memcpy(h.hash.data(), hash, h.hash.size());
                    hashed.push_back(h);
                }
            }
            if (!holds) {
                const QString name = files.text(3);
                unread.push_back({bytes, qHash(name), srNo});
                names.insert(srNo, name);
            }
        }
        prints.check();
        files.check();
    }

    // Pass 2: groups, by sorting.
    std::vector<DuplicateGroup> groups;
    std::sort(hashed.begin(), hashed.end(), [](const Hashed& a, const Hashed& b) {
        return a.bytes != b.bytes ? a.bytes < b.bytes : a.hash < b.hash;
    });
    for (size_t i = 0; i < hashed.size();) {
        size_t j = i + 1;
        while (j < hashed.size() && hashed[j].bytes == hashed[i].bytes && hashed[j].hash == hashed[i].hash)
            ++j;
        if (j - i > 1) {
            DuplicateGroup g;
            g.bytes = hashed[i].bytes;
            g.hash = hashed[i].hash;
            for (size_t k = i; k < j; ++k)
                g.copies.push_back(DuplicateCopy {hashed[k].srNo, {}, {}, {}, {}});
            groups.push_back(std::move(g));
        }
        i = j;
    }
    std::sort(unread.begin(), unread.end(), [](const Named& a, const Named& b) {
        return a.bytes != b.bytes ? a.bytes < b.bytes : a.nameHash < b.nameHash;
    });
    for (size_t i = 0; i < unread.size();) {
        size_t j = i + 1;
        while (j < unread.size() && unread[j].bytes == unread[i].bytes && unread[j].nameHash == unread[i].nameHash)
            ++j;
        // Names alike by their hash, split by the names themselves.
        std::map<QString, std::vector<std::int64_t>> byName;
        if (j - i > 1)
            for (size_t k = i; k < j; ++k)
                byName[names.value(unread[k].srNo)].push_back(unread[k].srNo);
        for (const auto& [name, records] : byName)
            if (records.size() > 1) {
                DuplicateGroup g;
                g.bytes = unread[i].bytes;
                g.likely = true;
                for (std::int64_t srNo : records)
                    g.copies.push_back(DuplicateCopy {srNo, {}, {}, {}, {}});
                groups.push_back(std::move(g));
            }
        i = j;
    }

    // Pass 3: what a person reads of each copy, looked up in SrNO order.
    const QHash<QString, QString> disks = diskNames(db);
    std::vector<DuplicateCopy*> copies;
    for (DuplicateGroup& g : groups)
        for (DuplicateCopy& c : g.copies)
            copies.push_back(&c);
    std::sort(copies.begin(), copies.end(), [](const DuplicateCopy* a, const DuplicateCopy* b) { return a->srNo < b->srNo; });
    Raw st(db, "SELECT dbaseName, ID, path, delKey FROM main WHERE SrNO = ?");
    QString catalogue;
    std::string catalogueKept;
    std::string scanKept; // the delete key whose disk is in `disk`
    QString disk;
    for (DuplicateCopy* c : copies) {
        sqlite3_bind_int64(st.st, 1, c->srNo);
        if (st.step()) {
            // Records of one catalogue come together: their copies share one name.
            const std::string_view name(reinterpret_cast<const char*>(sqlite3_column_text(st.st, 0)),
                static_cast<size_t>(sqlite3_column_bytes(st.st, 0)));
            const std::string_view scan(reinterpret_cast<const char*>(sqlite3_column_text(st.st, 3)),
                static_cast<size_t>(sqlite3_column_bytes(st.st, 3)));
            if (catalogue.isNull() || name != catalogueKept || scan != scanKept) {
                catalogueKept.assign(name);
                scanKept.assign(scan);
                catalogue = QString::fromStdString(catalogueKept);
                disk = disks.value(scanId(catalogue, QString::fromStdString(scanKept)), QStringLiteral("(disk not recorded)"));
            }
            c->catalogue = catalogue;
            c->key = st.text(1);
            c->path = st.text(2);
            c->disk = disk;
        }
        st.check();
        sqlite3_reset(st.st);
    }
    for (DuplicateGroup& g : groups) {
        std::sort(g.copies.begin(), g.copies.end(), [](const DuplicateCopy& a, const DuplicateCopy& b) {
            return a.catalogue != b.catalogue ? a.catalogue < b.catalogue : a.path < b.path;
        });
    }
    std::stable_sort(groups.begin(), groups.end(), [](const DuplicateGroup& a, const DuplicateGroup& b) {
        if (a.wasted() != b.wasted())
            return a.wasted() > b.wasted();
        if (a.likely != b.likely)
            return !a.likely;
        return a.copies.front().path < b.copies.front().path;
    });
    return groups;
}

std::optional<std::uint64_t> parseSizeArgument(const QString& text)
{
    QString t = text.trimmed().toUpper();
    if (t.endsWith(QLatin1String("IB")))
        t.chop(2);
    else if (t.endsWith(u'B'))
        t.chop(1);
    double unit = 1;
    if (!t.isEmpty()) {
        const qsizetype at = QStringLiteral("KMGT").indexOf(t.back());
        if (at >= 0) {
            unit = std::pow(1024.0, static_cast<double>(at + 1));
            t.chop(1);
        }
    }
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !(value >= 0) || value * unit > 9.2e18)
        return std::nullopt;
    return static_cast<std::uint64_t>(std::llround(value * unit));
}

QHash<QString, FingerprintTally> fingerprintsByScan(SQLite::Database& db)
{
    QHash<QString, FingerprintTally> tally;
    SQLite::Statement st(db, Queries::kFingerprintsByScan);
    while (st.executeStep())
        tally.insert(scanId(QString::fromStdString(st.getColumn(0).getString()),
                         QString::fromStdString(st.getColumn(1).getString())),
            {st.getColumn(2).getInt64(), st.getColumn(3).getInt64()});
    return tally;
}

std::vector<std::int64_t> recordsWithCopies(SQLite::Database& db, const QStringList& catalogues)
{
    DuplicateQuery query;
    query.catalogues = catalogues;
    std::vector<std::int64_t> records;
    for (const DuplicateGroup& g : findDuplicates(db, query))
        if (!g.likely)
            for (const DuplicateCopy& c : g.copies)
                records.push_back(c.srNo);
    std::sort(records.begin(), records.end());
    return records;
}

} // namespace qm
