// SPDX-License-Identifier: GPL-3.0-or-later
// The Disks window's way in from the File menu, and the treemap's from the
// Catalogue menu.
#include "main_window/Form1.h"

#include "main_window/DisksWindow.h"
#include "main_window/TreemapView.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace qm {

void Form1::Disks_Click()
{
    DisksWindow::showWindow(this);
}

void Form1::addSpaceMenu()
{
    auto* menu = menuBar()->findChild<QMenu*>(QStringLiteral("CatalogueMenu"));
    if (!menu)
        menu = menuBar()->addMenu(QStringLiteral("&Catalogue"));
    SpaceWent = menu->addAction(QStringLiteral("&Where the Space Went..."), this, &Form1::SpaceWent_Click);
    SpaceWent->setObjectName(QStringLiteral("SpaceWent"));
}

void Form1::SpaceWent_Click()
{
    const Node* node = TreeView1->SelectedItem();
    if (!node || !node->Parent) {
        MsgBox(QStringLiteral("Select a top-level folder of the tree (or anything inside it) to see where its "
                              "space went."),
            this);
        return;
    }
    // Anything inside a scan stands for the whole scan: its top-level folder.
    while (node->Parent->Parent)
        node = node->Parent;
    const QString catalogue = TreeView1->Nodes().catalogueOf(node);
    const QString key = node->Key;
    guarded(this, [&] {
        auto* window = new TreemapWindow(databasePath(), catalogue, key);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });
}

} // namespace qm
