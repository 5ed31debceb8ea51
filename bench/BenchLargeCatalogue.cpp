// SPDX-License-Identifier: GPL-3.0-or-later
// Windows over a store of ten million records: start-up, a click on a big
// folder, "Delete Folder", "Update Folder", the tree editor, the store's check. The store is made once by direct
// inserts of rows shaped like a scan's (folders of tens of files, some big
// ones) and kept in the temporary folder; each case works on its own copy.
// Run each case as its own process so that its peak memory is its own:
//   quillmark_bench --entries 10000000 large-startup
// QM_BENCH_CATALOGUES=5 spreads the records over five catalogues.
#include "Bench.h"

#include "platform/AppPaths.h"
#include "catalog/tree/CatalogueTree.h"
#include "catalog/tree/TreeCheck.h"
#include "catalog/FolderScan.h"
#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "catalog/store/Queries.h"
#include "catalog/store/Recovery.h"
#include "catalog/update/ScanUpdate.h"
#include "catalog/store/Store.h"
#include "main_window/Form1.h"
#include "platform/DataControl.h"
#include "platform/FolderLists.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"
#include "tree_editor/frmTree.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <QTreeWidget>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr long long kScanRecords = 1000000; // records of each synthetic scan
constexpr long long kBigFolderFiles = 20000; // the first scan's big folder

double peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double seconds(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

int catalogueCount() { return std::max(1, qEnvironmentVariableIntValue("QM_BENCH_CATALOGUES")); }

QString catalogueName(int i) { return i == 0 ? QStringLiteral("Bench") : QStringLiteral("Disk %1").arg(i + 1); }

// One scan's worth of records below the root: a top folder, folders twenty to
// a parent, thirty files each, every fiftieth folder with five hundred.
class Filler {
public:
    explicit Filler(SQLite::Database& db)
        : insert_(db, qm::Queries::kInsertRecord)
    {
    }

    long long bigFolderKey = 0;

    void scan(const std::string& catalogue, long long& key, long long records, int number, bool withBigFolder)
    {
        const long long top = ++key;
        const std::string topPath = "/mnt/disk" + std::to_string(number);
        add(catalogue, top, 0, topPath, topPath + "/", true, top);
        long long written = 1;
        std::vector<std::pair<long long, std::string>> folders {{top, topPath + "/"}};
        for (size_t f = 0; written < records; ++f) {
            if (f > 0) {
                const auto parent = folders[(f - 1) / 20];
                const long long id = ++key;
                const std::string name = "folder" + std::to_string(f);
                folders.emplace_back(id, parent.second + name + "/");
                add(catalogue, id, parent.first, name, folders.back().second, true, top);
                ++written;
            }
            long long files = f % 50 == 7 ? 500 : 30;
            if (withBigFolder && f == 3) {
                files = kBigFolderFiles;
                bigFolderKey = folders[f].first;
            }
            for (long long i = 0; i < files && written < records; ++i, ++written) {
                const std::string name = "IMG_" + std::to_string(key + 1) + ".jpg";
                add(catalogue, ++key, folders[f].first, name, folders[f].second + name, false, top);
            }
        }
    }

private:
    void add(const std::string& catalogue, long long id, long long parent, const std::string& name,
        const std::string& path, bool folder, long long del)
    {
        insert_.reset();
        insert_.bind(1, qm::keyOf(id).toStdString());
        insert_.bind(2, qm::keyOf(parent).toStdString());
        insert_.bind(3, catalogue);
        insert_.bind(4, name);
        insert_.bind(5, path);
        insert_.bind(6, folder ? "0" : "2.41 MB");
        insert_.bind(7, "2025-06-01 12:00:00");
        insert_.bind(8, qm::keyOf(del).toStdString());
        insert_.bind(9, folder ? 0 : 2527068);
        insert_.bind(10, 1748779200);
        insert_.bind(11, 1748779200);
        insert_.exec();
    }

    SQLite::Statement insert_;
};

// The kept store for this size and spread, made when missing; the big
// folder's key is kept beside it.
QString seedStore(const qmbench::Options& options, QString* bigFolder)
{
    const QString seed = QDir::temp().filePath(
        QStringLiteral("quillmark-bench-%1-%2.mdb").arg(options.entries).arg(catalogueCount()));
    QFile keyFile(seed + QStringLiteral(".big"));
    if (!QFile::exists(seed) || !keyFile.exists()) {
        QFile::remove(seed);
        qm::Store::create(seed);
        SQLite::Database db(seed.toStdString(), SQLite::OPEN_READWRITE);
        db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA cache_size = -400000");
        QElapsedTimer t;
        t.start();
        SQLite::Transaction transaction(db);
        Filler fill(db);
        const int catalogues = catalogueCount();
        const long long scans = std::max(1LL, options.entries / kScanRecords);
        std::vector<long long> keys(static_cast<size_t>(catalogues), 0);
        for (long long s = 0; s < scans; ++s) {
            const int c = static_cast<int>(s % catalogues);
            fill.scan(catalogueName(c).toStdString(), keys[static_cast<size_t>(c)],
                std::min(kScanRecords, options.entries), static_cast<int>(s), s == 0);
        }
        for (int c = 0; c < catalogues; ++c) {
            SQLite::Statement mark(db, "INSERT OR REPLACE INTO catalogue_keys (dbaseName, lastKey) VALUES (?, ?)");
            mark.bind(1, catalogueName(c).toStdString());
            mark.bind(2, static_cast<std::int64_t>(keys[static_cast<size_t>(c)]));
            mark.exec();
        }
        transaction.commit();
        std::printf("store of %lld records in %d catalogue(s) made in %.1f s\n", options.entries, catalogues, seconds(t));
        // The one pass over a catalogue a reader makes after another writer
        // changed main; its result is kept in the store.
        for (int c = 0; c < catalogues; ++c) {
            t.restart();
            const qm::TreeCheck check = qm::checkCatalogueTree(db, catalogueName(c));
            std::printf("tree check of \"%s\" (once after a change by another writer): %.3f s, %lld unplaced\n",
                qPrintable(catalogueName(c)), seconds(t), static_cast<long long>(check.unplaced));
        }
        keyFile.open(QIODevice::WriteOnly);
        keyFile.write(qm::keyOf(fill.bigFolderKey).toUtf8());
        keyFile.close();
    }
    keyFile.open(QIODevice::ReadOnly);
    *bigFolder = QString::fromUtf8(keyFile.readAll());
    return seed;
}

// A copy of the seed in the case's folder, the shown catalogue named.
QString prepare(const qmbench::Options& options)
{
    QString bigFolder;
    const QString seed = seedStore(options, &bigFolder);
    QDir::setCurrent(options.workFolder);
    qm::setProgramFolder(options.workFolder);
    QFile::remove(qm::databasePath());
    QElapsedTimer t;
    t.start();
    QFile::copy(seed, qm::databasePath());
    // The copy's pages on their way to the disk would take a core from the
    // case timed next.
    ::sync();
    std::printf("copy of the store, written out: %.1f s\n", seconds(t));
    qm::NameFile::write(QStringLiteral("Bench"));
    // As on any day after the first: the day's full check has run (its cost is large-check's).
    qm::Store::markFullCheck(qm::databasePath(), QDateTime::currentSecsSinceEpoch());
    qm::setMessageHook([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    return bigFolder;
}

void startup(const qmbench::Options& options)
{
    const QString bigFolder = prepare(options);
    const double before = peakMegabytes();
    QElapsedTimer t;
    t.start();
    qm::Form1 form;
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();
    std::printf("start-up, %lld records in %d catalogue(s): %.3f s, %lld nodes (target 1.5 s)\n", options.entries,
        catalogueCount(), seconds(t), static_cast<long long>(form.TreeView1->Nodes().Count()));
    std::printf("peak memory: %.0f MB (%.0f MB before the window; target 400)\n", peakMegabytes(), before);

    // The big folder hangs below the first scan's top folder.
    SQLite::Statement own(*form.Adodc1->connection(), qm::Queries::kNodeRecordRowId);
    own.bind(1, "Bench");
    own.bind(2, "1>");
    own.bind(3, bigFolder.toStdString());
    const std::int64_t srNo = own.executeStep() ? own.getColumn(0).getInt64() : 0;
    t.restart();
    qm::Node* big = form.TreeView1->Nodes().reveal(QStringLiteral("Bench"), bigFolder, srNo);
    std::printf("reveal the big folder from its record, as a Find jump does: %.3f s\n", seconds(t));
    if (!big)
        return;
    form.TreeView1->setSelectedItem(big);
    t.restart();
    form.TreeView1_NodeClick(big);
    std::printf("click on a folder of %lld files: %d rows in %.3f s (target 0.05 s)\n", kBigFolderFiles,
        form.ListView1->topLevelItemCount(), seconds(t));
    double best = 0;
    for (int i = 0; i < 3; ++i) {
        t.restart();
        form.TreeView1_NodeClick(big);
        best = i == 0 ? seconds(t) : std::min(best, seconds(t));
    }
    std::printf("the same click again: best of 3 %.3f s\n", best);
    std::printf("peak memory: %.0f MB\n", peakMegabytes());
}

void deleteFolder(const qmbench::Options& options)
{
    prepare(options);
    qm::Form1 form;
    form.Form_Load();
    form.TreeView1->setSelectedItem(form.TreeView1->Nodes().find(QStringLiteral("1>")));
    // How long the window goes without handling its events (painting, the
    // desktop asking whether it still answers) while the delete runs.
    QElapsedTimer sinceTick;
    double longestGap = 0;
    QTimer ticks;
    ticks.setInterval(20);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, seconds(sinceTick));
        sinceTick.restart();
    });
    QElapsedTimer t;
    t.start();
    sinceTick.start();
    ticks.start();
    form.Command7_Click();
    longestGap = std::max(longestGap, seconds(sinceTick));
    ticks.stop();
    std::printf("Delete Folder of a %lld-record scan among %lld, and the tree built again: %.3f s (target 3 s)\n",
        kScanRecords, options.entries, seconds(t));
    std::printf("longest time the window went without handling its events meanwhile: %.3f s\n", longestGap);
    std::printf("peak memory: %.0f MB\n", peakMegabytes());

    // The floor: the same records deleted by SQLite alone, in the plan it picks, from a fresh copy.
    prepare(options);
    SQLite::Database db(qm::databasePath().toStdString(), SQLite::OPEN_READWRITE);
    t.restart();
    SQLite::Transaction transaction(db);
    SQLite::Statement remove(db, "DELETE FROM main WHERE dbaseName = ? AND delKey = ?");
    remove.bind(1, "Bench");
    remove.bind(2, "1>");
    const int removed = remove.exec();
    transaction.commit();
    std::printf("the same %d records deleted by one DELETE statement alone: %.3f s\n", removed, seconds(t));
}

