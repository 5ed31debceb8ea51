#include "RegisterFixture.h"

#include "platform/DataControl.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>

using namespace qm;
using qmtest::messages;

namespace {
const QString kNoRecord = QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                         "Requested operation requires a current "
                                         "record.");

std::vector<const RegisterDefinition*> checkingRegisters()
{
    return {&documentsRegister(), &multimediaRegister(), &installNUpdateRegister()};
}
std::vector<const RegisterDefinition*> everyRegister()
{
    const auto all = allRegisters();
    return {all.begin(), all.end()};
}
} // namespace

TEST_P(EachRegister, OpensInItsDesignStateForTheSelectedNode)
{
    addRows(def(), {QStringLiteral("first"), QStringLiteral("second")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(w->objectName(), def().windowName);
    EXPECT_EQ(w->windowTitle(), def().caption);
    EXPECT_EQ(w->Label5->text(), def().heading);
    EXPECT_EQ(w->parentWidget(), nullptr);
    EXPECT_EQ(w->size(), QSize(tw(def().clientWidth), tw(def().clientHeight)));
    EXPECT_EQ(w->nodeText(), QStringLiteral("a.txt"));
    EXPECT_EQ(w->nodeKey(), QStringLiteral("1>"));

    EXPECT_TRUE(w->Command11->isHidden());
    EXPECT_TRUE(w->Command12->isHidden());
    EXPECT_FALSE(w->Command10->isHidden());
    EXPECT_FALSE(w->Check1->isEnabled());
    EXPECT_TRUE(w->Command4->isEnabled());
    for (const QLineEdit* box : w->fieldBoxes())
        EXPECT_FALSE(box->isEnabled()) << box->objectName().toStdString();
    EXPECT_TRUE(w->idBox()->isHidden());
    EXPECT_EQ(w->Text5->text(), QStringLiteral("Search for"));
    EXPECT_EQ(w->Command1->text(), QStringLiteral("&Next"));
    EXPECT_EQ(w->Command8->text(), QStringLiteral("Move to &First"));

    // The first record is showing; Text1 is the file name, the second row its neighbour.
    EXPECT_EQ(w->Text1->text(), QStringLiteral("first"));
    EXPECT_EQ(w->Text3->text(), QStringLiteral("about first"));
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));
    EXPECT_EQ(w->Text1->geometry(), QRect(tw(1680), tw(1320 + def().upperOffset), tw(3495), tw(495)));
    EXPECT_EQ(w->Command6->geometry().topLeft(), QPoint(tw(5040), tw(def().buttonRow2)));
    EXPECT_EQ(w->statusLabel()->text(), QString());
}

TEST_P(EachRegister, WalksToBothEndsWithTheirMessages)
{
    addRows(def(), {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);

    w->Command2_Click();
    EXPECT_EQ(messages(), QStringList {QStringLiteral("at Top of the records")});
    EXPECT_EQ(w->Text1->text(), QStringLiteral("one"));
    messages().clear();

    w->Command1_Click();
    w->Command1_Click();
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(w->Text1->text(), QStringLiteral("three"));
    w->Command1_Click();
    EXPECT_EQ(messages(), QStringList {QStringLiteral("End of records")});
    EXPECT_EQ(w->Text1->text(), QStringLiteral("three"));
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("3"));
    w->Command2_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("two"));

    w->Command8_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("one"));
    w->Command9_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("three"));
    EXPECT_EQ(messages().size(), 1);
    EXPECT_EQ(fileNames(def()), (QStringList {"one", "two", "three"}));
}

