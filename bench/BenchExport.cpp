// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting a large catalogue as CSV and as JSON, beside the sqlite3
// program's own CSV of the same table (the export's target: at most twice
// that time).
#include "Bench.h"

#include "platform/AppPaths.h"
#include "catalog/store/Queries.h"
#include "catalog/store/Store.h"
#include "cli/Export.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// One scan of a backup disk: folders of 100 files with sizes and times.
void fillCatalogue(long long entries)
{
    SQLite::Database db(qm::databasePath().toStdString(), SQLite::OPEN_READWRITE);
    SQLite::Transaction t(db);
    SQLite::Statement insert(db, qm::Queries::kInsertRecord);
    long long folder = 1;
    for (long long id = 1; id <= entries; ++id) {
        const bool isFolder = id == 1 || id % 101 == 2;
        if (isFolder && id > 1)
            folder = id;
        const std::string name = (isFolder ? "folder-" : "document, draft ") + std::to_string(id)
            + (isFolder ? "" : ".pdf");
        insert.reset();
        insert.bind(1, std::to_string(id) + ">");
        insert.bind(2, std::to_string(id == 1 ? 0 : isFolder ? 1 : folder) + ">");
        insert.bind(3, "Bench");
        insert.bind(4, id == 1 ? std::string("/media/backup") : name);
        insert.bind(5, "/media/backup/folder-" + std::to_string(folder) + "/" + (isFolder ? "" : name));
        insert.bind(6, "1.23 MB");
        insert.bind(7, "2025-06-01 12:34:56");
        insert.bind(8, "1>");
        insert.bind(9, static_cast<int64_t>(1289748 + id));
        insert.bind(10, static_cast<int64_t>(1748774096 + id));
        insert.bind(11, static_cast<int64_t>(1748774096 + 2 * id));
        insert.exec();
    }
    t.commit();
}

// The better of two runs, on a warm cache.
double bestOfTwo(const std::function<bool()>& run)
{
    double best = 1e9;
    for (int i = 0; i < 2; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

void exportCatalogue(const qmbench::Options& options)
{
    QDir::setCurrent(options.workFolder);
    qm::Store::create(qm::databasePath());
    fillCatalogue(options.entries);

    const double sqlite = bestOfTwo([] {
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("sqlite.csv"));
        p.start(QStringLiteral("sqlite3"), {"-csv", "database.mdb", "select * from main"});
        return p.waitForFinished(-1) && p.exitCode() == 0;
    });
    if (sqlite < 0)
        std::printf("the sqlite3 program (Debian package sqlite3) did not run; no comparison\n");
    else
        std::printf("sqlite3 -csv database.mdb \"select * from main\", %lld records: %.3f s (%.1f MB)\n",
            options.entries, sqlite, QFileInfo(QStringLiteral("sqlite.csv")).size() / 1e6);

    for (const char* format : {"csv", "json"}) {
        const QString file = QStringLiteral("export.") + QLatin1String(format);
        const double seconds = bestOfTwo([&] {
            return qm::runExportCommand({"Bench", "--format", format, "--output", file}) == 0;
        });
        std::printf("quillmark export --format %s: %.3f s (%.1f MB)", format, seconds,
            QFileInfo(file).size() / 1e6);
        if (sqlite > 0)
            std::printf(", %.2f times sqlite3's (target <= 2)", seconds / sqlite);
        std::printf("\n");
    }
}

} // namespace

QM_BENCH("export", exportCatalogue);
