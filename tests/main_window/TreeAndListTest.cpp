#include "FormFixture.h"

#include "platform/Clipboard.h"

using namespace qm;

TEST_F(FormTest, LoadTreeShowsOnlyTheNamedCatalogue)
{
    // Two catalogues that reuse the same keys, stored interleaved.
    addRecord("1>", "0>", "Disks", "/data", "/data/", " 1 KB", "d1", "1>");
    addRecord("1>", "0>", "Other", "/else", "/else/", "0", "o1", "1>");
    addRecord("2>", "1>", "Disks", "docs", "/data/docs/", "0", "d2", "1>");
    addRecord("2>", "1>", "Other", "stray.txt", "/else/stray.txt", "5", "o2", "1>");
    addRecord("3>", "1>", "Disks", "a.txt", "/data/a.txt", "5", "d3", "1>");
    addRecord("4>", "2>", "Disks", "win", "C:\\data\\docs\\win\\", "0", "d4", "1>");
    addRecord("5>", "0>", "disks", "case", "/case/", "0", "x", "5>"); // another name by case
    addRecord("6>", "0>", "Disks ", "blank", "/blank/", "0", "x", "6>"); // trailing blank
    addRecord("7>", "0>", "Disks", "top file", "/top.txt", "0", "d7", "7>");
    qmtest::testClipboard().SetText(QStringLiteral("user text"));

    Form1& f = load(QStringLiteral("Disks"));
    const NodeModel& nodes = f.TreeView1->Nodes();
    EXPECT_EQ(nodes.Count(), 6);
    EXPECT_EQ(nodes.Item(1)->Key, QStringLiteral("0>"));
    EXPECT_EQ(nodes.Item(1)->Text, QStringLiteral("Disks"));
    // A top-level record is a folder whatever its path; "\" ends a folder path too.
    EXPECT_EQ(children("0>", true), (QStringList {"1>:/data:1:3", "7>:top file:1:3"}));
    EXPECT_EQ(children("1>", true), (QStringList {"2>:docs:1:3", "3>:a.txt:2:0"}));
    EXPECT_EQ(children("2>", true), (QStringList {"4>:win:1:3"}));
    EXPECT_TRUE(f.TreeView1->isExpanded(nodes.Item(1)));
    EXPECT_FALSE(f.TreeView1->isExpanded(node("1>")));
    EXPECT_EQ(f.TreeView1->SelectedItem(), nullptr);
    EXPECT_EQ(qmtest::testClipboard().GetText(), QString());
    EXPECT_TRUE(qmtest::messages().isEmpty());
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
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().startsWith(QStringLiteral("4 record(s)")));
}

TEST_F(FormTest, ClickListsTheNodeAndWhatIsDirectlyInside)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/", " 1.5 MB", "2026-01-01 10:00:00", "1>");
    addRecord("2>", "1>", "Disks", "b.txt", "/data/b.txt", "512", "t2", "1>");
    addRecord("3>", "1>", "Disks", "sub", "/data/sub/", " 1 KB", "t3", "1>");
    addRecord("4>", "3>", "Disks", "deep.txt", "/data/sub/deep.txt", " 1 KB", "t4", "1>");
    addRecord("5>", "1>", "Disks", "a.txt", "/data/a.txt", "0", "t5", "1>");
    // Another catalogue reusing the keys is never listed.
    addRecord("1>", "0>", "Other", "/else", "/else/", "0", "o", "1>");
    addRecord("6>", "1>", "Other", "intruder", "/else/intruder", "0", "o", "1>");
    Form1& f = load(QStringLiteral("Disks"));

    click("1>");
    EXPECT_EQ(rows(f.ListView2), (QStringList {"/data|/data/| 1.5 MB|2026-01-01 10:00:00|"}));
    EXPECT_EQ(rows(f.ListView1),
        (QStringList {
            " 1|b.txt|/data/b.txt|512|t2", " 2|sub|/data/sub/| 1 KB|t3", " 3|a.txt|/data/a.txt|0|t5"}));
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral(" 3"));

    click("1>"); // the same node again numbers from 1 again
    EXPECT_EQ(f.ListView1->topLevelItemCount(), 3);
    EXPECT_EQ(f.ListView1->topLevelItem(0)->text(0), QStringLiteral(" 1"));
    EXPECT_EQ(f.ListView2->topLevelItemCount(), 1);

    click("2>"); // a file: its own record, nothing inside
    EXPECT_EQ(rows(f.ListView2), (QStringList {"b.txt|/data/b.txt|512|t2|"}));
    EXPECT_TRUE(rows(f.ListView1).isEmpty());
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral("0"));

    click("0>"); // the root: no own record, the top-level folders of this catalogue only
    EXPECT_TRUE(rows(f.ListView2).isEmpty());
    EXPECT_EQ(rows(f.ListView1), (QStringList {" 1|/data|/data/| 1.5 MB|2026-01-01 10:00:00"}));
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral(" 1"));

    // The database node of a new catalogue has no records behind it.
    f.Text8->setText(QStringLiteral("Fresh"));
    f.Command1_Click();
    const Node* databaseNode = f.TreeView1->Nodes().Item(2);
    f.TreeView1->setSelectedItem(const_cast<Node*>(databaseNode));
    f.TreeView1_NodeClick(nullptr);
    EXPECT_TRUE(rows(f.ListView1).isEmpty());
    EXPECT_TRUE(rows(f.ListView2).isEmpty());
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral("0"));
}
