// SPDX-License-Identifier: GPL-3.0-or-later
// The big deletes of the main window can be undone until its next change:
// every record back under its serial number and key with every field, the
// scans' disks and the notes' links with them, and readers of the store see
// them again.
#include "ScanSupport.h"
#include "catalog/tree/TreeCheck.h"
#include "find/Query.h"
#include "find/SearchIndex.h"
#include "main_window/StatusReport.h"
#include "main_window/UndoOffer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

class UndoTest : public ScanTest {
protected:
    // Every row of `table` with every column, its storage class and its
    // bytes, one line a row in the table's order: equal texts are equal rows.
    std::string rowsOf(const std::string& table, const std::string& where = "1")
    {
        return rowList(table, where).join(u'\n').toStdString();
    }
    QStringList rowList(const std::string& table, const std::string& where = "1")
    {
        // A restored scan's row may take another rowid: its key orders it.
        SQLite::Statement st(db(),
            "SELECT * FROM " + table + " WHERE " + where + (table == "scans" ? " ORDER BY 1, 2" : " ORDER BY rowid"));
        QStringList out;
        while (st.executeStep()) {
            QStringList cells;
            for (int c = 0; c < st.getColumnCount(); ++c) {
                const SQLite::Column col = st.getColumn(c);
                const QByteArray bytes(static_cast<const char*>(col.getBlob()), col.getBytes());
                cells << QString::number(col.getType()) + u':'
                        + (col.isBlob() ? QString::fromLatin1(bytes.toHex()) : QString::fromUtf8(bytes));
            }
            out << cells.join(u'|');
        }
        return out;
    }
    QString keyOf(const QString& path)
    {
        const QStringList keys
            = texts(QStringLiteral("SELECT ID FROM main WHERE path = '%1'").arg(QString(path).replace(u'\'', "''")));
        return keys.isEmpty() ? QString() : keys.first();
    }
    qm::UndoOffer& offer() { return form->status().undo(); }
    bool offered() { return offer().button()->isVisibleTo(form.get()) && offer().undoAction()->isEnabled(); }
    void deleteFolder(const QString& key)
    {
        form->TreeView1->setSelectedItem(node(key));
        form->Command7_Click();
    }
    // The names a search for `word` finds in the store as it is now.
    static QStringList found(qm::find::SearchIndex& index, const QString& word)
    {
        index.sync();
        std::vector<std::uint32_t> entries;
        index.search(qm::find::parseQuery(word).query, [&](std::uint32_t e) {
            entries.push_back(e);
            return true;
        });
        QStringList names;
        for (const qm::find::Hit& hit : index.details(entries))
            names << hit.name;
        return names;
    }
    QString stamp() { return QString::fromStdString(qm::mainStamp(db())); }
};

TEST_F(UndoTest, DeleteFolderComesBackWithItsKeysFieldsScanNoteAndSearch)
{
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("disk"));
    addFolder(top);
    addFolder(tree(QStringLiteral("other")));
    const QString topKey = keyOf(top + u'/');
    const QString b = keyOf(top + QStringLiteral("/b.txt"));
    // Fields after position 8 too, a name that is not UTF-8 among them.
    db().exec("UPDATE main SET raw_path = x'2f64ff', modified = 1234567 WHERE ID = '" + b.toStdString() + "'");
    db().exec("INSERT INTO Projects (FileName, Completed, ID) VALUES ('b.txt', 'yes', '" + b.toStdString() + "')");
    form->reloadTree();
    const std::string before = rowsOf("main");
    const std::string scansBefore = rowsOf("scans");
    const QStringList branch = children(topKey);
    ASSERT_EQ(rowList("scans").size(), 2);
    qm::find::SearchIndex index(storePath());
    ASSERT_EQ(found(index, QStringLiteral("b.txt")).size(), 2);
    EXPECT_FALSE(offered());
    qmtest::messages().clear();

    deleteFolder(topKey);
    // Nothing asked, as ever; the undo offered in the status bar and the menu.
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(count(QStringLiteral("delKey = '%1'").arg(topKey)), 0);
    EXPECT_TRUE(offered());
    EXPECT_EQ(offer().undoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(offer().undoAction()->text(), QStringLiteral("&Undo Delete Folder"));
    EXPECT_EQ(found(index, QStringLiteral("b.txt")).size(), 1);

    offer().undoAction()->trigger();
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(rowsOf("main"), before);
    EXPECT_EQ(rowsOf("scans"), scansBefore);
    EXPECT_FALSE(offered());
    EXPECT_TRUE(form->status().text().startsWith(QStringLiteral("Undone: %1 entries of ").arg(count() / 2)))
        << form->status().text().toStdString();
    // The rebuilt tree holds the branch again, and the note finds its file.
    EXPECT_EQ(children(topKey), branch);
    EXPECT_EQ(node(b)->Text, QStringLiteral("b.txt"));
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name FROM Projects p JOIN main m ON m.ID = p.ID AND "
                                   "m.dbaseName = 'Disks'")),
        QStringList {QStringLiteral("b.txt")});
    // The search, which read the store before, finds the records under
    // their old serial numbers again.
    EXPECT_EQ(found(index, QStringLiteral("b.txt")).size(), 2);
    EXPECT_EQ(found(index, QStringLiteral("d.txt")).size(), 2);
    // Nobody wrote in between: the catalogue's kept check holds for the store as it is.
    EXPECT_EQ(texts(QStringLiteral("SELECT stamp FROM tree_checks WHERE dbaseName = 'Disks'")), QStringList {stamp()});
    EXPECT_EQ(qm::checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced, 0);
}

