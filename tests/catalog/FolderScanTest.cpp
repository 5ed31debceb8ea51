#include "catalog/FolderScan.h"
#include "../main_window/ScanSupport.h"
#include "catalog/NodeKeys.h"
#include "catalog/Numbers.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;
using scantest::Rec;

namespace {

// Records what the scan tells its listener; stops at the first progress
// report when asked to.
struct Recorder : ScanListener {
    QStringList nodes; // "parent|key|name|folder"
    int progressCalls = 0;
    bool cancelAtProgress = false;
    void entryStored(const ScannedEntry& e) override
    {
        nodes << QStringLiteral("%1|%2|%3|%4")
                     .arg(e.parentKey, keyOf(e.key),
                         QString::fromUtf8(e.name.data(), static_cast<qsizetype>(e.name.size())))
                     .arg(e.folder);
    }
    bool progress(std::int64_t, const QString&) override
    {
        ++progressCalls;
        return !cancelAtProgress;
    }
};

class FolderScanTest : public qmtest::StoreTest {
protected:
    QString sized(const QString& rel, qint64 bytes)
    {
        const QString p = makeFile(rel);
        QFile f(p);
        EXPECT_TRUE(f.resize(bytes));
        return p;
    }
    std::vector<Rec> run(const QString& folder, const QString& name = QStringLiteral("Disks"),
        std::int64_t firstKey = 1, Recorder* recorder = nullptr, int batch = 4000)
    {
        FolderScan scan(db(), name, firstKey, recorder);
        scan.setBatch(batch, std::chrono::milliseconds(500));
        scan.run(startFolderOf(folder));
        EXPECT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
        return scantest::records(db());
    }
};

QString dirOf(const QString& path)
{
    const QString trimmed = path.endsWith(u'/') ? path.chopped(1) : path;
    return trimmed.left(trimmed.lastIndexOf(u'/') + 1);
}

} // namespace

