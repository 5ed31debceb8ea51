// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/DisksWindow.h"
#include "main_window/TreemapView.h"
#include "support/FormFixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

using namespace qm;

namespace {

class DisksWindowTest : public FormTest {
protected:
    // Two catalogues; the disk of "Shelf" is on the shelf, "Loose" was
    // scanned before disks were recorded.
    void SetUp() override
    {
        FormTest::SetUp();
        addRecord("1>", "0>", "Shelf", "/media/a", "/media/a/", "", "", "1>");
        addRecord("2>", "1>", "Shelf", "big.iso", "/media/a/big.iso", "", "", "1>");
        addRecord("3>", "1>", "Shelf", "docs", "/media/a/docs/", "", "", "1>");
        addRecord("4>", "3>", "Shelf", "a.txt", "/media/a/docs/a.txt", "", "", "1>");
        addRecord("5>", "0>", "Shelf", "/media/b", "/media/b/", "", "", "5>");
        addRecord("1>", "0>", "Loose", "/home/x", "/home/x/", "", "", "1>");
        db().exec("UPDATE main SET bytes = CASE file_name WHEN 'big.iso' THEN 9000 WHEN 'a.txt' THEN 1000 END "
                  "WHERE path NOT LIKE '%/'");
        db().exec("INSERT INTO scans (dbaseName, topKey, label, uuid, fsType, mountPoint, totalBytes, freeBytes, records) "
                  "VALUES ('Shelf', '1>', 'PHOTOS_2019', 'U-A', 'ext4', '/media/a', 100000, 90000, 4), "
                  "('Shelf', '5>', 'BACKUP', 'U-B', 'ext4', '/media/b', 5000000, 1, 1)");
        load(QStringLiteral("Loose"));
        form->Disks->trigger();
        window = findWindow();
        ASSERT_NE(window, nullptr);
    }
    static DisksWindow* findWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<DisksWindow*>(w))
                return d;
        return nullptr;
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < window->diskTable->rowCount(); ++r)
            out << window->diskTable->item(r, c)->text();
        return out;
    }
    QTableWidgetItem* cell(const QString& folder, int c) const
    {
        for (int r = 0; r < window->diskTable->rowCount(); ++r)
            if (window->diskTable->item(r, kFolderColumn)->text() == folder)
                return window->diskTable->item(r, c);
        return nullptr;
    }
    DisksWindow* window = nullptr;
};

} // namespace

TEST_F(DisksWindowTest, RowsSortAndALocationWrittenInTheWindowIsKept)
{
    EXPECT_EQ(form->File->actions().indexOf(form->Disks), form->File->actions().indexOf(form->Find) + 1);
    EXPECT_EQ(column(kFolderColumn), (QStringList {"/home/x", "/media/a", "/media/b"}));
    EXPECT_EQ(column(kConnectedColumn), (QStringList {"", "not connected", "not connected"}));
    // Capacity sorts by bytes, not by its text ("97.7 KB" against "4.77 MB").
    window->diskTable->sortItems(kCapacityColumn, Qt::DescendingOrder);
    EXPECT_EQ(column(kFolderColumn).first(), QStringLiteral("/media/b"));
    window->diskTable->sortItems(kRecordsColumn, Qt::AscendingOrder);
    EXPECT_EQ(column(kRecordsColumn), (QStringList {"1", "1", "4"}));

    cell(QStringLiteral("/media/a"), kLocationColumn)->setText(QStringLiteral("shelf 3, box B"));
    QCoreApplication::processEvents();
    EXPECT_EQ(texts(QStringLiteral("SELECT uuid || ':' || location FROM disk_places")), QStringList {"U-A:shelf 3, box B"});
    EXPECT_EQ(cell(QStringLiteral("/media/a"), kLocationColumn)->text(), QStringLiteral("shelf 3, box B"));
    // A scan whose disk was not recorded takes no place, and says why.
    qmtest::messages().clear();
    cell(QStringLiteral("/home/x"), kNoteColumn)->setText(QStringLiteral("lost"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("The disk of /home/x was not recorded")));
    EXPECT_EQ(count({}, QStringLiteral("disk_places")), 1);
    EXPECT_EQ(cell(QStringLiteral("/home/x"), kNoteColumn)->text(), QString());
}

TEST_F(DisksWindowTest, ADoubleClickShowsTheScansNodeAndTheTreemapGoesIntoFolders)
{
    window->diskTable_DblClick(cell(QStringLiteral("/media/b"), kLabelColumn));
    ASSERT_NE(form->TreeView1->SelectedItem(), nullptr);
    EXPECT_EQ(form->TreeView1->SelectedItem()->Key, QStringLiteral("5>"));
    EXPECT_EQ(form->shownDatabaseName(), QStringLiteral("Shelf"));

    window->diskTable->selectRow(cell(QStringLiteral("/media/a"), kLabelColumn)->row());
    window->treemapButton->click();
    TreemapWindow* map = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<TreemapWindow*>(w))
            map = t;
    ASSERT_NE(map, nullptr);
    // The biggest, from the catalogue alone: the file, then the folder.
    ASSERT_EQ(map->biggest->topLevelItemCount(), 3);
    EXPECT_EQ(map->biggest->topLevelItem(0)->text(0), QStringLiteral("/media/a/big.iso"));
    EXPECT_EQ(map->biggest->topLevelItem(1)->text(0), QStringLiteral("/media/a/docs/"));
    const std::vector<TreemapTile> tiles = map->view->tiles();
    ASSERT_EQ(tiles.size(), 3u);
    const QRectF docs = tiles[1].rect;
    EXPECT_NEAR(docs.width() * docs.height(), map->view->width() * map->view->height() / 10.0, 1e-6);
    QTest::mouseClick(map->view, Qt::LeftButton, {}, docs.center().toPoint());
    EXPECT_TRUE(map->pathLabel->text().startsWith(QStringLiteral("/media/a/docs/")));
    EXPECT_TRUE(map->backButton->isEnabled());
    map->backButton->click();
    EXPECT_EQ(map->view->root(), 0);
    EXPECT_FALSE(map->backButton->isEnabled());
}

TEST_F(DisksWindowTest, WhereTheSpaceWentShowsTheSelectedNodesScan)
{
    auto treemaps = [] {
        std::vector<TreemapWindow*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<TreemapWindow*>(w))
                found.push_back(t);
        return found;
    };
    const size_t before = treemaps().size();
    form->TreeView1->setSelectedItem(nullptr);
    form->SpaceWent->trigger();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("Select a top-level folder")));
    EXPECT_EQ(treemaps().size(), before);
    // A folder inside a scan stands for its whole scan.
    ASSERT_TRUE(form->showRecord(QStringLiteral("Shelf"), QStringLiteral("3>")));
    form->SpaceWent->trigger();
    const std::vector<TreemapWindow*> after = treemaps();
    ASSERT_EQ(after.size(), before + 1);
    TreemapWindow* map = after.back();
    ASSERT_EQ(map->biggest->topLevelItemCount(), 3);
    EXPECT_EQ(map->biggest->topLevelItem(0)->text(0), QStringLiteral("/media/a/big.iso"));
    map->close();
}
