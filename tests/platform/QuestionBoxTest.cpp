// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace qm;

namespace {

// The real box, not the tests' hooks, for as long as it lives.
class RealQuestionBox {
public:
    RealQuestionBox()
        : question_(setQuestionHook({}))
        , defaulted_(setDefaultedQuestionHook({}))
    {
    }
    ~RealQuestionBox()
    {
        setQuestionHook(std::move(question_));
        setDefaultedQuestionHook(std::move(defaulted_));
    }
    RealQuestionBox(const RealQuestionBox&) = delete;
    RealQuestionBox& operator=(const RealQuestionBox&) = delete;

private:
    QuestionHook question_;
    DefaultedQuestionHook defaulted_;
};

// Presses `key` on the question box once it is up, and tells which button
// it offered as the default.
void pressOnceShown(int key, QString* defaultButton)
{
    QTimer::singleShot(10, [key, defaultButton] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                *defaultButton = box->defaultButton() ? box->defaultButton()->text() : QStringLiteral("<none>");
                QTest::keyClick(box, static_cast<Qt::Key>(key));
                return;
            }
        pressOnceShown(key, defaultButton); // not up yet
    });
}

} // namespace

TEST(QuestionBox, EnterGivesTheDefaultAnswerAndEscapeSaysNo)
{
    const RealQuestionBox real;
    QString offered;
    pressOnceShown(Qt::Key_Return, &offered);
    EXPECT_FALSE(Ask(QStringLiteral("Remove 4,415 records?"), nullptr, DefaultAnswer::No));
    EXPECT_EQ(offered.remove(u'&'), QStringLiteral("No"));
    pressOnceShown(Qt::Key_Return, &offered);
    EXPECT_TRUE(Ask(QStringLiteral("Create an empty catalogue there?")));
    EXPECT_EQ(offered.remove(u'&'), QStringLiteral("Yes"));
    pressOnceShown(Qt::Key_Escape, &offered);
    EXPECT_FALSE(Ask(QStringLiteral("Create an empty catalogue there?")));
}
