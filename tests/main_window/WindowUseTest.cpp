// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FormFixture.h"

#include "main_window/StatusReport.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/FolderLists.h"
#include "platform/NameBox.h"
#include "platform/Twips.h"
#include "tree_editor/frmTree.h"

#include <QCheckBox>
#include <QCompleter>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace qm;

namespace {

void showActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// The figures of the status bar as in an English locale, whatever the machine's.
class EnglishFigures {
public:
    EnglishFigures() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~EnglishFigures() { QLocale::setDefault(previous_); }
    EnglishFigures(const EnglishFigures&) = delete;
    EnglishFigures& operator=(const EnglishFigures&) = delete;

private:
    QLocale previous_;
};

QTreeWidgetItem* rowNamed(const QTreeWidget* list, const QString& name)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(1) == name)
            return list->topLevelItem(i);
    return nullptr;
}

} // namespace

TEST_F(FormTest, TheWindowGivesExtraRoomToTheTreeAndListsAndScrollsWhenSmallerThanDesigned)
{
    Form1& f = load(QStringLiteral("Disks"));
    // It opens no larger than the screen, centred.
    const QRect screen = f.screen()->availableGeometry();
    EXPECT_EQ(f.size(), f.sizeHint().boundedTo(screen.size()));
    EXPECT_EQ(f.geometry().center(), screen.center());
    showActive(f);
    const QWidget* client = f.findChild<QWidget*>(QStringLiteral("client"));
    f.resize(f.sizeHint());
    QCoreApplication::processEvents();
    const QSize designed(tw(14880), tw(9120));
    ASSERT_EQ(client->size(), designed);
    // The controls where the design puts them; those below the tree are the bottom block.
    const QList<QWidget*> controls = client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QHash<const QWidget*, QRect> designedAt;
    for (const QWidget* c : controls)
        designedAt.insert(c, c->geometry());
    const int blockTop = designedAt[f.TreeView1].bottom();
    auto widths = [](const QTreeWidget* list) {
        QList<int> out;
        for (int c = 0; c < list->columnCount(); ++c)
            out << list->columnWidth(c);
        return out;
    };
    const QList<int> designedColumns = widths(f.ListView1);

    // Twice the size: the tree and the lists grow, the bottom block moves
    // down together, and no two controls share more than the design's
    // one-pixel seams.
    const QSize designedWindow = f.sizeHint();
    f.resize(designedWindow + designed);
    QCoreApplication::processEvents();
    ASSERT_EQ(client->size(), 2 * designed);
    EXPECT_EQ(f.TreeView1->geometry().bottom(), blockTop + designed.height());
    EXPECT_EQ(f.ListView1->geometry().right(), designedAt[f.ListView1].right() + designed.width());
    for (const QWidget* grown :
        std::initializer_list<const QWidget*> {f.TreeView1, f.ListView1, f.ListView2, f.Dir1})
        EXPECT_GT(grown->width() + grown->height(), designedAt[grown].width() + designedAt[grown].height())
            << grown->objectName().toStdString();
    // Names and paths share the list's extra width.
    const QList<int> wider = widths(f.ListView1);
    EXPECT_EQ(wider[1] - designedColumns[1] + wider[2] - designedColumns[2],
        f.ListView1->width() - designedAt[f.ListView1].width());
    EXPECT_EQ(wider[3], designedColumns[3]);
    const QPoint blockShift = f.Command2->pos() - designedAt[f.Command2].topLeft();
    EXPECT_EQ(blockShift.y(), designed.height());
    QList<QWidget*> shown;
    for (QWidget* c : controls) {
        if (c->isVisible())
            shown << c;
        if (designedAt[c].top() > blockTop) {
            EXPECT_EQ(c->pos() - designedAt[c].topLeft(), blockShift) << c->objectName().toStdString();
        }
    }
    for (int i = 0; i < shown.size(); ++i)
        for (int j = i + 1; j < shown.size(); ++j) {
            const QRect common = shown[i]->geometry() & shown[j]->geometry();
            EXPECT_TRUE(common.isEmpty() || common.width() <= 1 || common.height() <= 1)
                << shown[i]->objectName().toStdString() << " and " << shown[j]->objectName().toStdString();
        }

    // Smaller than designed: the client keeps its size and scrolls.
    f.resize(designedWindow / 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(client->size(), designed);
    for (const QWidget* c : controls)
        EXPECT_EQ(c->geometry(), designedAt[c]) << c->objectName().toStdString();

    // The size of the last run comes back, centred; it stays the window's own setting.
    const QSize remembered(700, 500);
    f.resize(remembered);
    f.close();
    Form1& again = load(QStringLiteral("Disks"));
    EXPECT_EQ(again.size(), remembered);
    EXPECT_EQ(again.geometry().center(), again.screen()->availableGeometry().center());
    EXPECT_EQ(readFile(NameFile::path()), QByteArray("Disks\r\n"));
}

TEST_F(FormTest, NameBoxesGiveWayToTypingAndOfferTheStoredNames)
{
    addRecord("1>", "0>", "Docs", "/d", "/d/");
    addRecord("1>", "0>", "docs", "/e", "/e/");
    addRecord("2>", "0>", "Music", "/m", "/m/");
    addRecord("3>", "0>", "", "/n", "/n/");
    addRecord("4>", "0>", "Docs", "/d2", "/d2/");
    Form1& f = load(QStringLiteral("Docs"));
    showActive(f);
    auto* box = qobject_cast<NameBox*>(f.Text8);
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->showsPrompt());
    EXPECT_EQ(box->palette().color(QPalette::Text), box->palette().color(QPalette::PlaceholderText));

    // A click into the middle of the prompt selects all of it: typing replaces it.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() / 2, box->height() / 2));
    EXPECT_TRUE(box->hasFocus());
    QTest::keyClicks(box, QStringLiteral("Tapes"));
    EXPECT_EQ(box->text(), QStringLiteral("Tapes"));
    EXPECT_NE(box->palette().color(QPalette::Text), box->palette().color(QPalette::PlaceholderText));
    // Every stored name once, exactly as stored, the empty one left out; completing keeps case.
    EXPECT_EQ(box->offeredNames(), (QStringList {"Docs", "Music", "docs"}));
    box->completer()->setCompletionPrefix(QStringLiteral("D"));
    EXPECT_EQ(box->completer()->completionCount(), 1);
    EXPECT_EQ(box->completer()->currentCompletion(), QStringLiteral("Docs"));

    // The tree editor's box works the same way.
    frmTree* editor = frmTree::showWindow();
    ASSERT_TRUE(editor);
    showActive(*editor);
    auto* editorBox = qobject_cast<NameBox*>(editor->Text8);
    ASSERT_TRUE(editorBox);
    QTest::mouseClick(editorBox, Qt::LeftButton, {}, QPoint(5, editorBox->height() / 2));
    QTest::keyClicks(editorBox, QStringLiteral("Music"));
    EXPECT_EQ(editorBox->text(), QStringLiteral("Music"));
    EXPECT_EQ(editorBox->offeredNames(), (QStringList {"Docs", "Music", "docs"}));
}

