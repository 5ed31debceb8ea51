// SPDX-License-Identifier: GPL-3.0-or-later
// Content fingerprints: a fingerprinting scan beside `xxhsum -H2` over the
// same files (one process, the same list), warm cache; and the duplicates of
// a million fingerprinted files.
//
//   quillmark_bench fingerprint     (about 2 GB of files in the work folder; needs xxhsum)
//   quillmark_bench dupes           (a store of --entries fingerprinted files, 1,000,000 at least)
#include "Bench.h"

#include "catalog/Duplicates.h"
#include "catalog/FolderScan.h"
#include "catalog/store/Store.h"
#include "platform/Recordset.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

double seconds(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// A file of `size` bytes of its own, written for real (a sparse file reads as nothing).
void writeFile(const std::string& path, long long size, std::uint64_t seed, std::vector<std::uint64_t>& block)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ULL + 1;
    for (long long left = size; left > 0;) {
        for (std::uint64_t& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        const auto n = static_cast<size_t>(std::min<long long>(left, static_cast<long long>(block.size() * 8)));
        if (::write(fd, block.data(), n) != static_cast<ssize_t>(n))
            break;
        left -= static_cast<long long>(n);
    }
    ::close(fd);
}

// About 1.9 GB in 7,126 files from 1 KB to 200 MB, in folders of a hundred.
QStringList makeContentTree(const std::string& root, unsigned long long& total)
{
    const std::pair<int, long long> shape[] = {{6, 200LL << 20}, {20, 20LL << 20}, {100, 2LL << 20},
        {1000, 100LL << 10}, {4000, 10LL << 10}, {2000, 1LL << 10}};
    std::vector<std::uint64_t> block(1 << 17);
    QStringList files;
    ::mkdir(root.c_str(), 0755);
    int n = 0;
    for (const auto& [count, size] : shape)
        for (int i = 0; i < count; ++i, ++n) {
            const std::string folder = root + "/d" + std::to_string(n / 100);
            ::mkdir(folder.c_str(), 0755);
            const std::string path = folder + "/f" + std::to_string(n) + ".bin";
            writeFile(path, size, static_cast<std::uint64_t>(n), block);
            files << QString::fromStdString(path);
            total += static_cast<unsigned long long>(size);
        }
    return files;
}

double xxhsumSeconds(const QString& program, const QStringList& files)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, QStringList {QStringLiteral("-H2")} + files);
    p.waitForFinished(-1);
    const double s = seconds(t);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        std::printf("  xxhsum failed: %s\n", p.readAllStandardError().constData());
    return s;
}

// The reader alone, one file after another on this thread: what the scan adds
// to it is the walk, the store and the hand-overs.
double readerSeconds(const QStringList& files)
{
    qm::FingerprintReader reader;
    std::atomic<bool> stop {false};
    std::atomic<std::uint64_t> read {0};
    qm::FileFingerprint f;
    QElapsedTimer t;
    t.start();
    for (const QString& file : files)
        reader.fingerprint(file.toStdString(), 0, stop, read, f);
    return seconds(t);
}

double scanSeconds(const QString& work, const std::string& root, bool fingerprints, long long& stored)
{
    const QString store = work + QStringLiteral("/fp.mdb");
    QFile::remove(store);
    Q_UNUSED(qm::Store::create(store));
    auto db = qm::openConnection(store);
    QElapsedTimer t;
    t.start();
    qm::FolderScan scan(*db, QStringLiteral("Bench"), 1);
    scan.setFingerprints(fingerprints);
    scan.run(qm::startFolderOf(QString::fromStdString(root)));
    const double s = seconds(t);
    stored = scan.fingerprintsStored();
    if (!scan.failure().isEmpty() || scan.skippedCount() != 0)
        std::printf("  scan: %s, %lld skipped\n", qPrintable(scan.failure()), static_cast<long long>(scan.skippedCount()));
    return s;
}

