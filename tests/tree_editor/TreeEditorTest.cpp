// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "support/FormFixture.h"
#include "tree_editor/frmTree.h"

#include <QPointer>
#include <QToolButton>

#include <SQLiteCpp/Statement.h>

using namespace qm;

namespace {

class TreeEditorTest : public FormTest {
protected:
    frmTree& open(const QString& shownName)
    {
        NameFile::write(shownName);
        frmTree* w = frmTree::showWindow();
        EXPECT_NE(w, nullptr);
        return *w;
    }
    static Node* node(frmTree& w, const QString& key) { return w.TreeView1->Nodes().reveal(key); }
    static void click(frmTree& w, const QString& key)
    {
        w.TreeView1->setSelectedItem(node(w, key));
        w.TreeView1_NodeClick(node(w, key));
    }
    static QString boxes(const frmTree& w)
    {
        QStringList out;
        for (const QLineEdit* box : {w.Text1, w.Text2, w.Text3, w.Text4, w.Text5, w.Text6, w.Text7})
            out << box->text();
        return out.join(u'|');
    }
    QString stored(long long srNo, const char* field)
    {
        const std::string sql
            = std::string("SELECT ") + field + " FROM main WHERE SrNO = " + std::to_string(srNo);
        return QString::fromStdString(db().execAndGet(sql).getString());
    }
};

TEST_F(TreeEditorTest, BuildsTheNamedCatalogueOnlyInSerialOrder)
{
    // Two catalogues that reuse the same keys, stored interleaved. Where each
    // record goes is the catalogue tree's, tested on its own.
    addRecord("1>", "0>", "Other", "/else", "/else/");
    addRecord("1>", "0>", "Disks", "/data", "/data/");
    addRecord("2>", "1>", "Other", "stray.txt", "/else/stray.txt");
    addRecord("5>", "6>", "Disks", "early.txt", "/data/late/early.txt"); // before its parent
    addRecord("6>", "1>", "Disks", "late", "/data/late/");
    addRecord("7>", "9>", "Disks", "orphan.txt", "/data/orphan.txt"); // parent missing
    qmtest::testClipboard().SetText(QStringLiteral("user text"));

    frmTree& w = open(QStringLiteral("Disks"));
    EXPECT_EQ(w.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Disks"));
    EXPECT_EQ(children("1>", false, w.TreeView1), (QStringList {"6>:late"}));
    EXPECT_TRUE(w.TreeView1->isExpanded(w.TreeView1->Nodes().Item(1)));
    // The two records that cannot be placed are named once; the clipboard is the user's.
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("2 record(s) of the catalogue \"Disks\"")));
    EXPECT_EQ(qmtest::testClipboard().GetText(), QStringLiteral("user text"));
}

TEST_F(TreeEditorTest, NodeClickShowsTheShownCataloguesRecordAndStoresEditsOnTheMove)
{
    addRecord("1>", "0>", "Other", "/else", "/else/", "0", "o1", "1>");
    addRecord("2>", "1>", "Other", "docs", "/else/docs/", "7", "o2", "1>");
    const long long data = addRecord("1>", "0>", "Disks", "/data", "/data/", " 1 KB", "d1", "1>");
    const long long docs = addRecord("2>", "1>", "Disks", "docs", "/data/docs/", "0", "d2", "1>");
    frmTree& w = open(QStringLiteral("Disks"));
    load(QStringLiteral("Disks"));
    // The main window's user has the branch open: a branch opened later reads
    // the store as it is then.
    ASSERT_NE(FormTest::node(QStringLiteral("2>")), nullptr);
    const QString dataBoxes = QStringLiteral("1>|0>|/data|/data/| 1 KB|d1|Disks");
    click(w, "2>");
    EXPECT_EQ(boxes(w), QStringLiteral("2>|1>|docs|/data/docs/|0|d2|Disks"));
    click(w, "1>");
    EXPECT_EQ(boxes(w), dataBoxes);
    click(w, "0>"); // the root leaves the boxes as they are
    EXPECT_EQ(boxes(w), dataBoxes);

    // An edit is stored when the cursor moves off, into the shown catalogue's record only.
    click(w, "2>");
    w.Text3->setText(QStringLiteral("papers"));
    EXPECT_EQ(stored(docs, "file_name"), QStringLiteral("docs"));
    click(w, "1>");
    EXPECT_EQ(stored(docs, "file_name"), QStringLiteral("papers"));
    EXPECT_EQ(count("file_name = 'docs'"), 1);
    // The editor's own tree and the main window's tree wait for a reload.
    EXPECT_EQ(node(w, "2>")->Text, QStringLiteral("docs"));
    EXPECT_EQ(FormTest::node(QStringLiteral("2>"))->Text, QStringLiteral("docs"));
    form->Command5_Click();
    EXPECT_EQ(FormTest::node(QStringLiteral("2>"))->Text, QStringLiteral("papers"));
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();

    // A record written after the window opened its cursor is still found.
    addRecord("3>", "1>", "Disks", "new.txt", "/data/new.txt", "3", "d3", "1>");
    w.TreeView1->Nodes().Add(QStringLiteral("1>"), QStringLiteral("3>"), QStringLiteral("new.txt"));
    click(w, "3>");
    EXPECT_EQ(boxes(w), QStringLiteral("3>|1>|new.txt|/data/new.txt|3|d3|Disks"));

    // An edit of a record removed elsewhere cannot be stored; the user is told
    // and the click still goes through. A node whose record is gone is said to be gone.
    click(w, "2>");
    w.Text3->setText(QStringLiteral("renamed"));
    db().exec("DELETE FROM main WHERE SrNO = " + std::to_string(docs));
    click(w, "1>");
    EXPECT_EQ(boxes(w), dataBoxes);
    click(w, "2>");
    EXPECT_EQ(boxes(w), dataBoxes);
    ASSERT_EQ(qmtest::messages().size(), 2);
    EXPECT_TRUE(qmtest::messages()[0].contains(QStringLiteral("was not stored")));
    EXPECT_TRUE(qmtest::messages()[1].contains(QStringLiteral("no longer in the catalogue \"Disks\"")));
    EXPECT_EQ(count("file_name = 'renamed'"), 0);

    // Closing keeps what is left typed, then closes the recordset.
    w.Text6->setText(QStringLiteral("2026-02-02 02:02:02"));
    QPointer<frmTree> closing(&w);
    w.close();
    EXPECT_EQ(stored(data, "date"), QStringLiteral("2026-02-02 02:02:02"));
    ASSERT_TRUE(closing);
    EXPECT_FALSE(closing->Adodc1->isOpen());
    EXPECT_EQ(frmTree::current(), nullptr);
}

