// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FormFixture.h"

#include "catalog/NodeKeys.h"
#include "catalog/store/Store.h"
#include "main_window/StatusReport.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/FolderLists.h"

using namespace qm;

TEST_F(FormTest, LoadTreeAndClicksShowOnlyTheNamedCatalogue)
{
    // Two catalogues that reuse the same keys, stored interleaved, and names
    // that differ by case or a trailing blank.
    addRecord("1>", "0>", "Disks", "/data", "/data/", " 1.5 MB", "2026-01-01 10:00:00", "1>");
    addRecord("1>", "0>", "Other", "/else", "/else/", "0", "o1", "1>");
    addRecord("2>", "1>", "Disks", "b.txt", "/data/b.txt", "512", "t2", "1>");
    addRecord("2>", "1>", "Other", "stray.txt", "/else/stray.txt", "5", "o2", "1>");
    addRecord("3>", "1>", "Disks", "sub", "/data/sub/", " 1 KB", "t3", "1>");
    addRecord("4>", "3>", "Disks", "win", "C:\\data\\sub\\win\\", "0", "t4", "1>");
    addRecord("5>", "1>", "Disks", "a.txt", "/data/a.txt", "0", "t5", "1>");
    addRecord("6>", "1>", "Other", "intruder", "/else/intruder", "0", "o", "1>");
    addRecord("5>", "0>", "disks", "case", "/case/", "0", "x", "5>");
    addRecord("6>", "0>", "Disks ", "blank", "/blank/", "0", "x", "6>");
    addRecord("7>", "0>", "Disks", "top file", "/top.txt", "0", "t7", "7>");
    qmtest::testClipboard().SetText(QStringLiteral("user text"));

    Form1& f = load(QStringLiteral("Disks"));
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Disks"));
    // A top-level record is a folder whatever its path; "\" ends a folder path too.
    EXPECT_EQ(children("0>", true), (QStringList {"1>:/data:1:3", "7>:top file:1:3"}));
    EXPECT_EQ(children("1>", true), (QStringList {"2>:b.txt:2:0", "3>:sub:1:3", "5>:a.txt:2:0"}));
    EXPECT_EQ(children("3>", true), (QStringList {"4>:win:1:3"}));
    // Every branch open, the tree holds the root and six records.
    EXPECT_TRUE(children("4>").isEmpty());
    EXPECT_EQ(f.TreeView1->Nodes().Count(), 7);
    EXPECT_TRUE(f.TreeView1->isExpanded(node("0>")));
    EXPECT_FALSE(f.TreeView1->isExpanded(node("1>")));
    EXPECT_EQ(qmtest::testClipboard().GetText(), QString());

    // A folder of three: its own record, then what is directly inside, numbered.
    click("1>");
    EXPECT_EQ(rows(f.ListView2), (QStringList {"/data|/data/| 1.5 MB|2026-01-01 10:00:00|"}));
    const QStringList three {
        " 1|b.txt|/data/b.txt|512|t2", " 2|sub|/data/sub/| 1 KB|t3", " 3|a.txt|/data/a.txt|0|t5"};
    EXPECT_EQ(rows(f.ListView1), three);
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral(" 3"));
    click("1>"); // the same node again numbers from 1 again
    EXPECT_EQ(rows(f.ListView1), three);
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral(" 3"));
    EXPECT_EQ(f.ListView2->topLevelItemCount(), 1);

    click("2>"); // a file: its own record, nothing inside
    EXPECT_EQ(rows(f.ListView2), (QStringList {"b.txt|/data/b.txt|512|t2|"}));
    EXPECT_TRUE(rows(f.ListView1).isEmpty());
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral("0"));

    click("0>"); // the root: no own record, the top-level folders of this catalogue only
    EXPECT_TRUE(rows(f.ListView2).isEmpty());
    EXPECT_EQ(rows(f.ListView1),
        (QStringList {" 1|/data|/data/| 1.5 MB|2026-01-01 10:00:00", " 2|top file|/top.txt|0|t7"}));
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral(" 2"));

    // The database node of a new catalogue has no records behind it.
    f.Text8->setText(QStringLiteral("Fresh"));
    f.Command1_Click();
    f.TreeView1->setSelectedItem(f.TreeView1->Nodes().Item(2));
    f.TreeView1_NodeClick(nullptr);
    EXPECT_TRUE(rows(f.ListView1).isEmpty());
    EXPECT_TRUE(rows(f.ListView2).isEmpty());
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral("0"));
    EXPECT_EQ(qmtest::messages(), QStringList {QStringLiteral("Fresh")});
}

