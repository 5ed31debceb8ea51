// SPDX-License-Identifier: GPL-3.0-or-later
// Where the space went: a scan of N entries read from the store as a tree,
// laid out as a squarified treemap and drawn at a window's size.
#include "Bench.h"

#include "catalog/store/Store.h"
#include "catalog/Treemap.h"
#include "main_window/TreemapView.h"
#include "platform/Recordset.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

double seconds(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e9;
}

// The processor time this process used so far: on a machine shared with
// builds the wall clock says more about them than about the read.
double processorSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// One scan shaped as a disk: folders three deep of 50 files each, sizes
// spread over six orders of magnitude, a dozen extensions.
void fillScan(SQLite::Database& db, long long entries)
{
    SQLite::Statement insert(db,
        "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey, bytes) "
        "VALUES (?, ?, 'Bench', ?, ?, '', '2026-01-01 00:00:00', '1>', ?)");
    static const char* const kinds[] = {".jpg", ".png", ".txt", ".mp3", ".mkv", ".pdf", ".cpp", ".h", ".zip", ".iso", ".odt", ""};
    long long id = 0;
    auto add = [&](long long parent, const std::string& name, const std::string& path, long long bytes) {
        ++id;
        insert.bind(1, std::to_string(id) + ">");
        insert.bind(2, parent == 0 ? std::string("0>") : std::to_string(parent) + ">");
        insert.bind(3, name);
        insert.bind(4, path);
        if (bytes < 0)
            insert.bind(5);
        else
            insert.bind(5, static_cast<int64_t>(bytes));
        insert.exec();
        insert.reset();
        return id;
    };
    SQLite::Transaction t(db);
    add(0, "/media/bench", "/media/bench/", -1);
    long long made = 1;
    unsigned seed = 12345;
    for (int a = 0; made < entries; ++a) {
        const std::string pa = "/media/bench/a" + std::to_string(a) + "/";
        const long long ida = add(1, "a" + std::to_string(a), pa, -1);
        ++made;
        for (int b = 0; b < 20 && made < entries; ++b) {
            const std::string pb = pa + "b" + std::to_string(b) + "/";
            const long long idb = add(ida, "b" + std::to_string(b), pb, -1);
            ++made;
            for (int f = 0; f < 50 && made < entries; ++f, ++made) {
                seed = seed * 1103515245u + 12345u;
                const long long bytes = 1LL << ((seed >> 16) % 24);
                const std::string name = "f" + std::to_string(f) + kinds[(seed >> 8) % 12];
                add(idb, name, pb + name, bytes);
            }
        }
    }
    t.commit();
}

void treemap(const qmbench::Options& options)
{
    const QString store = QDir(options.workFolder).filePath(QStringLiteral("treemap.mdb"));
    qm::Store::create(store);
    auto db = qm::openConnection(store);
    fillScan(*db, options.entries);

    QElapsedTimer t;
    t.start();
    const double cpuBefore = processorSeconds();
    qm::TreemapTree tree = qm::readScanTree(*db, QStringLiteral("Bench"), QStringLiteral("1>"));
    const double read = seconds(t);
    const double readCpu = processorSeconds() - cpuBefore;

    t.restart();
    qm::TreemapView view;
    view.resize(1600, 1000);
    view.setTree(std::move(tree));
    QImage image(view.size(), QImage::Format_RGB32);
    view.render(&image);
    const double draw = seconds(t);
    const size_t tiles = view.tiles().size();

    t.restart();
    const std::vector<int> biggest = qm::biggestEntries(view.tree(), 100);
    const double top = seconds(t);

    std::printf("treemap: %lld entries; read from the store %.3f s (processor %.3f s); laid out and drawn at "
                "1600x1000 %.3f s (%zu tiles); the 100 biggest %.3f s (%zu)\n",
        static_cast<long long>(view.tree().entries.size()), read, readCpu, draw, tiles, top, biggest.size());
}

} // namespace

QM_BENCH("treemap", treemap);
