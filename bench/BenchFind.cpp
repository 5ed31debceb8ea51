// SPDX-License-Identifier: GPL-3.0-or-later
// The search: reading a catalogue into the search's copy, the first 200 rows
// and the full count of queries on it, the copy's memory, plocate over a real
// tree of the same names, and what the change log costs a scan and a delete.
//
//   quillmark_bench --entries 1000000 find
//
// QM_BENCH_FIND_TREE caps the real tree for plocate (default 1,000,000
// entries; 0 leaves plocate out).
#include "Bench.h"

#include "platform/AppPaths.h"
#include "catalog/FolderScan.h"
#include "platform/Numbers.h"
#include "catalog/store/Store.h"
#include "find/Query.h"
#include "find/SearchIndex.h"
#include "platform/Recordset.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

double milliseconds(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double rssMegabytes()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = status.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0 : 0;
}

// Names like those on a real disk: photos, documents, music, code, in
// folders of about twenty entries.
class Names {
public:
    std::string next(bool folder)
    {
        static const char* const words[] = {"report", "final", "draft", "budget", "invoice", "holiday", "summer",
            "project", "backup", "notes", "meeting", "photo", "scan", "letter", "travel", "family", "music",
            "track", "album", "video", "clip", "source", "build", "test", "data", "export", "archive",
            "presentation", "contract", "receipt", "thesis", "chapter", "paper", "lecture", "recipe", "garden",
            "wedding", "birthday", "school", "work", "home", "car", "house", "tax", "bank", "insurance",
            "manual", "setup", "driver", "update"};
        static const char* const extensions[] = {"jpg", "JPG", "png", "pdf", "docx", "txt", "mp3", "flac", "mp4",
            "mkv", "cpp", "h", "py", "zip", "xlsx", "odt", "epub", "iso", "csv", "html"};
        const std::uint64_t r = random();
        std::string name;
        switch (r % 4) {
        case 0:
            name = "IMG_" + std::to_string(2015 + r / 7 % 10) + two(r / 11 % 12 + 1) + two(r / 13 % 28 + 1) + '_'
                + std::to_string(100000 + r / 17 % 900000);
            break;
        case 1:
            name = std::string(words[r / 5 % 50]) + ' ' + std::to_string(r / 250 % 100);
            break;
        case 2:
            name = std::string(words[r / 5 % 50]) + '-' + words[r / 250 % 50] + '-' + words[r / 12500 % 50];
            break;
        default:
            name = std::string(words[r / 5 % 50]) + '_' + std::to_string(r / 250 % 10000);
        }
        if (!folder)
            name += '.' + std::string(extensions[r / 3 % 20]);
        return name;
    }
    std::uint64_t random()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

private:
    static std::string two(std::uint64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); }
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

// Fills `db` with a catalogue of `entries` records as a scan would write it:
// breadth of about twenty entries a folder, one in eight a folder.
void fillSynthetic(SQLite::Database& db, long long entries)
{
    Names names;
    SQLite::Statement insert(db, "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, "
                                 "bytes, created, modified) VALUES (?, ?, 'Bench', ?, ?, ?, ?, '1>', ?, ?, ?)");
    struct Folder {
        long long key;
        std::string path;
    };
    std::vector<Folder> folders {{1, "/bench/"}};
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    std::unique_ptr<SQLite::Transaction> transaction;
    auto add = [&](long long key, long long parent, const std::string& name, const std::string& path,
                   std::int64_t bytes) {
        if (!transaction || key % 200000 == 0) {
            if (transaction)
                transaction->commit();
            transaction = std::make_unique<SQLite::Transaction>(db);
        }
        const std::string keyText = std::to_string(key) + '>';
        const std::string parentText = parent ? std::to_string(parent) + '>' : "0>";
        std::string size;
        qm::appendSizeText(static_cast<std::uint64_t>(bytes), size);
        const qint64 created = now - static_cast<qint64>(names.random() % (10LL * 365 * 86400));
        const std::string date = QDateTime::fromSecsSinceEpoch(created)
                                     .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                     .toStdString();
        insert.bind(1, keyText);
        insert.bind(2, parentText);
        insert.bind(3, name);
        insert.bind(4, path);
        insert.bind(5, size);
        insert.bind(6, date);
        insert.bind(7, static_cast<int64_t>(bytes));
        insert.bind(8, static_cast<int64_t>(created));
        insert.bind(9, static_cast<int64_t>(created));
        insert.exec();
        insert.reset();
    };
    add(1, 0, "/bench", "/bench/", 0);
    size_t folder = 0;
    for (long long key = 2; key <= entries; ++key) {
        // Each folder gets about twenty entries before the walk moves on.
        if (names.random() % 20 == 0 && folder + 1 < folders.size())
            ++folder;
        const Folder parent = folders[folder];
        const bool isFolder = names.random() % 8 == 0;
        const std::string name = names.next(isFolder);
        const std::string path = parent.path + name + (isFolder ? "/" : "");
        add(key, parent.key, name, path,
            isFolder ? 0 : static_cast<std::int64_t>(names.random() % (names.random() % 3 ? 100000 : 500000000)));
        if (isFolder)
            folders.push_back({key, path});
    }
    transaction->commit();
}

