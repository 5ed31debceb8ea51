// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanSupport.h"
#include "main_window/StatusReport.h"
#include "platform/DiskIdentity.h"
#include "platform/MessageBox.h"
#include "support/ScratchDisk.h"

#include <QFile>
#include <QPushButton>

namespace {

using UpdateFolderTest = ScanTest;

QString keyOfPath(SQLite::Database& db, const QString& path)
{
    SQLite::Statement st(db, "SELECT ID FROM main WHERE path = ?");
    st.bind(1, path.toStdString());
    return st.executeStep() ? QString::fromStdString(st.getColumn(0).getString()) : QString();
}

} // namespace

TEST_F(UpdateFolderTest, UpdatingFromANodeInsideRefreshesTheTreeAndKeepsTheNotes)
{
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("disk"));
    addFolder(top);
    qmtest::messages().clear();
    const QString topKey = keyOfPath(db(), top + u'/');
    const QString one = keyOfPath(db(), top + QStringLiteral("/one/"));
    const QString b = keyOfPath(db(), top + QStringLiteral("/b.txt"));
    db().exec("INSERT INTO Projects (ID, FileName, Completed) VALUES ('" + b.toStdString() + "', 'b.txt', 'yes')");

    // Nothing selected: told how to choose.
    form->TreeView1->setSelectedItem(nullptr);
    form->UpdateFolder->click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("Select a top-level folder")));

    makeFile(QStringLiteral("disk/one/new.txt"), 5);
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/g.txt"))));
    click(keyOfPath(db(), top + QStringLiteral("/one/c.txt"))); // anything inside updates its whole scan
    form->UpdateFolder->click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("1 added, 1 removed"))) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_TRUE(form->status().text().contains(QStringLiteral("Updated"))) << form->status().text().toStdString();

    // The tree shows the new file in its folder and the removed one no more;
    // the top-level folder is selected and listed.
    const QString added = keyOfPath(db(), top + QStringLiteral("/one/new.txt"));
    ASSERT_FALSE(added.isEmpty());
    EXPECT_TRUE(children(one).contains(added + QStringLiteral(":new.txt"))) << children(one).join(u' ').toStdString();
    EXPECT_FALSE(children(topKey).join(u' ').contains(QStringLiteral("g.txt")));
    ASSERT_TRUE(form->TreeView1->SelectedItem());
    EXPECT_EQ(form->TreeView1->SelectedItem()->Key, topKey);
    EXPECT_GT(form->ListView1->topLevelItemCount(), 0);
    // The note is still on b.txt, whose key stayed.
    EXPECT_EQ(keyOfPath(db(), top + QStringLiteral("/b.txt")), b);
    EXPECT_EQ(node(b)->Text, QStringLiteral("b.txt"));

    // Another disk at the folder: asked first; no means nothing is changed.
    if (!qm::diskOf(top).uuid.isEmpty()) {
        db().exec("UPDATE scans SET uuid = 'another-disk'");
        makeFile(QStringLiteral("disk/later.txt"), 1);
        qm::Node* topNode = node(topKey);
        form->TreeView1->setSelectedItem(topNode);
        qmtest::answerQuestions(false);
        form->UpdateFolder->click();
        EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("is not there now; another disk is")));
        EXPECT_TRUE(keyOfPath(db(), top + QStringLiteral("/later.txt")).isEmpty());
        qmtest::answerQuestions(true);
        form->UpdateFolder->click();
        ASSERT_EQ(qmtest::messages().size(), 2);
        EXPECT_TRUE(qmtest::messages().last().contains(QStringLiteral("1 added")));
        qmtest::messages().clear();
    }

    // The folder is gone: told, the records stay.
    const long long before = count();
    ASSERT_TRUE(QDir(top).removeRecursively());
    form->TreeView1->setSelectedItem(node(topKey));
    form->UpdateFolder->click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("cannot be read")));
    EXPECT_EQ(count(), before);
}

