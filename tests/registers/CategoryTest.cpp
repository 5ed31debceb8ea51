#include "RegisterFixture.h"

#include <QCheckBox>

using namespace qm;
using qmtest::messages;

namespace {
const QString kRootRefused = QStringLiteral("Select another node - This is the *root* node");

// The four boxes as "checked/enabled" pairs, "ce" for both.
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

TEST_F(RegisterTest, CheckingOneBoxDisablesTheOthersAndEditOpensItsRegister)
{
    EXPECT_EQ(boxes(*form), QStringLiteral("e,e,e,e"));
    form->Check2->click();
    EXPECT_EQ(boxes(*form), QStringLiteral(",ce,,"));
    form->Check2->click();
    EXPECT_EQ(boxes(*form), QStringLiteral("e,e,e,e"));
    form->Check4->setChecked(true); // a change by the program runs the handler as well
    EXPECT_EQ(boxes(*form), QStringLiteral(",,,ce"));
    form->Check4->setChecked(false);

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
}

TEST_F(RegisterTest, TheRootAndNoNodeAreRefused)
{
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
