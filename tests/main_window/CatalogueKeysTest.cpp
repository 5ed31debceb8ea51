// SPDX-License-Identifier: GPL-3.0-or-later
// Node keys stay unique within a catalogue whoever writes to it, and are never
// given twice; every node lists and deletes the records of its own catalogue.
#include "ScanSupport.h"

#include "catalog/tree/CatalogueTree.h"
#include "cli/AddFolder.h"

#include <QProcess>

using namespace qm;

namespace {

class CatalogueKeysTest : public ScanTest {
protected:
    // Keys used twice among a catalogue's records.
    long long repeatedKeys(const char* catalogue)
    {
        SQLite::Statement st(db(), "SELECT count(*) - count(DISTINCT ID) FROM main WHERE dbaseName = ?");
        st.bind(1, catalogue);
        st.executeStep();
        return st.getColumn(0).getInt64();
    }
    // Records of a catalogue that its tree cannot place.
    std::int64_t unplaced(const char* catalogue)
    {
        NodeModel nodes;
        return fillCatalogueTree(db(), QString::fromLatin1(catalogue), nodes, true);
    }
};

} // namespace

TEST_F(CatalogueKeysTest, AScanAfterOpenDatabaseStaysVisibleListableAndDeletable)
{
    addRecord("1>", "0>", "Disks", "/d", "/d/", "0", "", "1>");
    addRecord("2>", "1>", "Disks", "x.txt", "/d/x.txt", "0", "", "1>");
    for (int i = 1; i <= 5; ++i)
        addRecord(QStringLiteral("%1>").arg(i), "0>", "Music", QStringLiteral("/m%1").arg(i),
            QStringLiteral("/m%1/").arg(i), "0", "", QStringLiteral("%1>").arg(i));
    // A third catalogue holding the keys the scan will take.
    addRecord("6>", "0>", "Other", "/o", "/o/", "0", "", "6>");
    addRecord("7>", "6>", "Other", "keep.txt", "/o/keep.txt", "0", "", "6>");
    Form1& f = load(QStringLiteral("Disks"));

    // The tree shows Music; new records are still stamped Disks.
    f.Text8->setText(QStringLiteral("Music"));
    f.Command5_Click();
    const QString top = tree(QStringLiteral("pics"));
    addFolder(top);
    const auto run = scantest::records(db(), "delKey = '6>' AND dbaseName = 'Disks'");
    ASSERT_EQ(run.size(), 11u);
    EXPECT_EQ(run.back().id, QStringLiteral("16>"));
    expectNodesOf(run);
    EXPECT_EQ(repeatedKeys("Disks"), 0);
    EXPECT_EQ(unplaced("Disks"), 0);

    // Its nodes list its records; the root lists both catalogues' folders.
    click("6>");
    EXPECT_EQ(rows(f.ListView2), QStringList {top + u'|' + top + QStringLiteral("/|800|") + run[0].date + u'|'});
    EXPECT_EQ(f.ListView1->topLevelItemCount(), 5);
    click("0>");
    EXPECT_EQ(f.ListView1->topLevelItemCount(), 6);
    EXPECT_TRUE(rows(f.ListView1).last().startsWith(QStringLiteral(" 6|") + top));

    // Deleting it removes that scan of Disks, not Other's records with the same keys.
    f.TreeView1->setSelectedItem(node("6>"));
    f.Command7_Click();
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(count("dbaseName = 'Disks'"), 2);
    EXPECT_EQ(count("dbaseName = 'Other'"), 2);
    EXPECT_EQ(count("dbaseName = 'Music'"), 5);
}

TEST_F(CatalogueKeysTest, TheWindowAndTheCommandLineShareACataloguesKeysAndNeverReuseOne)
{
    Form1& f = load(QStringLiteral("Disks"));
    f.setCurrentDatabaseName(QStringLiteral("Disks"));
    addFolder(tree(QStringLiteral("one")));
    runFrom(1);

    // The command line adds to the catalogue the window shows...
    EXPECT_EQ(runAddFolderCommand({tree(QStringLiteral("two")), QStringLiteral("--name=Disks")}), 0);
    EXPECT_EQ(count("delKey = '12>'"), 11);
    // ...and the window's next scan goes on above what it stored.
    addFolder(tree(QStringLiteral("three")));
    runFrom(23);
    EXPECT_EQ(repeatedKeys("Disks"), 0);

    // A register record names node 5>. Deleting its scan and scanning again
    // does not hand 5> to another file.
    db().exec("INSERT INTO Documents (FileName, ID) VALUES ('c.txt', '5>')");
    f.TreeView1->setSelectedItem(node("1>"));
    f.Command7_Click();
    f.setCurrentDatabaseName(QStringLiteral("Disks"));
    addFolder(tree(QStringLiteral("four")));
    runFrom(34);
    EXPECT_EQ(node("5>"), nullptr);
    EXPECT_EQ(count("ID = '5>'"), 0);
    EXPECT_EQ(count("dbaseName = 'Disks'"), 33);
    EXPECT_EQ(unplaced("Disks"), 0);

    // A fresh catalogue still starts at 1.
    EXPECT_EQ(runAddFolderCommand({tree(QStringLiteral("five")), QStringLiteral("--name=New")}), 0);
    EXPECT_EQ(texts(QStringLiteral("SELECT min(CAST(ID AS INTEGER)) FROM main WHERE dbaseName = 'New'")),
        QStringList {QStringLiteral("1")});
}

TEST_F(CatalogueKeysTest, TwoCommandLineRunsAtOnceGiveEveryEntryItsOwnKey)
{
    if (!QFileInfo(programPath()).isExecutable())
        GTEST_SKIP() << "the quillmark program is not built beside the tests";
    for (const char* disk : {"diskA", "diskB"})
        for (int d = 0; d < 30; ++d)
            for (int i = 0; i < 60; ++i)
                makeFile(QStringLiteral("%1/d%2/f%3.txt").arg(QLatin1String(disk)).arg(d).arg(i), 10);

    QProcess a, b;
    for (auto [p, disk] : {std::pair {&a, "diskA"}, std::pair {&b, "diskB"}}) {
        p->setWorkingDirectory(folder());
        p->start(programPath(), {QStringLiteral("add-folder"), pathOf(QString::fromLatin1(disk)),
                                    QStringLiteral("--name"), QStringLiteral("Disks")});
    }
    for (QProcess* p : {&a, &b}) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    EXPECT_EQ(count(), 2 * (1 + 30 * 61));
    EXPECT_EQ(repeatedKeys("Disks"), 0);
    EXPECT_EQ(unplaced("Disks"), 0);
    // Each run's records hang on its own folders.
    EXPECT_EQ(count("Parent <> '0>' AND NOT EXISTS (SELECT 1 FROM main p WHERE p.ID = main.Parent "
                    "AND p.delKey = main.delKey AND p.SrNO < main.SrNO)"),
        0);
}