TEST_F(FormTest, AFolderListsItsChildrenInStoredOrderWhetherTheyLieTogetherOrApart)
{
    // "/near" holds four records stored one after another, one of another
    // catalogue under the same key among them; "/far" holds two stored with
    // fifty records of another catalogue between them.
    addRecord("1>", "0>", "Disks", "/near", "/near/", "0", "t", "1>");
    addRecord("2>", "0>", "Disks", "/far", "/far/", "0", "t", "2>");
    addRecord("3>", "1>", "Disks", "n1", "/near/n1", "1", "t", "1>");
    addRecord("4>", "2>", "Disks", "f1", "/far/f1", "1", "t", "2>");
    addRecord("3>", "1>", "Other", "stray", "/o/stray", "1", "t", "1>");
    addRecord("5>", "1>", "Disks", "n2", "/near/n2", "2", "t", "1>");
    addRecord("6>", "1>", "Disks", "n3", "/near/n3", "3", "t", "1>");
    for (int i = 0; i < 50; ++i)
        addRecord(keyOf(100 + i), QStringLiteral("1>"), QStringLiteral("Other"), QStringLiteral("o"),
            QStringLiteral("/o/o"), QStringLiteral("1"), QStringLiteral("t"), QStringLiteral("1>"));
    addRecord("7>", "2>", "Disks", "f2", "/far/f2", "2", "t", "2>");
    Form1& f = load(QStringLiteral("Disks"));

    click("1>");
    EXPECT_EQ(rows(f.ListView1),
        (QStringList {" 1|n1|/near/n1|1|t", " 2|n2|/near/n2|2|t", " 3|n3|/near/n3|3|t"}));
    click("2>");
    EXPECT_EQ(rows(f.ListView1), (QStringList {" 1|f1|/far/f1|1|t", " 2|f2|/far/f2|2|t"}));
    // The rows' texts are there for copying, and one set later wins.
    f.ListView1->topLevelItem(1)->setText(1, QStringLiteral("renamed"));
    EXPECT_EQ(rows(f.ListView1), (QStringList {" 1|f1|/far/f1|1|t", " 2|renamed|/far/f2|2|t"}));
}

TEST_F(FormTest, LoadTreePlacesWhatItCanAndCountsTheRest)
{
    addRecord("1>", "0>", "", "/data", "/data/", "0", "", "1>");
    addRecord("2>", "9>", "", "orphan", "/data/orphan", "0", "", "1>"); // parent missing
    addRecord("3>", "4>", "", "early", "/data/x/early", "0", "", "1>"); // parent comes later
    addRecord("4>", "1>", "", "x", "/data/x/", "0", "", "1>");
    addRecord("4>", "1>", "", "again", "/data/again", "0", "", "1>"); // key used twice
    addRecord("5>", "1>", "", "nopath", "", "0", "", "1>"); // empty path: a file
    db().exec(
        "INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('6>', '1>', '', NULL, '/data/n')");
    addRecord("7>", "4>", "", "after", "/data/x/after", "0", "", "1>");

    Form1& f = load(QString()); // an empty first line shows the records with an empty name
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QString());
    EXPECT_EQ(children("1>", true), (QStringList {"4>:x:1:3", "5>:nopath:2:0"}));
    EXPECT_EQ(children("4>", true), (QStringList {"7>:after:2:0"}));
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("4 record(s)")));
}

TEST_F(FormTest, AddNewDatabaseAndSaveToDatabase)
{
    Form1& f = load(QStringLiteral("Disks"));
    f.Command3_Click(); // the prompt after a load: the shown name is kept
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Disks"));

    // An empty table: the database node has no key; the name is told.
    f.Command1_Click(); // with the prompt still in the box
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Enter database name"));
    EXPECT_EQ(qmtest::messages(), QStringList {QStringLiteral("Enter database name")});
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Quillmark"));
    EXPECT_EQ(children("0>"), QStringList {QStringLiteral(":Enter database name")});
    f.Command3_Click(); // the prompt after "Add new database": the root's text
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Quillmark"));

    for (int i = 0; i < 57; ++i)
        addRecord(keyOf(i + 1), "0>", "Disks", "f", "/f/", "0", "", keyOf(i + 1));
    f.Text8->setText(QStringLiteral("Holiday's 100%"));
    f.Command1_Click();
    f.Command1_Click(); // twice with the same name gives the same tree; nothing is stored
    EXPECT_EQ(children("0>"), QStringList {QStringLiteral(" 57>:Holiday's 100%")});
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Holiday's 100%"));
    EXPECT_EQ(count(), 57);
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Quillmark"));
    EXPECT_EQ(nextNodeKey(f.TreeView1->Nodes()), QStringLiteral("58>"));
    f.Command3_Click();
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Holiday's 100%"));
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Quillmark")); // the tree is unchanged
}

TEST_F(FormTest, OpenDatabaseSwitchesTheTree)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/", "0", "", "1>");
    addRecord("1>", "0>", "Music", "/music", "/music/", "0", "", "1>");
    Form1& f = load(QStringLiteral("Disks"));
    click("1>");
    f.Text8->setText(QStringLiteral("Music"));
    f.Command5_Click();
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Music"));
    EXPECT_EQ(children("0>"), QStringList {QStringLiteral("1>:/music")});
    EXPECT_EQ(f.ListView2->topLevelItemCount(), 1); // the lists are left as they are
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Disks"));

    f.Text8->setText(QStringLiteral("Nobody's"));
    f.Command5_Click();
    EXPECT_EQ(f.TreeView1->Nodes().Count(), 1);
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Nobody's"));
    EXPECT_TRUE(qmtest::messages().isEmpty());
}