TEST_F(FormTest, TheStatusBarTellsWhereTheRecordsAreAndWhatScansAndDeletesDid)
{
    const EnglishFigures english;
    db().exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1234) "
              "INSERT INTO main (ID, Parent, dbaseName, file_name, path) "
              "SELECT i || '>', '0>', 'Docs', 'f' || i, '/f' || i || '/' FROM n");
    addRecord("1>", "0>", "Tapes", "/t", "/t/", "0", "", "1>");
    Form1& f = load(QStringLiteral("Nothing"));
    EXPECT_EQ(f.status().text(),
        QStringLiteral("No records under \"Nothing\". Catalogues in this database: Docs (1,234 entries), "
                       "Tapes (1 entry)"));
    QPushButton* open = f.status().openButton();
    ASSERT_FALSE(open->isHidden());
    const QList<QAction*> offered = open->menu()->actions();
    ASSERT_EQ(offered.size(), 2);
    EXPECT_EQ(offered[1]->text(), QStringLiteral("Tapes"));
    offered[1]->trigger();
    EXPECT_EQ(children("0>"), QStringList {"1>:/t"});
    EXPECT_EQ(readFile(NameFile::path()), QByteArray("Tapes\r\n"));
    EXPECT_TRUE(open->isHidden());
    EXPECT_EQ(f.status().text(), QString());

    // A scan tells what it stored, and that an unsaved name is not what the next start shows.
    makeFile(QStringLiteral("disk/a.bin"), 1536);
    makeFile(QStringLiteral("disk/sub/b.bin"), 1048576);
    f.Text8->setText(QStringLiteral("Disk"));
    f.Command1_Click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("Disk")));
    ASSERT_TRUE(f.Dir1->setPath(pathOf(QStringLiteral("disk"))));
    f.Command2_Click();
    ASSERT_EQ(count(QStringLiteral("dbaseName = 'Disk'")), 4);
    const QString scanned = f.status().text();
    EXPECT_TRUE(scanned.startsWith(QStringLiteral("Added 4 entries to \"Disk\", 1.0 MB, in ")))
        << scanned.toStdString();
    EXPECT_TRUE(
        scanned.endsWith(QStringLiteral(" s. Press \"Save to database\" to see \"Disk\" at the next start.")))
        << scanned.toStdString();

    // A delete tells what went; deleting the last folder leaves the bare root.
    f.Command5_Click();
    click(children("0>").first().section(u':', 0, 0));
    f.Command7_Click();
    EXPECT_EQ(f.status().text(),
        QStringLiteral("Deleted 4 entries of \"%1\" from \"Disk\".").arg(pathOf(QStringLiteral("disk"))));
    EXPECT_TRUE(qmtest::messages().isEmpty());
    EXPECT_EQ(f.cursor().shape(), Qt::ArrowCursor); // the hourglass of the delete is gone

    // An empty database says how to begin.
    db().exec("DELETE FROM main");
    f.reloadTree();
    EXPECT_TRUE(f.status().text().startsWith(QStringLiteral("No catalogue yet:")));
    EXPECT_TRUE(open->isHidden());
}

