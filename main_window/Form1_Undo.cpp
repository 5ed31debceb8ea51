// SPDX-License-Identifier: GPL-3.0-or-later
// "Delete Catalogue", and "Undo" of the window's big deletes.
#include "main_window/Form1.h"

#include "catalog/Catalogues.h"
#include "platform/Numbers.h"
#include "catalog/store/Store.h"
#include "catalog/UndoKeep.h"
#include "main_window/StatusReport.h"
#include "main_window/UndoOffer.h"
#include "main_window/WorkProgress.h"
#include "platform/DataControl.h"
#include "platform/MessageBox.h"
#include "platform/Recordset.h"
#include "platform/TreeView.h"

#include <QLocale>

#include <SQLiteCpp/Database.h>

#include <optional>

namespace qm {
namespace {

// The text the tree's root carries, which a rebuilt tree goes back to.
QString rootTextOf(const NodeModel& nodes, const QString& shown)
{
    const Node* root = nodes.Item(1);
    return root ? root->Text : shown;
}

} // namespace

void Form1::DeleteCatalogue_Click()
{
    const QString catalogue = shownDatabaseName();
    std::int64_t records = 0;
    auto db = Adodc1->connection();
    if (!TreeView1->Nodes().Item(1) || !db) {
        MsgBox(QStringLiteral("No catalogue is shown. Open the catalogue to delete first."), this);
        return;
    }
    if (!guarded(this, [&] { records = catalogueRecordCount(*db, catalogue); }))
        return;
    if (records == 0) {
        MsgBox(QStringLiteral("The catalogue \"") + catalogue + QStringLiteral("\" holds no records."), this);
        return;
    }
    const QString count = figureLocale().toString(static_cast<qlonglong>(records));
    if (!Ask(QStringLiteral("Delete the catalogue \"") + catalogue + QStringLiteral("\" and its ") + count
                + QStringLiteral(" records? Register notes stay. \"Undo\" (Ctrl+Z) brings the records back "
                                 "until the next change."),
            this))
        return;

    const QString rootText = rootTextOf(TreeView1->Nodes(), catalogue);
    UndoOffer& offer = status().undo();
    std::int64_t removed = 0;
    std::optional<WorkProgress> busy(std::in_place, *this, QString());
    try {
        const QString store = QString::fromStdString(db->getFilename());
        runBeside([&] {
            auto own = openConnection(store);
            UndoKeep::Attached attached(offer.keep(), *own, true);
            Store::writeKeepingMark(*own, [&] {
                offer.keep().keep(*own, UndoKeep::Kind::DeleteCatalogue, catalogue, {}, {});
                removed = deleteCatalogue(*own, catalogue);
                offer.keep().written(*own);
            });
        });
    } catch (const std::exception& e) {
        busy.reset();
        offer.withdraw();
        MsgBox(QStringLiteral("The catalogue was not deleted: ") + QString::fromUtf8(e.what()), this);
        return;
    }
    busy.reset();
    if (removed == 0)
        offer.withdraw();
    else
        offer.refresh();
    rebuildTree(rootText, catalogue);
    status().catalogueDeleted(catalogue, removed);
}

void Form1::Undo_Click()
{
    UndoOffer& offer = status().undo();
    if (!offer.offered())
        return;
    UndoKeep& keep = offer.keep();
    const QString shown = shownDatabaseName();
    const QString rootText = rootTextOf(TreeView1->Nodes(), shown);
    const QString what = keep.kind() == UndoKeep::Kind::DeleteCatalogue
        ? QStringLiteral("the catalogue \"") + keep.catalogue() + u'"'
        : keep.folder() + QStringLiteral(" in \"") + keep.catalogue() + u'"';
    std::int64_t back = 0;
    std::optional<WorkProgress> busy(std::in_place, *this, QString());
    try {
        auto db = Adodc1->connection();
        if (!db)
            throw DbError("The catalogue database is not open.");
        // As long as the delete took: beside the window, on a connection of
        // its own.
        const QString store = QString::fromStdString(db->getFilename());
        runBeside([&] {
            auto own = openConnection(store);
            UndoKeep::Attached attached(keep, *own, false);
            back = keep.restore(*own);
        });
    } catch (const UndoBlocked& e) {
        // The copy stays: the user may set the store right and try again.
        busy.reset();
        MsgBox(QString::fromUtf8(e.what()), this);
        return;
    } catch (const std::exception& e) {
        busy.reset();
        MsgBox(QStringLiteral("Nothing was undone: ") + QString::fromUtf8(e.what()), this);
        return;
    }
    busy.reset();
    offer.withdraw();
    rebuildTree(rootText, shown);
    status().undone(what, back);
}

} // namespace qm