// The same names as a real tree on disk, for plocate and for a scan.
long long makeTree(const std::string& root, long long entries)
{
    Names names;
    ::mkdir(root.c_str(), 0755);
    std::vector<std::string> folders {root};
    size_t folder = 0;
    long long made = 0;
    for (; made < entries; ++made) {
        if (names.random() % 20 == 0 && folder + 1 < folders.size())
            ++folder;
        const bool isFolder = names.random() % 8 == 0;
        const std::string path = folders[folder] + '/' + names.next(isFolder);
        if (isFolder) {
            if (::mkdir(path.c_str(), 0755) == 0)
                folders.push_back(path);
        } else {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    }
    return made;
}

std::unique_ptr<SQLite::Database> freshStore(const QString& folder)
{
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("database.mdb"));
    QFile::remove(path);
    if (const QString error = qm::Store::create(path); !error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(error));
    auto db = std::make_unique<SQLite::Database>(path.toStdString(), SQLite::OPEN_READWRITE);
    db->setBusyTimeout(5000);
    return db;
}

// The best of `rounds` runs of each of `runs`, taken in turns.
std::vector<double> interleaved(const std::vector<std::function<void()>>& runs, int rounds)
{
    std::vector<double> best(runs.size(), 1e300);
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < runs.size(); ++i) {
            QElapsedTimer t;
            t.start();
            runs[i]();
            best[i] = std::min(best[i], milliseconds(t));
        }
    return best;
}

qm::find::Query queryOf(const char* text)
{
    return qm::find::parseQuery(QString::fromUtf8(text)).query;
}

// Runs a query: the first 200 rows read, or the full count.
long long firstRows(qm::find::SearchIndex& index, const qm::find::Query& q)
{
    std::vector<std::uint32_t> found;
    index.search(q, [&](std::uint32_t e) {
        found.push_back(e);
        return found.size() < 200;
    });
    return static_cast<long long>(index.details(found).size());
}

long long fullCount(qm::find::SearchIndex& index, const qm::find::Query& q)
{
    long long n = 0;
    index.search(q, [&](std::uint32_t) {
        ++n;
        return true;
    });
    return n;
}

void searchFigures(const QString& storePath, long long entries)
{
    const double before = rssMegabytes();
    QElapsedTimer t;
    t.start();
    qm::find::SearchIndex index(storePath);
    index.sync();
    std::printf("copy read: %lld records in %.0f ms; %.1f bytes a record (%.0f MB; process grew %.0f MB)\n",
        static_cast<long long>(index.recordCount()), milliseconds(t),
        static_cast<double>(index.memoryBytes()) / static_cast<double>(entries),
        static_cast<double>(index.memoryBytes()) / 1048576.0, rssMegabytes() - before);
    t.restart();
    index.sync();
    std::printf("sync with nothing committed: %.3f ms\n", milliseconds(t));

    const char* const queries[] = {"repo", "budg", "xq7", "IMG_2019", "report final", "IMG_2019*.jpg",
        "ext:pdf size>10M", "zzzz", "path:wedding IMG_2019", "path:wedding"};
    std::vector<std::function<void()>> runs;
    std::vector<long long> counts;
    for (const char* text : queries) {
        const qm::find::Query q = queryOf(text);
        counts.push_back(fullCount(index, q));
        runs.push_back([&index, q] { firstRows(index, q); });
        runs.push_back([&index, q] { fullCount(index, q); });
    }
    const std::vector<double> best = interleaved(runs, 7);
    std::printf("%-20s %10s %16s %14s   (warm, best of 7 interleaved rounds)\n", "query", "hits",
        "first 200 rows", "full count");
    for (size_t i = 0; i < std::size(queries); ++i)
        std::printf("%-20s %10lld %13.2f ms %11.2f ms\n", queries[i], counts[i], best[2 * i], best[2 * i + 1]);
}

