#include "catalog/FolderScan.h"
#include "../main_window/ScanSupport.h"
#include "catalog/NodeKeys.h"
#include "catalog/Numbers.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <cstring>

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
    std::vector<Rec> run(const QString& folder, std::int64_t firstKey = 1, Recorder* recorder = nullptr)
    {
        db().exec("DELETE FROM main");
        FolderScan scan(db(), QStringLiteral("Disks"), firstKey, recorder);
        scan.setBatch(3, std::chrono::milliseconds(0)); // many small transactions
        scan.run(startFolderOf(folder));
        EXPECT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
        return scantest::records(db());
    }
    // The paths below `top`, sorted.
    static QStringList below(const QString& top, const std::vector<Rec>& recs)
    {
        QStringList names;
        for (const Rec& r : recs)
            names << r.path.mid(top.size());
        names.sort();
        return names;
    }
};

QString dirOf(const QString& path)
{
    const QString trimmed = path.endsWith(u'/') ? path.chopped(1) : path;
    return trimmed.left(trimmed.lastIndexOf(u'/') + 1);
}

} // namespace

TEST_F(FolderScanTest, NestedTreeIsWrittenDepthFirstWithRunningKeysAndFolderSizes)
{
    for (const char* file : {"a.txt", "b.txt", "sub1/c.txt", "sub1/inner/d.txt", "sub1/e.txt", "sub2/.hidden",
             "f.txt", "sub3/h.txt", ".cache/x.bin"})
        makeFile(QStringLiteral("tree/") + QString::fromLatin1(file), 1000 + std::strlen(file));
    // More rows than one insert takes, so that folder sizes land on stored records too.
    for (int i = 0; i < 45; ++i)
        makeFile(QStringLiteral("tree/sub1/many/f%1.bin").arg(i), 3000 * i);
    const QString top = pathOf(QStringLiteral("tree"));

    Recorder recorder;
    const auto recs = run(top, 7, &recorder);

    // The top-level folder first, then exactly the walk's order.
    QStringList paths;
    for (const Rec& r : recs)
        paths << r.path;
    const QStringList expected = QStringList {top + u'/'} + scantest::walkOrder(top + u'/');
    ASSERT_EQ(paths, expected);
    // The walk came back out of an inner folder and went on in the outer one.
    bool resumed = false;
    for (int i = 0; i + 1 < expected.size(); ++i) {
        const QString here = dirOf(expected[i]), next = dirOf(expected[i + 1]);
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
    }

    // The listener saw every record but the top-level one, with its parent's key.
    ASSERT_EQ(recorder.nodes.size(), static_cast<qsizetype>(recs.size() - 1));
    for (size_t i = 1; i < recs.size(); ++i)
        EXPECT_EQ(recorder.nodes[static_cast<qsizetype>(i - 1)],
            QStringLiteral("%1|%2|%3|%4")
                .arg(recs[i].parent, recs[i].id, recs[i].fileName)
                .arg(recs[i].path.endsWith(u'/')));
}

TEST_F(FolderScanTest, SizeTextsOfRealFilesAnEmptyFolderAndTheStartPath)
{
    const std::pair<qint64, const char*> cases[]
        = {{0, "0"}, {1023, "1023"}, {1024, " 1 KB"}, {747776, " 730.25 KB"}, {1572864, " 1.5 MB"}};
    for (const auto& [bytes, text] : cases)
        makeFile(QStringLiteral("sizes/b%1").arg(bytes), bytes);
    const QString top = pathOf(QStringLiteral("sizes"));
    const auto recs = run(top);
    ASSERT_EQ(recs.size(), std::size(cases) + 1);
    QHash<QString, QString> sizeOf;
    for (const Rec& r : recs)
        sizeOf.insert(r.fileName, r.size);
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(sizeOf.value(QStringLiteral("b%1").arg(bytes)), QString::fromLatin1(text));
    EXPECT_EQ(recs[0].size, " 2.22 MB"); // 2322687 bytes

    // An empty folder: its own record only.
    const auto empty = run(makeDir(QStringLiteral("nothing")));
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].size, "0");
    EXPECT_EQ(empty[0].id, "1>");

    // The reported path is the top-level file name; the path gets its closing "/" once.
    EXPECT_EQ(startFolderOf(QStringLiteral("/")).fileName, QStringLiteral("/"));
    EXPECT_EQ(startFolderOf(QStringLiteral("/")).path, QStringLiteral("/"));
    EXPECT_EQ(startFolderOf(QStringLiteral("/data/photos")).path, QStringLiteral("/data/photos/"));
    const auto closed = run(top + u'/');
    EXPECT_EQ(closed[0].fileName, top + u'/');
    EXPECT_EQ(closed[0].path, top + u'/');
    EXPECT_EQ(closed[1].path, recs[1].path);
}

