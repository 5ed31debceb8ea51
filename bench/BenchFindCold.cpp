// SPDX-License-Identifier: GPL-3.0-or-later
// `quillmark find` as a user runs it from a terminal: a fresh process each
// time, first 200 hits, from the index kept on disk, beside `plocate -i -l
// 200` over the same real tree, in one run; process wall time and peak
// resident memory, best of 5, warm page cache.
//
//   quillmark_bench --entries 1000000 find-cold
//
// QM_BENCH_DROP_CACHES=1 also times the first search after the page cache is
// dropped (needs root; slows every other program on the machine for a while).
#include "Bench.h"

#include "catalog/FolderScan.h"
#include "catalog/store/Store.h"
#include "find/IndexFile.h"
#include "find/Query.h"
#include "find/SearchIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <SQLiteCpp/Database.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Run {
    double ms = 1e300;
    double peakMegabytes = 0;
    int status = -1;
};

// Runs `argv` with its output thrown away; wall time and peak resident memory.
Run spawnTimed(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText(extraEnv);
    for (char** e = environ; *e; ++e)
        envText.emplace_back(*e);
    std::vector<char*> env;
    for (const std::string& e : envText)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()) == 0) {
        int code = 0;
        ::waitpid(pid, &code, 0);
        run.ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        run.status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The peak resident memory of `argv`, run once more under /usr/bin/time: the
// rusage of a child spawned from this process would count this process's pages.
double peakOf(const std::vector<std::string>& argv, const std::vector<std::string>& env, const QString& scratch)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/time")))
        return 0;
    std::vector<std::string> timed {"/usr/bin/time", "-f", "%M", "-o", QFile::encodeName(scratch).toStdString()};
    timed.insert(timed.end(), argv.begin(), argv.end());
    spawnTimed(timed, env);
    QFile out(scratch);
    return out.open(QIODevice::ReadOnly) ? out.readAll().trimmed().split('\n').last().toDouble() / 1024.0 : 0;
}

Run bestOf(int rounds, const std::vector<std::string>& argv, const std::vector<std::string>& env,
    const QString& scratch)
{
    Run best;
    for (int r = 0; r < rounds; ++r) {
        const Run run = spawnTimed(argv, env);
        if (run.ms < best.ms)
            best = run;
    }
    best.peakMegabytes = peakOf(argv, env, scratch);
    return best;
}

