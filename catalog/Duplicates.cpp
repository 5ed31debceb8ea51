// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Duplicates.h"

#include "platform/Recordset.h"

#include <QHash>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

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

void bindCatalogues(SQLite::Statement& st, const QStringList& catalogues, int from)
{
    for (qsizetype i = 0; i < catalogues.size(); ++i)
        st.bind(from + static_cast<int>(i), catalogues[i].toStdString());
}

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
    // fingerprint where it has one that still holds. Folders have a path
    // ending in "/" and no fingerprint.
    std::vector<Hashed> hashed;
    std::vector<Named> unread;
    QHash<std::int64_t, QString> names; // of the unread files, for the second look
    {
        SQLite::Statement st(db,
            "SELECT m.SrNO, m.bytes, m.modified, f.Hash, f.Bytes, f.ModifiedNs, "
            "CASE WHEN f.SrNO IS NULL THEN m.file_name END "
            "FROM main m LEFT JOIN fingerprints f ON f.SrNO = m.SrNO "
            "WHERE m.bytes >= ?1 AND substr(m.path, -1) <> '/'"
                + catalogueFilter(query.catalogues));
        st.bind(1, static_cast<int64_t>(std::min<std::uint64_t>(query.minSize, INT64_MAX)));
        bindCatalogues(st, query.catalogues, 2);
        while (st.executeStep()) {
            const std::int64_t srNo = st.getColumn(0).getInt64();
            const auto bytes = static_cast<std::uint64_t>(st.getColumn(1).getInt64());
            const SQLite::Column hash = st.getColumn(3);
            const bool holds = !hash.isNull() && hash.getBytes() == static_cast<int>(sizeof(ContentHash))
                && static_cast<std::uint64_t>(st.getColumn(4).getInt64()) == bytes
                && floorDiv(st.getColumn(5).getInt64(), 1000000000) == st.getColumn(2).getInt64();
            if (holds) {
                Hashed h {{}, bytes, srNo};
                std::memcpy(h.hash.data(), hash.getBlob(), h.hash.size());
                hashed.push_back(h);
            } else {
                const QString name = st.getColumn(6).isNull() ? QString() : QString::fromStdString(st.getColumn(6).getString());
                unread.push_back({bytes, qHash(name), srNo});
                names.insert(srNo, name);
            }
        }
    }
    // A stale fingerprint's record was not asked for its name above.
    {
        SQLite::Statement st(db, "SELECT file_name FROM main WHERE SrNO = ?");
        for (auto it = names.begin(); it != names.end(); ++it)
            if (it.value().isNull()) {
                st.bind(1, static_cast<int64_t>(it.key()));
                if (st.executeStep())
                    it.value() = QString::fromStdString(st.getColumn(0).getString());
                st.reset();
            }
        for (Named& n : unread)
            n.nameHash = qHash(names.value(n.srNo));
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

    // Pass 3: what a person reads of each copy.
    const QHash<QString, QString> disks = diskNames(db);
    SQLite::Statement st(db, "SELECT dbaseName, ID, path, delKey FROM main WHERE SrNO = ?");
    for (DuplicateGroup& g : groups) {
        for (DuplicateCopy& c : g.copies) {
            st.bind(1, static_cast<int64_t>(c.srNo));
            if (st.executeStep()) {
                c.catalogue = QString::fromStdString(st.getColumn(0).getString());
                c.key = QString::fromStdString(st.getColumn(1).getString());
                c.path = QString::fromStdString(st.getColumn(2).getString());
                c.disk = disks.value(scanId(c.catalogue, QString::fromStdString(st.getColumn(3).getString())),
                    QStringLiteral("(disk not recorded)"));
            }
            st.reset();
        }
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
    SQLite::Statement st(db,
        "SELECT m.dbaseName, m.delKey, count(*), sum(f.Bytes) FROM fingerprints f JOIN main m ON m.SrNO = f.SrNO "
        "GROUP BY m.dbaseName, m.delKey");
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
