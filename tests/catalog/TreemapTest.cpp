// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/FolderScan.h"
#include "catalog/Treemap.h"
#include "support/TestSupport.h"

#include <QFileInfo>

#include <cmath>
#include <map>
#include <random>

using namespace qm;

namespace {

using TreemapTest = qmtest::StoreTest;

double area(const QRectF& r)
{
    return r.width() * r.height();
}

// Interiors of two rectangles meet (shared edges do not count).
bool overlap(const QRectF& a, const QRectF& b)
{
    constexpr double e = 1e-6;
    return a.left() < b.right() - e && b.left() < a.right() - e && a.top() < b.bottom() - e && b.top() < a.bottom() - e;
}

// Every rectangle inside `bounds`, none overlapping another, areas in
// proportion to the sizes and adding up to the whole.
void expectTiling(const std::vector<double>& sizes, const std::vector<QRectF>& rects, const QRectF& bounds)
{
    ASSERT_EQ(rects.size(), sizes.size());
    double total = 0, covered = 0;
    for (const double s : sizes)
        total += std::max(s, 0.0);
    for (size_t i = 0; i < rects.size(); ++i) {
        if (sizes[i] <= 0) {
            EXPECT_TRUE(rects[i].isEmpty()) << i;
            continue;
        }
        const QRectF& r = rects[i];
        EXPECT_TRUE(bounds.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(r)) << i;
        EXPECT_NEAR(area(r), area(bounds) * sizes[i] / total, area(bounds) * 1e-9 + 1e-6) << i;
        covered += area(r);
        for (size_t j = i + 1; j < rects.size(); ++j)
            EXPECT_FALSE(overlap(r, rects[j])) << i << " and " << j;
    }
    EXPECT_NEAR(covered, area(bounds), area(bounds) * 1e-9);
}

} // namespace

TEST(Squarify, TilesTheBoundsInProportionWithoutOverlap)
{
    std::mt19937 random(7);
    for (const QRectF bounds : {QRectF(0, 0, 800, 600), QRectF(10, 20, 37, 410), QRectF(-5, 3, 1, 1)}) {
        for (const int n : {1, 2, 7, 60}) {
            std::vector<double> sizes;
            for (int i = 0; i < n; ++i)
                sizes.push_back(static_cast<double>(1 + random() % 100000));
            std::sort(sizes.rbegin(), sizes.rend());
            expectTiling(sizes, squarify(sizes, bounds), bounds);
        }
    }
    // Empty entries take no room; unsorted sizes still tile exactly.
    const std::vector<double> mixed {0, 5, 1, 0, 9, 3};
    expectTiling(mixed, squarify(mixed, QRectF(0, 0, 100, 50)), QRectF(0, 0, 100, 50));
    EXPECT_TRUE(squarify(std::vector<double> {0, 0}, QRectF(0, 0, 10, 10))[1].isEmpty());
    // Squarified: equal sizes in a square come out as squares.
    for (const QRectF& r : squarify(std::vector<double>(4, 1.0), QRectF(0, 0, 100, 100))) {
        EXPECT_NEAR(r.width(), 50, 1e-9);
        EXPECT_NEAR(r.height(), 50, 1e-9);
    }
}

TEST_F(TreemapTest, AScannedTreeIsLaidOutNestedCoveringItsSizeExactly)
{
    std::mt19937 random(11);
    int files = 0;
    for (const char* folder : {"disk/photos/2019", "disk/photos/2020", "disk/music", "disk/music/live", "disk/empty"}) {
        makeDir(QString::fromLatin1(folder));
        for (int i = 0; folder != std::string("disk/empty") && i < 12; ++i, ++files)
            makeFile(QString::fromLatin1(folder) + QStringLiteral("/f%1.%2").arg(i).arg(i % 3 ? "jpg" : "mp3"),
                static_cast<qint64>(1 + random() % 50000));
    }
    makeFile(QStringLiteral("disk/zero.txt"), 0);
    FolderScan scan(db(), QStringLiteral("T"), 1);
    scan.run(startFolderOf(pathOf(QStringLiteral("disk"))));
    ASSERT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();

    const TreemapTree tree = readScanTree(db(), QStringLiteral("T"), QStringLiteral("1>"));
    ASSERT_EQ(tree.entries.size(), static_cast<size_t>(count(QStringLiteral("dbaseName = 'T'"))));
    const long long stored
        = db().execAndGet("SELECT sum(bytes) FROM main WHERE dbaseName = 'T' AND path NOT LIKE '%/'").getInt64();
    EXPECT_EQ(tree.entries[0].bytes, stored);
    EXPECT_EQ(tree.pathOf(0), pathOf(QStringLiteral("disk")) + u'/');
    for (size_t i = 1; i < tree.entries.size(); ++i) {
        const auto& e = tree.entries[i];
        EXPECT_TRUE(QFileInfo::exists(tree.pathOf(static_cast<int>(i)))) << tree.pathOf(static_cast<int>(i)).toStdString();
        if (!e.folder) {
            EXPECT_EQ(e.bytes, QFileInfo(tree.pathOf(static_cast<int>(i))).size());
        }
    }

    // Without an inset each folder's children tile its rectangle exactly.
    const QRectF bounds(0, 0, 1000, 700);
    const std::vector<TreemapTile> tiles = layoutTreemap(tree, 0, bounds, 0.0, 0.0);
    std::map<int, QRectF> rectOf {{0, bounds}};
    for (const TreemapTile& t : tiles)
        rectOf[t.entry] = t.rect;
    int laidFiles = 0;
    for (const auto& [entry, rect] : rectOf) {
        const auto& e = tree.entries[static_cast<size_t>(entry)];
        laidFiles += e.folder ? 0 : 1;
        EXPECT_NEAR(area(rect), area(bounds) * static_cast<double>(e.bytes) / static_cast<double>(tree.entries[0].bytes), 1e-6);
        if (!e.folder || e.bytes == 0)
            continue;
        std::vector<double> sizes;
        std::vector<QRectF> rects;
        for (const int c : e.children) {
            sizes.push_back(static_cast<double>(tree.entries[static_cast<size_t>(c)].bytes));
            rects.push_back(rectOf.count(c) ? rectOf[c] : QRectF());
        }
        expectTiling(sizes, rects, rect);
    }
    EXPECT_EQ(laidFiles, files); // the empty file and folder take no room

    // The biggest: largest first, files and folders, the top folder left out.
    const std::vector<int> biggest = biggestEntries(tree, 100);
    ASSERT_EQ(biggest.size(), tree.entries.size() - 1);
    EXPECT_TRUE(tree.entries[static_cast<size_t>(biggest[0])].folder);
    for (size_t i = 1; i < biggest.size(); ++i)
        EXPECT_GE(tree.entries[static_cast<size_t>(biggest[i - 1])].bytes, tree.entries[static_cast<size_t>(biggest[i])].bytes);
    EXPECT_EQ(biggestEntries(tree, 3).size(), 3u);
}

