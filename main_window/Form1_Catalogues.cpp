// SPDX-License-Identifier: GPL-3.0-or-later
// Starting, naming, opening and pruning catalogues, and the node click.
#include "main_window/Form1.h"

#include "catalog/tree/CatalogueTree.h"
#include "catalog/tree/TreeCheck.h"
#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "main_window/StatusReport.h"
#include "main_window/WorkProgress.h"
#include "main_window/XpandFolder.h"
#include "main_window/XpandTree.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/TreeView.h"

#include "platform/Numbers.h"
#include "catalog/store/Queries.h"
#include "catalog/Scans.h"
#include "catalog/store/Store.h"
#include "catalog/UndoKeep.h"
#include "main_window/UndoOffer.h"

#include <QLineEdit>
#include <QTreeWidget>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <optional>

namespace qm {
namespace {
const QString kNamePrompt = QStringLiteral("Enter database name");
} // namespace

QString Form1::shownDatabaseName() const
{
    return TreeView1->Nodes().catalogue();
}

void Form1::TreeView1_NodeClick(Node*)
{
    // A click that fails keeps what it listed so far, silently.
    try {
        const Node* selected = TreeView1->SelectedItem();
        if (!selected)
            return;
        const QString key = selected->Key;
        clipboard().SetText(QStringLiteral("0"));
        ListView1->clear();
        ListView2->clear();
        XpandFolder::FillFileList(*this, key);
    } catch (...) {
    }
}

void Form1::Command1_Click()
{
    guarded(this, [this] {
        currentDatabaseName_ = Text8->text();

        // The database node is keyed from the last record's serial number; an
        // empty table gives it no key.
        QString key;
        auto db = Adodc1->connection();
        if (!db)
            throw DbError("The catalogue database is not open.");
        SQLite::Statement last(*db, Queries::kLastSerial);
        if (last.executeStep())
            key = numberText(static_cast<std::int64_t>(last.getColumn(0).getInt64())) + u'>';

        NodeModel& nodes = TreeView1->Nodes();
        nodes.Clear();
        ListView1->clear();
        ListView2->clear();
        Node* root = nodes.Add({}, kRootKey, QStringLiteral("Quillmark"));
        nodes.Add(kRootKey, key, currentDatabaseName_);
        TreeView1->Expand(root);
        nodes.setCatalogue(currentDatabaseName_);

        MsgBox(currentDatabaseName_, this);
    });
}

void Form1::Command3_Click()
{
    // A failed write leaves the old name in place and says nothing; so does a
    // tree without a root, which names no catalogue.
    if (const auto name = nameToSave(Text8->text(), kNamePrompt, TreeView1->Nodes()))
        NameFile::write(*name);
}

void Form1::Command5_Click()
{
    Command3_Click();
    reloadTree();
}

void Form1::Command7_Click()
{
    const Node* selected = TreeView1->SelectedItem();
    if (!selected) {
        MsgBox(QStringLiteral("No folder is selected. Select a top-level folder of the tree to delete it "
                              "from the catalogue."),
            this);
        return;
    }
    if (!selected->Parent) {
        MsgBox(QStringLiteral("The root node stands for the whole catalogue and is not deleted. Select a "
                              "top-level folder below it."),
            this);
        return;
    }
    if (selected->Parent->Key != kRootKey) {
        MsgBox(QStringLiteral("Select root nodes"), this);
        return;
    }

    // A top-level folder's own key is the delete key of its scan. Only the
    // records of the catalogue the folder belongs to go, all of them or none.
    const QString deleteKey = selected->Key;
    const QString catalogue = TreeView1->Nodes().catalogueOf(selected);
    const QString parentText = selected->Parent->Text;
    const QString shown = shownDatabaseName();
    const QString folder = selected->Text;
    int removed = 0;
    // A scan of a million records takes seconds to delete from a large
    // catalogue: the window says what it is doing before it starts.
    std::optional<WorkProgress> busy(std::in_place, *this, QString());
    status().folderDeleting(folder, catalogue);
    try {
        auto db = Adodc1->connection();
        if (!db)
            throw DbError("The catalogue database is not open.");
        // It runs on a connection and a thread of its own, so that the
        // window is not left unanswering for those seconds.
        const QString store = QString::fromStdString(db->getFilename());
        // What goes is copied first, in the same transaction, for "Undo".
        UndoKeep& keep = status().undo().keep();
        runBeside([&] {
            auto own = openConnection(store);
            UndoKeep::Attached attached(keep, *own, true);
            Store::writeKeepingMark(*own, [&] {
                keep.keep(*own, UndoKeep::Kind::DeleteFolder, catalogue, deleteKey, folder);
                removed = static_cast<int>(deleteScanRecords(*own, catalogue, deleteKey));
                forgetScan(*own, catalogue, deleteKey);
                keep.written(*own);
            });
        });
    } catch (const std::exception& e) {
        busy.reset();
        status().undo().withdraw();
        status().folderNotDeleted(folder);
        MsgBox(QStringLiteral("The folder was not deleted: %1").arg(QString::fromUtf8(e.what())), this);
        return;
    }
    busy.reset();
    // Nothing went: nothing to undo either.
    if (removed == 0)
        status().undo().withdraw();
    else
        status().undo().refresh();
    if (removed == 0)
        MsgBox(QStringLiteral("The catalogue \"%1\" holds no records of %2 any more; another window or "
                              "program deleted them. The tree is built again.")
                   .arg(catalogue, folder),
            this);

    rebuildTree(parentText, shown);
    status().folderDeleted(folder, catalogue, removed);
}

void Form1::rebuildTree(const QString& rootText, const QString& shown)
{
    guarded(this, [this] {
        Adodc1->setCommandType(CommandType::Text);
        Adodc1->setRecordSource(Queries::allRecordsAgain());
        Adodc1->Refresh();
    });
    TreeView1->Nodes().Clear();
    ListView1->clear();
    ListView2->clear();
    // The shown catalogue's name goes back: a loaded tree's root carries it,
    // one "Add new database" began carries "Quillmark" instead, and there the
    // typed name counts. Begun from the prompt, it names nothing the user
    // chose, and the saved name stays.
    if (rootText == shown || shown != kNamePrompt)
        NameFile::write(shown);
    guarded(this, [this] { XpandTree::LoadTree(*this); });
}

} // namespace qm
