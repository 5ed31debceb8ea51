// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/FolderScan.h"
#include "catalog/update/ScanUpdate.h"
#include "../main_window/ScanSupport.h"
#include "catalog/NodeKeys.h"
#include "platform/Numbers.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <stdexcept>
#include <thread>
#include <utility>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qm;
using scantest::Rec;

namespace {

class FolderScanTest : public qmtest::StoreTest {
protected:
    std::vector<Rec> run(const QString& folder, std::int64_t firstKey = 1)
    {
        db().exec("DELETE FROM main");
        FolderScan scan(db(), QStringLiteral("Disks"), firstKey);
        scan.setBatch(3, std::chrono::milliseconds(0)); // many small transactions
        scan.run(startFolderOf(folder));
        EXPECT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
        return scantest::records(db());
    }
    // A tree of more entries than the walker hands over at once, folders
    // spanning the hand-overs: a<i>/b<j>/ with files in both. Returns the
    // entries below `name`.
    int makeBatches(const QString& name)
    {
        int made = 0;
        for (int a = 0; a < 3; ++a) {
            for (int f = 0; f < 10; ++f, ++made)
                makeFile(QStringLiteral("%1/a%2/f%3.txt").arg(name).arg(a).arg(f), a * 100 + f);
            for (int b = 0; b < 6; ++b)
                for (int f = 0; f < 250; ++f, ++made)
                    makeFile(QStringLiteral("%1/a%2/b%3/g%4.bin").arg(name).arg(a).arg(b).arg(f), f * 7 + b);
            made += 7; // a<i> and its b<j>
        }
        return made;
    }
    // The paths below `top`, sorted.
    QStringList below(const QString& top)
    {
        return texts(QStringLiteral("SELECT substr(path, %1) FROM main ORDER BY 1").arg(top.size() + 1));
    }
};

// Depth first, each folder's entries in the order the system lists them,
// hidden entries and anything but files and folders left out, worked out
// with plain POSIX calls. Folder paths end with "/".
QStringList walkOrder(const std::string& folder)
{
    QStringList out;
    DIR* dir = opendir(folder.c_str());
    while (const dirent* e = dir ? readdir(dir) : nullptr) {
        const std::string full = folder + e->d_name;
        struct stat st;
        if (e->d_name[0] == '.' || lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode))
            out << QString::fromStdString(full);
        if (S_ISDIR(st.st_mode))
            out << QString::fromStdString(full + "/") << walkOrder(full + "/");
    }
    if (dir)
        closedir(dir);
    return out;
}

QString dirOf(const QString& path)
{
    const QString trimmed = path.endsWith(u'/') ? path.chopped(1) : path;
    return trimmed.left(trimmed.lastIndexOf(u'/') + 1);
}

// Every record's parent is a folder of the same run stored before it, with
// the key the walk gave, and each folder's bytes are those of the files below
// (of those the walk counted when a failure cut it short).
void expectConsistent(SQLite::Database& db, const QString& top, bool whole = true)
{
    const auto recs = scantest::records(db);
    QHash<QString, QString> idOfPath;
    QHash<QString, qint64> bytesOfFolder;
    SQLite::Statement st(db, "SELECT bytes FROM main ORDER BY SrNO");
    for (const Rec& r : recs) {
        SCOPED_TRACE(r.path.toStdString());
        ASSERT_TRUE(st.executeStep());
        ASSERT_FALSE(r.size.isEmpty());
        const qint64 bytes = st.getColumn(0).getInt64();
        EXPECT_EQ(r.size, sizeText(static_cast<std::uint64_t>(bytes)));
        if (r.path == top + u'/')
            EXPECT_EQ(r.parent, QStringLiteral("0>"));
        else
            EXPECT_EQ(r.parent, idOfPath.value(dirOf(r.path), QStringLiteral("(none before)")));
        idOfPath.insert(r.path, r.id);
        if (r.path.endsWith(u'/'))
            bytesOfFolder.insert(r.path, bytes);
        else
            for (QString d = dirOf(r.path); d.size() > top.size(); d = dirOf(d))
                bytesOfFolder[d] -= bytes;
    }
    for (auto it = bytesOfFolder.cbegin(); it != bytesOfFolder.cend(); ++it)
        EXPECT_TRUE(whole ? it.value() == 0 : it.value() >= 0) << it.key().toStdString();
}

