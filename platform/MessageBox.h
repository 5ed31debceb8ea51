#pragma once
#include <QString>
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
void setQuestionHook(QuestionHook hook);
} // namespace qm