TEST_F(FolderScanTest, NestedFoldersAreWrittenDepthFirstInListingOrderWithRunningKeys)
{
    sized("tree/a.txt", 10);
    sized("tree/b.txt", 20);
    sized("tree/sub1/c.txt", 1024);
    sized("tree/sub1/inner/d.txt", 1023);
    sized("tree/sub1/e.txt", 5);
    sized("tree/sub2/.hidden", 100);
    sized("tree/f.txt", 30);
    sized("tree/g.txt", 40);
    sized("tree/sub3/h.txt", 8);
    const QString top = QDir(folder()).filePath(QStringLiteral("tree"));

    Recorder recorder;
    // A tiny batch makes the run cross many transactions.
    const auto recs = run(top, QStringLiteral("Disks"), 7, &recorder, 3);

    // The top-level folder first, then exactly the walk's order.
    QStringList paths;
    for (const Rec& r : recs)
        paths << r.path;
    const QStringList expected = QStringList {top + u'/'} + scantest::walkOrder(top + u'/');
    ASSERT_EQ(paths, expected);
    // The walk came back out of an inner folder and went on in the outer one.
    // (Of two folders with content in one folder, one is followed by a sibling.)
    bool resumed = false;
    for (int i = 0; i + 1 < expected.size(); ++i) {
        const QString here = dirOf(expected[i]);
        const QString next = dirOf(expected[i + 1]);
        resumed = resumed || (next.size() < here.size() && here.startsWith(next));
    }
    EXPECT_TRUE(resumed);

    QHash<QString, QString> idOfPath;
    const QRegularExpression date(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (size_t i = 0; i < recs.size(); ++i) {
        const Rec& r = recs[i];
        SCOPED_TRACE(r.path.toStdString());
        EXPECT_EQ(r.id, keyOf(7 + static_cast<std::int64_t>(i)));
        EXPECT_EQ(r.delKey, QStringLiteral("7>"));
        EXPECT_EQ(r.dbaseName, QStringLiteral("Disks"));
        EXPECT_TRUE(date.match(r.date).hasMatch()) << r.date.toStdString();
        idOfPath.insert(r.path, r.id);
        if (i == 0) {
            EXPECT_EQ(r.parent, QStringLiteral("0>"));
            EXPECT_EQ(r.fileName, top);
        } else {
            EXPECT_EQ(r.parent, idOfPath.value(dirOf(r.path)));
            EXPECT_EQ(r.fileName, QFileInfo(r.path.endsWith(u'/') ? r.path.chopped(1) : r.path).fileName());
        }
    }

    // Sizes: files their own, folders everything below, hidden files included.
    QHash<QString, QString> sizeOf;
    for (const Rec& r : recs)
        sizeOf.insert(r.path.mid(top.size()), r.size);
    EXPECT_EQ(sizeOf.value("/a.txt"), "10");
    EXPECT_EQ(sizeOf.value("/sub1/c.txt"), " 1 KB");
    EXPECT_EQ(sizeOf.value("/sub1/inner/"), "1023");
    EXPECT_EQ(sizeOf.value("/sub1/"), " 2 KB"); // 2052 bytes
    EXPECT_EQ(sizeOf.value("/sub2/"), "100"); // only a hidden file inside
    EXPECT_EQ(sizeOf.value("/"), " 2.21 KB"); // 2260 bytes

    // The listener saw every record but the top-level one, with its parent's key.
    ASSERT_EQ(recorder.nodes.size(), static_cast<qsizetype>(recs.size() - 1));
    for (size_t i = 1; i < recs.size(); ++i)
        EXPECT_EQ(recorder.nodes[static_cast<qsizetype>(i - 1)],
            QStringLiteral("%1|%2|%3|%4")
                .arg(recs[i].parent, recs[i].id, recs[i].fileName)
                .arg(recs[i].path.endsWith(u'/')));
}

TEST_F(FolderScanTest, SizeTextsOfRealFilesAndAnEmptyFolder)
{
    const struct {
        const char* name;
        qint64 bytes;
        const char* text;
    } cases[] = {{"empty", 0, "0"}, {"b512", 512, "512"}, {"b1023", 1023, "1023"}, {"b1024", 1024, " 1 KB"},
        {"b747776", 747776, " 730.25 KB"}, {"b1048575", 1048575, " 1024 KB"}, {"b1048576", 1048576, " 1 MB"},
        {"b1572864", 1572864, " 1.5 MB"}};
    qint64 total = 0;
    for (const auto& c : cases) {
        sized(QStringLiteral("sizes/") + c.name, c.bytes);
        total += c.bytes;
    }
    const QString top = QDir(folder()).filePath(QStringLiteral("sizes"));
    const auto recs = run(top);
    ASSERT_EQ(recs.size(), std::size(cases) + 1);
    QHash<QString, QString> sizeOf;
    for (const Rec& r : recs)
        sizeOf.insert(r.fileName, r.size);
    for (const auto& c : cases)
        EXPECT_EQ(sizeOf.value(c.name), QString::fromLatin1(c.text)) << c.name;
    EXPECT_EQ(total, 4420350);
    EXPECT_EQ(recs[0].size, " 4.22 MB");

    // An empty folder: its own record only, size "0".
    makeDir(QStringLiteral("nothing"));
    db().exec("DELETE FROM main");
    const auto empty = run(QDir(folder()).filePath(QStringLiteral("nothing")));
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].size, "0");
    EXPECT_TRUE(empty[0].path.endsWith(u'/'));
    EXPECT_EQ(empty[0].id, "1>");
}

TEST_F(FolderScanTest, StartPathKeepsTheReportedTextAndClosesThePath)
{
    const StartFolder root = startFolderOf(QStringLiteral("/"));
    EXPECT_EQ(root.fileName, QStringLiteral("/"));
    EXPECT_EQ(root.path, QStringLiteral("/"));
    const StartFolder plain = startFolderOf(QStringLiteral("/data/photos"));
    EXPECT_EQ(plain.fileName, QStringLiteral("/data/photos"));
    EXPECT_EQ(plain.path, QStringLiteral("/data/photos/"));
    const StartFolder closed = startFolderOf(QStringLiteral("/data/photos/"));
    EXPECT_EQ(closed.fileName, QStringLiteral("/data/photos/"));
    EXPECT_EQ(closed.path, QStringLiteral("/data/photos/"));

    // With or without the closing "/", the entries get the same paths.
    sized("start/one.txt", 3);
    const QString top = QDir(folder()).filePath(QStringLiteral("start"));
    const auto without = run(top);
    db().exec("DELETE FROM main");
    const auto with = run(top + u'/');
    ASSERT_EQ(without.size(), 2u);
    ASSERT_EQ(with.size(), 2u);
    EXPECT_EQ(without[0].fileName, top);
    EXPECT_EQ(with[0].fileName, top + u'/');
    EXPECT_EQ(without[0].path, top + u'/');
    EXPECT_EQ(with[0].path, top + u'/');
    EXPECT_EQ(without[1].path, top + QStringLiteral("/one.txt"));
    EXPECT_EQ(with[1].path, top + QStringLiteral("/one.txt"));
}

