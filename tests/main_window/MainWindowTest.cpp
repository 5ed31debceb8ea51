#include "FormFixture.h"

#include "platform/Clipboard.h"
#include "platform/FolderLists.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

using namespace qm;

TEST_F(FormTest, StartUpShowsEveryControlAsDesigned)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/", "0", "", "1>");
    Form1& f = load(QStringLiteral("Disks"));

    EXPECT_EQ(f.windowTitle(), QStringLiteral("Quillmark"));
    EXPECT_EQ(f.centralWidget()->size(), QSize(992, 608));
    EXPECT_EQ(f.Command2->geometry(), QRect(128, 552, 129, 17));
    EXPECT_EQ(f.ListView1->geometry(), QRect(320, 216, 673, 305));
    EXPECT_EQ(f.Text8->text(), QStringLiteral("Enter database name"));
    EXPECT_FALSE(f.Command4->isEnabled());
    EXPECT_EQ(f.Command4->text(), QStringLiteral("Clear Database"));
    for (QLineEdit* hidden : {f.Text1, f.Text2, f.Text3, f.Text4, f.Text5, f.Text6, f.Text7, f.Text9})
        EXPECT_TRUE(hidden->isHidden());
    EXPECT_TRUE(f.File1->isHidden());
    EXPECT_EQ(f.Check3->text(), QStringLiteral("Ducument"));
    for (QCheckBox* box : {f.Check1, f.Check2, f.Check3, f.Check4}) {
        EXPECT_FALSE(box->isChecked());
        EXPECT_TRUE(box->isEnabled());
    }
    EXPECT_TRUE(f.Label1->font().bold());
    EXPECT_EQ(f.Label1->font().pointSize(), 12);

    // Menus, in order, with their access keys and the exit shortcut.
    QStringList menus;
    for (QAction* a : f.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&About"}));
    QStringList fileItems, editItems;
    for (QAction* a : f.File->actions())
        fileItems << a->text();
    for (QAction* a : f.edit->actions())
        editItems << a->text();
    EXPECT_EQ(fileItems, (QStringList{"&Tree", "Report", "E&xit"}));
    EXPECT_EQ(editItems, (QStringList{"&Project Files", "&Multimedia", "&Documents", "&Installation Files"}));
    EXPECT_EQ(f.Exit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));

    // Column headers with widths and the right-aligned size column.
    QStringList h1, h2;
    for (int i = 0; i < f.ListView1->columnCount(); ++i)
        h1 << f.ListView1->headerItem()->text(i);
    for (int i = 0; i < f.ListView2->columnCount(); ++i)
        h2 << f.ListView2->headerItem()->text(i);
    EXPECT_EQ(h1, (QStringList{"No.", "Filename", "Path", "Size", "Date"}));
    EXPECT_EQ(h2, (QStringList{"Name", "Path", "Size", "Created", "Modified"}));
    EXPECT_EQ(f.ListView1->columnWidth(1), 200);
    EXPECT_TRUE(f.ListView1->headerItem()->textAlignment(3) & Qt::AlignRight);
    EXPECT_TRUE(f.ListView2->headerItem()->textAlignment(2) & Qt::AlignRight);

    // Folder lists at the root, the name and the tree from dbase.name.
    EXPECT_EQ(f.Drive1->Drive(), QStringLiteral("/"));
    EXPECT_EQ(f.Dir1->Path(), QStringLiteral("/"));
    EXPECT_EQ(f.File1->Path(), QStringLiteral("/"));
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Disks"));
    EXPECT_EQ(f.TreeView1->Nodes().Count(), 2);
    EXPECT_TRUE(qmtest::messages().isEmpty());
}

TEST_F(FormTest, FolderListFollowsTheOpenedFolder)
{
    makeFile(QStringLiteral("pick/a.txt"));
    makeDir(QStringLiteral("pick/sub"));
    Form1& f = load(QString());
    ASSERT_TRUE(f.Dir1->setPath(QDir(folder()).filePath(QStringLiteral("pick"))));
    EXPECT_EQ(f.File1->Path(), QDir(folder()).filePath(QStringLiteral("pick")));
    EXPECT_EQ(f.File1->count(), 1);
    // A folder that cannot be listed leaves the list where it was.
    EXPECT_FALSE(f.Dir1->setPath(QDir(folder()).filePath(QStringLiteral("nowhere"))));
    EXPECT_EQ(f.Dir1->Path(), QDir(folder()).filePath(QStringLiteral("pick")));
    // A drive that cannot be read: a message and back to the previous drive.
    f.Drive1->setDrive(QDir(folder()).filePath(QStringLiteral("gone")));
    EXPECT_EQ(qmtest::messages().size(), 1);
    EXPECT_EQ(f.Drive1->Drive(), QStringLiteral("/"));
}

TEST_F(FormTest, ExitAndCloseEmptyTheClipboard)
{
    Form1& f = load(QStringLiteral("x"));
    qmtest::testClipboard().SetText(QStringLiteral("copied from elsewhere"));
    f.Exit_Click();
    EXPECT_EQ(qmtest::testClipboard().GetText(), QString());

    Form1& g = load(QStringLiteral("x"));
    g.show();
    qmtest::testClipboard().SetText(QStringLiteral("more"));
    g.close();
    EXPECT_EQ(qmtest::testClipboard().GetText(), QString());
}

TEST_F(FormTest, StartsWithoutANameFile)
{
    form = std::make_unique<Form1>();
    form->Form_Load();
    EXPECT_EQ(form->TreeView1->Nodes().Count(), 1);
    EXPECT_EQ(form->TreeView1->Nodes().Item(1)->Text, QString());
    EXPECT_TRUE(qmtest::messages().isEmpty());
}

TEST_F(FormTest, ABrokenStoreIsReportedNotFatal)
{
    QFile::remove(storePath());
    QFile f(storePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Standard Jet DB");
    f.close();
    form = std::make_unique<Form1>();
    EXPECT_FALSE(form->Form_Load());
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(storePath()));
}
