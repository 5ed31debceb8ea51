// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegisterFixture.h"

#include <QCheckBox>
#include <QPushButton>

using namespace qm;
using namespace button;
using qmtest::messages;

namespace {
const QString kNoRecord = QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                         "Requested operation requires a current record.");
const QString kEnd = QStringLiteral("End of record");
const QString kRootRefused = QStringLiteral("Select another node - This is the *root* node");

// Which of Search, Search next and Stop show, as "S", "N", "X".
QString searchButtons(const RegisterWindow* w)
{
    return QString(w->Command10->isHidden() ? "" : "S") + (w->Command11->isHidden() ? "" : "N")
        + (w->Command12->isHidden() ? "" : "X");
}

// The main window's four check boxes as "checked/enabled" pairs, "ce" for both.
QString boxes(const Form1& f)
{
    QStringList out;
    for (const QCheckBox* b : {f.Check1, f.Check2, f.Check3, f.Check4})
        out << QString(b->isChecked() ? "c" : "") + (b->isEnabled() ? "e" : "");
    return out.join(u',');
}

bool anyRegisterOpen()
{
    for (const RegisterDefinition* d : allRegisters())
        if (RegisterWindow::instance(*d))
            return true;
    return false;
}
} // namespace

TEST_P(EachRegister, OpensOnTheFirstRecordAndWalksToBothEndsWithTheirMessages)
{
    addRows(def(), {"one", "two", "three"});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->nodeText() + w->nodeKey(), QStringLiteral("a.txt1>"));
    EXPECT_EQ(searchButtons(w), QStringLiteral("S"));
    for (const QLineEdit* box : w->fieldBoxes())
        EXPECT_FALSE(box->isEnabled()) << box->objectName().toStdString();
    EXPECT_TRUE(w->idBox()->isHidden());
    EXPECT_EQ(w->Text1->text() + u'|' + w->Text3->text(), QStringLiteral("one|about one"));
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));

    EXPECT_EQ(press(w, {Previous}), QStringLiteral("one"));
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("at Top of the records")));
    EXPECT_EQ(press(w, {Next, Next}), QStringLiteral("three"));
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(press(w, {Next}), QStringLiteral("three"));
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("End of records")));
    EXPECT_EQ(press(w, {Previous}), QStringLiteral("two"));
    EXPECT_EQ(press(w, {First}), QStringLiteral("one"));
    EXPECT_EQ(press(w, {Last}), QStringLiteral("three"));
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("3"));
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(fileNames(def()), (QStringList {"one", "two", "three"}));
}

TEST_P(EachRegister, WithoutACurrentRecordEveryActionSaysSoAndTheWindowGoesOn)
{
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    for (Click action : {Next, Previous, Update, Delete, First, Last, Search}) {
        (w->*action)();
        EXPECT_TRUE(qmtest::toldOnce(kNoRecord));
    }
    EXPECT_EQ(RegisterWindow::instance(def()), w);
    EXPECT_EQ(rows(def()), 0);

    // After a Search without a match the cursor is past the end: the same answers.
    addRows(def(), {"kept"});
    closeWith(w);
    w = open(def());
    w->Text5->setText(QStringLiteral("missing"));
    press(w, {Search});
    EXPECT_EQ(w->Text5->text(), kEnd);
    EXPECT_EQ(boxTexts(w), blanks(w));
    w->Text1->setText(QStringLiteral("typed where no record is"));
    messages().clear();
    press(w, {Update, Delete, Next});
    EXPECT_EQ(messages(), QStringList(3, kNoRecord));
    EXPECT_EQ(press(w, {First}), QStringLiteral("kept"));
    EXPECT_EQ(fileNames(def()), QStringList {QStringLiteral("kept")});
}

TEST_P(EachRegister, AddFillsTheNewRecordFromTheNode)
{
    // Also the first record of an empty register, which the duplicate check must not refuse.
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    press(w, {Add});
    EXPECT_EQ(boxTexts(w), QStringList {QStringLiteral("a.txt")} + blanks(w).mid(1));
    EXPECT_EQ(w->idBox()->text(), QStringLiteral("1>"));
    EXPECT_EQ(w->focusWidget(), w->Text3);
    EXPECT_FALSE(w->Command4->isEnabled());
    for (const QLineEdit* box : w->fieldBoxes())
        EXPECT_TRUE(box->isEnabled());

    w->Text3->setText(QStringLiteral("typed"));
    press(w, {Update});
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(fileNames(def()), QStringList {QStringLiteral("a.txt")});
    EXPECT_EQ(column(def(), def().rows[1].field), QStringList {QStringLiteral("typed")});
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));
    if (def().idField.isEmpty()) { // the multimedia register keeps no node key
        for (const RegisterFieldRow& row : def().rows)
            EXPECT_NE(column(def(), row.field), QStringList {QStringLiteral("1>")});
    } else {
        EXPECT_EQ(column(def(), def().idField), QStringList {QStringLiteral("1>")});
    }
}

