#include "FormFixture.h"

#include "catalog/NodeKeys.h"
#include "platform/DataControl.h"

using namespace qm;

TEST_F(FormTest, AddNewDatabaseStartsAFreshTree)
{
    Form1& f = load(QStringLiteral("Disks"));
    // An empty table: the database node has no key.
    f.Command1_Click(); // with the prompt still in the box
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Enter database name"));
    EXPECT_EQ(qmtest::messages(), QStringList {QStringLiteral("Enter database name")});
    EXPECT_EQ(f.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Quillmark"));
    EXPECT_EQ(children("0>"), QStringList {QStringLiteral(":Enter database name")});

    for (int i = 0; i < 57; ++i)
        addRecord(keyOf(i + 1), "0>", "Disks", "f", "/f/", "0", "", keyOf(i + 1));
    f.Text8->setText(QStringLiteral("Holiday's 100%"));
    f.Command1_Click();
    f.Command1_Click(); // twice with the same name gives the same tree; nothing is stored
    EXPECT_EQ(children("0>"), QStringList {QStringLiteral(" 57>:Holiday's 100%")});
    EXPECT_EQ(f.TreeView1->Nodes().Count(), 2);
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Holiday's 100%"));
    EXPECT_EQ(count(), 57);
    EXPECT_EQ(NameFile::read(), QStringLiteral("Disks"));
    EXPECT_EQ(f.ListView1->topLevelItemCount(), 0);
    // The next key comes after the database node's.
    EXPECT_EQ(nextNodeKey(f.TreeView1->Nodes()), QStringLiteral("58>"));
}

TEST_F(FormTest, SaveToDatabaseWritesTheBoxOrTheRootText)
{
    Form1& f = load(QStringLiteral("Disks"));
    f.Command3_Click(); // prompt after a load: the shown name is kept
    EXPECT_EQ(NameFile::read(), QStringLiteral("Disks"));

    f.Command1_Click(); // prompt after "Add new database": the root's text
    f.Command3_Click();
    EXPECT_EQ(NameFile::read(), QStringLiteral("Quillmark"));

    f.Text8->setText(QStringLiteral("Archive"));
    f.Command3_Click();
    EXPECT_EQ(NameFile::read(), QStringLiteral("Archive"));
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

TEST_F(FormTest, DeleteFolderRemovesOneScanOfTheShownCatalogue)
{
    const QString name = QStringLiteral("O'Brien's 100%");
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

    // A deeper folder, a file, the root and no selection change nothing.
    for (const QString& key : {QStringLiteral("2>"), QStringLiteral("3>")}) {
        f.TreeView1->setSelectedItem(node(key));
        f.Command7_Click();
    }
    f.TreeView1->setSelectedItem(node("0>"));
    f.Command7_Click();
    f.TreeView1->setSelectedItem(nullptr);
    f.Command7_Click();
    ASSERT_EQ(qmtest::messages().size(), 4);
    EXPECT_EQ(qmtest::messages()[0], QStringLiteral("Select root nodes"));
    EXPECT_EQ(qmtest::messages()[1], QStringLiteral("Select root nodes"));
    EXPECT_EQ(count(), 9);
    EXPECT_EQ(NameFile::read(), name);

    qmtest::messages().clear();
    click("1>");
    f.TreeView1->setSelectedItem(node("1>"));
    f.Command7_Click();
    EXPECT_TRUE(qmtest::messages().isEmpty());
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'O''Brien''s 100%'")), 3);
    EXPECT_EQ(count(QStringLiteral("dbaseName <> 'O''Brien''s 100%'")), 3);
    EXPECT_EQ(children("0>"), (QStringList {"4>:/b", "6>:/empty"}));
    EXPECT_EQ(f.ListView1->topLevelItemCount(), 0);
    EXPECT_EQ(f.ListView2->topLevelItemCount(), 0);
    EXPECT_EQ(NameFile::read(), name);

    // An empty top-level folder goes by its own key.
    f.TreeView1->setSelectedItem(node("6>"));
    f.Command7_Click();
    EXPECT_EQ(children("0>"), QStringList {"4>:/b"});
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'O''Brien''s 100%'")), 2);
    EXPECT_EQ(count(), 5);
    EXPECT_EQ(f.Adodc1->recordset().RecordCount(), 5);
}

TEST_F(FormTest, ADatabaseErrorDuringDeleteChangesNothing)
{
    addRecord("1>", "0>", "Disks", "/a", "/a/", "0", "", "1>");
    addRecord("2>", "1>", "Disks", "x", "/a/x", "0", "", "1>");
    Form1& f = load(QStringLiteral("Disks"));
    // Another connection holds a write lock for the whole attempt.
    db().exec("BEGIN EXCLUSIVE");
    f.Adodc1->connection()->setBusyTimeout(0);
    f.TreeView1->setSelectedItem(node("1>"));
    f.Command7_Click();
    db().exec("ROLLBACK");
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(QStringLiteral("locked")));
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(children("0>"), QStringList {"1>:/a"});
}
