// SPDX-License-Identifier: GPL-3.0-or-later
// "Rename Catalogue".
#include "main_window/Form1.h"

#include "catalog/Catalogues.h"
#include "main_window/StatusReport.h"
#include "main_window/UndoOffer.h"
#include "main_window/WorkProgress.h"
#include "platform/DataControl.h"
#include "platform/MessageBox.h"
#include "platform/Recordset.h"
#include "platform/StoreMark.h"
#include "platform/TreeView.h"

#include <QInputDialog>

#include <SQLiteCpp/Database.h>

#include <optional>

namespace qm {

void Form1::RenameCatalogue_Click()
{
    const QString from = shownDatabaseName();
    auto db = Adodc1->connection();
    if (!TreeView1->Nodes().Item(1) || !db) {
        MsgBox(QStringLiteral("No catalogue is shown. Open the catalogue to rename first."), this);
        return;
    }
    bool ok = false;
    const QString to = QInputDialog::getText(this, QStringLiteral("Rename Catalogue"),
        QStringLiteral("New name for the catalogue \"") + from + QStringLiteral("\":"), QLineEdit::Normal, from, &ok);
    if (!ok || to == from)
        return;
    // dbase.name holds one line, and a tree shows no name at all as "".
    if (to.isEmpty() || to.contains(u'\n') || to.contains(u'\r')) {
        MsgBox(QStringLiteral("A catalogue's name is one line of at least one character. Nothing was changed."),
            this);
        return;
    }

    std::int64_t renamed = 0;
    std::optional<WorkProgress> busy(std::in_place, *this, QString());
    try {
        const QString store = QString::fromStdString(db->getFilename());
        // Every record changes: beside the window, on a connection of its own.
        runBeside([&] {
            auto own = openConnection(store);
            Store::writeKeepingMark(*own, [&] { renamed = renameCatalogue(*own, from, to); });
        });
    } catch (const CatalogueNameTaken& e) {
        busy.reset();
        MsgBox(QString::fromUtf8(e.what()), this);
        return;
    } catch (const std::exception& e) {
        busy.reset();
        MsgBox(QStringLiteral("The catalogue was not renamed: ") + QString::fromUtf8(e.what()), this);
        return;
    }
    busy.reset();
    // What an undo kept names the old catalogue; putting it back now would
    // bring back records under a name the user has left.
    status().undo().withdraw();
    // The shown catalogue is the current one: the name file follows it.
    rebuildTree(to, to);
    status().catalogueRenamed(from, to, renamed);
}

} // namespace qm
