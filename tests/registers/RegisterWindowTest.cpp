#include "RegisterFixture.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>

using namespace qm;
using qmtest::messages;

namespace {
const QString kNoRecord = QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                         "Requested operation requires a current record.");
const QString kEnd = QStringLiteral("End of record");

std::vector<const RegisterDefinition*> checkingRegisters()
{
    return {&documentsRegister(), &multimediaRegister(), &installNUpdateRegister()};
}
std::vector<const RegisterDefinition*> everyRegister()
{
    const auto all = allRegisters();
    return {all.begin(), all.end()};
}
// Which of Search, Search next and Stop show, as "S", "N", "X".
QString searchButtons(const RegisterWindow* w)
{
    return QString(w->Command10->isHidden() ? "" : "S") + (w->Command11->isHidden() ? "" : "N")
        + (w->Command12->isHidden() ? "" : "X");
}
} // namespace

TEST_P(EachRegister, OpensOnTheFirstRecordAndWalksToBothEndsWithTheirMessages)
{
    addRows(def(), {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), def().caption);
    EXPECT_EQ(w->Label5->text(), def().heading);
    EXPECT_EQ(w->parentWidget(), nullptr);
    EXPECT_EQ(w->nodeText(), QStringLiteral("a.txt"));
    EXPECT_EQ(w->nodeKey(), QStringLiteral("1>"));
    EXPECT_EQ(searchButtons(w), QStringLiteral("S"));
    for (const QLineEdit* box : w->fieldBoxes())
        EXPECT_FALSE(box->isEnabled()) << box->objectName().toStdString();
    EXPECT_TRUE(w->idBox()->isHidden());
    EXPECT_EQ(w->Text5->text(), QStringLiteral("Search for"));
    EXPECT_EQ(w->Text1->text() + u'|' + w->Text3->text(), QStringLiteral("one|about one"));
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));

    w->Command2_Click();
    EXPECT_EQ(messages(), QStringList {QStringLiteral("at Top of the records")});
    EXPECT_EQ(w->Text1->text(), QStringLiteral("one"));
    messages().clear();
    w->Command1_Click();
    w->Command1_Click();
    EXPECT_TRUE(messages().isEmpty());
    w->Command1_Click();
    EXPECT_EQ(messages(), QStringList {QStringLiteral("End of records")});
    EXPECT_EQ(w->Text1->text(), QStringLiteral("three"));
    w->Command2_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("two"));
    w->Command8_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("one"));
    w->Command9_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("3"));
    EXPECT_EQ(messages().size(), 1);
    EXPECT_EQ(fileNames(def()), (QStringList {"one", "two", "three"}));
}

TEST_P(EachRegister, WithoutACurrentRecordEveryActionSaysSoAndTheWindowGoesOn)
{
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    for (auto action :
        {&RegisterWindow::Command1_Click, &RegisterWindow::Command2_Click, &RegisterWindow::Command3_Click,
            &RegisterWindow::Command7_Click, &RegisterWindow::Command8_Click, &RegisterWindow::Command9_Click,
            &RegisterWindow::Command10_Click}) {
        messages().clear();
        (w->*action)();
        EXPECT_EQ(messages(), QStringList {kNoRecord});
    }
    EXPECT_EQ(RegisterWindow::instance(def()), w);
    EXPECT_EQ(rows(def()), 0);

    // After a Search without a match the cursor is past the end: the same answers.
    addRows(def(), {QStringLiteral("kept")});
    closeWith(w);
    w = open(def());
    w->Text5->setText(QStringLiteral("missing"));
    w->Command10_Click();
    EXPECT_EQ(w->Text5->text(), kEnd);
    EXPECT_EQ(boxTexts(w), blanks(w));
    w->Text1->setText(QStringLiteral("typed where no record is"));
    messages().clear();
    w->Command3_Click();
    w->Command7_Click();
    w->Command1_Click();
    EXPECT_EQ(messages(), QStringList(3, kNoRecord));
    w->Command8_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("kept"));
    EXPECT_EQ(fileNames(def()), QStringList {QStringLiteral("kept")});
}