// Hears every stored record and every report, and on which thread.
struct Recorder : ScanListener {
    std::thread::id thread = std::this_thread::get_id();
    bool elsewhere = false;
    std::vector<std::pair<QString, QString>> stored; // key and parent
    int reports = 0;
    int cancelAt = -1; // the report that cancels
    std::size_t failAt = 0; // the record whose report throws
    void entryStored(const ScannedEntry& e) override
    {
        elsewhere = elsewhere || std::this_thread::get_id() != thread;
        if (stored.size() + 1 == failAt)
            throw std::runtime_error("no node for it");
        stored.emplace_back(keyOf(e.key), e.parentKey);
    }
    bool progress(std::int64_t, const QString&) override
    {
        elsewhere = elsewhere || std::this_thread::get_id() != thread;
        return ++reports != cancelAt;
    }
};

} // namespace

TEST_F(FolderScanTest, NestedTreeIsWrittenDepthFirstWithRunningKeysAndSizeTexts)
{
    const std::pair<const char*, qint64> files[] = {{"a.txt", 0}, {"b.txt", 1023}, {"sub1/c.txt", 1024},
        {"sub1/inner/d.txt", 747776}, {"sub1/e.txt", 5}, {"sub2/.hidden", 100}, {"f.txt", 1572864},
        {"sub3/h.txt", 8}, {".cache/x.bin", 1000}};
    for (const auto& [file, bytes] : files)
        makeFile(QStringLiteral("tree/") + QString::fromLatin1(file), bytes);
    // More rows than one insert takes, so that folder sizes land on stored records too.
    for (int i = 0; i < 45; ++i)
        makeFile(QStringLiteral("tree/sub1/many/f%1.bin").arg(i), 3000 * i);
    const QString top = pathOf(QStringLiteral("tree"));
    const auto recs = run(top, 7);

    // The top-level folder first, then exactly the walk's order.
    const QStringList expected
        = QStringList {top + u'/'} + walkOrder(QFile::encodeName(top + u'/').toStdString());
    ASSERT_EQ(texts(QStringLiteral("SELECT path FROM main ORDER BY SrNO")), expected);
    // The walk came back out of an inner folder and went on in the outer one.
    bool resumed = false;
    for (int i = 0; i + 1 < expected.size(); ++i) {
        const QString here = dirOf(expected[i]), next = dirOf(expected[i + 1]);
        resumed = resumed || (next.size() < here.size() && here.startsWith(next));
    }
    EXPECT_TRUE(resumed);

    QHash<QString, QString> idOfPath;
    const QRegularExpression date(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    // Beside the texts, the same size in bytes and the times as numbers.
    const QStringList numbers
        = texts(QStringLiteral("SELECT bytes || ' ' || created || ' ' || modified FROM main ORDER BY SrNO"));
    ASSERT_EQ(numbers.size(), static_cast<qsizetype>(recs.size()));
    for (size_t i = 0; i < recs.size(); ++i) {
        const Rec& r = recs[i];
        SCOPED_TRACE(r.path.toStdString());
        EXPECT_EQ(r.id, keyOf(7 + static_cast<std::int64_t>(i)));
        EXPECT_EQ(r.delKey + r.dbaseName, QStringLiteral("7>Disks"));
        EXPECT_TRUE(date.match(r.date).hasMatch()) << r.date.toStdString();
        idOfPath.insert(r.path, r.id);
        EXPECT_EQ(r.parent, i == 0 ? QStringLiteral("0>") : idOfPath.value(dirOf(r.path)));
        EXPECT_EQ(r.fileName,
            i == 0 ? top : QFileInfo(r.path.endsWith(u'/') ? r.path.chopped(1) : r.path).fileName());
        // A size is the plain sum of the files below, hidden ones included.
        qint64 total = QFileInfo(r.path).size();
        if (r.path.endsWith(u'/')) {
            total = 0;
            QDirIterator it(
                r.path, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
            while (it.hasNext())
                total += QFileInfo(it.next()).size();
        }
        EXPECT_EQ(r.size, sizeText(static_cast<std::uint64_t>(total)));
        const QStringList n = numbers[static_cast<qsizetype>(i)].split(u' ');
        ASSERT_EQ(n.size(), 3) << numbers[static_cast<qsizetype>(i)].toStdString();
        EXPECT_EQ(n[0].toLongLong(), total);
        EXPECT_EQ(dateText(n[1].toLongLong()), r.date);
        EXPECT_EQ(n[2].toLongLong(), QFileInfo(r.path).lastModified().toSecsSinceEpoch());
    }
}

TEST_F(FolderScanTest, AnEmptyFolderAndTheStartPathOfTheTopLevelRecord)
{
    const auto empty = run(makeDir(QStringLiteral("nothing")));
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].size, "0");
    EXPECT_EQ(empty[0].id, "1>");
    EXPECT_EQ(empty[0].path, pathOf(QStringLiteral("nothing/")));

    // The reported path is the top-level file name; the path gets its closing "/" once.
    EXPECT_EQ(startFolderOf(QStringLiteral("/")).fileName, QStringLiteral("/"));
    EXPECT_EQ(startFolderOf(QStringLiteral("/")).path, QStringLiteral("/"));
    EXPECT_EQ(startFolderOf(QStringLiteral("/data/photos")).path, QStringLiteral("/data/photos/"));
    makeFile(QStringLiteral("start/one.txt"), 3);
    const auto closed = run(pathOf(QStringLiteral("start/")));
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0].fileName, pathOf(QStringLiteral("start/")));
    EXPECT_EQ(closed[0].path, pathOf(QStringLiteral("start/")));
    EXPECT_EQ(closed[1].path, pathOf(QStringLiteral("start/one.txt")));
}