TEST_F(UpdateFolderTest, NamesThatLookLikePlaceholdersAreShownExactly)
{
    load(QStringLiteral("Cat%2"));
    const QString top = tree(QStringLiteral("dir%1x"));
    makeFile(QStringLiteral("dir%1x/unread%1/x.txt"), 1);
    ASSERT_TRUE(QFile::setPermissions(pathOf(QStringLiteral("dir%1x/unread%1")), QFileDevice::ReadOwner));
    scantest::FaultyFileSystem fs;
    fs.unreadableFolders = {"unread%1"}; // for root, whom permissions do not stop
    addFolder(top);
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(top + QStringLiteral("/unread%1 (")))
        << qmtest::messages().first().toStdString();
    qmtest::messages().clear();

    click(keyOfPath(db(), top + u'/'));
    form->UpdateFolder->click();
    ASSERT_FALSE(qmtest::messages().isEmpty());
    EXPECT_TRUE(qmtest::messages().first().startsWith(
        QStringLiteral("Updated ") + top + QStringLiteral(" in \"Cat%2\": 0 added, 0 removed")))
        << qmtest::messages().first().toStdString();
    EXPECT_TRUE(form->status().text().contains(QStringLiteral("in \"Cat%2\": 0 added")))
        << form->status().text().toStdString();
    QFile::setPermissions(pathOf(QStringLiteral("dir%1x/unread%1")),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(UpdateFolderTest, AnUnpluggedDiskIsAskedAboutInPlainWordsAndEnterKeepsEverything)
{
    qmtest::ScratchDisk disk(pathOf(QStringLiteral("photos.img")), pathOf(QStringLiteral("mnt/photos")),
        QStringLiteral("PHOTOS_2019"), QStringLiteral("9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c5d"));
    if (!disk.mounted())
        GTEST_SKIP() << "no loop mount here: " << disk.problem().toStdString();
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("mnt/photos"));
    addFolder(top);
    const QString topKey = keyOfPath(db(), top + u'/');
    const QString b = keyOfPath(db(), top + QStringLiteral("/b.txt"));
    db().exec("INSERT INTO InstallNUpdate (ID, Filename) VALUES ('" + b.toStdString() + "', 'b.txt')");
    const QStringList before = texts(QStringLiteral("SELECT SrNO || ID || path || size FROM main ORDER BY SrNO"));
    qmtest::messages().clear();
    disk.unmount();

    // The user presses Enter: the box's default answer.
    QStringList asked;
    qm::setDefaultedQuestionHook([&](const QString& text, qm::DefaultAnswer byDefault) {
        asked << text;
        return byDefault == qm::DefaultAnswer::Yes;
    });
    form->TreeView1->setSelectedItem(node(topKey));
    form->UpdateFolder->click();
    qm::setDefaultedQuestionHook({});

    ASSERT_EQ(asked.size(), 1);
    const QString& question = asked.front();
    EXPECT_TRUE(question.startsWith(QStringLiteral("The disk \"PHOTOS_2019\" (ext4, "))) << question.toStdString();
    // Every record below the top-level folder (lost+found too), and the note on b.txt.
    EXPECT_TRUE(question.contains(QStringLiteral(" that ") + top
        + QStringLiteral(" was catalogued from is not mounted there now. Updating would remove %1 records and the 1 note "
                         "attached to it.")
              .arg(before.size() - 1)))
        << question.toStdString();
    EXPECT_FALSE(question.contains(QStringLiteral("UUID")) || question.contains(QStringLiteral("/dev/")));
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'|').toStdString();
    EXPECT_EQ(texts(QStringLiteral("SELECT SrNO || ID || path || size FROM main ORDER BY SrNO")), before);
    EXPECT_EQ(keyOfPath(db(), top + QStringLiteral("/b.txt")), b);
    EXPECT_EQ(count(QStringLiteral("ID = '%1'").arg(b), QStringLiteral("InstallNUpdate")), 1);
    ASSERT_TRUE(node(b));
    EXPECT_EQ(node(b)->Text, QStringLiteral("b.txt"));
}