TEST_F(UndoTest, UpdateFolderUndoneGivesTheRecordsAsBeforeAndTheNextChangeEndsTheOffer)
{
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("disk"));
    addFolder(top);
    const QString topKey = keyOf(top + u'/');
    const QString g = keyOf(top + QStringLiteral("/g.txt"));
    db().exec("INSERT INTO Documents (FileName, Type, ID) VALUES ('g.txt', 'text', '" + g.toStdString() + "')");
    const std::string before = rowsOf("main");
    const std::string scansBefore = rowsOf("scans");

    // Removed, changed and added at once.
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/g.txt"))));
    makeFile(QStringLiteral("disk/a.txt"), 4000);
    makeFile(QStringLiteral("disk/one/new.txt"), 5);
    form->TreeView1->setSelectedItem(node(topKey));
    qmtest::messages().clear();
    form->UpdateFolder->click();
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().contains(QStringLiteral("1 removed"))) << qmtest::messages().first().toStdString();
    qmtest::messages().clear();
    EXPECT_TRUE(keyOf(top + QStringLiteral("/g.txt")).isEmpty());
    EXPECT_NE(rowsOf("main"), before);
    ASSERT_TRUE(offered());
    EXPECT_EQ(offer().undoAction()->text(), QStringLiteral("&Undo Update Folder"));

    offer().button()->click();
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(rowsOf("main"), before);
    EXPECT_EQ(rowsOf("scans"), scansBefore);
    EXPECT_EQ(node(g)->Text, QStringLiteral("g.txt"));
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name FROM Documents d JOIN main m ON m.ID = d.ID")),
        QStringList {QStringLiteral("g.txt")});
    // The check is worked out again and places every record.
    EXPECT_EQ(qm::checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced, 0);
    EXPECT_FALSE(offered());

    // Offered until the next change of this window: an Add Folder ends it,
    // and Ctrl+Z then changes nothing.
    deleteFolder(topKey);
    ASSERT_TRUE(offered());
    addFolder(tree(QStringLiteral("later")));
    EXPECT_FALSE(offered());
    const std::string after = rowsOf("main");
    form->Undo_Click();
    EXPECT_EQ(rowsOf("main"), after);

    // Another program writes after the copy was made, before the update
    // reads the disk: the copy may not be what the update found, so no undo.
    qmtest::WritingFileSystem disk;
    disk.write = [this] {
        addRecord(QStringLiteral("70>"), QStringLiteral("0>"), QStringLiteral("Elsewhere"), QStringLiteral("/z/"),
            QStringLiteral("/z/"));
    };
    qm::setFileSystem(&disk);
    makeFile(QStringLiteral("later/more.txt"), 3);
    form->TreeView1->setSelectedItem(node(keyOf(pathOf(QStringLiteral("later")) + u'/')));
    form->UpdateFolder->click();
    qm::setFileSystem(nullptr);
    EXPECT_FALSE(keyOf(pathOf(QStringLiteral("later/more.txt"))).isEmpty());
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Elsewhere'")), 1);
    EXPECT_FALSE(offered());
}

