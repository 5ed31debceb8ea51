#include "platform/MessageBox.h"

#include "catalog/AppPaths.h"

#include <QApplication>
#include <QMessageBox>

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
} // namespace

bool Ask(const QString& text, QWidget* parent)
{
    if (questionHook())
        return questionHook()(text);
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Yes | QMessageBox::No, parent ? parent : QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void setQuestionHook(QuestionHook h) { questionHook() = std::move(h); }
} // namespace qm
