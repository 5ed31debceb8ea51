// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A name box that holds a prompt until the user types: the prompt is shown
// dimmed, and focusing the box selects all of it, so that typing replaces it.
// The prompt is the box's real text until then, for the handlers that look
// for it. Known names are offered as completions.
#include <QLineEdit>

#include <functional>

class QStringListModel;

namespace qm {

class NameBox : public QLineEdit {
    Q_OBJECT
public:
    NameBox(const QString& prompt, QWidget* parent = nullptr);

    bool showsPrompt() const { return text() == prompt_; }

    // Where the completions come from; asked again each time the box gains
    // focus, so names stored meanwhile are offered too.
    void setNameSource(std::function<QStringList()> names);
    QStringList offeredNames() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void followText();

    QString prompt_;
    QPalette normal_;
    std::function<QStringList()> names_;
    QStringListModel* model_;
};

} // namespace qm
