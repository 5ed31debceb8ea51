#include "FormFixture.h"
#include "ScanSupport.h"

#include "catalog/NodeKeys.h"
#include "platform/FolderLists.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>

using namespace qm;
using scantest::Rec;

namespace {

class ScanTest : public FormTest {
protected:
    QString tree(const QString& rel)
    {
        for (const char* file : {"a.txt", "b.txt", "one/c.txt", "one/inner/d.txt", "one/e.txt", "two/f.txt",
                 "two/.secret", "g.txt"})
            QFile(makeFile(rel + u'/' + QString::fromLatin1(file))).resize(100);
        return QDir(folder()).filePath(rel);
    }
    void addFolder(const QString& path)
    {
        ASSERT_TRUE(form->Dir1->setPath(path));
        form->Command2_Click();
        EXPECT_NE(form->cursor().shape(), Qt::WaitCursor) << "the hourglass stayed";
        EXPECT_FALSE(form->TreeView1->Nodes().inBatch());
    }
    QString nodeLine(const QString& key)
    {
        const Node* n = node(key);
        if (!n)
            return QStringLiteral("missing ") + key;
        return QStringLiteral("%1<%2:%3:%4:%5")
            .arg(n->Parent ? n->Parent->Key : QString(), n->Text)
            .arg(n->Image)
            .arg(n->SelectedImage)
            .arg(n->Key);
    }
};

} // namespace

TEST_F(ScanTest, AddFolderStoresTheRunInWalkOrderAndAddsItsBranch)
{
    addRecord("1>", "0>", "Disks", "/old", "/old/", "0", "", "1>");
    addRecord("2>", "1>", "Disks", "x", "/old/x", "0", "", "1>");
    addRecord("90>", "0>", "Other", "/else", "/else/", "0", "", "90>");
    load(QStringLiteral("Disks"));
    form->setCurrentDatabaseName(QStringLiteral("Scans"));
    const QString top = tree(QStringLiteral("pics"));

    addFolder(top);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();

    const auto run = scantest::records(db(), "delKey = '3>'");
    QStringList paths;
    for (const Rec& r : run)
        paths << r.path;
    ASSERT_EQ(paths, QStringList {top + u'/'} + scantest::walkOrder(top + u'/'));
    ASSERT_EQ(run.size(), 11u);
    for (size_t i = 0; i < run.size(); ++i) {
        EXPECT_EQ(run[i].id, keyOf(3 + static_cast<std::int64_t>(i)));
        EXPECT_EQ(run[i].dbaseName, QStringLiteral("Scans"));
    }
    EXPECT_EQ(run[0].fileName, top);
    EXPECT_EQ(run[0].parent, QStringLiteral("0>"));
    EXPECT_EQ(run[0].size, QStringLiteral("800")); // eight files of 100 bytes, one hidden

    // One node per record, under its parent, folders 1/3 and files 2/0; the
    // top-level node shows the path with its closing "/".
    EXPECT_EQ(nodeLine("3>"), QStringLiteral("0><%1/:1:3:3>").arg(top));
    for (size_t i = 1; i < run.size(); ++i) {
        const bool isFolder = run[i].path.endsWith(u'/');
        EXPECT_EQ(nodeLine(run[i].id),
            QStringLiteral("%1<%2:%3:%4:%5")
                .arg(run[i].parent, run[i].fileName)
                .arg(isFolder ? 1 : 2)
                .arg(isFolder ? 3 : 0)
                .arg(run[i].id));
    }
    EXPECT_TRUE(form->TreeView1->isExpanded(node("0>")));
    // The hidden boxes show the last stored record.
    EXPECT_EQ(form->Text1->text(), run.back().id);
    EXPECT_EQ(form->Text5->text(), run.back().path);
    EXPECT_EQ(form->Text9->text(), QStringLiteral("3>"));

    // The same folder again is a run of its own, with keys after the first run's.
    addFolder(top);
    const auto again = scantest::records(db(), "delKey = '14>'");
    ASSERT_EQ(again.size(), run.size());
    for (size_t i = 0; i < again.size(); ++i) {
        EXPECT_EQ(again[i].id, keyOf(14 + static_cast<std::int64_t>(i)));
        EXPECT_EQ(again[i].path, run[i].path);
    }
    EXPECT_EQ(node("0>")->Children.size(), 3u);
    EXPECT_EQ(count("dbaseName = 'Other'"), 1);
}

