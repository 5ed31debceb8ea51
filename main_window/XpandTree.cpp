// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/XpandTree.h"

#include "catalog/tree/CatalogueTree.h"
#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "catalog/store/Queries.h"
#include "main_window/Form1.h"
#include "main_window/StatusReport.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm::XpandTree {
void LoadTree(Form1& form)
{
    clipboard().Clear();
    const NameFile::Reading reading = NameFile::read();
    const QString& name = reading.name;
    if (!reading.problem.isEmpty())
        MsgBox(unreadableNameMessage(reading.problem), &form);

    TreeView& tree = *form.TreeView1;
    NodeModel& nodes = tree.Nodes();
    auto db = form.Adodc1->connection();
    if (!db)
        throw DbError("The catalogue database is not open.");

    const std::int64_t unplaced = fillCatalogueTree(db, name, nodes, true);
    tree.Expand(nodes.Item(1));
    form.status().treeLoaded();
    if (unplaced > 0)
        MsgBox(unplacedRecordsMessage(unplaced, name), &form);
}

} // namespace qm::XpandTree
