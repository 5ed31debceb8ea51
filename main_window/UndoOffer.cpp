// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/UndoOffer.h"

#include "main_window/CatalogueMenu.h"
#include "main_window/Form1.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

namespace qm {

QString undoCaption(const UndoKeep& keep)
{
    switch (keep.kind()) {
    case UndoKeep::Kind::DeleteFolder:
        return QStringLiteral("Undo Delete Folder");
    case UndoKeep::Kind::UpdateFolder:
        return QStringLiteral("Undo Update Folder");
    case UndoKeep::Kind::DeleteCatalogue:
        return QStringLiteral("Undo Delete Catalogue");
    }
    return QStringLiteral("Undo");
}

UndoOffer::UndoOffer(Form1& form)
    : QObject(&form)
    , button_(new QPushButton(QStringLiteral("Undo")))
{
    // A menu of its own beside the designed ones, which stay as they are.
    QMenu* menu = form.menuBar()->addMenu(QStringLiteral("&Catalogue"));
    menu->setObjectName(QStringLiteral("CatalogueMenu"));
    undo_ = menu->addAction(QStringLiteral("&Undo"), &form, &Form1::Undo_Click);
    undo_->setObjectName(QStringLiteral("Undo"));
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    deleteCatalogue_ = menu->addAction(QStringLiteral("&Delete Catalogue..."), &form, &Form1::DeleteCatalogue_Click);
    deleteCatalogue_->setObjectName(QStringLiteral("DeleteCatalogue"));
    new CatalogueMenu(form, *menu);

    button_->setObjectName(QStringLiteral("UndoButton"));
    button_->setFlat(true);
    button_->setCursor(Qt::PointingHandCursor);
    connect(button_, &QPushButton::clicked, &form, &Form1::Undo_Click);
    form.statusBar()->addPermanentWidget(button_);
    refresh();
}

void UndoOffer::refresh()
{
    const bool on = keep_.offered();
    const QString caption = on ? undoCaption(keep_) : QStringLiteral("Undo");
    undo_->setText(u'&' + caption);
    undo_->setEnabled(on);
    button_->setVisible(on);
    if (on) {
        const QString what = keep_.kind() == UndoKeep::Kind::DeleteCatalogue
            ? QStringLiteral("the catalogue \"") + keep_.catalogue() + u'"'
            : keep_.folder() + QStringLiteral(" in \"") + keep_.catalogue() + u'"';
        button_->setToolTip(caption + QStringLiteral(": bring back the records of ") + what
            + QStringLiteral(" as they were (Ctrl+Z)"));
    }
}

void UndoOffer::withdraw()
{
    keep_.forget();
    refresh();
}

void UndoOffer::beforeUpdate(SQLite::Database& db, const QString& catalogue, const QString& topKey, const QString& folder)
{
    try {
        UndoKeep::Attached attached(keep_, db, true);
        SQLite::Transaction read(db);
        keep_.keep(db, UndoKeep::Kind::UpdateFolder, catalogue, topKey, folder);
        // The update's commit would wait for a copy still reading.
        keep_.waitForCopy();
        read.commit();
    } catch (const std::exception&) {
        // Without a copy the update goes on as it did before; there is just
        // no undo of it.
        keep_.forget();
    }
    refresh();
}

void UndoOffer::afterUpdate(SQLite::Database& db, bool done)
{
    if (!done) {
        withdraw();
        return;
    }
    try {
        UndoKeep::Attached attached(keep_, db, false);
        SQLite::Transaction read(db);
        keep_.written(db);
        read.commit();
    } catch (const std::exception&) {
        keep_.forget();
    }
    refresh();
}

} // namespace qm
