// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace qm {

// Every message of the program: title "Quillmark", OK only, no icon, modal.
void MsgBox(const QString& text, QWidget* parent = nullptr);

// Tests replace the modal box with a recorder. Pass an empty function to
// restore the real box.
using MessageHook = std::function<void(const QString& text)>;
void setMessageHook(MessageHook hook);

} // namespace qm

namespace qm {
// A yes/no question (title "Quillmark"); true for yes. Tests answer through
// the hook.
bool Ask(const QString& text, QWidget* parent = nullptr);
using QuestionHook = std::function<bool(const QString& text)>;
// Returns the hook it replaces.
QuestionHook setQuestionHook(QuestionHook hook);

// A question whose safe answer is no: Enter and Escape both say no. A hook
// set by setDefaultedQuestionHook hears which answer is the default (a test
// pressing Enter gives it back); otherwise the question hook answers.
enum class DefaultAnswer { Yes, No };
bool Ask(const QString& text, QWidget* parent, DefaultAnswer byDefault);
using DefaultedQuestionHook = std::function<bool(const QString& text, DefaultAnswer byDefault)>;
DefaultedQuestionHook setDefaultedQuestionHook(DefaultedQuestionHook hook);
} // namespace qm

namespace qm {
// Runs a handler's body; a failure becomes a message with its text and never
// ends the program. True when the body ran to its end.
template <typename F> bool guarded(QWidget* parent, F&& body)
{
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        MsgBox(QString::fromUtf8(e.what()), parent);
        return false;
    }
}
} // namespace qm
