// SPDX-License-Identifier: GPL-3.0-or-later
// Two scans of a million records each compared from the catalogue alone:
// what `quillmark diff` and the Compare window run.
//
//   quillmark_bench --entries 1000000 diff     (1,000,000 records a scan at least)
#include "Bench.h"

#include "catalog/ScanDiff.h"
#include "catalog/store/Store.h"
#include "platform/Recordset.h"

#include <QElapsedTimer>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include <time.h>

namespace {

double seconds(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// One scan of `files` fingerprinted files in folders of 50 below `root`.
// Side B differs from A in one file in a thousand of each kind: gone, new,
// other content, moved to another folder.
void makeScan(SQLite::Database& db, const std::string& catalogue, const std::string& root, long long files, bool b)
{
    SQLite::Statement row(db, "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes, "
                              "created, modified) VALUES (?, ?, ?, ?, ?, '1', '2026-01-01 00:00:00', '1>', ?, 0, ?)");
    SQLite::Statement print(db, "INSERT INTO fingerprints VALUES (?, ?, ?, ?)");
    long long key = 1;
    auto add = [&](const std::string& parent, const std::string& name, const std::string& path, std::int64_t bytes) {
        row.bind(1, std::to_string(key) + ">");
        row.bind(2, parent);
        row.bind(3, catalogue);
        row.bind(4, name);
        row.bind(5, path);
        row.bind(6, static_cast<int64_t>(bytes));
        row.bind(7, static_cast<int64_t>(1700000000));
        row.exec();
        row.reset();
        return std::to_string(key++) + ">";
    };
    add("0>", root, root + "/", 0);
    std::string folderKey;
    for (long long i = 0; i < files; ++i) {
        const long long folder = i / 50;
        // Folders in an order other than their names'.
        const std::string folderName = "folder" + std::to_string((folder * 7919) % 100003);
        if (i % 50 == 0)
            folderKey = add("1>", folderName, root + "/" + folderName + "/", 0);
        if (b && i % 1000 == 1)
            continue; // gone
        long long content = i;
        if (b && i % 1000 == 2)
            content += 1ll << 40; // other content, same size
        std::string where = root + "/" + folderName + "/";
        if (b && i % 1000 == 3)
            where = root + "/moved/"; // moved: the folder need not exist for the catalogue's paths
        const std::string name = "IMG_" + std::to_string(i) + ".jpg";
        const auto bytes = static_cast<std::int64_t>(1000 + (i * 7919) % 5000000);
        add(folderKey, name, where + name, bytes);
        unsigned char hash[16] = {};
        for (int k = 0; k < 8; ++k)
            hash[k] = static_cast<unsigned char>(content >> (8 * k)) ^ 0x5a;
        print.bind(1, static_cast<int64_t>(db.getLastInsertRowid()));
        print.bind(2, hash, 16);
        print.bind(3, static_cast<int64_t>(bytes));
        print.bind(4, static_cast<int64_t>(1700000000) * 1000000000);
        print.exec();
        print.reset();
        if (b && i % 1000 == 4)
            add(folderKey, "new_" + name, root + "/" + folderName + "/new_" + name, 10);
    }
}

long long peakMemoryKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    return 0;
}

void diffCase(const qmbench::Options& options)
{
    const long long files = std::max(options.entries, 1000000LL);
    const QString store = options.workFolder + QStringLiteral("/diff.mdb");
    Q_UNUSED(qm::Store::create(store));
    auto db = qm::openConnection(store);
    QElapsedTimer made;
    made.start();
    {
        SQLite::Transaction t(*db);
        makeScan(*db, "Backup A", "/media/a", files, false);
        makeScan(*db, "Backup B", "/media/b", files, true);
        t.commit();
    }
    std::printf("  store: two scans of %lld files, made in %.1f s; peak memory before %lld KB\n", files,
        seconds(made), peakMemoryKb());
    const qm::ScanRef a {QStringLiteral("Backup A"), *qm::findTopFolder(*db, QStringLiteral("Backup A"), QStringLiteral("1>"))};
    const qm::ScanRef b {QStringLiteral("Backup B"), *qm::findTopFolder(*db, QStringLiteral("Backup B"), QStringLiteral("1>"))};
    auto cpu = [] {
        timespec ts {};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    };
    double best = 1e9, bestCpu = 1e9;
    qm::DiffCounts counts;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer t;
        t.start();
        const double from = cpu();
        counts = qm::diffScans(*db, a, b).counts;
        best = std::min(best, seconds(t));
        bestCpu = std::min(bestCpu, cpu() - from);
    }
    std::printf("  diffScans: %s\n  best of 3 %.3f s (processor time %.3f s); peak memory %lld KB\n",
        qPrintable(qm::diffSummary(counts)), best, bestCpu, peakMemoryKb());
}

QM_BENCH("diff", diffCase);

} // namespace