TEST_P(EachRegister, WithoutACurrentRecordEveryActionSaysSoAndChangesNothing)
{
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    void (RegisterWindow::*actions[])() = {&RegisterWindow::Command1_Click, &RegisterWindow::Command2_Click,
        &RegisterWindow::Command3_Click, &RegisterWindow::Command7_Click, &RegisterWindow::Command8_Click,
        &RegisterWindow::Command9_Click, &RegisterWindow::Command10_Click};
    for (auto action : actions) {
        messages().clear();
        (w->*action)();
        EXPECT_EQ(messages(), QStringList {kNoRecord});
    }
    EXPECT_EQ(RegisterWindow::instance(def()), w);
    EXPECT_EQ(rows(def()), 0);
    // The export needs no current record: the header row alone.
    messages().clear();
    w->Command5_Click();
    EXPECT_EQ(messages().size(), 1);
    QFile exported(w->exportPath());
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll().count("\r\n"), 1);

    // After a Search without a match the cursor is past the end: the same answers.
    addRows(def(), {QStringLiteral("kept")});
    w->Command6_Click();
    flush();
    w = open(def());
    w->Text5->setText(QStringLiteral("missing"));
    w->Command10_Click();
    EXPECT_EQ(w->Text5->text(), QStringLiteral("End of record"));
    EXPECT_EQ(boxTexts(w), QStringList(w->fieldBoxes().size(), QString()));
    w->Text1->setText(QStringLiteral("typed where no record is"));
    messages().clear();
    w->Command3_Click();
    w->Command7_Click();
    w->Command1_Click();
    EXPECT_EQ(messages(), (QStringList {kNoRecord, kNoRecord, kNoRecord}));
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
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("a.txt"));
    EXPECT_EQ(w->idBox()->text(), QStringLiteral("1>"));
    QStringList others = boxTexts(w).mid(1);
    EXPECT_EQ(others, QStringList(others.size(), QString()));
    EXPECT_EQ(w->focusWidget(), w->Text3);
    EXPECT_FALSE(w->Command4->isEnabled());
    for (const QLineEdit* box : w->fieldBoxes())
        EXPECT_TRUE(box->isEnabled());

    w->Text3->setText(QStringLiteral("typed"));
    w->Command3_Click();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(fileNames(def()), QStringList {QStringLiteral("a.txt")});
    EXPECT_EQ(column(def(), def().rows[1].field), QStringList {QStringLiteral("typed")});
    EXPECT_EQ(column(def(), def().serialField), QStringList {QStringLiteral("1")});
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));
    if (def().idField.isEmpty()) {
        // The multimedia register keeps no node key: it reaches no field.
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

    // The design text is a file name like any other.
    w->Command9_Click();
    w->Command10_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("1"));
    EXPECT_TRUE(w->Command10->isHidden());
    EXPECT_FALSE(w->Command11->isHidden());
    EXPECT_FALSE(w->Command12->isHidden());
    w->Command12_Click();
    EXPECT_FALSE(w->Command10->isHidden());
    EXPECT_TRUE(w->Command11->isHidden());

    w->Text5->clear();
    w->Command10_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("3"));

    // Two records of one name: Search stops on the first, Search next on the second.
    w->Text5->setText(QStringLiteral("x.doc"));
    w->Command10_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("2"));
    EXPECT_EQ(w->Text1->text(), QStringLiteral("x.doc"));
    w->Command11_Click();
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("4"));
    EXPECT_TRUE(w->Command10->isHidden());
    w->Command11_Click();
    EXPECT_EQ(w->Text5->text(), QStringLiteral("End of record"));
    EXPECT_FALSE(w->Command10->isHidden());
    EXPECT_TRUE(w->Command11->isHidden());
    EXPECT_TRUE(w->Command12->isHidden());

    // No match (case and trailing blanks count), then the box's own text is searched for.
    w->Text5->setText(QStringLiteral("x.doc "));
    w->Command10_Click();
    EXPECT_EQ(w->Text5->text(), QStringLiteral("End of record"));
    EXPECT_FALSE(w->Command10->isHidden());
    w->Command10_Click();
    EXPECT_EQ(w->Text5->text(), QStringLiteral("End of record"));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(rows(def()), 5);
}

TEST_P(EachRegister, ClosingStoresWhatWasBegunOrTyped)
{
    addRows(def(), {QStringLiteral("existing")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    w->Text3->setText(QStringLiteral("changed"));
    w->Command6_Click();
    flush();
    EXPECT_EQ(RegisterWindow::instance(def()), nullptr);
    EXPECT_EQ(column(def(), def().rows[1].field), QStringList {QStringLiteral("changed")});

    w = open(def());
    w->Command9_Click();
    w->Command4_Click();
    w->Text2->setText(QStringLiteral("typed before closing"));
    w->close(); // the close box
    flush();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(fileNames(def()), (QStringList {"existing", "a.txt"}));
    EXPECT_EQ(column(def(), def().rows[2].field).last(), QStringLiteral("typed before closing"));
}

TEST_P(EachRegister, SaveWritesTheTableBesideTheDatabase)
{
    addRows(def(),
        {QStringLiteral("plain.txt"), QStringLiteral("with, comma \"and quotes\""),
            QString::fromUtf8("\xC3\xA9t\xC3\xA9.mp3")});
    RegisterWindow* w = open(def());
    ASSERT_NE(w, nullptr);
    w->Text3->setText(QStringLiteral("shown, so saved"));
    w->Command5_Click();
    const QString path = QDir(folder()).filePath(def().table + QStringLiteral(".csv"));
    EXPECT_EQ(w->exportPath(), path);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().contains(QDir::toNativeSeparators(path)));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5); // header, three records, the empty rest after the last line break
    EXPECT_TRUE(lines[0].startsWith(def().serialField + u',' + def().fileNameField + u','));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1,plain.txt,\"shown, so saved\"")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2,\"with, comma \"\"and quotes\"\"\",")));
    EXPECT_TRUE(lines[3].startsWith(QString::fromUtf8("3,\xC3\xA9t\xC3\xA9.mp3,")));
    file.close();

    // A destination that cannot be written is reported, and the window goes on.
    QFile::remove(path);
    QDir().mkpath(path);
    messages().clear();
    w->Command5_Click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().contains(path)) << messages().first().toStdString();
    w->Command1_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("with, comma \"and quotes\""));
}

INSTANTIATE_TEST_SUITE_P(Registers, EachRegister, ::testing::ValuesIn(everyRegister()), registerName);

class CheckingRegister : public EachRegister { };