TEST_F(ScanTest, EmptyFolderGivesOneRecordAndOneNode)
{
    load(QStringLiteral("Disks"));
    const QString empty = makeDir(QStringLiteral("void"));
    addFolder(empty);
    const auto recs = scantest::records(db());
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].id, QStringLiteral("1>"));
    EXPECT_EQ(recs[0].fileName, empty);
    EXPECT_EQ(recs[0].path, empty + u'/');
    EXPECT_EQ(recs[0].size, QStringLiteral("0"));
    EXPECT_EQ(recs[0].delKey, QStringLiteral("1>"));
    EXPECT_EQ(nodeLine("1>"), QStringLiteral("0><%1/:1:3:1>").arg(empty));
    EXPECT_TRUE(node("1>")->Children.empty());
}

TEST_F(ScanTest, UnreadableEntriesAreReportedOnceAndTheRestIsCatalogued)
{
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("docs"));
    scantest::FaultyFileSystem faulty;
    faulty.unreadableFolders = {"one"};
    faulty.vanished = {"g.txt"};
    scantest::UseFileSystem use(faulty);

    // When the message shows, the window is already back to normal.
    bool normalAtMessage = false;
    qm::setMessageHook([&](const QString& text) {
        qmtest::messages() << text;
        normalAtMessage = form->cursor().shape() != Qt::WaitCursor && !form->TreeView1->Nodes().inBatch();
    });
    addFolder(top);
    qm::setMessageHook([](const QString& text) { qmtest::messages() << text; });
    EXPECT_TRUE(normalAtMessage);
    ASSERT_EQ(qmtest::messages().size(), 1);
    const QString message = qmtest::messages().first();
    EXPECT_TRUE(message.startsWith(QStringLiteral("2 entries could not be read"))) << message.toStdString();
    EXPECT_TRUE(message.contains(top + QStringLiteral("/one ("))) << message.toStdString();
    EXPECT_TRUE(message.contains(top + QStringLiteral("/g.txt ("))) << message.toStdString();

    QStringList names;
    for (const Rec& r : scantest::records(db()))
        names << r.path.mid(top.size());
    names.sort();
    EXPECT_EQ(names, (QStringList {"/", "/a.txt", "/b.txt", "/two/", "/two/f.txt"}));
    EXPECT_EQ(form->TreeView1->Nodes().Count(), 6); // the root and five
}

TEST_F(ScanTest, StoreFailureAndUnreadableStartAreToldAndLeaveTheWindowUsable)
{
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("work"));
    db().exec("CREATE TRIGGER refuse BEFORE INSERT ON main WHEN NEW.file_name = 'inner' "
              "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");

    addFolder(top);
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().startsWith(QStringLiteral("The scan stopped: the disk is full")))
        << qmtest::messages().first().toStdString();
    // What was stored stays, each record with its node.
    const auto kept = scantest::records(db());
    ASSERT_GE(kept.size(), 2u);
    for (const Rec& r : kept)
        EXPECT_TRUE(node(r.id)) << r.path.toStdString();
    EXPECT_EQ(form->TreeView1->Nodes().Count(), static_cast<std::int64_t>(kept.size()) + 1);

    // A store that refuses the top-level record: told, and no node without a record.
    qmtest::messages().clear();
    db().exec("CREATE TRIGGER refuseTop BEFORE INSERT ON main WHEN NEW.Parent = '0>' "
              "BEGIN SELECT RAISE(ABORT, 'read-only'); END");
    const std::int64_t nodesBefore = form->TreeView1->Nodes().Count();
    const long long recordsBefore = count();
    addFolder(top);
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_EQ(qmtest::messages().first(), QStringLiteral("The scan stopped: read-only"));
    EXPECT_EQ(form->TreeView1->Nodes().Count(), nodesBefore);
    EXPECT_EQ(count(), recordsBefore);

    // A folder that vanished after it was picked: a message, nothing written.
    qmtest::messages().clear();
    const long long before = count();
    const QString gone = makeDir(QStringLiteral("gone"));
    ASSERT_TRUE(form->Dir1->setPath(gone));
    QDir(gone).removeRecursively();
    form->Command2_Click();
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(QStringLiteral("cannot be read")));
    EXPECT_EQ(count(), before);
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);
}