// "Add Folder" of a disk tree as big as the catalogue shown: the tree must
// not grow with it.
void secondScan(const qmbench::Options& options)
{
    prepare(options);
    const QString treeFolder = QDir(options.workFolder).filePath(QStringLiteral("disk"));
    const long long made = qmbench::makeDiskTree(QFile::encodeName(treeFolder).toStdString(), options.entries);
    qm::Form1 form;
    form.Form_Load();
    const double before = peakMegabytes();
    form.Dir1->setPath(treeFolder);
    QElapsedTimer t;
    t.start();
    form.Command2_Click();
    std::printf("Add Folder of %lld entries with %lld records shown: %.3f s, %lld nodes\n", made, options.entries,
        seconds(t), static_cast<long long>(form.TreeView1->Nodes().Count()));
    std::printf("peak memory: %.0f MB (%.0f MB before the scan; target 400)\n", peakMegabytes(), before);
}

void treeEditor(const qmbench::Options& options)
{
    prepare(options);
    QElapsedTimer t;
    t.start();
    qm::frmTree* w = qm::frmTree::showWindow();
    if (!w)
        return;
    std::printf("open the tree editor over %lld records: %.3f s (target 1.5 s)\n", options.entries, seconds(t));
    std::printf("peak memory: %.0f MB (target 400)\n", peakMegabytes());
    w->close();
}