TEST_P(CheckingRegister, AddForARegisteredFileStopsOnItUntilModifyIsTicked)
{
    addRows(def(), {QStringLiteral("A.TXT"), QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    // The same name in another register does not count.
    const RegisterDefinition& other
        = &def() == &documentsRegister() ? multimediaRegister() : documentsRegister();
    addRows(other, {QStringLiteral("c.txt")});
    select(addNode(QStringLiteral("2>"), QStringLiteral("c.txt")));
    RegisterWindow* c = open(def());
    ASSERT_NE(c, nullptr);
    c->Command4_Click();
    EXPECT_EQ(c->statusLabel()->text(), QString());
    c->Command6_Click();
    flush();
    EXPECT_EQ(fileNames(def()), (QStringList {"A.TXT", "a.txt", "b.txt", "c.txt"}));

    select(form->TreeView1->Nodes().find(QStringLiteral("1>")));
    RegisterWindow* w = open(def());
    w->Command9_Click();
    for (int attempt = 0; attempt < 2; ++attempt) {
        w->Command4_Click();
        EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("(File already exist)"));
        EXPECT_EQ(w->Text1->text(), QStringLiteral("a.txt"));
        EXPECT_EQ(w->lblSerial->text(), QStringLiteral("2"));
        EXPECT_TRUE(w->Check1->isEnabled());
        EXPECT_TRUE(w->Command4->isEnabled());
        EXPECT_FALSE(w->Text1->isEnabled());
        EXPECT_EQ(rows(def()), 4);
    }

    w->Check1->click();
    EXPECT_TRUE(w->Check1->isChecked());
    EXPECT_FALSE(w->Check1->isEnabled());
    EXPECT_TRUE(w->Command4->isEnabled());
    w->Command4_Click();
    EXPECT_FALSE(w->Command4->isEnabled());
    w->Command3_Click();
    EXPECT_EQ(fileNames(def()), (QStringList {"A.TXT", "a.txt", "b.txt", "c.txt", "a.txt"}));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("(File already exist)"));
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
    EXPECT_EQ(boxTexts(w), QStringList(w->fieldBoxes().size(), QString()));
    EXPECT_EQ(w->idBox()->text(), idText);
    EXPECT_EQ(w->lblSerial->text(), QStringLiteral("2"));

    w->Command1_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("three"));
    w->Command2_Click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("one"));
    w->Command6_Click();
    flush();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
    EXPECT_EQ(fileNames(def()), (QStringList {"one", "three", "a.txt"}));
    EXPECT_EQ(column(def(), def().rows[1].field), (QStringList {"about one", "about three", ""}));
}

INSTANTIATE_TEST_SUITE_P(Registers, CheckingRegister, ::testing::ValuesIn(checkingRegisters()), registerName);

TEST_F(RegisterTest, ProjectsAddsOncePerOpeningAndAgainInTheNext)
{
    const RegisterDefinition& d = projectsRegister();
    for (int opening = 0; opening < 2; ++opening) {
        RegisterWindow* w = open(d);
        ASSERT_NE(w, nullptr);
        w->Command4_Click();
        EXPECT_FALSE(w->Command4->isEnabled());
        EXPECT_FALSE(w->Check1->isEnabled());
        EXPECT_EQ(w->statusLabel()->text(), QString());
        w->Command3_Click();
        w->Command6_Click();
        flush();
    }
    EXPECT_EQ(fileNames(d), (QStringList {"a.txt", "a.txt"}));
    EXPECT_EQ(column(d, QStringLiteral("ID")), (QStringList {"1>", "1>"}));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
}

TEST_F(RegisterTest, ProjectsDeleteStepsBack)
{
    const RegisterDefinition& d = projectsRegister();
    addRows(d, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    RegisterWindow* w = open(d);
    ASSERT_NE(w, nullptr);

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
    EXPECT_EQ(boxTexts(w), QStringList(4, QString()));
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
    EXPECT_EQ(first->nodeText(), QStringLiteral("a.txt"));
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
    EXPECT_EQ(again->nodeText(), QStringLiteral("b.txt"));
    EXPECT_EQ(again->nodeKey(), QStringLiteral("2>"));
    EXPECT_TRUE(again->Command4->isEnabled());
    EXPECT_EQ(fileNames(projectsRegister()), QStringList {QStringLiteral("a.txt")});
}

TEST_F(RegisterTest, AMissingTableOrFieldIsNamedAndTheWindowStaysShut)
{
    db().exec("DROP TABLE Documents");
    db().exec("ALTER TABLE Projects DROP COLUMN Deadline");
    form->Document_Click();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].contains(QStringLiteral("'Documents'"))) << messages()[0].toStdString();
    EXPECT_EQ(RegisterWindow::instance(documentsRegister()), nullptr);

    form->Project_Click();
    ASSERT_EQ(messages().size(), 2);
    EXPECT_TRUE(messages()[1].contains(QStringLiteral("'Deadline'"))) << messages()[1].toStdString();
    EXPECT_EQ(RegisterWindow::instance(projectsRegister()), nullptr);

    // The others still open.
    EXPECT_NE(open(multimediaRegister()), nullptr);
    EXPECT_EQ(messages().size(), 2);
}