void plocateFigures(const qmbench::Options& options, long long entries)
{
    const QString updatedb = QStandardPaths::findExecutable(QStringLiteral("updatedb"));
    const QString plocate = QStandardPaths::findExecutable(QStringLiteral("plocate"));
    const QString tree = QDir(options.workFolder).filePath(QStringLiteral("tree"));
    QElapsedTimer t;
    t.start();
    const long long made = makeTree(QFile::encodeName(tree).toStdString(), entries);
    std::printf("\nreal tree: %lld entries made in %.1f s\n", made, milliseconds(t) / 1000);

    // The change log's cost: the same tree scanned into stores with and
    // without its triggers, then the scan deleted again.
    const QString storeFolder = QDir(options.workFolder).filePath(QStringLiteral("scanned"));
    std::unique_ptr<SQLite::Database> db;
    auto scanInto = [&](bool logged) {
        db = freshStore(storeFolder);
        if (!logged)
            for (const char* trigger : {"main_logged_update", "main_logged_renumber", "main_logged_delete"})
                db->exec(std::string("DROP TRIGGER ") + trigger);
        qm::FolderScan scan(*db, QStringLiteral("Tree"), 1);
        scan.run(qm::startFolderOf(tree));
    };
    auto deleteScan = [&] { db->exec("DELETE FROM main WHERE dbaseName = 'Tree' AND delKey = '1>'"); };
    double scanTime[2] = {1e300, 1e300}, deleteTime[2] = {1e300, 1e300};
    for (int round = 0; round < 5; ++round)
        for (const bool logged : {false, true}) {
            t.restart();
            scanInto(logged);
            scanTime[logged] = std::min(scanTime[logged], milliseconds(t));
            t.restart();
            deleteScan();
            deleteTime[logged] = std::min(deleteTime[logged], milliseconds(t));
        }
    std::printf("scan of the tree: %.0f ms without the change log, %.0f ms with it (%+.1f%%)\n", scanTime[0],
        scanTime[1], 100.0 * (scanTime[1] / scanTime[0] - 1));
    std::printf("delete of that scan: %.0f ms without the change log, %.0f ms with it (%+.1f%%)\n",
        deleteTime[0], deleteTime[1], 100.0 * (deleteTime[1] / deleteTime[0] - 1));

    if (updatedb.isEmpty() || plocate.isEmpty()) {
        std::printf("plocate: not installed (Debian package plocate); left out\n");
        return;
    }
    scanInto(true);
    const QString locateDb = QDir(options.workFolder).filePath(QStringLiteral("plocate.db"));
    t.restart();
    QProcess::execute(updatedb, {QStringLiteral("-l"), QStringLiteral("0"), QStringLiteral("-U"), tree,
                                    QStringLiteral("-o"), locateDb});
    std::printf("updatedb: %.0f ms\n", milliseconds(t));

    qm::find::SearchIndex index(QDir(storeFolder).filePath(QStringLiteral("database.mdb")));
    index.sync();
    std::printf("%-12s %20s %20s %8s   (plocate -i matches whole paths; best of 5 interleaved rounds)\n",
        "pattern", "quillmark count", "plocate -i -c", "ratio");
    for (const char* pattern : {"repo", "budg", "xq7", "IMG_2019"}) {
        const qm::find::Query q = queryOf(pattern);
        QString plocateCount;
        const std::vector<double> best = interleaved({[&] { fullCount(index, q); },
                                                         [&] {
                                                             QProcess p;
                                                             p.start(plocate, {QStringLiteral("-d"), locateDb,
                                                                                  QStringLiteral("-i"),
                                                                                  QStringLiteral("-c"),
                                                                                  QString::fromLatin1(pattern)});
                                                             p.waitForFinished(-1);
                                                             plocateCount = QString::fromLatin1(
                                                                 p.readAllStandardOutput().trimmed());
                                                         }},
            5);
        std::printf("%-12s %9lld %7.2f ms %9s %7.2f ms %7.2fx\n", pattern, fullCount(index, q), best[0],
            qPrintable(plocateCount), best[1], best[1] / best[0]);
    }
}

void find(const qmbench::Options& options)
{
    // The figures show as they come: a run takes minutes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    {
        auto db = freshStore(QDir(options.workFolder).filePath(QStringLiteral("synthetic")));
        QElapsedTimer t;
        t.start();
        fillSynthetic(*db, options.entries);
        std::printf("synthetic catalogue: %lld records written in %.1f s\n", options.entries,
            milliseconds(t) / 1000);
    }
    searchFigures(QDir(options.workFolder).filePath(QStringLiteral("synthetic/database.mdb")), options.entries);

    const long long treeCap = qEnvironmentVariableIsSet("QM_BENCH_FIND_TREE")
        ? qEnvironmentVariable("QM_BENCH_FIND_TREE").toLongLong()
        : 1000000;
    if (treeCap > 0)
        plocateFigures(options, std::min(options.entries, treeCap));
}

} // namespace

long long qmbench::makeNamedTree(const std::string& root, long long entries)
{
    return makeTree(root, entries);
}

QM_BENCH("find", find);
