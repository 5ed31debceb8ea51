// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NameBox.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStringListModel>

namespace qm {

NameBox::NameBox(const QString& prompt, QWidget* parent)
    : QLineEdit(prompt, parent)
    , prompt_(prompt)
    , normal_(palette())
    , model_(new QStringListModel(this))
{
    auto* completer = new QCompleter(model_, this);
    // Names are compared exactly: "Docs" and "docs" are two catalogues.
    completer->setCaseSensitivity(Qt::CaseSensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    setCompleter(completer);
    connect(this, &QLineEdit::textChanged, this, &NameBox::followText);
    followText();
}

void NameBox::setNameSource(std::function<QStringList()> names)
{
    names_ = std::move(names);
}

QStringList NameBox::offeredNames() const
{
    return model_->stringList();
}

void NameBox::followText()
{
    QPalette p = normal_;
    if (showsPrompt())
        p.setColor(QPalette::Text, normal_.color(QPalette::PlaceholderText));
    setPalette(p);
}

void NameBox::focusInEvent(QFocusEvent* event)
{
    if (names_) {
        QStringList names = names_();
        names.removeAll(QString());
        model_->setStringList(names);
    }
    QLineEdit::focusInEvent(event);
    if (showsPrompt())
        selectAll();
}

void NameBox::mousePressEvent(QMouseEvent* event)
{
    // A click into the prompt would place the cursor inside it.
    if (showsPrompt() && event->button() == Qt::LeftButton) {
        selectAll();
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void NameBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (showsPrompt()) {
        selectAll();
        event->accept();
        return;
    }
    QLineEdit::mouseDoubleClickEvent(event);
}

void NameBox::keyPressEvent(QKeyEvent* event)
{
    // Down opens the list of names that begin with what the box holds, or all of them.
    if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier
        && !completer()->popup()->isVisible()) {
        completer()->setCompletionPrefix(showsPrompt() ? QString() : text());
        completer()->complete();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace qm