TEST_F(FolderScanTest, HiddenEntriesSpecialFilesAndLinksAreLeftOutAndLoopsNotFollowed)
{
    makeFile(QStringLiteral("mix/shown.txt"), 10);
    makeFile(QStringLiteral("mix/.hidden.txt"), 1000);
    makeFile(QStringLiteral("mix/.cache/deeper/more.txt"), 3000);
    makeFile(QStringLiteral("mix/dir/x.txt"), 1);
    const QString top = pathOf(QStringLiteral("mix"));
    const std::string topBytes = QFile::encodeName(top).toStdString();
    ASSERT_EQ(::mkfifo((topBytes + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(".", (topBytes + "/dir/loop").c_str()), 0);
    ASSERT_EQ(::symlink("..", (topBytes + "/dir/up").c_str()), 0);
    ASSERT_EQ(::symlink("shown.txt", (topBytes + "/alias.txt").c_str()), 0);

    const auto recs = run(top);
    EXPECT_EQ(below(top, recs), (QStringList {"/", "/dir/", "/dir/x.txt", "/shown.txt"}));
    EXPECT_EQ(recs[0].size, " 3.92 KB"); // hidden files count, links and the FIFO do not: 4011 bytes
}

TEST_F(FolderScanTest, UnreadableEntriesAreSkippedCountedAndNamedWhileTheRestIsCatalogued)
{
    makeFile(QStringLiteral("faults/ok.txt"), 10);
    makeFile(QStringLiteral("faults/locked/secret.txt"), 500);
    makeFile(QStringLiteral("faults/gone.txt"), 20);
    makeFile(QStringLiteral("faults/after/y.txt"), 7);
    const QString top = pathOf(QStringLiteral("faults"));
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
    {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        scan.run(startFolderOf(top));
        EXPECT_TRUE(scan.failure().isEmpty());
        EXPECT_EQ(scan.skippedCount(), 3);
        const QString report = skippedReport(scan);
        for (const QString& part : {QStringLiteral("3 entries could not be read"),
                 top + QStringLiteral("/locked ("), top + QStringLiteral("/gone.txt ("),
                 top + QStringLiteral("/caf\\xe9.txt (the name is not valid UTF-8)")})
            EXPECT_TRUE(report.contains(part)) << report.toStdString();
    }
    const auto recs = scantest::records(db());
    EXPECT_EQ(below(top, recs), (QStringList {"/", "/after/", "/after/y.txt", "/ok.txt"}));
    EXPECT_EQ(recs[0].size, "21"); // the badly named file still counts
    ::unlink(latin1.c_str()); // a name the temporary folder's own clean-up cannot spell

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

TEST_F(FolderScanTest, CancelAndStoreFailureStopTheWalkAndKeepWhatWasWritten)
{
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < 40; ++i)
            makeFile(QStringLiteral("big/d%1/deep/f%2.txt").arg(d).arg(i), 100);
    const QString top = pathOf(QStringLiteral("big"));
    {
        Recorder recorder;
        recorder.cancelAtProgress = true;
        FolderScan scan(db(), QStringLiteral("Disks"), 1, &recorder);
        scan.setProgressInterval(std::chrono::milliseconds(0));
        scan.run(startFolderOf(top));
        EXPECT_TRUE(scan.cancelled());
        EXPECT_TRUE(scan.failure().isEmpty());
        EXPECT_EQ(recorder.progressCalls, 1);
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
    const auto kept = scantest::records(db());
    EXPECT_GT(kept.size(), 2u);
    EXPECT_LT(kept.size(), 169u);
    EXPECT_EQ(static_cast<std::int64_t>(kept.size()), scan.recordsWritten());
    for (const Rec& r : kept)
        EXPECT_FALSE(r.size.isEmpty()) << r.path.toStdString();
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
    for (std::uint64_t p = 1; p < 64; ++p)
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
