#include "FormFixture.h"

#include "platform/FolderLists.h"

#include <QLineEdit>

using namespace qm;

// A user names a catalogue, scans a folder, saves, restarts, browses and
// deletes the scan, beside another catalogue that must survive untouched.
TEST_F(FormTest, TypicalRoadFromScanToDelete)
{
    addRecord("1>", "0>", "Other", "/elsewhere", "/elsewhere/", "0", "", "1>");
    addRecord("2>", "1>", "Other", "keep.txt", "/elsewhere/keep.txt", "3", "", "1>");
    const QString trip = makeDir(QStringLiteral("trip"));
    makeFile(QStringLiteral("trip/a.txt"), 1024);
    makeFile(QStringLiteral("trip/sub/b.txt"), 10);

    Form1& f = load(QStringLiteral("Other"));
    f.Text8->setText(QStringLiteral("Holiday"));
    f.Command1_Click();
    EXPECT_EQ(qmtest::messages(), QStringList {QStringLiteral("Holiday")});
    ASSERT_TRUE(f.Dir1->setPath(trip));
    f.Command2_Click();
    f.Command3_Click();
    EXPECT_EQ(NameFile::read(), QStringLiteral("Holiday"));
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Holiday'")), 4);
    f.close();
    form.reset();

    // A new start shows the same catalogue.
    form = std::make_unique<Form1>();
    form->Form_Load();
    const NodeModel& nodes = form->TreeView1->Nodes();
    EXPECT_EQ(nodes.Item(1)->Text, QStringLiteral("Holiday"));
    ASSERT_EQ(nodes.Item(1)->Children.size(), 1u);
    Node* top = nodes.Item(1)->Children.front();
    EXPECT_EQ(top->Text, trip);
    EXPECT_EQ(nodes.Count(), 5);

    click(top->Key);
    QStringList listed = rows(form->ListView1);
    ASSERT_EQ(listed.size(), 2);
    EXPECT_TRUE(listed[0].startsWith(QStringLiteral(" 1|")));
    EXPECT_TRUE(listed[1].startsWith(QStringLiteral(" 2|")));
    listed.sort();
    EXPECT_TRUE(
        listed.join(u'\n').contains(QStringLiteral("|a.txt|") + trip + QStringLiteral("/a.txt| 1 KB|")));
    EXPECT_TRUE(listed.join(u'\n').contains(QStringLiteral("|sub|") + trip + QStringLiteral("/sub/|10|")));
    EXPECT_EQ(rows(form->ListView2).size(), 1);

    form->TreeView1->setSelectedItem(top);
    form->Command7_Click();
    EXPECT_EQ(form->TreeView1->Nodes().Count(), 1);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Holiday'")), 0);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Other'")), 2);
    EXPECT_EQ(NameFile::read(), QStringLiteral("Holiday"));
    EXPECT_EQ(qmtest::messages().size(), 1);
}