TEST_P(EachRegister, SearchGoesByTheExactFileName)
{
    addRows(def(), {"Search for", "x.doc", "", "x.doc", "X.doc"});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);

    // The design text is a file name like any other; Stop ends the search.
    press(w, {Last, Search});
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));
    EXPECT_EQ(searchButtons(w), QStringLiteral("NX"));
    press(w, {Stop});
    EXPECT_EQ(searchButtons(w), QStringLiteral("S"));
    w->Text5->clear(); // an empty box finds the record without a name
    press(w, {Search});
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("3"));

    // Two records of one name: Search stops on the first, Search next on the second.
    w->Text5->setText(QStringLiteral("x.doc"));
    press(w, {Search});
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("2"));
    EXPECT_EQ(press(w, {SearchNext}), QStringLiteral("x.doc"));
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("4"));
    press(w, {SearchNext});
    EXPECT_EQ(w->Text5->text(), kEnd);
    EXPECT_EQ(searchButtons(w), QStringLiteral("S"));

    // No match (case and trailing blanks count), then the box's own text is searched for.
    w->Text5->setText(QStringLiteral("x.doc "));
    press(w, {Search});
    EXPECT_EQ(w->Text5->text(), kEnd);
    press(w, {Search});
    EXPECT_EQ(w->Text5->text(), kEnd);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(rows(def()), 5);
}

TEST_P(EachRegister, ClosingStoresWhatWasTypedAndSaveWritesTheTableBesideTheDatabase)
{
    addRows(def(), {"plain.txt", "with, comma"});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    w->Text3->setText(QStringLiteral("changed"));
    closeWith(w);
    EXPECT_EQ(RegisterWindow::instance(def()), nullptr);
    EXPECT_EQ(column(def(), def().rows[1].field).first(), QStringLiteral("changed"));
    w = open(def());
    press(w, {Add});
    w->Text2->setText(QStringLiteral("typed before closing"));
    w->close(); // the close box
    qmtest::flushDeletes();
    EXPECT_EQ(fileNames(def()), (QStringList {"plain.txt", "with, comma", "a.txt"}));
    EXPECT_EQ(column(def(), def().rows[2].field).last(), QStringLiteral("typed before closing"));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();

    // Save writes what the boxes show too, and names the file.
    w = open(def());
    w->Text3->setText(QStringLiteral("shown, so saved"));
    press(w, {Save});
    const QString path = pathOf(def().table + QStringLiteral(".csv"));
    EXPECT_EQ(w->exportPath(), path);
    EXPECT_TRUE(qmtest::toldOnce(path));
    const QStringList lines = QString::fromUtf8(readFile(path)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5); // header, three records, the empty rest after the last line break
    EXPECT_TRUE(lines[0].startsWith(def().serialField + u',' + def().fileNameField + u','));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1,plain.txt,\"shown, so saved\"")));
}

INSTANTIATE_TEST_SUITE_P(Registers, EachRegister, ::testing::ValuesIn(allRegisters()), registerName);

class CheckingRegister : public EachRegister { };

TEST_P(CheckingRegister, AddForARegisteredFileStopsOnItUntilModifyIsTicked)
{
    addRows(def(), {"A.TXT", "a.txt", "b.txt"});
    // The same name in another register does not count.
    addRows(&def() == &documentsRegister() ? multimediaRegister() : documentsRegister(), {"c.txt"});
    select(addNode(QStringLiteral("2>"), QStringLiteral("c.txt")));
    RegisterWindow* c = open(def());
    ASSERT_NE(c, nullptr);
    press(c, {Add});
    EXPECT_EQ(c->statusLabel()->text(), QString());
    closeWith(c);
    EXPECT_EQ(fileNames(def()), (QStringList {"A.TXT", "a.txt", "b.txt", "c.txt"}));

    select(form->TreeView1->Nodes().find(QStringLiteral("1>")));
    RegisterWindow* w = open(def());
    press(w, {Last});
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(press(w, {Add}), QStringLiteral("a.txt"));
        EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("(File already exist)"));
        EXPECT_EQ(w->lblSerial->text(), QStringLiteral("2"));
        EXPECT_TRUE(w->Check1->isEnabled());
        EXPECT_FALSE(w->Text1->isEnabled());
        EXPECT_EQ(rows(def()), 4);
    }
    w->Check1->click();
    EXPECT_FALSE(w->Check1->isEnabled());
    press(w, {Add, Update});
    EXPECT_EQ(fileNames(def()), (QStringList {"A.TXT", "a.txt", "b.txt", "c.txt", "a.txt"}));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
}