// "Update Folder" of a small scan in the large catalogue, and the tree built
// again right after, as the window builds it: the tree needs no pass over
// the catalogue when the update carried the kept check over its writes.
void updateFolder(const qmbench::Options& options)
{
    prepare(options);
    const QString treeFolder = QDir(options.workFolder).filePath(QStringLiteral("disk"));
    const std::string root = QFile::encodeName(treeFolder).toStdString();
    const long long made = qmbench::makeDiskTree(root, 5000);
    SQLite::Database db(qm::databasePath().toStdString(), SQLite::OPEN_READWRITE);
    const QString name = QStringLiteral("Bench");
    qm::FolderScan scan(db, name, 1);
    const std::optional<qm::TopFolder> top = qm::findTopFolder(db, name, scan.run(qm::startFolderOf(treeFolder)));
    QElapsedTimer t;
    t.start();
    qm::checkCatalogueTree(db, name);
    std::printf("Add Folder of %lld entries into \"Bench\" of %lld records; the tree check after it: %.3f s\n", made,
        options.entries, seconds(t));
    for (int round = 1; round <= 2; ++round) {
        // Every twentieth file grown, a folder of this round's gone, and new
        // files in a kept folder and in a new one.
        std::vector<std::filesystem::path> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root))
            if (e.is_regular_file())
                files.push_back(e.path());
        for (size_t i = static_cast<size_t>(round); i < files.size(); i += 20)
            std::ofstream(files[i], std::ios::app) << "grown";
        std::filesystem::remove_all(root + "/a0/b" + std::to_string(round));
        std::filesystem::create_directories(root + "/new" + std::to_string(round));
        for (int i = 0; i < 50; ++i) {
            std::ofstream(root + "/a0/b0/added" + std::to_string(round) + "_" + std::to_string(i)) << "x";
            std::ofstream(root + "/new" + std::to_string(round) + "/f" + std::to_string(i)) << "y";
        }
        t.restart();
        qm::ScanUpdate update(db, name, *top);
        if (!update.run()) {
            std::printf("update failed: %s\n", qPrintable(update.failure()));
            return;
        }
        const double updated = seconds(t);
        t.restart();
        qm::NodeModel nodes;
        qm::fillCatalogueTree(db, name, nodes, true);
        std::printf("round %d: update (%s) %.3f s; the tree built after it %.3f s\n", round,
            qPrintable(qm::updateSummary(update.counts())), updated, seconds(t));
    }
}

// The full check that runs once a day of use (beside the window after
// start-up, beside a scan or an update), the quick one a write runs after
// another program changed the file, and a recovery of every record.
void checkStore(const qmbench::Options& options)
{
    prepare(options);
    const QString store = qm::databasePath();
    const double megabytes = static_cast<double>(QFileInfo(store).size()) / 1e6;
    for (const auto depth : {qm::Store::CheckDepth::Quick, qm::Store::CheckDepth::Full}) {
        SQLite::Database db(store.toStdString(), SQLite::OPEN_READONLY);
        QElapsedTimer t;
        t.start();
        const QString damage = qm::Store::damage(db, depth);
        std::printf("%s check of %lld records (%.0f MB): %.3f s%s\n",
            depth == qm::Store::CheckDepth::Full ? "full (integrity_check)" : "quick (quick_check)", options.entries,
            megabytes, seconds(t), damage.isEmpty() ? "" : ", DAMAGED");
    }
    QElapsedTimer t;
    t.start();
    qm::Store::Recovered recovered;
    const QString error = qm::Store::recover(store, QDir(options.workFolder).filePath(QStringLiteral("recovered.mdb")), recovered);
    std::printf("check --recover of %lld records: %.3f s, %lld rows copied%s\n", options.entries, seconds(t),
        recovered.rows(), error.isEmpty() ? "" : qPrintable(QStringLiteral(", ") + error));
}

} // namespace

QM_BENCH("large-check", checkStore);
QM_BENCH("large-update", updateFolder);
QM_BENCH("large-startup", startup);
QM_BENCH("large-delete", deleteFolder);
QM_BENCH("large-tree-editor", treeEditor);
QM_BENCH("large-second-scan", secondScan);