TEST_F(UndoTest, DeleteCatalogueAskedFirstAndUndoneWithItsScansAndCheck)
{
    load(QStringLiteral("Disks"));
    addFolder(tree(QStringLiteral("disk")));
    addRecord(QStringLiteral("1>"), QStringLiteral("0>"), QStringLiteral("Other"), QStringLiteral("/o/"),
        QStringLiteral("/o/"), QStringLiteral("0"), {}, QStringLiteral("1>"));
    form->reloadTree();
    qm::checkCatalogueTree(db(), QStringLiteral("Other"));
    const std::string before = rowsOf("main");
    const std::string scansBefore = rowsOf("scans");
    const QStringList checksBefore = rowList("tree_checks", "dbaseName = 'Disks'");
    const QStringList level = children(qm::kRootKey);
    const long long records = count(QStringLiteral("dbaseName = 'Disks'"));
    qmtest::messages().clear();

    qmtest::answerQuestions(false);
    form->DeleteCatalogue_Click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("Delete the catalogue \"Disks\" and its %1 records?").arg(records)));
    EXPECT_EQ(rowsOf("main"), before);
    qmtest::answerQuestions(true);
    offer().deleteCatalogueAction()->trigger();
    qmtest::messages().clear();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 0);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'"), QStringLiteral("scans")), 0);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Other'")), 1);
    EXPECT_EQ(offer().undoAction()->text(), QStringLiteral("&Undo Delete Catalogue"));
    // The other catalogue's check still holds: nothing of it changed.
    EXPECT_EQ(texts(QStringLiteral("SELECT stamp FROM tree_checks WHERE dbaseName = 'Other'")), QStringList {stamp()});

    form->Undo_Click();
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(rowsOf("main"), before);
    EXPECT_EQ(rowsOf("scans"), scansBefore);
    EXPECT_EQ(children(qm::kRootKey), level);
    ASSERT_EQ(checksBefore.size(), 1);
    EXPECT_EQ(texts(QStringLiteral("SELECT stamp FROM tree_checks WHERE dbaseName = 'Disks'")), QStringList {stamp()});
    EXPECT_EQ(texts(QStringLiteral("SELECT stamp FROM tree_checks WHERE dbaseName = 'Other'")), QStringList {stamp()});
}

TEST_F(UndoTest, AnotherWriterThatTookAKeyBlocksTheUndoUntilItIsGone)
{
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("disk"));
    addFolder(top);
    const QString topKey = keyOf(top + u'/');
    const QString c = keyOf(top + QStringLiteral("/one/c.txt"));
    const std::string before = rowsOf("main");
    deleteFolder(topKey);
    ASSERT_TRUE(offered());

    // Another program stores a record under a key of the deleted scan (as a
    // hand edit may), and one in another catalogue.
    addRecord(QStringLiteral("50>"), QStringLiteral("0>"), QStringLiteral("Elsewhere"), QStringLiteral("/x/"),
        QStringLiteral("/x/"));
    const long long taken = addRecord(c, QStringLiteral("0>"), QStringLiteral("Disks"), QStringLiteral("/y/"),
        QStringLiteral("/y/"));
    const std::string blocked = rowsOf("main");
    qmtest::messages().clear();
    form->Undo_Click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("Nothing was changed.")));
    EXPECT_EQ(rowsOf("main"), blocked);
    EXPECT_TRUE(offered());

    // Gone again: the undo goes through, beside the other catalogue's record.
    db().exec("DELETE FROM main WHERE SrNO = " + std::to_string(taken));
    form->Undo_Click();
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    const QStringList now = rowList("main");
    EXPECT_EQ(now.mid(0, now.size() - 1).join(u'\n').toStdString(), before);
    EXPECT_TRUE(now.last().contains(QStringLiteral("Elsewhere")));
    EXPECT_EQ(node(c)->Text, QStringLiteral("c.txt"));
    EXPECT_EQ(qm::checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced, 0);

    // A scan of the same records changed since: not undone either.
    deleteFolder(topKey);
    ASSERT_TRUE(offered());
    addRecord(QStringLiteral("99>"), topKey, QStringLiteral("Disks"), QStringLiteral("late.txt"),
        QStringLiteral("/late.txt"), {}, {}, topKey);
    qmtest::messages().clear();
    form->Undo_Click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("were changed since")));
}

} // namespace

TEST_F(UndoTest, ACopyThatCannotBeTakenLeavesTheFolderWhereItWasAndSaysSo)
{
    // The undo's files go under the temporary folder; the copy's own file is
    // made impossible there once the first delete has made the folder.
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    load(QStringLiteral("Disks"));
    addFolder(tree(QStringLiteral("disk")));
    const QString other = tree(QStringLiteral("other"));
    addFolder(other);
    deleteFolder(keyOf(tree(QStringLiteral("disk")) + u'/'));
    ASSERT_TRUE(offered());
    const QStringList made = QDir(temp.path()).entryList({QStringLiteral("quillmark-undo-*")}, QDir::Dirs);
    ASSERT_EQ(made.size(), 1);
    const std::string before = rowsOf("main");
    qmtest::messages().clear();

    const QString copyFile = temp.path() + u'/' + made.first() + QStringLiteral("/kept.db");
    QFile::remove(copyFile);
    ASSERT_TRUE(QDir().mkpath(copyFile));
    deleteFolder(keyOf(other + u'/'));
    if (oldTemp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTemp);
    EXPECT_EQ(rowsOf("main"), before);
    ASSERT_EQ(qmtest::messages().size(), 1);
    EXPECT_TRUE(qmtest::messages().first().startsWith(QStringLiteral("The folder was not deleted: ")))
        << qmtest::messages().first().toStdString();
    EXPECT_FALSE(offered());
}
