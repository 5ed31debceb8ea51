#include "RegisterFixture.h"

#include <QCheckBox>
#include <QPushButton>

using namespace qm;
using qmtest::messages;

namespace {
const QString kRootRefused = QStringLiteral("Select another node - This is the *root* node");

QList<bool> enabled(const Form1& f)
{
    return {f.Check1->isEnabled(), f.Check2->isEnabled(), f.Check3->isEnabled(), f.Check4->isEnabled()};
}
QList<bool> checked(const Form1& f)
{
    return {f.Check1->isChecked(), f.Check2->isChecked(), f.Check3->isChecked(), f.Check4->isChecked()};
}
const QList<bool> kAll {true, true, true, true};
const QList<bool> kNone {false, false, false, false};

bool anyRegisterOpen()
{
    for (const RegisterDefinition* d : allRegisters())
        if (RegisterWindow::instance(*d))
            return true;
    return false;
}
} // namespace

TEST_F(RegisterTest, CheckingOneBoxDisablesTheOtherThree)
{
    EXPECT_EQ(enabled(*form), kAll);
    form->Check2->click();
    EXPECT_EQ(checked(*form), (QList<bool> {false, true, false, false}));
    EXPECT_EQ(enabled(*form), (QList<bool> {false, true, false, false}));
    form->Check2->click();
    EXPECT_EQ(checked(*form), kNone);
    EXPECT_EQ(enabled(*form), kAll);

    // A change by the program runs the handler as well.
    form->Check4->setChecked(true);
    EXPECT_EQ(enabled(*form), (QList<bool> {false, false, false, true}));
    form->Check4->setChecked(false);
    EXPECT_EQ(enabled(*form), kAll);
}

TEST_F(RegisterTest, EditOpensTheCheckedRegisterAndClearsItsBox)
{
    form->Command6_Click(); // nothing checked: nothing happens
    EXPECT_FALSE(anyRegisterOpen());
    EXPECT_TRUE(messages().isEmpty());

    form->Check3->click();
    form->Command6_Click();
    EXPECT_EQ(checked(*form), kNone);
    EXPECT_EQ(enabled(*form), kAll);
    RegisterWindow* docs = RegisterWindow::instance(documentsRegister());
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(docs->nodeText(), QStringLiteral("a.txt"));
    EXPECT_FALSE(docs->isHidden());
    EXPECT_EQ(RegisterWindow::instance(projectsRegister()), nullptr);

    // Menu items leave the boxes as they are.
    form->Check1->click();
    form->Multimedia_Click();
    EXPECT_EQ(checked(*form), (QList<bool> {true, false, false, false}));
    EXPECT_NE(RegisterWindow::instance(multimediaRegister()), nullptr);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
}

TEST_F(RegisterTest, TheRootAndNoNodeAreRefused)
{
    select(form->TreeView1->Nodes().find(QStringLiteral("0>")));
    for (const RegisterDefinition* d : allRegisters())
        choose(*d);
    EXPECT_EQ(messages(), QStringList(4, kRootRefused));
    EXPECT_FALSE(anyRegisterOpen());

    messages().clear();
    form->Check1->click();
    form->Command6_Click();
    EXPECT_EQ(messages(), QStringList {kRootRefused});
    EXPECT_EQ(checked(*form), kNone);
    EXPECT_EQ(enabled(*form), kAll);
    EXPECT_FALSE(anyRegisterOpen());

    // A folder node under the root, even one whose text looks like the root's key, is accepted.
    select(addNode(QStringLiteral("5>"), QStringLiteral("0>")));
    form->InstallNUpdate_Click();
    ASSERT_NE(RegisterWindow::instance(installNUpdateRegister()), nullptr);
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