TEST_P(EachRegister, AddFillsTheNewRecordFromTheNode)
{
    // Also the first record of an empty register, which the duplicate check must not refuse.
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    w->Command4_Click();
    EXPECT_EQ(boxTexts(w), QStringList {QStringLiteral("a.txt")} + blanks(w).mid(1));
    EXPECT_EQ(w->idBox()->text(), QStringLiteral("1>"));
    EXPECT_EQ(w->focusWidget(), w->Text3);
    EXPECT_FALSE(w->Command4->isEnabled());
    for (const QLineEdit* box : w->fieldBoxes())
        EXPECT_TRUE(box->isEnabled());

    w->Text3->setText(QStringLiteral("typed"));
    w->Command3_Click();
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
    addRows(def(),
        {QStringLiteral("Search for"), QStringLiteral("x.doc"), QString(), QStringLiteral("x.doc"),
            QStringLiteral("X.doc")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);

    // The design text is a file name like any other; Stop ends the search.
    w->Command9_Click();
    w->Command10_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));
    EXPECT_EQ(searchButtons(w), QStringLiteral("NX"));
    w->Command12_Click();
    EXPECT_EQ(searchButtons(w), QStringLiteral("S"));
    w->Text5->clear(); // an empty box finds the record without a name
    w->Command10_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("3"));

    // Two records of one name: Search stops on the first, Search next on the second.
    w->Text5->setText(QStringLiteral("x.doc"));
    w->Command10_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("2"));
    w->Command11_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("4"));
    EXPECT_EQ(w->Text1->text(), QStringLiteral("x.doc"));
    w->Command11_Click();
    EXPECT_EQ(w->Text5->text(), kEnd);
    EXPECT_EQ(searchButtons(w), QStringLiteral("S"));

    // No match (case and trailing blanks count), then the box's own text is searched for.
    w->Text5->setText(QStringLiteral("x.doc "));
    w->Command10_Click();
    EXPECT_EQ(w->Text5->text(), kEnd);
    w->Command10_Click();
    EXPECT_EQ(w->Text5->text(), kEnd);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(rows(def()), 5);
}

TEST_P(EachRegister, ClosingStoresWhatWasTypedAndSaveWritesTheTableBesideTheDatabase)
{
    addRows(def(), {QStringLiteral("plain.txt"), QStringLiteral("with, comma")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    w->Text3->setText(QStringLiteral("changed"));
    closeWith(w);
    EXPECT_EQ(RegisterWindow::instance(def()), nullptr);
    EXPECT_EQ(column(def(), def().rows[1].field).first(), QStringLiteral("changed"));
    w = open(def());
    w->Command4_Click();
    w->Text2->setText(QStringLiteral("typed before closing"));
    w->close(); // the close box
    qmtest::flushDeletes();
    EXPECT_EQ(fileNames(def()), (QStringList {"plain.txt", "with, comma", "a.txt"}));
    EXPECT_EQ(column(def(), def().rows[2].field).last(), QStringLiteral("typed before closing"));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();

    // Save writes what the boxes show too, and names the file.
    w = open(def());
    w->Text3->setText(QStringLiteral("shown, so saved"));
    w->Command5_Click();
    const QString path = pathOf(def().table + QStringLiteral(".csv"));
    EXPECT_EQ(w->exportPath(), path);
    EXPECT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().contains(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5); // header, three records, the empty rest after the last line break
    EXPECT_TRUE(lines[0].startsWith(def().serialField + u',' + def().fileNameField + u','));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1,plain.txt,\"shown, so saved\"")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2,\"with, comma\",")));
    file.close();

    // A destination that cannot be written is reported, and the window goes on.
    QFile::remove(path);
    makeDir(def().table + QStringLiteral(".csv"));
    messages().clear();
    w->Command5_Click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().contains(path)) << messages().first().toStdString();
    w->Command1_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("with, comma"));
}

INSTANTIATE_TEST_SUITE_P(Registers, EachRegister, ::testing::ValuesIn(everyRegister()), registerName);

class CheckingRegister : public EachRegister { };