TEST_F(TreemapTest, RecordsThatDoNotFormATreeHangBelowTheTopFolder)
{
    addRecord("1>", "0>", "H", "/d", "/d/", "", "", "1>");
    addRecord("2>", "3>", "H", "a", "/d/a/", "", "", "1>"); // a loop of two folders
    addRecord("3>", "2>", "H", "b", "/d/a/b/", "", "", "1>");
    addRecord("4>", "9>", "H", "lost.bin", "/d/lost.bin", "", "", "1>"); // parent not in the scan
    addRecord("5>", "4>", "H", "under a file", "/d/x", "", "", "1>");
    db().exec("UPDATE main SET bytes = 10 WHERE dbaseName = 'H' AND path NOT LIKE '%/'");
    const TreemapTree tree = readScanTree(db(), QStringLiteral("H"), QStringLiteral("1>"));
    ASSERT_EQ(tree.entries.size(), 5u);
    EXPECT_EQ(tree.entries[0].bytes, 20);
    EXPECT_EQ(tree.entries[3].parent, 0);
    EXPECT_EQ(tree.entries[4].parent, 0);
    EXPECT_FALSE(layoutTreemap(tree, 0, QRectF(0, 0, 100, 100)).empty());
    EXPECT_TRUE(readScanTree(db(), QStringLiteral("H"), QStringLiteral("7>")).empty());
}

TEST_F(TreemapTest, AScanIsReadWhereverItsRecordsLieAmongOthers)
{
    // The scan's first records, another catalogue's and another scan's after them, then what an update
    // added to the scan; keys a hand-edited store may hold among them.
    addRecord("1>", "0>", "S", "/d", "/d/", "", "", "1>");
    addRecord("2>", "1>", "S", "a", "/d/a/", "", "", "1>");
    addRecord("1>", "0>", "Other", "/d", "/d/", "", "", "1>");
    addRecord("2>", "1>", "Other", "x.bin", "/d/x.bin", "", "", "1>");
    addRecord("9>", "0>", "S", "/e", "/e/", "", "", "9>");
    addRecord("10>", "9>", "S", "y.bin", "/e/y.bin", "", "", "9>");
    addRecord("3>", "2>", "S", "new.bin", "/d/a/new.bin", "", "", "1>");
    addRecord("odd", "1>", "S", "b", "/d/b/", "", "", "1>");
    addRecord("4>", "odd", "S", "c.bin", "/d/b/c.bin", "", "", "1>");
    db().exec("UPDATE main SET bytes = length(file_name) WHERE path NOT LIKE '%/'");
    const TreemapTree tree = readScanTree(db(), QStringLiteral("S"), QStringLiteral("1>"));
    QStringList paths;
    for (size_t i = 0; i < tree.entries.size(); ++i)
        paths << tree.pathOf(static_cast<int>(i));
    EXPECT_EQ(paths, (QStringList {"/d/", "/d/a/", "/d/a/new.bin", "/d/b/", "/d/b/c.bin"}));
    EXPECT_EQ(tree.entries[0].bytes, 12);
    const TreemapTree second = readScanTree(db(), QStringLiteral("S"), QStringLiteral("9>"));
    ASSERT_EQ(second.entries.size(), 2u);
    EXPECT_EQ(second.entries[0].bytes, 5);
}