TEST_F(FolderScanTest, HiddenEntriesSpecialFilesAndLinksAreLeftOutAndLoopsNotFollowed)
{
    sized("mix/shown.txt", 10);
    sized("mix/.hidden.txt", 1000);
    sized("mix/.cache/inside.txt", 2000);
    sized("mix/.cache/deeper/more.txt", 3000);
    sized("mix/dir/x.txt", 1);
    const QString top = QDir(folder()).filePath(QStringLiteral("mix"));
    const std::string topBytes = QFile::encodeName(top).toStdString();
    ASSERT_EQ(::mkfifo((topBytes + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(".", (topBytes + "/dir/loop").c_str()), 0); // a loop
    ASSERT_EQ(::symlink("..", (topBytes + "/dir/up").c_str()), 0); // another
    ASSERT_EQ(::symlink("shown.txt", (topBytes + "/alias.txt").c_str()), 0);

    const auto recs = run(top);
    QStringList names;
    for (const Rec& r : recs)
        names << r.path.mid(top.size());
    names.sort();
    EXPECT_EQ(names, (QStringList {"/", "/dir/", "/dir/x.txt", "/shown.txt"}));
    // Hidden files count towards the size, links and the FIFO do not.
    EXPECT_EQ(recs[0].size, " 5.87 KB"); // 10 + 1000 + 2000 + 3000 + 1 = 6011 bytes
}

TEST_F(FolderScanTest, UnreadableEntriesAreSkippedCountedAndNamedWhileTheRestIsCatalogued)
{
    sized("faults/ok.txt", 10);
    sized("faults/locked/secret.txt", 500);
    sized("faults/gone.txt", 20);
    sized("faults/after/y.txt", 7);
    const QString top = QDir(folder()).filePath(QStringLiteral("faults"));
    const std::string latin1 = QFile::encodeName(top).toStdString() + "/caf\xe9.txt";
    FILE* f = std::fopen(latin1.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("abcd", f);
    std::fclose(f);

    // Tests run as root, for whom no permission bit stops a read: the file
    // system says "no" instead.
    scantest::FaultyFileSystem faulty;
    faulty.unreadableFolders = {"locked"};
    faulty.vanished = {"gone.txt"};
    scantest::UseFileSystem use(faulty);

    auto scan = std::make_unique<FolderScan>(db(), QStringLiteral("Disks"), 1);
    scan->run(startFolderOf(top));
    EXPECT_TRUE(scan->failure().isEmpty());
    EXPECT_EQ(scan->skippedCount(), 3);
    const QString report = skippedReport(*scan);
    EXPECT_TRUE(report.startsWith(QStringLiteral("3 entries could not be read"))) << report.toStdString();
    EXPECT_TRUE(report.contains(top + QStringLiteral("/locked ("))) << report.toStdString();
    EXPECT_TRUE(report.contains(top + QStringLiteral("/gone.txt ("))) << report.toStdString();
    EXPECT_TRUE(report.contains(top + QStringLiteral("/caf\\xe9.txt (the name is not valid UTF-8)")))
        << report.toStdString();
    scan.reset();

    QStringList names;
    for (const Rec& r : scantest::records(db()))
        names << r.path.mid(top.size());
    names.sort();
    EXPECT_EQ(names, (QStringList {"/", "/after/", "/after/y.txt", "/ok.txt"}));
    // The badly named file still counts towards the size.
    EXPECT_EQ(scantest::records(db())[0].size, "21");
    ::unlink(latin1.c_str()); // a name the temporary folder's own clean-up cannot spell
}

TEST_F(FolderScanTest, ManySkippedEntriesAreSummedUpAfterTheFirstFew)
{
    scantest::FaultyFileSystem faulty;
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("v%1.txt").arg(i);
        sized(QStringLiteral("many/") + name, 1);
        faulty.vanished.insert(name.toStdString());
    }
    scantest::UseFileSystem use(faulty);
    FolderScan scan(db(), QStringLiteral("Disks"), 1);
    scan.run(startFolderOf(QDir(folder()).filePath(QStringLiteral("many"))));
    const QString report = skippedReport(scan);
    EXPECT_EQ(report.count(u'\n'), FolderScan::kSkippedKept + 1);
    EXPECT_TRUE(report.endsWith(QStringLiteral("and 3 more."))) << report.toStdString();
}

TEST_F(FolderScanTest, CancelAndStoreFailureStopTheWalkAndKeepWhatWasWritten)
{
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < 40; ++i)
            sized(QStringLiteral("big/d%1/deep/f%2.txt").arg(d).arg(i), 100);
    const QString top = QDir(folder()).filePath(QStringLiteral("big"));

    {
        Recorder recorder;
        recorder.cancelAtProgress = true;
        FolderScan scan(db(), QStringLiteral("Disks"), 1, &recorder);
        scan.setProgressInterval(std::chrono::milliseconds(0));
        scan.run(startFolderOf(top));
        EXPECT_TRUE(scan.cancelled());
        EXPECT_TRUE(scan.failure().isEmpty());
        EXPECT_EQ(recorder.progressCalls, 1);
        EXPECT_GT(scan.recordsWritten(), 0);
    }
    const auto cancelled = scantest::records(db());
    EXPECT_GT(cancelled.size(), 1u);
    EXPECT_LT(cancelled.size(), 169u); // 1 + 4 * (2 + 40)
    for (const Rec& r : cancelled)
        EXPECT_FALSE(r.size.isEmpty()) << r.path.toStdString(); // open folders got what was counted

    // A store that refuses one record: the walk ends there with the store's text.
    db().exec("DELETE FROM main");
    db().exec("CREATE TRIGGER refuse BEFORE INSERT ON main WHEN NEW.file_name = 'f7.txt' "
              "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");
    FolderScan scan(db(), QStringLiteral("Disks"), 1);
    scan.run(startFolderOf(top));
    EXPECT_FALSE(scan.cancelled());
    EXPECT_EQ(scan.failure(), QStringLiteral("the disk is full"));
    const std::int64_t written = scan.recordsWritten();
    EXPECT_GT(written, 2);
    EXPECT_LT(written, 169);
    const auto kept = scantest::records(db());
    EXPECT_EQ(static_cast<std::int64_t>(kept.size()), written);
    for (const Rec& r : kept)
        EXPECT_FALSE(r.size.isEmpty()) << r.path.toStdString();
}

TEST_F(FolderScanTest, FolderSizesLandOnTheirOwnRecordsAcrossManyInsertsAndTransactions)
{
    // More rows than one insert takes, in folders that end before and after
    // their records are stored.
    for (int i = 0; i < 45; ++i)
        sized(QStringLiteral("many/dA/f%1.bin").arg(i), 1000 + 37 * i);
    for (int i = 0; i < 70; ++i)
        sized(QStringLiteral("many/dA/deep/g%1.bin").arg(i), 3000 * i);
    for (int i = 0; i < 3; ++i)
        sized(QStringLiteral("many/dB/h%1.bin").arg(i), 1 << (10 + 3 * i));
    sized("many/.h/x.bin", 777);
    sized("many/dB/empty/.keep", 5);
    const QString top = QDir(folder()).filePath(QStringLiteral("many"));

    FolderScan scan(db(), QStringLiteral("Disks"), 1);
    scan.setBatch(7, std::chrono::milliseconds(0));
    scan.run(startFolderOf(top));
    ASSERT_TRUE(scan.failure().isEmpty());
    const auto recs = scantest::records(db());
    QStringList paths;
    for (const Rec& r : recs)
        paths << r.path;
    ASSERT_EQ(paths, QStringList {top + u'/'} + scantest::walkOrder(top + u'/'));
    EXPECT_EQ(scan.recordsWritten(), static_cast<std::int64_t>(recs.size()));

    // Every size as a plain sum of the files below, hidden ones included.
    for (const Rec& r : recs) {
        qint64 total = 0;
        if (r.path.endsWith(u'/')) {
            QDirIterator it(
                r.path, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
            while (it.hasNext())
                total += QFileInfo(it.next()).size();
        } else {
            total = QFileInfo(r.path).size();
        }
        EXPECT_EQ(r.size, sizeText(static_cast<std::uint64_t>(total))) << r.path.toStdString();
    }
}

TEST(FormatSize, GivesTheSizeTextOfEveryByteCount)
{
    std::string fast;
    auto check = [&](std::uint64_t bytes) {
        formatSize(bytes, fast);
        ASSERT_EQ(QString::fromStdString(fast), sizeText(bytes)) << bytes;
    };
    for (std::uint64_t b = 0; b < 300000; ++b)
        check(b);
    for (std::uint64_t p = 1; p < 63; ++p)
        for (std::uint64_t b :
            {(std::uint64_t(1) << p) - 1, std::uint64_t(1) << p, (std::uint64_t(1) << p) + 1})
            check(b);
    std::uint64_t x = 88172645463325252ULL; // xorshift: many sizes of every length
    for (int i = 0; i < 200000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        check(x >> (x % 40));
    }
    check(UINT64_MAX);
}
