// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"

#include "platform/AppPaths.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace qm {
namespace {
MessageHook& hook()
{
    static MessageHook h;
    return h;
}
} // namespace

void MsgBox(const QString& text, QWidget* parent)
{
    if (hook()) {
        hook()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent ? parent : QApplication::activeWindow());
    box.exec();
}

void setMessageHook(MessageHook h) { hook() = std::move(h); }

} // namespace qm

namespace qm {
namespace {
QuestionHook& questionHook()
{
    static QuestionHook h;
    return h;
}

DefaultedQuestionHook& defaultedHook()
{
    static DefaultedQuestionHook h;
    return h;
}
} // namespace

bool Ask(const QString& text, QWidget* parent)
{
    if (questionHook())
        return questionHook()(text);
    return Ask(text, parent, DefaultAnswer::Yes);
}

bool Ask(const QString& text, QWidget* parent, DefaultAnswer byDefault)
{
    if (defaultedHook())
        return defaultedHook()(text, byDefault);
    if (questionHook())
        return questionHook()(text);
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Yes | QMessageBox::No, parent ? parent : QApplication::activeWindow());
    box.setDefaultButton(byDefault == DefaultAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QuestionHook setQuestionHook(QuestionHook h) { return std::exchange(questionHook(), std::move(h)); }
DefaultedQuestionHook setDefaultedQuestionHook(DefaultedQuestionHook h)
{
    return std::exchange(defaultedHook(), std::move(h));
}
} // namespace qm