TEST_F(FormTest, DeleteFolderRemovesOneScanOfTheShownCatalogueOrNothing)
{
    const QString name = QStringLiteral("O'Brien's 100%");
    const QString mine = QStringLiteral("dbaseName = 'O''Brien''s 100%'");
    addRecord("1>", "0>", name, "/a", "/a/", "0", "", "1>");
    addRecord("2>", "1>", name, "x", "/a/x/", "0", "", "1>");
    addRecord("3>", "2>", name, "y.txt", "/a/x/y.txt", "0", "", "1>");
    addRecord("4>", "0>", name, "/b", "/b/", "0", "", "4>");
    addRecord("5>", "4>", name, "z.txt", "/b/z.txt", "0", "", "4>");
    addRecord("6>", "0>", name, "/empty", "/empty/", "0", "", "6>");
    // Other catalogues with the same keys, one differing only by case, one
    // that a pattern would match.
    addRecord("1>", "0>", "o'brien's 100%", "/c", "/c/", "0", "", "1>");
    addRecord("1>", "0>", "O'Brien's 1000", "/d", "/d/", "0", "", "1>");
    addRecord("2>", "1>", "O'Brien's 1000", "k", "/d/k", "0", "", "1>");
    Form1& f = load(name);
    auto deleteFolder = [&](const QString& key) {
        f.TreeView1->setSelectedItem(key.isEmpty() ? nullptr : node(key));
        f.Command7_Click();
    };

    // A deeper folder, a file, the root and no selection change nothing.
    for (const char* key : {"2>", "3>", "0>", ""})
        deleteFolder(key);
    ASSERT_EQ(qmtest::messages().size(), 4);
    EXPECT_EQ(qmtest::messages().mid(0, 2), QStringList(2, QStringLiteral("Select root nodes")));
    EXPECT_EQ(count(), 9);
    EXPECT_EQ(NameFile::read().name, name);

    qmtest::messages().clear();
    click("1>");
    // The window goes on handling its events (painting, the desktop asking
    // whether it answers) while the records go.
    bool returned = false, handledMeanwhile = false;
    QMetaObject::invokeMethod(&f, [&] { handledMeanwhile = !returned; }, Qt::QueuedConnection);
    deleteFolder("1>");
    returned = true;
    EXPECT_TRUE(handledMeanwhile);
    EXPECT_TRUE(qmtest::messages().isEmpty());
    EXPECT_EQ(count(mine), 3);
    EXPECT_EQ(count(), 6);
    EXPECT_EQ(children("0>"), (QStringList {"4>:/b", "6>:/empty"}));
    EXPECT_EQ(f.ListView1->topLevelItemCount() + f.ListView2->topLevelItemCount(), 0);
    EXPECT_EQ(NameFile::read().name, name);

    // An empty top-level folder goes by its own key; a store found sound
    // before stays marked so, and the next scan does not read it all again.
    Store::markChecked(storePath());
    deleteFolder("6>");
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
    EXPECT_EQ(children("0>"), QStringList {"4>:/b"});
    EXPECT_EQ(count(mine), 2);
    EXPECT_EQ(f.Adodc1->recordset().RecordCount(), 5);

    // A database error (another connection holds a write lock) changes nothing.
    db().exec("BEGIN EXCLUSIVE");
    f.Adodc1->connection()->setBusyTimeout(0);
    deleteFolder("4>");
    db().exec("ROLLBACK");
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("locked")));
    EXPECT_EQ(f.status().text(), QStringLiteral("/b was not deleted."));
    EXPECT_EQ(f.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(count(), 5);
    EXPECT_EQ(children("0>"), QStringList {"4>:/b"});
}

TEST_F(FormTest, SaveAndDeleteFolderKeepNamingACatalogueTheUserHas)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/", "0", "", "1>");
    const QString trip = makeFile(QStringLiteral("trip/a.txt")).chopped(6);
    Form1& f = load(QStringLiteral("Disks"));
    f.TreeView1->Nodes().Clear(); // a tree without a root names no catalogue
    f.Command3_Click();
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Disks"));

    // Scans a folder into a tree "Add new database" began, and deletes it.
    auto deleteNewScan = [&](const QString& typed) {
        f.Text8->setText(typed);
        f.Command1_Click();
        ASSERT_TRUE(f.Dir1->setPath(trip));
        f.Command2_Click();
        f.TreeView1->setSelectedItem(f.TreeView1->Nodes().Item(1)->Children.back());
        f.Command7_Click();
    };
    deleteNewScan(QStringLiteral("Enter database name")); // begun from the prompt: the saved name stays
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Disks"));
    deleteNewScan(QStringLiteral("Holiday")); // a typed name is the user's own
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Holiday"));
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Holiday"));
    EXPECT_EQ(count(), 1);
}
