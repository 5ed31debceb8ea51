// SPDX-License-Identifier: GPL-3.0-or-later
// The Catalogue menu reaches every catalogue by name: "Open Catalogue" opens
// the one chosen as "Open Database" does, and "Rename Catalogue" moves every
// record, scan and kept check to the new name while notes stay on their files.
#include "ScanSupport.h"
#include "catalog/NameFile.h"
#include "main_window/StatusReport.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QMenu>
#include <QTimer>

namespace {

class CatalogueMenuTest : public ScanTest {
protected:
    // Two catalogues: "Disks" with two scans and a note, "Other & Co" with one.
    void makeTwo()
    {
        load(QStringLiteral("Disks"));
        addFolder(tree(QStringLiteral("disk")));
        addFolder(tree(QStringLiteral("more")));
        form->Text8->setText(QStringLiteral("Other & Co"));
        form->Command1_Click();
        addFolder(tree(QStringLiteral("other")));
        form->Text8->setText(QStringLiteral("Disks"));
        form->Command5_Click();
        noteKey = texts(QStringLiteral("SELECT ID FROM main WHERE dbaseName = 'Disks' AND file_name = 'b.txt'")).value(0);
        db().exec("INSERT INTO Projects (FileName, Completed, ID) VALUES ('b.txt', 'yes', '" + noteKey.toStdString()
            + "')");
        qmtest::messages().clear();
    }
    QMenu* openMenu()
    {
        auto* menu = form->findChild<QMenu*>(QStringLiteral("OpenCatalogueMenu"));
        EXPECT_NE(menu, nullptr);
        emit menu->aboutToShow();
        return menu;
    }
    // Answers the rename's question with `name` once it is asked.
    static void answer(const QString& name)
    {
        QTimer::singleShot(0, [name] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "no name was asked for";
            dialog->setTextValue(name);
            dialog->accept();
        });
    }
    void rename(const QString& name)
    {
        answer(name);
        form->findChild<QAction*>(QStringLiteral("RenameCatalogue"))->trigger();
    }
    QString noteKey;
};

TEST_F(CatalogueMenuTest, OpenCatalogueListsEveryCatalogueAndOpensTheChosenAsOpenDatabaseDoes)
{
    makeTwo();
    QStringList shown;
    for (const QAction* a : openMenu()->actions())
        shown << a->text() + (a->isChecked() ? QStringLiteral(" *") : QString());
    const long long disks = count(QStringLiteral("dbaseName = 'Disks'"));
    const long long other = count(QStringLiteral("dbaseName = 'Other & Co'"));
    EXPECT_EQ(shown,
        QStringList({QStringLiteral("Disks (%1 records, 1 disk) *").arg(disks),
            QStringLiteral("Other && Co (%1 records, 1 disk)").arg(other)}));

    openMenu()->actions().at(1)->trigger();
    EXPECT_EQ(form->shownDatabaseName(), QStringLiteral("Other & Co"));
    EXPECT_EQ(qm::NameFile::read().name, QStringLiteral("Other & Co"));
}

TEST_F(CatalogueMenuTest, RenameMovesEveryRecordScanAndCheckAndNotesStayOnTheirFiles)
{
    makeTwo();
    const QStringList keysBefore = texts(QStringLiteral("SELECT ID || path FROM main WHERE dbaseName = 'Disks' ORDER BY SrNO"));
    const QStringList otherBefore = texts(QStringLiteral("SELECT SrNO FROM main WHERE dbaseName = 'Other & Co'"));
    const long long treeNodes = form->TreeView1->Nodes().Count();

    rename(QStringLiteral("Photos 2019 %1"));
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 0);
    EXPECT_EQ(texts(QStringLiteral("SELECT ID || path FROM main WHERE dbaseName = 'Photos 2019 %1' ORDER BY SrNO")),
        keysBefore);
    EXPECT_EQ(texts(QStringLiteral("SELECT SrNO FROM main WHERE dbaseName = 'Other & Co'")), otherBefore);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Photos 2019 %1'"), QStringLiteral("scans")), 2);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'"), QStringLiteral("scans")), 0);
    // The note finds its file under the new name; the shown tree and the
    // name file follow, and the next key is above every old one.
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name FROM Projects p JOIN main m ON m.ID = p.ID "
                                   "AND m.dbaseName = 'Photos 2019 %1'")),
        QStringList {QStringLiteral("b.txt")});
    EXPECT_EQ(form->shownDatabaseName(), QStringLiteral("Photos 2019 %1"));
    EXPECT_EQ(qm::NameFile::read().name, QStringLiteral("Photos 2019 %1"));
    EXPECT_EQ(form->TreeView1->Nodes().Count(), treeNodes);
    EXPECT_EQ(form->status().text(),
        QStringLiteral("Renamed the catalogue \"Disks\" to \"Photos 2019 %1\": ") + QString::number(keysBefore.size())
            + QStringLiteral(" entries."));
    EXPECT_EQ(texts(QStringLiteral("SELECT lastKey >= (SELECT max(CAST(ID AS INTEGER)) FROM main WHERE dbaseName = "
                                   "'Photos 2019 %1') FROM catalogue_keys WHERE dbaseName = 'Photos 2019 %1'")),
        QStringList {QStringLiteral("1")});

    // Onto a name in use, or to nothing: told, and nothing changes.
    const QStringList all = texts(QStringLiteral("SELECT dbaseName || ID FROM main ORDER BY SrNO"));
    rename(QStringLiteral("Other & Co"));
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_EQ(qmtest::messages().first(),
        QStringLiteral("The catalogue \"Other & Co\" exists already (%1 records). Nothing was changed.")
            .arg(otherBefore.size()));
    rename(QString());
    ASSERT_EQ(qmtest::messages().size(), 2);
    EXPECT_TRUE(qmtest::messages().last().startsWith(QStringLiteral("A catalogue's name is one line")));
    EXPECT_EQ(texts(QStringLiteral("SELECT dbaseName || ID FROM main ORDER BY SrNO")), all);
    EXPECT_EQ(form->shownDatabaseName(), QStringLiteral("Photos 2019 %1"));
}

} // namespace
