// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FormFixture.h"

#include "catalog/store/Store.h"
#include "main_window/StartUp.h"
#include "platform/Clipboard.h"
#include "platform/FolderLists.h"
#include "tree_editor/frmTree.h"

#include <sys/stat.h>

using namespace qm;

TEST_F(FormTest, StartUpShowsTheNamedCatalogueFolderListsFollowAndExitEmptiesTheClipboard)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/", "0", "", "1>");
    Form1& f = load(QStringLiteral("Disks"));
    EXPECT_EQ(f.Dir1->Path(), QStringLiteral("/"));
    EXPECT_EQ(f.currentDatabaseName(), QStringLiteral("Disks"));
    EXPECT_EQ(children("0>"), QStringList {"1>:/data"});
    EXPECT_TRUE(qmtest::messages().isEmpty());

    // The file list follows the opened folder; a folder that cannot be listed
    // leaves the lists where they were, a drive that cannot be read is told.
    const QString pick = makeFile(QStringLiteral("pick/a.txt")).chopped(6);
    makeDir(QStringLiteral("pick/sub"));
    ASSERT_TRUE(f.Dir1->setPath(pick));
    EXPECT_EQ(f.File1->Path() + u'|' + QString::number(f.File1->count()), pick + QStringLiteral("|1"));
    EXPECT_FALSE(f.Dir1->setPath(pathOf(QStringLiteral("nowhere"))));
    EXPECT_EQ(f.Dir1->Path(), pick);
    f.Drive1->setDrive(pathOf(QStringLiteral("gone")));
    EXPECT_TRUE(qmtest::toldOnce(QString()));
    EXPECT_EQ(f.Drive1->Drive(), QStringLiteral("/"));

    qmtest::testClipboard().SetText(QStringLiteral("copied from elsewhere"));
    f.Exit_Click();
    EXPECT_EQ(qmtest::testClipboard().GetText(), QString());
    // Closing the window does the same; a missing name file starts the empty-named catalogue.
    Form1& g = load(std::nullopt);
    EXPECT_EQ(g.TreeView1->Nodes().Count(), 1);
    EXPECT_EQ(g.TreeView1->Nodes().Item(1)->Text, QString());
    g.show();
    qmtest::testClipboard().SetText(QStringLiteral("more"));
    g.close();
    EXPECT_EQ(qmtest::testClipboard().GetText(), QString());
    EXPECT_TRUE(qmtest::messages().isEmpty());
}

TEST_F(FormTest, StartUpChecksTheStore)
{
    // Missing: offered, and made on yes with every table.
    const QString fresh = makeDir(QStringLiteral("new")) + QStringLiteral("/database.mdb");
    qmtest::answerQuestions(false);
    EXPECT_FALSE(checkStoreAtStart(fresh));
    EXPECT_FALSE(QFile::exists(fresh));
    qmtest::answerQuestions(true);
    EXPECT_TRUE(checkStoreAtStart(fresh));
    EXPECT_EQ(Store::problemWith(fresh), QString());
    EXPECT_EQ(qmtest::messages().size(), 2);
    EXPECT_TRUE(qmtest::messages().first().contains(fresh));
    qmtest::messages().clear();

    // A store without one of its tables is named.
    db().exec("DROP TABLE temp");
    EXPECT_FALSE(checkStoreAtStart(storePath()));
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("temp")));

    // Not a catalogue (an old Jet file): named and left untouched, also when the window loads.
    const QString jet = makeFile(QStringLiteral("jet.mdb"), QByteArray("\0\x01\0\0Standard Jet DB", 19));
    EXPECT_FALSE(checkStoreAtStart(jet));
    EXPECT_TRUE(qmtest::toldOnce(jet));
    EXPECT_EQ(QFileInfo(jet).size(), 19);
    // A table main the window cannot read its records from: named, and told
    // that the program ends.
    db().exec("ALTER TABLE main RENAME COLUMN SrNO TO Serial");
    form = std::make_unique<Form1>();
    EXPECT_FALSE(form->Form_Load());
    EXPECT_TRUE(qmtest::messages().value(0).contains(QStringLiteral("will close")));
    EXPECT_TRUE(qmtest::toldOnce(storePath()));
    makeFile(QStringLiteral("database.mdb"), QByteArray("Standard Jet DB"));
    form = std::make_unique<Form1>();
    EXPECT_FALSE(form->Form_Load());
    EXPECT_TRUE(qmtest::toldOnce(storePath()));
}

TEST_F(FormTest, ANameFileThatCannotBeReadIsToldOncePerActionAndReadsAsTheEmptyName)
{
    addRecord("1>", "0>", "", "/unnamed", "/unnamed/");
    // A FIFO nobody writes to: start-up, which reads it twice, neither waits nor guesses.
    ASSERT_EQ(::mkfifo(QFile::encodeName(NameFile::path()).constData(), 0600), 0);
    form = std::make_unique<Form1>();
    ASSERT_TRUE(form->Form_Load());
    EXPECT_TRUE(qmtest::toldOnce(NameFile::path()));
    EXPECT_EQ(children("0>"), QStringList {QStringLiteral("1>:/unnamed")});
    // A folder in its place: the tree editor likewise.
    ASSERT_TRUE(QFile::remove(NameFile::path()) && QDir().mkdir(NameFile::path()));
    frmTree* editor = frmTree::showWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(qmtest::toldOnce(NameFile::path()));
    EXPECT_EQ(editor->TreeView1->Nodes().Count(), 2);
}