TEST_F(FolderScanTest, HiddenEntriesSpecialFilesAndLinksAreLeftOutAndLoopsNotFollowed)
{
    for (const auto& [file, bytes] : {std::pair {"shown.txt", 10}, {".hidden.txt", 1000},
             {".cache/deeper/more.txt", 3000}, {"dir/x.txt", 1}})
        makeFile(QStringLiteral("mix/") + QString::fromLatin1(file), bytes);
    const QString top = pathOf(QStringLiteral("mix"));
    const std::string topBytes = QFile::encodeName(top).toStdString();
    ASSERT_EQ(::mkfifo((topBytes + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(".", (topBytes + "/dir/loop").c_str()), 0);
    ASSERT_EQ(::symlink("..", (topBytes + "/dir/up").c_str()), 0);
    ASSERT_EQ(::symlink("shown.txt", (topBytes + "/alias.txt").c_str()), 0);

    const auto recs = run(top);
    EXPECT_EQ(below(top), (QStringList {"/", "/dir/", "/dir/x.txt", "/shown.txt"}));
    EXPECT_EQ(recs[0].size, " 3.92 KB"); // hidden files count, links and the FIFO do not: 4011 bytes
}

TEST_F(FolderScanTest, UnreadableEntriesAreSkippedCountedAndNamedWhileTheRestIsCatalogued)
{
    for (const char* file : {"ok.txt", "locked/secret.txt", "gone.txt", "after/y.txt"})
        makeFile(QStringLiteral("faults/") + QString::fromLatin1(file), 7);
    const QString top = pathOf(QStringLiteral("faults"));
    // Names of an old disk in Latin-1: a file, and a folder with content.
    const std::string topBytes = QFile::encodeName(top).toStdString();
    const std::string latin1 = topBytes + "/caf\xe9.txt";
    const std::string latin1Folder = topBytes + "/d\xe9j\xe0";
    ASSERT_EQ(::mkdir(latin1Folder.c_str(), 0755), 0);
    for (const auto& [path, text] : {std::pair {latin1, "abcd"}, std::pair {latin1Folder + "/inner.txt", "xy"}}) {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_TRUE(f && std::fputs(text, f) >= 0 && std::fclose(f) == 0);
    }

    // Tests run as root, for whom no permission bit stops a read: the file
    // system says "no" instead.
    scantest::FaultyFileSystem faulty;
    faulty.unreadableFolders = {"locked"};
    faulty.vanished = {"gone.txt"};
    QString topKey;
    {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        topKey = scan.run(startFolderOf(top));
        EXPECT_TRUE(scan.failure().isEmpty());
        EXPECT_EQ(scan.skippedCount(), 2);
        const QString report = skippedReport(scan);
        for (const QString& part : {QStringLiteral("2 entries could not be read"),
                 top + QStringLiteral("/locked ("), top + QStringLiteral("/gone.txt (")})
            EXPECT_TRUE(report.contains(part)) << report.toStdString();
    }
    const auto recs = scantest::records(db());
    EXPECT_EQ(below(top),
        (QStringList {"/", "/after/", "/after/y.txt", "/caf\\xe9.txt", "/d\\xe9j\\xe0/", "/d\\xe9j\\xe0/inner.txt",
            "/ok.txt"}));
    EXPECT_EQ(recs[0].size, "20");
    // The original bytes stay beside the readable path.
    EXPECT_EQ(texts(QStringLiteral("SELECT hex(raw_path) FROM main WHERE raw_path IS NOT NULL ORDER BY path")),
        (QStringList {QString::fromLatin1(QByteArray::fromStdString(latin1).toHex().toUpper()),
            QString::fromLatin1(QByteArray::fromStdString(latin1Folder + "/").toHex().toUpper()),
            QString::fromLatin1(QByteArray::fromStdString(latin1Folder + "/inner.txt").toHex().toUpper())}));
    EXPECT_EQ(texts(QStringLiteral("SELECT file_name FROM main WHERE path LIKE '%inner.txt'")),
        QStringList {QStringLiteral("inner.txt")});
    // An update knows them again by their bytes.
    {
        ScanUpdate update(db(), QStringLiteral("Disks"), *findTopFolder(db(), QStringLiteral("Disks"), topKey));
        ASSERT_TRUE(update.run()) << update.failure().toStdString();
        EXPECT_EQ(update.counts().added + update.counts().removed + update.counts().changed, 0);
        EXPECT_EQ(update.counts().unchanged, 7);
    }
    // Names the temporary folder's own clean-up cannot spell.
    ::unlink((latin1Folder + "/inner.txt").c_str());
    ::rmdir(latin1Folder.c_str());
    ::unlink(latin1.c_str());

    // Past the first few, skipped entries are summed up.
    for (int i = 0; i < 8; ++i) {
        makeFile(QStringLiteral("many/v%1.txt").arg(i), 1);
        faulty.vanished.insert("v" + std::to_string(i) + ".txt");
    }
    FolderScan many(db(), QStringLiteral("Disks"), 100);
    many.run(startFolderOf(pathOf(QStringLiteral("many"))));
    const QString report = skippedReport(many);
    EXPECT_EQ(report.count(u'\n'), FolderScan::kSkippedKept + 1);
    EXPECT_TRUE(report.endsWith(QStringLiteral("and 3 more."))) << report.toStdString();
}

TEST_F(FolderScanTest, ATransactionTheStoreRollsBackIsNotCountedAsKept)
{
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < 40; ++i)
            makeFile(QStringLiteral("big/d%1/deep/f%2.txt").arg(d).arg(i), 100);
    // The rolled-back transaction takes the records written in it along:
    // kept is what the table holds of the run, not a record before it.
    db().exec("CREATE TRIGGER undo BEFORE INSERT ON main WHEN (SELECT COUNT(*) FROM main) >= 150 "
              "BEGIN SELECT RAISE(ROLLBACK, 'rolled back'); END");
    FolderScan undone(db(), QStringLiteral("Disks"), 1);
    undone.setBatch(96, std::chrono::hours(1)); // three inserts of 32 a transaction
    const QString key = undone.run(startFolderOf(pathOf(QStringLiteral("big"))));
    const long long inTable = count(QStringLiteral("dbaseName = 'Disks' AND delKey = '%1'").arg(key));
    EXPECT_TRUE(undone.failure() == QStringLiteral("rolled back") && inTable > 0);
    EXPECT_LT(inTable, undone.recordsWritten());
    EXPECT_EQ(undone.recordsKept(), inTable);
    EXPECT_EQ(keptText(undone), QStringLiteral("%1 record(s)").arg(inTable));
}

TEST_F(FolderScanTest, DepthIsNotLimitedByOpenDescriptors)
{
    // 1,500 folders one inside the other, a file on every hundredth level
    // and at the bottom, walked under a descriptor limit of 64.
    QString relative = QStringLiteral("deep");
    for (int level = 1; level <= 1500; ++level) {
        relative += QStringLiteral("/d");
        if (level % 100 == 0)
            makeFile(relative + QStringLiteral("/f%1.txt").arg(level), level);
    }
    makeDir(relative);
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    const std::vector<Rec> records = run(pathOf(QStringLiteral("deep")));
    setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_EQ(records.size(), 1u + 1500u + 15u);
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                  [](const Rec& r) { return r.path.endsWith(QStringLiteral("/d/f1500.txt")); }),
        1);
    // Each folder comes right after its parent; the folder sizes add up from the bottom.
    expectConsistent(db(), pathOf(QStringLiteral("deep")));
}