TEST_P(CheckingRegister, AddForARegisteredFileStopsOnItUntilModifyIsTicked)
{
    addRows(def(), {QStringLiteral("A.TXT"), QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    // The same name in another register does not count.
    addRows(&def() == &documentsRegister() ? multimediaRegister() : documentsRegister(),
        {QStringLiteral("c.txt")});
    select(addNode(QStringLiteral("2>"), QStringLiteral("c.txt")));
    RegisterWindow* c = open(def());
    ASSERT_NE(c, nullptr);
    c->Command4_Click();
    EXPECT_EQ(c->statusLabel()->text(), QString());
    closeWith(c);
    EXPECT_EQ(fileNames(def()), (QStringList {"A.TXT", "a.txt", "b.txt", "c.txt"}));

    select(form->TreeView1->Nodes().find(QStringLiteral("1>")));
    RegisterWindow* w = open(def());
    w->Command9_Click();
    for (int attempt = 0; attempt < 2; ++attempt) {
        w->Command4_Click();
        EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("(File already exist)"));
        EXPECT_EQ(w->lblSerial->text(), QStringLiteral("2"));
        EXPECT_TRUE(w->Check1->isEnabled());
        EXPECT_FALSE(w->Text1->isEnabled());
        EXPECT_EQ(rows(def()), 4);
    }
    w->Check1->click();
    EXPECT_FALSE(w->Check1->isEnabled());
    EXPECT_TRUE(w->Command4->isEnabled());
    w->Command4_Click();
    w->Command3_Click();
    EXPECT_EQ(fileNames(def()), (QStringList {"A.TXT", "a.txt", "b.txt", "c.txt", "a.txt"}));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
}

TEST_P(CheckingRegister, DeleteBlanksTheBoxesButStoresNoBlanks)
{
    addRows(def(), {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    w->Command4_Click(); // no record of a.txt: a fourth record, and enabled boxes
    w->Command3_Click();
    w->Command8_Click();
    w->Command1_Click();
    const QString idText = w->idBox()->text();
    w->Command7_Click();
    EXPECT_EQ(boxTexts(w), blanks(w));
    EXPECT_EQ(w->idBox()->text(), idText);
    w->Command1_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("three"));
    w->Command2_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("one"));
    closeWith(w);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(fileNames(def()), (QStringList {"one", "three", "a.txt"}));
    EXPECT_EQ(column(def(), def().rows[1].field), (QStringList {"about one", "about three", ""}));
}

INSTANTIATE_TEST_SUITE_P(Registers, CheckingRegister, ::testing::ValuesIn(checkingRegisters()), registerName);

TEST_F(RegisterTest, ProjectsAddsOncePerOpeningAndDeleteStepsBack)
{
    const RegisterDefinition& d = projectsRegister();
    for (int opening = 0; opening < 2; ++opening) {
        RegisterWindow* w = open(d);
        ASSERT_NE(w, nullptr);
        w->Command4_Click();
        EXPECT_FALSE(w->Command4->isEnabled());
        EXPECT_EQ(w->statusLabel()->text(), QString());
        w->Command3_Click();
        closeWith(w);
    }
    EXPECT_EQ(fileNames(d), (QStringList {"a.txt", "a.txt"}));
    EXPECT_EQ(column(d, QStringLiteral("ID")), (QStringList {"1>", "1>"}));

    db().exec("DELETE FROM Projects");
    addRows(d, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    RegisterWindow* w = open(d);
    // Delete of a record begun by Add drops only that record.
    w->Command4_Click();
    w->Command7_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("one"));
    EXPECT_EQ(rows(d), 3);
    w->Command9_Click();
    w->Command7_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("two"));

    // The first record: the cursor is before the new first one, which Next shows.
    w->Command8_Click();
    w->Command7_Click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(boxTexts(w), blanks(w));
    w->Command3_Click();
    EXPECT_EQ(messages(), QStringList {kNoRecord});
    messages().clear();
    w->Command1_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("two"));
    EXPECT_EQ(fileNames(d), QStringList {QStringLiteral("two")});

    // The only record: no current record is left, and nothing is said about it.
    w->Command7_Click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(rows(d), 0);
    w->Command1_Click();
    EXPECT_EQ(messages(), QStringList {kNoRecord});
    EXPECT_EQ(RegisterWindow::instance(d), w);
}

TEST_F(RegisterTest, EachRegisterIsOneWindowKeepingItsNode)
{
    RegisterWindow* first = open(projectsRegister());
    ASSERT_NE(first, nullptr);
    select(addNode(QStringLiteral("2>"), QStringLiteral("b.txt")));
    EXPECT_EQ(open(projectsRegister()), first);
    first->Command4_Click();
    EXPECT_EQ(first->Text1->text(), QStringLiteral("a.txt"));
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
