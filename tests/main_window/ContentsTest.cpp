// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's file contents: the remembered menu item that makes Add
// Folder read them, the Duplicates window landing on a copy's node, and the
// undo of Delete Folder bringing the fingerprints back.
#include "ScanSupport.h"
#include "main_window/DuplicatesWindow.h"
#include "main_window/StatusReport.h"
#include "main_window/UndoOffer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

namespace {

class ContentsTest : public ScanTest {
protected:
    QAction* item() { return form->menuBar()->findChild<QAction*>(QStringLiteral("FingerprintContents")); }
    QStringList fingerprinted()
    {
        return texts(QStringLiteral("SELECT m.path || ' ' || hex(f.Hash) FROM fingerprints f JOIN main m "
                                    "ON m.SrNO = f.SrNO ORDER BY m.path"));
    }
};

TEST_F(ContentsTest, RememberedItemReadsContentsAndDuplicatesLandOnTheirNodes)
{
    load(QStringLiteral("Disks"));
    ASSERT_TRUE(item());
    EXPECT_TRUE(item()->isCheckable());
    EXPECT_FALSE(item()->isChecked());
    // Not asked for: a scan reads no contents.
    addFolder(tree(QStringLiteral("plain")));
    addFolder(tree(QStringLiteral("plain copy")));
    EXPECT_TRUE(fingerprinted().isEmpty());

    item()->trigger();
    load(QStringLiteral("Disks")); // the next run of the program
    ASSERT_TRUE(item()->isChecked());
    // Each tree: seven files of 100 zero bytes, and a hidden one that gets no record.
    addFolder(tree(QStringLiteral("disk")));
    addFolder(tree(QStringLiteral("copy")));
    EXPECT_EQ(fingerprinted().size(), 14);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();

    form->findChild<QAction*>(QStringLiteral("Duplicates"))->trigger();
    qm::DuplicatesWindow* window = qm::DuplicatesWindow::current();
    ASSERT_TRUE(window);
    // The unread files of the plain trees are alike by name and size: seven
    // pairs of likely copies, after the identical ones.
    ASSERT_EQ(window->groups().size(), 8u);
    EXPECT_FALSE(window->groups()[0].likely);
    EXPECT_EQ(window->groups()[0].copies.size(), 14u);
    EXPECT_TRUE(window->groups()[1].likely);
    EXPECT_EQ(window->groupView->topLevelItemCount(), 8);
    QTreeWidgetItem* copy = window->groupView->topLevelItem(0)->child(13);
    EXPECT_TRUE(copy->text(0).endsWith(QStringLiteral("/disk/two/f.txt"))) << copy->text(0).toStdString();
    ASSERT_TRUE(window->showCopy(copy));
    EXPECT_EQ(form->TreeView1->SelectedItem()->Key, window->groups()[0].copies[13].key);
    EXPECT_EQ(form->TreeView1->SelectedItem()->Text, QStringLiteral("f.txt"));
}

TEST_F(ContentsTest, UndoOfDeleteFolderBringsTheFingerprintsBack)
{
    load(QStringLiteral("Disks"));
    item()->setChecked(true);
    const QString top = tree(QStringLiteral("disk"));
    addFolder(top);
    addFolder(tree(QStringLiteral("other")));
    const QStringList before = fingerprinted();
    ASSERT_EQ(before.size(), 14);
    const QString topKey = texts(QStringLiteral("SELECT ID FROM main WHERE path = '") + top + QStringLiteral("/'")).value(0);

    form->TreeView1->setSelectedItem(node(topKey));
    form->Command7_Click();
    EXPECT_EQ(fingerprinted().size(), 7);
    form->status().undo().undoAction()->trigger();
    EXPECT_EQ(fingerprinted(), before);
}

} // namespace

TEST_F(ContentsTest, UpdateFolderFingerprintsWhatIsNewAndKeepsANoteOnAMovedFile)
{
    load(QStringLiteral("Disks"));
    // Scanned without reading contents, then updated with the item on: every
    // file gets its fingerprint, the hidden one none.
    const QString top = tree(QStringLiteral("disk"));
    addFolder(top);
    const QString topKey = texts(QStringLiteral("SELECT ID FROM main WHERE path = '") + top + QStringLiteral("/'")).value(0);
    item()->setChecked(true);
    qmtest::messages().clear();
    click(topKey);
    form->UpdateFolder->click();
    EXPECT_EQ(fingerprinted().size(), 7);
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("0 added, 0 removed"))) << qmtest::messages().join(u'\n').toStdString();

    // g.txt moved into a new folder: the note on it stays with it.
    makeFile(QStringLiteral("disk/g.txt"), QByteArrayLiteral("the only file with these bytes"));
    form->UpdateFolder->click();
    const QString g = texts(QStringLiteral("SELECT ID FROM main WHERE file_name = 'g.txt'")).value(0);
    db().exec("INSERT INTO Documents (ID, FileName) VALUES ('" + g.toStdString() + "', 'g.txt')");
    ASSERT_TRUE(QDir().mkpath(pathOf(QStringLiteral("disk/moved"))));
    ASSERT_TRUE(QFile::rename(pathOf(QStringLiteral("disk/g.txt")), pathOf(QStringLiteral("disk/moved/g.txt"))));
    qmtest::messages().clear();
    click(topKey);
    form->UpdateFolder->click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("1 added, 0 removed, 1 moved"))) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(texts(QStringLiteral("SELECT m.path FROM Documents d JOIN main m ON m.ID = d.ID")),
        QStringList {top + QStringLiteral("/moved/g.txt")});
    EXPECT_EQ(node(g)->Text, QStringLiteral("g.txt"));
    EXPECT_EQ(node(g)->Parent->Text, QStringLiteral("moved"));
}