TEST_P(CheckingRegister, AfterDeletingAtEitherEndTheWalkKeepsItsMessagesAndNothingBlankIsStored)
{
    addRows(def(), {"one", "two", "three", "four"});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    const auto remaining = [this] { return fileNames(def()).join(u','); };

    // The last record: nothing is current until Next comes back to the new last one.
    press(w, {Last, Delete});
    EXPECT_EQ(boxTexts(w), blanks(w));
    press(w, {Update});
    EXPECT_TRUE(qmtest::toldOnce(kNoRecord));
    press(w, {Delete}); // a second Delete finds no record: "three" stays
    EXPECT_TRUE(qmtest::toldOnce(kNoRecord));
    EXPECT_EQ(remaining(), QStringLiteral("one,two,three"));
    EXPECT_EQ(press(w, {Next}), QStringLiteral("three"));
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("End of records")));
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("3"));
    EXPECT_FALSE(w->Text1->isReadOnly());

    // The first record: Previous comes to the new first one.
    press(w, {First, Delete});
    EXPECT_EQ(press(w, {Previous}), QStringLiteral("two"));
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("at Top of the records")));

    // Search and the walks start again from a gap.
    press(w, {Delete});
    w->Text5->setText(QStringLiteral("three"));
    EXPECT_EQ(press(w, {Search}), QStringLiteral("three"));
    press(w, {Stop, Delete, First});
    EXPECT_TRUE(qmtest::toldOnce(kNoRecord)); // the register is empty now

    // The only record went: an empty register answers as one that never had any.
    addRows(def(), {"five"});
    closeWith(w);
    w = open(def());
    press(w, {Delete});
    for (Click walk : {Next, Previous}) {
        press(w, {walk});
        EXPECT_TRUE(qmtest::toldOnce(kNoRecord));
        EXPECT_EQ(boxTexts(w), blanks(w));
        EXPECT_TRUE(w->Text1->isReadOnly());
    }
    EXPECT_EQ(RegisterWindow::instance(def()), w);
    closeWith(w);
    EXPECT_EQ(rows(def()), 0);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Registers, CheckingRegister,
    ::testing::Values(&documentsRegister(), &multimediaRegister(), &installNUpdateRegister()), registerName);

TEST_F(RegisterTest, ProjectsAddsOncePerOpeningAndDeleteStepsBack)
{
    const RegisterDefinition& d = projectsRegister();
    for (int opening = 0; opening < 2; ++opening) {
        RegisterWindow* w = open(d);
        ASSERT_NE(w, nullptr);
        press(w, {Add});
        EXPECT_FALSE(w->Command4->isEnabled());
        EXPECT_EQ(w->statusLabel()->text(), QString());
        press(w, {Update});
        closeWith(w);
    }
    EXPECT_EQ(fileNames(d), (QStringList {"a.txt", "a.txt"}));
    EXPECT_EQ(column(d, QStringLiteral("ID")), (QStringList {"1>", "1>"}));

    db().exec("DELETE FROM Projects");
    addRows(d, {"one", "two", "three"});
    RegisterWindow* w = open(d);
    EXPECT_EQ(press(w, {Add, Delete}), QStringLiteral("one")); // only the record begun by Add goes
    EXPECT_EQ(rows(d), 3);
    EXPECT_EQ(press(w, {Last, Delete}), QStringLiteral("two"));
    EXPECT_EQ(press(w, {Next}), QStringLiteral("two"));
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("End of records")));

    // The first record: the cursor is before the new first one, which Next shows.
    press(w, {First, Delete});
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(boxTexts(w), blanks(w));
    press(w, {Update});
    EXPECT_TRUE(qmtest::toldOnce(kNoRecord));
    EXPECT_EQ(press(w, {Next}), QStringLiteral("two"));
    EXPECT_EQ(fileNames(d), QStringList {QStringLiteral("two")});

    // The only record: no current record is left, and nothing is said about it.
    press(w, {Delete});
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(rows(d), 0);
    press(w, {Next});
    EXPECT_TRUE(qmtest::toldOnce(kNoRecord));
    EXPECT_EQ(RegisterWindow::instance(d), w);
}

