// SPDX-License-Identifier: GPL-3.0-or-later
// Catalogue > Compare Scans and Verify Folder: the rows they show for two
// real trees, and a row landing on its node in the main window.
#include "ScanSupport.h"
#include "main_window/CompareWindow.h"
#include "main_window/VerifyWindow.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

namespace {

class ScanChecksWindowTest : public ScanTest {
protected:
    void trigger(const char* name)
    {
        QAction* action = form->menuBar()->findChild<QAction*>(QLatin1String(name));
        ASSERT_TRUE(action) << name;
        action->trigger();
    }
    static QStringList rows(QTreeWidget* view)
    {
        QStringList out;
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = view->topLevelItem(i);
            out << item->text(0) + u' ' + item->text(1);
        }
        return out;
    }
};

TEST_F(ScanChecksWindowTest, CompareShowsTheDifferencesAndARowOpensItsNode)
{
    load(QStringLiteral("Disks"));
    form->menuBar()->findChild<QAction*>(QStringLiteral("FingerprintContents"))->setChecked(true);
    addFolder(tree(QStringLiteral("disk")));
    tree(QStringLiteral("backup"));
    QFile::remove(pathOf(QStringLiteral("backup/g.txt")));
    makeFile(QStringLiteral("backup/one/c.txt"), QByteArrayLiteral("other"));
    addFolder(pathOf(QStringLiteral("backup")));

    trigger("CompareScans");
    qm::CompareWindow* window = qm::CompareWindow::current();
    ASSERT_TRUE(window);
    ASSERT_EQ(window->scanA->count(), 2);
    window->scanA->setCurrentIndex(0);
    window->scanB->setCurrentIndex(1);
    window->compareButton->click();
    EXPECT_EQ(rows(window->rowView),
        QStringList({QStringLiteral("only in A g.txt"), QStringLiteral("content differs one/c.txt")}));
    EXPECT_TRUE(window->statusLabel->text().startsWith(QStringLiteral("1 only in A, 0 only in B, 1 differ")))
        << window->statusLabel->text().toStdString();
    EXPECT_EQ(window->rowView->topLevelItem(1)->text(5), QStringLiteral("fingerprint"));
    ASSERT_TRUE(window->showEntry(window->rowView->topLevelItem(0)));
    EXPECT_EQ(form->TreeView1->SelectedItem()->Text, QStringLiteral("g.txt"));
    EXPECT_EQ(form->TreeView1->SelectedItem()->Key, window->result().rows[0].a.key);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    window->close();
}

TEST_F(ScanChecksWindowTest, VerifyShowsWhatChangedOnTheDiskAndWritesNothing)
{
    load(QStringLiteral("Disks"));
    form->menuBar()->findChild<QAction*>(QStringLiteral("FingerprintContents"))->setChecked(true);
    addFolder(tree(QStringLiteral("disk")));
    QFile::remove(pathOf(QStringLiteral("disk/two/f.txt")));
    makeFile(QStringLiteral("disk/h.txt"), 10);
    const QByteArray store = readFile(storePath());

    trigger("VerifyFolder");
    qm::VerifyWindow* window = qm::VerifyWindow::current();
    ASSERT_TRUE(window);
    ASSERT_EQ(window->scanBox->count(), 1);
    ASSERT_TRUE(window->verify());
    EXPECT_EQ(rows(window->findingView), QStringList({QStringLiteral("new h.txt"), QStringLiteral("missing two/f.txt")}));
    EXPECT_TRUE(window->statusLabel->text().startsWith(QStringLiteral("1 missing, 1 new, 0 changed, 0 corrupt")))
        << window->statusLabel->text().toStdString();
    EXPECT_FALSE(window->showEntry(window->findingView->topLevelItem(0))) << "a new file has no node";
    ASSERT_TRUE(window->showEntry(window->findingView->topLevelItem(1)));
    EXPECT_EQ(form->TreeView1->SelectedItem()->Text, QStringLiteral("f.txt"));
    EXPECT_EQ(readFile(storePath()), store);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    window->close();
}

} // namespace
