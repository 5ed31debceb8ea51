// SPDX-License-Identifier: GPL-3.0-or-later
// The search index kept on disk as a user meets it from a terminal: made by
// the first search, followed through other processes' scans, told of.
#include "ProgramTest.h"

#include "find/IndexFile.h"
#include "find/Query.h"
#include "find/SearchIndex.h"

#include <QProcess>

#include <SQLiteCpp/Database.h>

using namespace qmtest;

namespace {

class FindIndexCommandTest : public ProgramTest {
protected:
    void makeTree(const QString& folder, int folders, int files)
    {
        for (int f = 0; f < folders; ++f)
            for (int i = 0; i < files; ++i)
                makeFile(QStringLiteral("%1/folder%2/holiday photo %3.jpg").arg(folder).arg(f).arg(i), i);
    }
    QString indexFile() const { return qm::find::indexPlaceOf(storePath()).file; }
};

} // namespace

TEST_F(FindIndexCommandTest, TheFirstSearchMakesTheIndexAndLaterOnesFollowOtherWriters)
{
    makeTree(QStringLiteral("one"), 3, 10);
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("one")), QStringLiteral("--name=One")})
                  .status,
        0);
    Outcome r = quillmark({QStringLiteral("find"), QStringLiteral("photo")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count(u'\n'), 30);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Rebuilding the search index at ") + indexFile()))
        << r.err.toStdString();
    ASSERT_TRUE(QFile::exists(indexFile()));

    // Another process adds a scan: the next search sees it, from the same file.
    makeTree(QStringLiteral("two"), 2, 5);
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("two")), QStringLiteral("--name=Two")})
                  .status,
        0);
    r = quillmark({QStringLiteral("find"), QStringLiteral("photo 4.jpg")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count(u'\n'), 5) << r.out.toStdString();
    EXPECT_EQ(r.err, QString());
    r = quillmark({QStringLiteral("find"), QStringLiteral("photo"), QStringLiteral("--catalogue=Two"),
        QStringLiteral("--limit=3")});
    EXPECT_EQ(r.out.count(u'\n'), 3);
    EXPECT_EQ(r.out.count(QStringLiteral("Two\t")), 3);

    // --reindex writes it again and says where; list and --help say where it lives.
    r = quillmark({QStringLiteral("find"), QStringLiteral("--reindex")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("The search index at ") + indexFile() + QStringLiteral(" holds %1 records.\n").arg(count()));
    EXPECT_EQ(quillmark({QStringLiteral("find"), QStringLiteral("--reindex"), QStringLiteral("photo")}).status, 2);
    EXPECT_TRUE(quillmark({QStringLiteral("list")}).out.contains(QStringLiteral("Search index: ") + indexFile()));
    EXPECT_TRUE(quillmark({QStringLiteral("--help")}).out.contains(QStringLiteral("Search index: ") + indexFile()));

    // A cache folder that cannot hold it: the search still answers, and says so.
    QFile::remove(indexFile());
    QDir(pathOf(QStringLiteral("cache/quillmark/find"))).removeRecursively();
    makeFile(QStringLiteral("cache/quillmark/find"), QByteArray("not a folder"));
    r = quillmark({QStringLiteral("find"), QStringLiteral("photo")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count(u'\n'), 40);
    EXPECT_TRUE(r.err.contains(QStringLiteral("searching without it"))) << r.err.toStdString();
}

TEST_F(FindIndexCommandTest, SearchesWhileAnotherProcessScansGiveOnlyTheStoresRows)
{
    makeTree(QStringLiteral("small"), 1, 5);
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("small")), QStringLiteral("--name=S")})
                  .status,
        0);
    makeTree(QStringLiteral("big"), 40, 150);

    QProcess scan;
    scan.setProcessEnvironment(withoutDisplay());
    scan.setWorkingDirectory(folder());
    scan.start(QStringLiteral(QUILLMARK_EXECUTABLE),
        {QStringLiteral("add-folder"), pathOf(QStringLiteral("big")), QStringLiteral("--name=Big")});
    ASSERT_TRUE(scan.waitForStarted());
    const qm::find::Query query = qm::find::parseQuery(QStringLiteral("photo *1?.jpg")).query;
    int searches = 0;
    do {
        // A search process of its own each time, as from a terminal; and one
        // kept, as the window keeps it.
        qm::find::SearchIndex index(storePath(), indexFile());
        index.sync();
        std::vector<std::uint32_t> found;
        index.search(query, [&](std::uint32_t e) {
            found.push_back(e);
            return true;
        });
        for (const qm::find::Hit& hit : index.details(found))
            ASSERT_TRUE(hit.name.startsWith(QStringLiteral("holiday photo ")) && hit.name.endsWith(QStringLiteral(".jpg"))
                && hit.name.at(hit.name.size() - 6) == u'1')
                << hit.name.toStdString();
        ++searches;
    } while (!scan.waitForFinished(20));
    ASSERT_EQ(scan.exitCode(), 0) << scan.readAllStandardError().toStdString();
    EXPECT_GT(searches, 0);

    const Outcome r = quillmark({QStringLiteral("find"), QStringLiteral("photo"), QStringLiteral("*1?.jpg")});
    const long long expected = count(QStringLiteral("file_name LIKE 'holiday photo %1_.jpg'"));
    EXPECT_GT(expected, 400);
    EXPECT_EQ(r.out.count(u'\n'), expected);
}
