// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Undo" for the main window's big deletes ("Delete Folder", "Update Folder",
// "Delete Catalogue"): what the last one took away is kept, and offered by
// a button in the status bar and by the menu item Catalogue > Undo (Ctrl+Z),
// until the next change this window makes or the program's end.
#include "catalog/UndoKeep.h"

#include <QObject>
#include <QString>

class QAction;
class QPushButton;

namespace SQLite {
class Database;
}

namespace qm {

class Form1;

class UndoOffer : public QObject {
    Q_OBJECT
public:
    explicit UndoOffer(Form1& form);

    UndoKeep& keep() { return keep_; }
    bool offered() const { return keep_.offered(); }
    // Shows the offer as the keep now stands.
    void refresh();
    // A change that cannot be undone came: what was kept goes.
    void withdraw();

    // Around "Update Folder" on the window's connection: the scan's records
    // kept before it, and after it what it made of them. An update that did
    // not end well changed nothing, and leaves nothing to undo.
    void beforeUpdate(SQLite::Database& db, const QString& catalogue, const QString& topKey, const QString& folder);
    void afterUpdate(SQLite::Database& db, bool done);

    QPushButton* button() const { return button_; }
    QAction* undoAction() const { return undo_; }
    QAction* deleteCatalogueAction() const { return deleteCatalogue_; }

private:
    UndoKeep keep_;
    QPushButton* button_;
    QAction* undo_;
    QAction* deleteCatalogue_;
};

// What an undo of the kept write would do, for the user: "Undo Delete Folder".
QString undoCaption(const UndoKeep& keep);

} // namespace qm
