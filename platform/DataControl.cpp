// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataControl.h"

#include "platform/AppPaths.h"
#include "platform/MessageBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include <SQLiteCpp/Database.h>

namespace qm {

DataControl::DataControl(QWidget* parent) : QWidget(parent), databasePath_(qm::databasePath())
{
    // The visible form: first, previous, caption, next, last.
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto addButton = [this, layout](const QString& text, const QString& name,
                                    void (Recordset::*move)()) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setObjectName(name);
        b->setAutoRaise(false);
        connect(b, &QToolButton::clicked, this, [this, move] { navigate(move); });
        layout->addWidget(b);
    };
    addButton(QStringLiteral("|<"), QStringLiteral("First"), &Recordset::MoveFirst);
    addButton(QStringLiteral("<"), QStringLiteral("Previous"), &Recordset::MovePrevious);
    captionLabel_ = new QLabel(this);
    captionLabel_->setFrameShape(QFrame::Panel);
    captionLabel_->setFrameShadow(QFrame::Sunken);
    captionLabel_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(captionLabel_, 1);
    addButton(QStringLiteral(">"), QStringLiteral("Next"), &Recordset::MoveNext);
    addButton(QStringLiteral(">|"), QStringLiteral("Last"), &Recordset::MoveLast);
}

DataControl::~DataControl()
{
    if (rs_)
        rs_->setObserver(nullptr);
}

void DataControl::setCaption(const QString& caption) { captionLabel_->setText(caption); }
QString DataControl::caption() const { return captionLabel_->text(); }

void DataControl::Refresh()
{
    if (!db_)
        db_ = openConnection(databasePath_);
    if (rs_)
        rs_->setObserver(nullptr);
    rs_.reset();
    rs_ = std::make_unique<Recordset>(db_, recordSource_);
    rs_->setObserver(this);
    afterMove();
}

Recordset& DataControl::recordset()
{
    if (!rs_)
        throw DbError("Operation is not allowed when the object is closed.");
    return *rs_;
}

void DataControl::Close()
{
    if (rs_) {
        rs_->setObserver(nullptr);
        rs_->Close();
    }
}

void DataControl::bind(QLineEdit* box, const QString& field)
{
    bindings_.push_back({box, field, box->text()});
}

void DataControl::bind(QLabel* label, const QString& field)
{
    bindings_.push_back({label, field, label->text()});
}

void DataControl::suspendRepaint(bool suspended)
{
    suspended_ = suspended;
    if (!suspended)
        afterMove();
}

void DataControl::repaint() { afterMove(); }

void DataControl::lockWithoutRecord(std::span<QLineEdit* const> boxes) const
{
    const bool current = rs_ && rs_->hasCurrentRecord();
    for (QLineEdit* box : boxes) {
        if (!current)
            box->clear();
        box->setReadOnly(!current);
    }
}

void DataControl::beforeLeave()
{
    if (!rs_ || !rs_->hasCurrentRecord())
        return;
    const bool adding = rs_->editMode() == Recordset::EditMode::Add;
    for (Binding& b : bindings_) {
        auto* box = qobject_cast<QLineEdit*>(b.widget.data());
        if (!box)
            continue;
        // A new record takes every box; an existing one only what was changed
        // since the boxes last showed it.
        if (!adding && box->text() == b.painted)
            continue;
        if (rs_->fieldIndex(b.field) < 0)
            continue;
        rs_->setField(b.field, box->text());
        b.painted = box->text();
    }
}

void DataControl::afterMove()
{
    if (suspended_ || !rs_)
        return;
    const bool current = rs_->hasCurrentRecord();
    for (Binding& b : bindings_) {
        if (!b.widget)
            continue;
        QString value;
        if (current && rs_->fieldIndex(b.field) >= 0) {
            try {
                value = rs_->text(b.field);
            } catch (const DbError&) {
                value.clear();
            }
        }
        if (auto* box = qobject_cast<QLineEdit*>(b.widget.data())) {
            if (current)
                box->setText(value);
            b.painted = box->text();
        } else if (auto* label = qobject_cast<QLabel*>(b.widget.data())) {
            if (current)
                label->setText(value);
            b.painted = label->text();
        }
    }
    emit moved();
}

void DataControl::navigate(void (Recordset::*move)())
{
    try {
        Recordset& rs = recordset();
        // Outside the set (a window may stand it before the first record), a
        // step further out only brings it back to the nearest end below.
        const bool outward = (move == &Recordset::MovePrevious && rs.BOF())
            || (move == &Recordset::MoveNext && rs.isEOF());
        if (!outward || rs.RecordCount() == 0)
            (rs.*move)();
        // The visible control stops at the ends rather than leaving the set.
        if (rs.isEOF() && rs.RecordCount() > 0)
            rs.MoveLast();
        else if (rs.BOF() && rs.RecordCount() > 0)
            rs.MoveFirst();
    } catch (const std::exception& e) {
        showError(e);
    }
}

void DataControl::showError(const std::exception& e) { MsgBox(QString::fromUtf8(e.what()), window()); }

} // namespace qm