TEST_F(FolderScanTest, ATreeOfManyBatchesIsStoredAsTheWalkFindsItAndACancelKeepsItWhole)
{
    const int entries = makeBatches(QStringLiteral("batches"));
    ASSERT_GT(entries, 2 * FolderScan::kRowsPerBatch);
    const QString top = pathOf(QStringLiteral("batches"));
    {
        Recorder heard;
        FolderScan scan(db(), QStringLiteral("Disks"), 1, &heard);
        scan.setProgressInterval(std::chrono::milliseconds(0));
        scan.setBatch(1000, std::chrono::hours(1));
        const QString key = scan.run(startFolderOf(top));
        EXPECT_TRUE(scan.failure().isEmpty() && !scan.cancelled()) << scan.failure().toStdString();
        EXPECT_EQ(scan.recordsKept(), entries + 1);
        // The listener heard every record but the top-level one, in order, on this thread.
        EXPECT_FALSE(heard.elsewhere);
        EXPECT_GT(heard.reports, entries / 32);
        const auto recs = scantest::records(db());
        ASSERT_EQ(heard.stored.size() + 1, recs.size());
        for (size_t i = 0; i < heard.stored.size(); ++i)
            ASSERT_EQ(heard.stored[i], std::make_pair(recs[i + 1].id, recs[i + 1].parent)) << i;
        EXPECT_EQ(key, recs[0].id);
    }
    // The same rows a plain walk finds, in its order, keys running on.
    EXPECT_EQ(texts(QStringLiteral("SELECT path FROM main ORDER BY SrNO")),
        QStringList {top + u'/'} + walkOrder(QFile::encodeName(top + u'/').toStdString()));
    EXPECT_EQ(texts(QStringLiteral("SELECT ID FROM main ORDER BY SrNO")).last(), keyOf(entries + 1));
    expectConsistent(db(), top);

    // Cancelled with batches already stored and more waiting: what is kept
    // is whole, counted right, and the walk stopped where it was told to.
    db().exec("DELETE FROM main");
    Recorder canceller;
    canceller.cancelAt = 200; // a report every 16 entries: past the first hand-over
    FolderScan scan(db(), QStringLiteral("Disks"), 1, &canceller);
    scan.setProgressInterval(std::chrono::milliseconds(0));
    scan.run(startFolderOf(top));
    EXPECT_TRUE(scan.cancelled() && scan.failure().isEmpty());
    EXPECT_EQ(canceller.reports, 200);
    EXPECT_EQ(scan.entriesSeen(), 200 * 16);
    const long long kept = count();
    EXPECT_EQ(scan.recordsKept(), kept);
    EXPECT_EQ(static_cast<std::size_t>(kept), canceller.stored.size() + 1);
    EXPECT_GT(kept, FolderScan::kRowsPerBatch);
    EXPECT_LE(kept, 200 * 16 + 1);
    expectConsistent(db(), top);
}

