// SPDX-License-Identifier: GPL-3.0-or-later
// An update of a fingerprinted scan where nothing changed, beside the plain
// update of the same scan: what keeping the fingerprints costs when every
// file keeps its own unread (a look at each file's size and time, and the
// stored fingerprints read with the records).
//
//   quillmark_bench --entries 200000 update-fingerprints
#include "Bench.h"

#include "catalog/FolderScan.h"
#include "catalog/store/Store.h"
#include "catalog/update/ScanUpdate.h"
#include "platform/Recordset.h"

#include <QElapsedTimer>

#include <SQLiteCpp/Database.h>

#include <algorithm>
#include <cstdio>

namespace {

double seconds(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

double updateSeconds(SQLite::Database& db, const qm::TopFolder& top, bool fingerprints, std::uint64_t& read,
    std::int64_t& kept)
{
    QElapsedTimer t;
    t.start();
    qm::ScanUpdate update(db, QStringLiteral("Bench"), top);
    update.setFingerprints(fingerprints);
    if (!update.run())
        std::printf("  update failed: %s\n", qPrintable(update.failure()));
    read = update.bytesRead();
    kept = update.fingerprintsKept();
    return seconds(t);
}

void updateFingerprintsCase(const qmbench::Options& options)
{
    const std::string root = options.workFolder.toStdString() + "/disk";
    const long long entries = qmbench::makeDiskTree(root, options.entries);
    const QString store = options.workFolder + QStringLiteral("/update.mdb");
    Q_UNUSED(qm::Store::create(store));
    auto db = qm::openConnection(store);
    qm::FolderScan scan(*db, QStringLiteral("Bench"), 1);
    scan.setFingerprints(true);
    const QString key = scan.run(qm::startFolderOf(QString::fromStdString(root)));
    const auto top = qm::findTopFolder(*db, QStringLiteral("Bench"), key);
    if (!top) {
        std::printf("  the scan failed: %s\n", qPrintable(scan.failure()));
        return;
    }
    std::printf("  tree: %lld entries, %lld fingerprints\n", entries,
        static_cast<long long>(scan.fingerprintsStored()));
    double bestPlain = 1e9, bestPrints = 1e9;
    std::uint64_t read = 0;
    std::int64_t kept = 0;
    for (int round = 0; round < 3; ++round) {
        const double plain = updateSeconds(*db, *top, false, read, kept);
        const double prints = updateSeconds(*db, *top, true, read, kept);
        std::printf("  round %d: plain update %.3f s, update --fingerprints %.3f s (%llu bytes read, %lld kept)\n",
            round + 1, plain, prints, static_cast<unsigned long long>(read), static_cast<long long>(kept));
        std::fflush(stdout);
        bestPlain = std::min(bestPlain, plain);
        bestPrints = std::min(bestPrints, prints);
    }
    std::printf("  best of 3: plain update %.3f s, update --fingerprints with nothing changed %.3f s = %.2f x\n",
        bestPlain, bestPrints, bestPrints / bestPlain);
}

QM_BENCH("update-fingerprints", updateFingerprintsCase);

} // namespace
