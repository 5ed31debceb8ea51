// SPDX-License-Identifier: GPL-3.0-or-later
// The Read menu: its choice remembered between windows, and Add Folder with
// "Archive members" hanging an archive's members below its node.
#include "ScanSupport.h"
#include "support/ArchiveFiles.h"
#include "support/MediaFiles.h"

#include <QAction>
#include <QMenuBar>

#include <SQLiteCpp/Statement.h>

namespace {

QAction* archiveMembers(qm::Form1& form)
{
    return form.findChild<QAction*>(QStringLiteral("ArchiveMembers"));
}

TEST_F(ScanTest, ArchiveMembersIsRememberedAndHangsMembersBelowTheArchive)
{
    load(QStringLiteral("Disks"));
    // The designed menus keep their places; Read comes after them.
    const QList<QAction*> top = form->menuBar()->actions();
    ASSERT_GE(top.size(), 4);
    EXPECT_EQ(top[0]->text(), QStringLiteral("&File"));
    EXPECT_EQ(top[1]->text(), QStringLiteral("&Edit"));
    EXPECT_EQ(top[2]->text(), QStringLiteral("&About"));
    QAction* item = archiveMembers(*form);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    item->setChecked(true);
    form.reset();
    load(QStringLiteral("Disks"));
    ASSERT_TRUE(archiveMembers(*form));
    EXPECT_TRUE(archiveMembers(*form)->isChecked());

    qmtest::writeFile(pathOf(QStringLiteral("disk/photos.zip")),
        qmtest::writeArchive("zip", "", {{"2019/a.jpg", "aaaa"}, {"notes.txt", "n"}}));
    addFolder(pathOf(QStringLiteral("disk")));
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    auto keyOf = [this](const QString& rel) {
        SQLite::Statement st(db(), "SELECT ID FROM main WHERE path = ?");
        st.bind(1, pathOf(rel).toStdString());
        return st.executeStep() ? QString::fromStdString(st.getColumn(0).getString()) : QString();
    };
    const QString zip = keyOf(QStringLiteral("disk/photos.zip"));
    ASSERT_FALSE(zip.isEmpty());
    EXPECT_EQ(children(zip),
        (QStringList {keyOf(QStringLiteral("disk/photos.zip/2019/")) + QStringLiteral(":2019"),
            keyOf(QStringLiteral("disk/photos.zip/notes.txt")) + QStringLiteral(":notes.txt")}));
    const qm::Node* jpeg = node(keyOf(QStringLiteral("disk/photos.zip/2019/a.jpg")));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->Text, QStringLiteral("a.jpg"));
    EXPECT_EQ(jpeg->Parent->Parent->Key, zip);

    // Delete Folder takes the members with their archive, and Undo brings
    // every one back still marked.
    const QStringList before = texts(QStringLiteral("SELECT SrNO || '|' || ID || '|' || Parent || '|' || "
                                                    "coalesce(in_archive, '-') FROM main ORDER BY SrNO"));
    const QString scanKey = texts(QStringLiteral("SELECT ID FROM main WHERE Parent = '0>'")).value(0);
    form->TreeView1->setSelectedItem(node(scanKey));
    form->Command7_Click();
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    form->Undo_Click();
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(texts(QStringLiteral("SELECT SrNO || '|' || ID || '|' || Parent || '|' || "
                                   "coalesce(in_archive, '-') FROM main ORDER BY SrNO")),
        before);
    EXPECT_EQ(count(QStringLiteral("in_archive = 1")), 3);
}

TEST_F(ScanTest, PhotoMusicAndVideoDetailsAreRememberedAndReadByAddFolder)
{
    load(QStringLiteral("Disks"));
    auto item = [this] { return form->findChild<QAction*>(QStringLiteral("MediaDetails")); };
    ASSERT_TRUE(item());
    EXPECT_EQ(item()->text(), QStringLiteral("&Photo, music and video details"));
    EXPECT_TRUE(item()->isCheckable());
    EXPECT_FALSE(item()->isChecked());
    item()->setChecked(true);
    form.reset();
    load(QStringLiteral("Disks"));
    ASSERT_TRUE(item());
    EXPECT_TRUE(item()->isChecked());

    makeDir(QStringLiteral("disk"));
    qmtest::makeJpeg(pathOf(QStringLiteral("disk/DSCF0001.JPG")), 32, 24,
        {QStringLiteral("2019:06:14 10:22:33"), QStringLiteral("FUJIFILM"), QStringLiteral("X100V"), {}, {}, {}});
    addFolder(pathOf(QStringLiteral("disk")));
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name || '|' || md.Model || '|' || md.Taken FROM media md JOIN main m "
                                   "ON m.SrNO = md.SrNO")),
        QStringList {QStringLiteral("DSCF0001.JPG|X100V|2019-06-14 10:22:33")});
}

} // namespace