TEST_F(RegisterTest, EachRegisterIsOneWindowKeepingItsNode)
{
    RegisterWindow* first = open(projectsRegister());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parentWidget(), nullptr);
    select(addNode(QStringLiteral("2>"), QStringLiteral("b.txt")));
    EXPECT_EQ(open(projectsRegister()), first);
    EXPECT_EQ(press(first, {Add}), QStringLiteral("a.txt"));
    EXPECT_EQ(first->idBox()->text(), QStringLiteral("1>"));

    // Another register opens beside it for the node now selected.
    RegisterWindow* docs = open(documentsRegister());
    ASSERT_NE(docs, nullptr);
    EXPECT_NE(static_cast<QWidget*>(docs), static_cast<QWidget*>(first));
    EXPECT_EQ(docs->nodeText(), QStringLiteral("b.txt"));

    first->Command6_Click();
    EXPECT_EQ(RegisterWindow::instance(projectsRegister()), nullptr); // gone at once, not at deletion
    RegisterWindow* again = open(projectsRegister());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->nodeKey(), QStringLiteral("2>"));
    EXPECT_TRUE(again->Command4->isEnabled());
    EXPECT_EQ(fileNames(projectsRegister()), QStringList {QStringLiteral("a.txt")});
}

TEST_F(RegisterTest, AMissingTableOrFieldIsNamedAndTheWindowStaysShut)
{
    db().exec("DROP TABLE Documents");
    db().exec("ALTER TABLE Projects DROP COLUMN Deadline");
    form->Document_Click();
    form->Project_Click();
    ASSERT_EQ(messages().size(), 2);
    EXPECT_TRUE(messages()[0].contains(QStringLiteral("'Documents'"))) << messages()[0].toStdString();
    EXPECT_TRUE(messages()[1].contains(QStringLiteral("'Deadline'"))) << messages()[1].toStdString();
    EXPECT_EQ(RegisterWindow::instance(documentsRegister()), nullptr);
    EXPECT_EQ(RegisterWindow::instance(projectsRegister()), nullptr);
    EXPECT_NE(open(multimediaRegister()), nullptr); // the others still open
    EXPECT_EQ(messages().size(), 2);
}

TEST_F(RegisterTest, CheckingOneBoxDisablesTheOthersEditOpensItsRegisterAndTheRootIsRefused)
{
    EXPECT_EQ(boxes(*form), QStringLiteral("e,e,e,e"));
    form->Check2->click();
    EXPECT_EQ(boxes(*form), QStringLiteral(",ce,,"));
    form->Check2->click();
    EXPECT_EQ(boxes(*form), QStringLiteral("e,e,e,e"));

    form->Command6_Click(); // nothing checked: nothing happens
    EXPECT_FALSE(anyRegisterOpen());
    form->Check3->click();
    form->Command6_Click();
    EXPECT_EQ(boxes(*form), QStringLiteral("e,e,e,e")); // the box is cleared
    RegisterWindow* docs = RegisterWindow::instance(documentsRegister());
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(docs->nodeText(), QStringLiteral("a.txt"));
    EXPECT_FALSE(docs->isHidden());
    EXPECT_EQ(RegisterWindow::instance(projectsRegister()), nullptr);

    // Menu items leave the boxes as they are.
    form->Check1->click();
    form->Multimedia_Click();
    EXPECT_EQ(boxes(*form), QStringLiteral("ce,,,"));
    EXPECT_NE(RegisterWindow::instance(multimediaRegister()), nullptr);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    closeWith(RegisterWindow::instance(multimediaRegister()));
    closeWith(docs);
    form->Check1->click();

    // The root is refused from the menu and from "Edit", and so is no node at all.
    select(form->TreeView1->Nodes().find(QStringLiteral("0>")));
    for (const RegisterDefinition* d : allRegisters())
        choose(*d);
    form->Check1->click();
    form->Command6_Click();
    EXPECT_EQ(messages(), QStringList(5, kRootRefused));
    EXPECT_EQ(boxes(*form), QStringLiteral("e,e,e,e"));
    EXPECT_FALSE(anyRegisterOpen());

    // A folder node under the root, even one whose text looks like the root's key, is accepted.
    select(addNode(QStringLiteral("5>"), QStringLiteral("0>")));
    ASSERT_NE(open(installNUpdateRegister()), nullptr);
    EXPECT_EQ(RegisterWindow::instance(installNUpdateRegister())->nodeKey(), QStringLiteral("5>"));

    messages().clear();
    select(nullptr);
    form->Project_Click();
    form->Check2->click();
    form->Command6_Click();
    ASSERT_EQ(messages().size(), 2);
    EXPECT_NE(messages()[0], kRootRefused);
    EXPECT_EQ(RegisterWindow::instance(projectsRegister()), nullptr);
    EXPECT_EQ(RegisterWindow::instance(multimediaRegister()), nullptr);
}