void fingerprintCase(const qmbench::Options& options)
{
    const QString xxhsum = QStandardPaths::findExecutable(QStringLiteral("xxhsum"));
    if (xxhsum.isEmpty()) {
        std::printf("  xxhsum is not installed (apt-get install xxhash): case skipped\n");
        return;
    }
    const std::string root = options.workFolder.toStdString() + "/contents";
    unsigned long long total = 0;
    QElapsedTimer made;
    made.start();
    QStringList files = makeContentTree(root, total);
    std::printf("  tree: %lld files, %.2f GB, made in %.1f s; readers: %d\n", static_cast<long long>(files.size()),
        static_cast<double>(total) / 1e9, seconds(made),
        qm::FingerprintStage::readersFor(static_cast<std::uint64_t>([&] {
            struct stat st { };
            ::stat(root.c_str(), &st);
            return st.st_dev;
        }())));
    std::fflush(stdout);
    xxhsumSeconds(xxhsum, files); // warms the cache
    double bestX = 1e9, bestF = 1e9, bestP = 1e9, bestR = 1e9;
    long long stored = 0;
    for (int round = 0; round < 3; ++round) {
        const double x = xxhsumSeconds(xxhsum, files);
        const double f = scanSeconds(options.workFolder, root, true, stored);
        const double p = scanSeconds(options.workFolder, root, false, stored);
        const double r = readerSeconds(files);
        std::printf("  round %d: xxhsum -H2 %.3f s, fingerprinting scan %.3f s, plain scan %.3f s, reader alone %.3f s\n",
            round + 1, x, f, p, r);
        bestR = std::min(bestR, r);
        std::fflush(stdout);
        bestX = std::min(bestX, x);
        bestF = std::min(bestF, f);
        bestP = std::min(bestP, p);
    }
    scanSeconds(options.workFolder, root, true, stored);
    std::printf("  best of 3: xxhsum -H2 %.3f s (%.2f GB/s), fingerprinting scan %.3f s (%.2f GB/s, %lld "
                "fingerprints) = %.2f x xxhsum; plain scan %.3f s; reader alone %.3f s\n",
        bestX, static_cast<double>(total) / 1e9 / bestX, bestF, static_cast<double>(total) / 1e9 / bestF, stored,
        bestF / bestX, bestP, bestR);
}

// A store of `files` fingerprinted file records in folders of 50 on 4
// catalogues, one in ten a copy of another file.
void makeFingerprintedStore(SQLite::Database& db, long long files)
{
    SQLite::Transaction t(db);
    SQLite::Statement row(db, "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes, "
                              "created, modified) VALUES (?, ?, ?, ?, ?, '1', '2026-01-01 00:00:00', '1>', ?, 0, ?)");
    SQLite::Statement print(db, "INSERT INTO fingerprints VALUES (?, ?, ?, ?)");
    long long key = 1;
    for (long long i = 0; i < files; ++i) {
        const std::string catalogue = "Disk " + std::to_string(i % 4);
        if (i % 50 == 0) {
            row.bind(1, std::to_string(++key) + ">");
            row.bind(2, "1>");
            row.bind(3, catalogue);
            row.bind(4, "folder" + std::to_string(i / 50));
            row.bind(5, "/media/disk/folder" + std::to_string(i / 50) + "/");
            row.bind(6, 0);
            row.bind(7, 0);
            row.exec();
            row.reset();
        }
        const long long content = i % 10 == 9 ? i - 9 : i; // one in ten has a twin
        const auto bytes = static_cast<int64_t>(1000 + (content * 7919) % 5000000);
        row.bind(1, std::to_string(++key) + ">");
        row.bind(2, std::to_string(key - 1 - i % 50) + ">");
        row.bind(3, catalogue);
        row.bind(4, "file" + std::to_string(i) + ".jpg");
        row.bind(5, "/media/disk/folder" + std::to_string(i / 50) + "/file" + std::to_string(i) + ".jpg");
        row.bind(6, bytes);
        row.bind(7, static_cast<int64_t>(1700000000));
        row.exec();
        row.reset();
        unsigned char hash[16] = {};
        for (int b = 0; b < 8; ++b)
            hash[b] = static_cast<unsigned char>(content >> (8 * b)) ^ 0x5a;
        print.bind(1, static_cast<int64_t>(db.getLastInsertRowid()));
        print.bind(2, hash, 16);
        print.bind(3, bytes);
        print.bind(4, static_cast<int64_t>(1700000000) * 1000000000);
        print.exec();
        print.reset();
    }
    t.commit();
}

void dupesCase(const qmbench::Options& options)
{
    const long long files = std::max(options.entries, 1000000LL);
    const QString store = options.workFolder + QStringLiteral("/dupes.mdb");
    Q_UNUSED(qm::Store::create(store));
    auto db = qm::openConnection(store);
    QElapsedTimer made;
    made.start();
    makeFingerprintedStore(*db, files);
    std::printf("  store: %lld fingerprinted files, made in %.1f s\n", files, seconds(made));
    // The work is on this thread alone: its processor time is what it costs
    // on a machine that others do not share.
    auto cpu = [] {
        timespec ts {};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    };
    double best = 1e9, bestCpu = 1e9;
    size_t groups = 0;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer t;
        t.start();
        const double from = cpu();
        groups = qm::findDuplicates(*db).size();
        best = std::min(best, seconds(t));
        bestCpu = std::min(bestCpu, cpu() - from);
    }
    std::printf("  findDuplicates: %zu groups, best of 3 %.3f s (processor time on its thread %.3f s)\n", groups,
        best, bestCpu);
}

QM_BENCH("fingerprint", fingerprintCase);
QM_BENCH("dupes", dupesCase);

} // namespace
