// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's tree holds the branches the user opened: a scan, a search
// hit and a double click reach nodes it has not read yet, and what they show
// is what a tree of every record shows.
#include "ScanSupport.h"

#include "catalog/NodeKeys.h"

#include <QTest>

using namespace qm;

TEST_F(ScanTest, AScanLeavesItsNewFolderToBeReadWhenOpenedAndCountsItsKeys)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/", "0", "", "1>");
    addRecord("2>", "1>", "Disks", "old.txt", "/data/old.txt", "0", "", "1>");
    Form1& f = load(QStringLiteral("Disks"));
    // The branch the user opened takes the scan's nodes as they are stored.
    f.TreeView1->Expand(node("1>"));
    const std::int64_t before = f.TreeView1->Nodes().Count();

    const QString top = tree(QStringLiteral("disk"));
    addFolder(top);
    const auto run = scantest::records(db(), "delKey = '3>'");
    ASSERT_GT(run.size(), 5u);
    // One node for the new folder; its records wait in the store, and the
    // next key is above them all the same.
    EXPECT_EQ(f.TreeView1->Nodes().Count(), before + 1);
    EXPECT_EQ(nextNodeKey(f.TreeView1->Nodes()), keyOf(2 + static_cast<std::int64_t>(run.size()) + 1));
    const Node* folder = f.TreeView1->Nodes().find(QStringLiteral("3>"));
    ASSERT_NE(folder, nullptr);
    EXPECT_FALSE(f.TreeView1->isExpanded(folder));
    EXPECT_TRUE(f.TreeView1->Nodes().hasChildren(f.TreeView1->Nodes().indexOf(folder)));
    // Opened, it holds what the scan stored, in order, with its images.
    expectNodesOf(run);

    // A scan below a node that was opened adds to it at once.
    const QString more = tree(QStringLiteral("more"));
    f.RecurseFiles2(more, QStringLiteral("1>"), QStringLiteral("1>"));
    const auto added = scantest::records(db(), "Parent = '1>'");
    ASSERT_GT(added.size(), 2u);
    for (const scantest::Rec& r : added)
        EXPECT_NE(f.TreeView1->Nodes().find(r.id), nullptr) << r.path.toStdString();
    expectNodesOf(scantest::records(db(), "delKey = '1>' AND SrNO > 2"));
}

TEST_F(FormTest, ASearchHitOrADoubleClickOpensTheBranchesDownToItsNode)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/", "0", "", "1>");
    addRecord("2>", "1>", "Disks", "a", "/data/a/", "0", "", "1>");
    addRecord("3>", "2>", "Disks", "b", "/data/a/b/", "0", "", "1>");
    const long long cSrNo = addRecord("4>", "3>", "Disks", "c", "/data/a/b/c/", "0", "", "1>");
    addRecord("5>", "4>", "Disks", "deep.txt", "/data/a/b/c/deep.txt", "9", "", "1>");
    addRecord("6>", "9>", "Disks", "lost.txt", "/lost.txt", "1", "", "1>");
    Form1& f = load(QStringLiteral("Disks"));
    qmtest::messages().clear();
    ASSERT_EQ(f.TreeView1->Nodes().find(QStringLiteral("4>")), nullptr);

    // A hit lands on its node, every folder above it open, the lists filled.
    ASSERT_TRUE(f.showRecord(QStringLiteral("Disks"), QStringLiteral("4>"), cSrNo));
    const Node* c = f.TreeView1->SelectedItem();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Key + c->Text, QStringLiteral("4>c"));
    for (const Node* up = c->Parent; up; up = up->Parent)
        EXPECT_TRUE(f.TreeView1->isExpanded(up)) << up->Key.toStdString();
    EXPECT_EQ(rows(f.ListView1).size(), 1);
    EXPECT_TRUE(rows(f.ListView1).front().contains(QStringLiteral("deep.txt")));
    // A record the tree does not place is not landed on.
    EXPECT_FALSE(f.showRecord(QStringLiteral("Disks"), QStringLiteral("6>")));
    // Without its SrNO the key leads up to the top.
    f.Command5_Click();
    ASSERT_TRUE(f.showRecord(QStringLiteral("Disks"), QStringLiteral("5>")));
    EXPECT_EQ(f.TreeView1->SelectedItem()->Text, QStringLiteral("deep.txt"));

    // A double click on a folder row opens its node, read from the store.
    f.Command5_Click();
    click(QStringLiteral("1>"));
    ASSERT_EQ(f.TreeView1->Nodes().find(QStringLiteral("2>")), nullptr);
    ASSERT_EQ(f.ListView1->topLevelItemCount(), 1);
    f.ListView1_DblClick(f.ListView1->topLevelItem(0));
    ASSERT_NE(f.TreeView1->SelectedItem(), nullptr);
    EXPECT_EQ(f.TreeView1->SelectedItem()->Key, QStringLiteral("2>"));
    EXPECT_TRUE(f.TreeView1->isExpanded(node("1>")));
    EXPECT_EQ(rows(f.ListView1).size(), 1);
    EXPECT_TRUE(rows(f.ListView1).front().contains(QStringLiteral("|b|")));
}