TEST_F(TreeEditorTest, AfterLoadAndOpenTheBoxesOfferNoRecordUntilANodeIsClicked)
{
    // The first record of the table belongs to another catalogue and reuses the key.
    addRecord("1>", "0>", "Other", "/else", "/else/", "0", "o1", "1>");
    const long long data = addRecord("1>", "0>", "Disks", "/data", "/data/", " 1 KB", "d1", "1>");
    const QString nothing = QStringLiteral("||||||");
    const auto editable = [](const frmTree& w) {
        QString out;
        for (const QLineEdit* box : {w.Text1, w.Text2, w.Text3, w.Text4, w.Text5, w.Text6, w.Text7})
            out += box->isReadOnly() ? u'-' : u'e';
        return out;
    };
    frmTree& w = open(QStringLiteral("Disks"));
    EXPECT_EQ(boxes(w), nothing);
    EXPECT_EQ(editable(w), QStringLiteral("-------"));
    click(w, "1>");
    EXPECT_EQ(boxes(w), QStringLiteral("1>|0>|/data|/data/| 1 KB|d1|Disks"));
    EXPECT_EQ(editable(w), QStringLiteral("eeeeeee"));

    // "Open" keeps what was typed and then offers nothing again.
    w.Text6->setText(QStringLiteral("d1, edited"));
    w.Command2_Click();
    EXPECT_EQ(stored(data, "date"), QStringLiteral("d1, edited"));
    EXPECT_EQ(boxes(w), nothing);
    EXPECT_EQ(editable(w), QStringLiteral("-------"));

    // The data control's own buttons still walk the whole table from there.
    w.Adodc1->findChild<QToolButton*>(QStringLiteral("Previous"))->click();
    EXPECT_EQ(boxes(w), QStringLiteral("1>|0>|/else|/else/|0|o1|Other"));
    EXPECT_EQ(editable(w), QStringLiteral("eeeeeee"));
    w.close();
    EXPECT_EQ(count("dbaseName = 'Other' AND file_name = '/else' AND date = 'o1'"), 1);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
}

TEST_F(TreeEditorTest, WithoutANameFileThenSaveDatabaseWithAndWithoutATypedNameThenOpen)
{
    addRecord("1>", "0>", "", "/unnamed", "/unnamed/");
    addRecord("1>", "0>", "Disks", "/data", "/data/");
    addRecord("1>", "0>", "Music", "/music", "/music/");
    addRecord("2>", "1>", "Music", "song.ogg", "/music/song.ogg");
    frmTree* shown = frmTree::showWindow(); // no name file: the empty-named catalogue
    ASSERT_NE(shown, nullptr);
    frmTree& w = *shown;
    EXPECT_EQ(w.TreeView1->Nodes().Item(1)->Text, QString());
    EXPECT_EQ(children("0>", false, w.TreeView1), (QStringList {"1>:/unnamed"}));
    w.Text8->setText(QStringLiteral("Disks"));
    w.Command1_Click();
    w.Command2_Click();
    EXPECT_EQ(children("0>", false, w.TreeView1), (QStringList {"1>:/data"}));
    QFile::remove(NameFile::path());
    w.Text8->setText(QStringLiteral("Enter new name"));
    w.Command1_Click(); // the prompt: the root's text is written back
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Disks"));

    w.Text8->setText(QStringLiteral("Music"));
    w.Command1_Click();
    EXPECT_EQ(NameFile::read().name, QStringLiteral("Music"));
    EXPECT_EQ(count("dbaseName = 'Disks'"), 1); // records keep their names
    EXPECT_EQ(w.TreeView1->Nodes().Item(1)->Text, QStringLiteral("Disks")); // until "Open"
    w.Command2_Click();
    EXPECT_EQ(w.shownDatabaseName(), QStringLiteral("Music"));
    EXPECT_EQ(children("1>", false, w.TreeView1), (QStringList {"2>:song.ogg"}));

    // A tree without a root names no catalogue: the saved name stays, without an error.
    w.TreeView1->Nodes().Clear();
    w.Text8->setText(QStringLiteral("Enter new name"));
    w.Command1_Click();
    EXPECT_EQ(readFile(NameFile::path()), QByteArray("Music\r\n"));
    EXPECT_TRUE(qmtest::messages().isEmpty());
}

} // namespace