void findCold(const qmbench::Options& options)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string quillmark
        = QFile::encodeName(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../quillmark")))
              .toStdString();
    // The window program runs the same commands with the windowing libraries
    // loaded: how every command started before they were left out.
    const std::string withWindow = quillmark + "-window";
    const QString tree = QDir(options.workFolder).filePath(QStringLiteral("tree"));
    const QString store = QDir(options.workFolder).filePath(QStringLiteral("database.mdb"));
    const QString cache = QDir(options.workFolder).filePath(QStringLiteral("cache"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    const std::vector<std::string> env {"XDG_CACHE_HOME=" + QFile::encodeName(cache).toStdString()};
    // A cache folder that cannot be made: the search reads the whole catalogue, as before the index.
    const std::vector<std::string> noIndex {"XDG_CACHE_HOME=/proc/no-such-folder"};

    QElapsedTimer t;
    t.start();
    // QM_BENCH_FIND_COLD_REUSE=FOLDER: the store and plocate database an
    // earlier run left there (hard links survive its cleanup), so that the
    // searches of a 10,000,000-entry tree can be timed again without making
    // it, scanning it and running updatedb (a quarter of an hour).
    const QString reuse = qEnvironmentVariable("QM_BENCH_FIND_COLD_REUSE");
    long long made = 0;
    if (!reuse.isEmpty()) {
        // Hard links: the store is never opened through a symbolic one.
        for (const char* name : {"database.mdb", "plocate.db"})
            if (::link(QFile::encodeName(QDir(reuse).filePath(QLatin1String(name))).constData(),
                    QFile::encodeName(QDir(options.workFolder).filePath(QLatin1String(name))).constData())
                != 0)
                std::printf("cannot link %s from %s: %s\n", name, qPrintable(reuse), std::strerror(errno));
        made = SQLite::Database(store.toStdString()).execAndGet("SELECT count(*) FROM main").getInt64();
        std::printf("the store and plocate database of %s: %lld records\n", qPrintable(reuse), made);
    } else {
        made = qmbench::makeNamedTree(QFile::encodeName(tree).toStdString(), options.entries);
        std::printf("real tree: %lld entries made in %.1f s\n", made, static_cast<double>(t.elapsed()) / 1000);
        qm::Store::create(store);
    }
    if (reuse.isEmpty()) {
        SQLite::Database db(store.toStdString(), SQLite::OPEN_READWRITE);
        t.restart();
        qm::FolderScan scan(db, QStringLiteral("Tree"), 1);
        scan.run(qm::startFolderOf(tree));
        std::printf("scanned in %.1f s (writers never touch the index: scan, update and delete cost what "
                    "they did)\n",
            static_cast<double>(t.elapsed()) / 1000);
    }
    const std::string storeArg = QFile::encodeName(store).toStdString();
    const QString scratch = QDir(options.workFolder).filePath(QStringLiteral("peak.txt"));
    const Run reindex = spawnTimed({quillmark, "--database", storeArg, "find", "--reindex"}, env);
    const QString file = qm::find::indexPlaceOf(store).file;
    const auto records = SQLite::Database(store.toStdString()).execAndGet("SELECT count(*) FROM main").getInt64();
    std::printf("index written by `find --reindex` in %.0f ms (peak %.0f MB): %lld bytes, %.1f bytes a record\n",
        reindex.ms, peakOf({quillmark, "--database", storeArg, "find", "--reindex"}, env, scratch), static_cast<long long>(QFileInfo(file).size()),
        static_cast<double>(QFileInfo(file).size()) / static_cast<double>(std::max<long long>(records, 1)));

    // Right after it was written the file is hashed whole at every open; once
    // it has stood still a moment the first search vouches for it (IndexFile.cpp).
    const Run fresh = spawnTimed({quillmark, "--database", storeArg, "find", "--limit", "200", "receipt_77"}, env);
    ::sleep(2);
    const Run vouching = spawnTimed({quillmark, "--database", storeArg, "find", "--limit", "200", "receipt_77"}, env);
    std::printf("a search right after the index was written: %.1f ms; the first once it stood still: %.1f ms\n",
        fresh.ms, vouching.ms);

    const QString plocate = QStandardPaths::findExecutable(QStringLiteral("plocate"));
    const QString updatedb = QStandardPaths::findExecutable(QStringLiteral("updatedb"));
    const std::string locateDb = QFile::encodeName(QDir(options.workFolder).filePath(QStringLiteral("plocate.db"))).toStdString();
    if (!reuse.isEmpty()) {
        // Built by the run that made the tree.
    } else if (!plocate.isEmpty() && !updatedb.isEmpty()) {
        const Run built = spawnTimed({QFile::encodeName(updatedb).toStdString(), "-l", "0", "-U",
                                         QFile::encodeName(tree).toStdString(), "-o", locateDb},
            {});
        std::printf("plocate database built in %.0f ms: %lld bytes, %.1f bytes an entry\n", built.ms,
            static_cast<long long>(QFileInfo(QString::fromStdString(locateDb)).size()),
            static_cast<double>(QFileInfo(QString::fromStdString(locateDb)).size()) / static_cast<double>(made));
    } else {
        std::printf("plocate: not installed (Debian package plocate); left out\n");
    }

    struct Query {
        const char* what;
        std::vector<std::string> quillmark, plocate; // plocate has no size filter
    };
    const Query queries[] = {{"rare word", {"receipt_77"}, {"receipt_77"}}, {"common word", {"invoice"}, {"invoice"}},
        {"wildcard", {"IMG_2019*.jpg"}, {"*IMG_2019*.jpg"}}, {"size filter", {"size>400M"}, {}},
        {"no hit", {"zzqx"}, {"zzqx"}}};
    std::printf("%-12s %-16s %12s %10s %12s %10s %7s %14s %14s   (fresh process, first 200 hits, best of 5)\n",
        "query", "text", "quillmark", "peak", "plocate", "peak", "ratio", "with windowing", "without index");
    for (const Query& q : queries) {
        std::vector<std::string> qmArgs {quillmark, "--database", storeArg, "find", "--limit", "200"};
        qmArgs.insert(qmArgs.end(), q.quillmark.begin(), q.quillmark.end());
        const Run ours = bestOf(5, qmArgs, env, scratch);
        Run theirs;
        if (!plocate.isEmpty() && !q.plocate.empty()) {
            std::vector<std::string> plArgs {QFile::encodeName(plocate).toStdString(), "-d", locateDb, "-i", "-l", "200"};
            plArgs.insert(plArgs.end(), q.plocate.begin(), q.plocate.end());
            theirs = bestOf(5, plArgs, {}, scratch);
        }
        std::vector<std::string> windowArgs(qmArgs);
        windowArgs.front() = withWindow;
        const Run window = bestOf(5, windowArgs, env, scratch);
        // 18 s a run at 10,000,000 records: QM_BENCH_FIND_COLD_WHOLE=0 leaves it out.
        const Run whole = qgetenv("QM_BENCH_FIND_COLD_WHOLE") == "0" ? Run {} : bestOf(3, qmArgs, noIndex, scratch);
        std::printf("%-12s %-16s %9.1f ms %7.0f MB", q.what, q.quillmark.front().c_str(), ours.ms, ours.peakMegabytes);
        if (theirs.status >= 0)
            std::printf(" %9.1f ms %7.0f MB %6.2fx", theirs.ms, theirs.peakMegabytes, ours.ms / theirs.ms);
        else
            std::printf(" %12s %10s %7s", "-", "-", "-");
        if (whole.status >= 0)
            std::printf(" %11.1f ms %11.0f ms (%.0f MB)\n", window.ms, whole.ms, whole.peakMegabytes);
        else
            std::printf(" %11.1f ms %14s\n", window.ms, "-");
    }
    // The window's first search: its searcher opens the index and runs the
    // query on a thread of its own; here, the same calls in this process.
    {
        auto memory = [](const char* field) {
            QFile status(QStringLiteral("/proc/self/status"));
            if (!status.open(QIODevice::ReadOnly))
                return 0.0;
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith(field))
                    return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').value(0).toDouble()
                        / 1024.0;
            return 0.0;
        };
        const double anonBefore = memory("RssAnon:"), fileBefore = memory("RssFile:");
        QElapsedTimer first;
        first.start();
        qm::find::SearchIndex index(store, file);
        index.sync();
        const qm::find::Query query = qm::find::parseQuery(QStringLiteral("invoice")).query;
        std::vector<std::uint32_t> found;
        index.search(query, [&](std::uint32_t e) {
            found.push_back(e);
            return found.size() < 200;
        });
        const auto rows = index.details(found).size();
        std::printf("the window's first search (open, sync, first 200 rows of \"invoice\"): %.1f ms, %zu rows; "
                    "memory added: %.1f MB anonymous, %.1f MB of the mapped file\n",
            static_cast<double>(first.nsecsElapsed()) / 1e6, rows, memory("RssAnon:") - anonBefore,
            memory("RssFile:") - fileBefore);
    }
    if (qgetenv("QM_BENCH_DROP_CACHES") == "1") {
        QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
        if (::sync(), drop.open(QIODevice::WriteOnly) && drop.write("3\n") == 2) {
            drop.close();
            const Run cold = spawnTimed({quillmark, "--database", storeArg, "find", "--limit", "200", "invoice"}, env);
            std::printf("after the page cache was dropped: %.0f ms\n", cold.ms);
        } else {
            std::printf("the page cache cannot be dropped here (needs root)\n");
        }
    }
}

} // namespace

QM_BENCH("find-cold", findCold);
