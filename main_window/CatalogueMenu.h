// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Catalogue menu's ways to the catalogues by name: "Open Catalogue",
// a list of every catalogue with its records and disks, which opens the one
// chosen as "Open Database" does, and "Rename Catalogue...".
#include <QObject>

class QMenu;

namespace qm {

class Form1;

class CatalogueMenu : public QObject {
    Q_OBJECT
public:
    // Adds to `menu`, which belongs to `form`.
    CatalogueMenu(Form1& form, QMenu& menu);

private:
    // Lists the catalogues as the store holds them now.
    void fill();

    Form1& form_;
    QMenu* open_;
};

} // namespace qm