TEST_F(FolderScanTest, AFailureOfTheStoreOrTheListenerStopsBothSidesAndIsTold)
{
    makeBatches(QStringLiteral("batches"));
    const QString top = pathOf(QStringLiteral("batches"));
    // The store refuses a record of the second batch while the walker runs ahead.
    db().exec("CREATE TRIGGER refuse BEFORE INSERT ON main WHEN NEW.ID = '3000>' "
              "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");
    {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        scan.setBatch(500, std::chrono::hours(1));
        scan.run(startFolderOf(top));
        EXPECT_EQ(scan.failure(), QStringLiteral("the disk is full"));
        EXPECT_FALSE(scan.cancelled());
        EXPECT_EQ(scan.recordsKept(), count());
        EXPECT_EQ(count(), 2999);
    }
    expectConsistent(db(), top, false);

    // A listener that gives up on a record stops the scan the same way.
    db().exec("DROP TRIGGER refuse");
    db().exec("DELETE FROM main");
    Recorder listener;
    listener.failAt = 2500;
    {
        FolderScan scan(db(), QStringLiteral("Disks"), 1, &listener);
        scan.run(startFolderOf(top));
        EXPECT_EQ(scan.failure(), QStringLiteral("no node for it"));
        EXPECT_EQ(scan.recordsKept(), count());
        // The top-level record and the inserts of 32 up to the one it was in.
        EXPECT_EQ(count(), 1 + 2528);
        EXPECT_EQ(listener.stored.size(), 2499u);
        // The count stays true when another writer or this connection changes the table later.
        SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
        other.exec("DELETE FROM main WHERE SrNO = (SELECT max(SrNO) FROM main)");
        EXPECT_EQ(scan.recordsKept(), 2528);
        db().exec("DELETE FROM main WHERE SrNO = (SELECT max(SrNO) FROM main)");
        EXPECT_EQ(scan.recordsKept(), 2527);
    }
    expectConsistent(db(), top, false);
}