TEST_F(FormTest, ListsSortByValueOpenFoldersOnDoubleClickAndCopyRows)
{
    const QString date = QStringLiteral("2026-12-06 21:34:56");
    addRecord("1>", "0>", "Disks", "/data", "/data/", " 2.2 MB", date, "1>");
    QHash<QString, long long> serials;
    serials[QStringLiteral("big")] = addRecord("2>", "1>", "Disks", "big", "/data/big", " 1.5 MB", date, "1>");
    serials[QStringLiteral("sub")] = addRecord("3>", "1>", "Disks", "sub", "/data/sub/", " 730.25 KB", date, "1>");
    serials[QStringLiteral("small")] = addRecord("4>", "1>", "Disks", "small", "/data/small", "512", date, "1>");
    serials[QStringLiteral("mid")] = addRecord("5>", "1>", "Disks", "mid", "/data/mid", " 2 KB", date, "1>");
    addRecord("6>", "3>", "Disks", "inner", "/data/sub/inner", "10", date, "1>");
    Form1& f = load(QStringLiteral("Disks"));
    showActive(f);
    // Whole dates fit their columns.
    EXPECT_GE(f.ListView1->columnWidth(4), f.ListView1->fontMetrics().horizontalAdvance(date));
    EXPECT_GE(f.ListView2->columnWidth(3), f.ListView2->fontMetrics().horizontalAdvance(date));

    click("1>");
    auto column = [&f](int c) {
        QStringList out;
        for (int i = 0; i < f.ListView1->topLevelItemCount(); ++i)
            out << f.ListView1->topLevelItem(i)->text(0) + u'|' + f.ListView1->topLevelItem(i)->text(c);
        return out;
    };
    EXPECT_EQ(column(1), (QStringList {" 1|big", " 2|sub", " 3|small", " 4|mid"}));
    // A click on "Size" orders by bytes; each row keeps its number; a new listing keeps the order.
    f.ListView1->header()->setSortIndicator(3, Qt::AscendingOrder);
    EXPECT_EQ(column(1), (QStringList {" 3|small", " 4|mid", " 2|sub", " 1|big"}));
    click("1>");
    EXPECT_EQ(column(1), (QStringList {" 3|small", " 4|mid", " 2|sub", " 1|big"}));
    f.ListView1->header()->setSortIndicator(0, Qt::DescendingOrder);
    EXPECT_EQ(column(1), (QStringList {" 4|mid", " 3|small", " 2|sub", " 1|big"}));
    f.ListView1->header()->setSortIndicator(1, Qt::AscendingOrder);
    EXPECT_EQ(column(1), (QStringList {" 1|big", " 4|mid", " 3|small", " 2|sub"}));
    // Sorted, each row still stands for its record.
    for (int i = 0; i < f.ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = f.ListView1->topLevelItem(i);
        EXPECT_EQ(row->data(0, Qt::UserRole).toLongLong(), serials.value(row->text(1))) << row->text(1).toStdString();
    }

    // Ctrl+C copies the selected rows as text.
    rowNamed(f.ListView1, QStringLiteral("big"))->setSelected(true);
    rowNamed(f.ListView1, QStringLiteral("sub"))->setSelected(true);
    f.ListView1->setFocus();
    QTest::keyClick(f.ListView1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(qmtest::testClipboard().GetText(),
        QStringLiteral(" 1\tbig\t/data/big\t 1.5 MB\t%1\n 2\tsub\t/data/sub/\t 730.25 KB\t%1").arg(date));

    // A double click on a file row does nothing; on a folder row it opens that folder's node.
    auto doubleClick = [&f](const QString& name) {
        // As the system delivers one: a click, then the double click.
        const QPoint at = f.ListView1->visualItemRect(rowNamed(f.ListView1, name)).center();
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(QStringLiteral("small"));
    EXPECT_EQ(f.TreeView1->SelectedItem(), node("1>"));
    doubleClick(QStringLiteral("sub"));
    EXPECT_EQ(f.TreeView1->SelectedItem(), node("3>"));
    EXPECT_EQ(rows(f.ListView2), (QStringList {"sub|/data/sub/| 730.25 KB|" + date + "|"}));
    EXPECT_EQ(column(1), QStringList {" 1|inner"});
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral(" 1"));
    // Enter does the same from the keyboard.
    click("1>");
    f.ListView1->setFocus();
    f.ListView1->setCurrentItem(rowNamed(f.ListView1, QStringLiteral("sub")));
    QTest::keyClick(f.ListView1, Qt::Key_Return);
    EXPECT_EQ(f.TreeView1->SelectedItem(), node("3>"));
}

TEST_F(FormTest, ShortcutsReachTheNameBoxAndButtonsAndF5ReloadsTheTree)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/");
    Form1& f = load(QStringLiteral("Disks"));
    makeFile(QStringLiteral("dbase.name"), QByteArray("Disks\r\nkept\r\n"));
    showActive(f);

    // F5 shows what another writer stored meanwhile, without writing dbase.name.
    addRecord("2>", "0>", "Disks", "/more", "/more/");
    QTest::keyClick(&f, Qt::Key_F5);
    EXPECT_EQ(children("0>"), (QStringList {"1>:/data", "2>:/more"}));
    EXPECT_EQ(readFile(NameFile::path()), QByteArray("Disks\r\nkept\r\n"));

    // The buttons answer keys, and Ctrl+L goes to the name box with its prompt selected.
    QTest::keyClick(&f, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), f.Text8);
    EXPECT_EQ(f.Text8->selectedText(), QStringLiteral("Enter database name"));
    QTest::keyClicks(f.Text8, QStringLiteral("Tapes"));
    QTest::keyClick(&f, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(readFile(NameFile::path()), QByteArray("Tapes\r\n"));
    QTest::keyClick(&f, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("Tapes")));
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Tapes"));
}
